#include "waterfall/input_waterfall.h"

#include <algorithm>
#include <cmath>

#include "waterfall/colour_map.h"
#include "waterfall/sample_lines.h"

namespace velmora::waterfall {

namespace {

// How fast the top of the range follows a signal that has gone, in dB per line: a pause
// does not light up the noise at once.
constexpr float kPeakFallDb = 0.5F;
// The lowest the top of the range goes: digital silence (a null sink, a muted input) stays
// dark instead of filling the range with its own rounding.
constexpr float kQuietestPeakDb = -90.0F;

class ProfileInputWaterfall final : public InputWaterfall {
 public:
  ProfileInputWaterfall(const ReceiverProfile& receiver, double centerHz)
      : lines_(receiver, centerHz), rangeDb_(static_cast<float>(receiver.rangeDb)) {}

  std::vector<PictureLine> push(std::span<const float> samples) override {
    samples_.resize(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
      samples_[i] = static_cast<std::int16_t>(std::clamp(samples[i] * 32768.0F, -32768.0F, 32767.0F));
    std::vector<PictureLine> out;
    lines_.feed(samples_, [&](std::span<const float> levels) {
      const float strongest = levels.empty() ? -200.0F : *std::max_element(levels.begin(), levels.end());
      peak_ = std::max({strongest, peak_ - kPeakFallDb, kQuietestPeakDb});
      PictureLine line(levels.size());
      for (std::size_t x = 0; x < levels.size(); ++x) line[x] = levelColour(levels[x], peak_, rangeDb_);
      out.push_back(std::move(line));
    });
    return out;
  }
  int width() const override { return lines_.binCount(); }

 private:
  SampleLines lines_;
  float rangeDb_;
  float peak_ = kQuietestPeakDb;
  std::vector<std::int16_t> samples_;
};

}  // namespace

std::unique_ptr<InputWaterfall> makeInputWaterfall(const ReceiverProfile& receiver, double centerHz) {
  return std::make_unique<ProfileInputWaterfall>(receiver, centerHz);
}

}  // namespace velmora::waterfall
