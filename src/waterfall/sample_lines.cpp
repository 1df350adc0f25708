#include "waterfall/sample_lines.h"

#include <cmath>

#include "waterfall/sound_timeline.h"
#include "waterfall/spectrum_lines.h"

namespace velmora::waterfall {

namespace {

constexpr double kTwoPi = 2.0 * 3.141592653589793;
constexpr double kFullScaleHalf = 16384.0;
constexpr float kSilentDb = -200.0F;

}  // namespace

SampleLines::SampleLines(const ReceiverProfile& receiver, double centerHz)
    : samplesPerLine_(kSampleRate / receiver.linesPerSecond) {
  const auto length = static_cast<std::size_t>(std::lround(windowSeconds(receiver) * kSampleRate));
  window_.resize(length);
  double sum = 0.0;
  for (std::size_t n = 0; n < length; ++n) {
    window_[n] = windowValue(receiver.window, (static_cast<double>(n) + 0.5) / static_cast<double>(length));
    sum += window_[n];
  }
  scale_ = 1.0 / (sum * kFullScaleHalf);
  const int half = static_cast<int>(std::ceil(kHalfBandHz / receiver.hzPerPixel));
  for (int k = -half; k <= half; ++k)
    bins_.push_back(std::polar(1.0, -kTwoPi * (centerHz + k * receiver.hzPerPixel) / kSampleRate));
  levels_.resize(bins_.size());
  history_.assign(length, 0.0);  // silence before the stream began
}

void SampleLines::feed(std::span<const std::int16_t> samples,
                       const std::function<void(std::span<const float>)>& line) {
  for (const std::int16_t sample : samples) {
    history_[oldest_] = sample;
    oldest_ = (oldest_ + 1) % history_.size();
    ++received_;
    // A line is due once its window, centred on its time, is complete.
    const double centre = (static_cast<double>(nextLine_) + 0.5) * samplesPerLine_;
    if (static_cast<double>(received_) >= centre + 0.5 * static_cast<double>(window_.size())) emitLine(line);
  }
}

// Each bin by direct summation over the window: the band's few hundred bins at exact
// frequencies, without a transform of the whole spectrum.
void SampleLines::emitLine(const std::function<void(std::span<const float>)>& line) {
  const std::size_t length = window_.size();
  for (std::size_t k = 0; k < bins_.size(); ++k) {
    std::complex<double> turn = 1.0;
    std::complex<double> sum = 0.0;
    for (std::size_t n = 0; n < length; ++n) {
      sum += window_[n] * history_[(oldest_ + n) % length] * turn;
      turn *= bins_[k];
    }
    const double power = std::norm(sum * scale_);
    levels_[k] = power > 0.0 ? static_cast<float>(10.0 * std::log10(power)) : kSilentDb;
  }
  ++nextLine_;
  line(levels_);
}

}  // namespace velmora::waterfall
