#include "waterfall/input_waterfall.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "waterfall/colour_map.h"

namespace velmora::waterfall {

namespace {

constexpr double kHzPerPixel = 4.0;
constexpr double kLinesPerSecond = 7.8;
constexpr double kHalfBandHz = 250.0;
constexpr float kRangeDb = 60.0F;

class FftInputWaterfall final : public InputWaterfall {
 public:
  FftInputWaterfall(double sampleRate, double centerHz)
      : hop_(std::max<std::size_t>(1, static_cast<std::size_t>(sampleRate / kLinesPerSecond))),
        window_(static_cast<std::size_t>(sampleRate / kHzPerPixel)),
        size_(std::max<std::size_t>(8, window_)),
        sampleRate_(sampleRate),
        lowestHz_(centerHz - kHalfBandHz),
        width_(static_cast<int>(2.0 * kHalfBandHz / kHzPerPixel) + 1) {
    // A Hann window as long as 1 / (Hz per pixel): a steady tone is a few pixels wide.
    hann_.resize(window_);
    double sum = 0.0;
    for (std::size_t n = 0; n < window_; ++n) {
      hann_[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (static_cast<double>(n) + 0.5) / static_cast<double>(window_));
      sum += hann_[n];
    }
    // A full-scale sine then reads 0 dB.
    scale_ = 2.0 / sum;
    in_ = fftw_alloc_real(size_);
    out_ = fftw_alloc_complex(size_ / 2 + 1);
    plan_ = fftw_plan_dft_r2c_1d(static_cast<int>(size_), in_, out_, FFTW_ESTIMATE);
  }
  ~FftInputWaterfall() override {
    fftw_destroy_plan(plan_);
    fftw_free(out_);
    fftw_free(in_);
  }
  FftInputWaterfall(const FftInputWaterfall&) = delete;
  FftInputWaterfall& operator=(const FftInputWaterfall&) = delete;

  std::vector<PictureLine> push(std::span<const float> samples) override {
    std::vector<PictureLine> lines;
    recent_.insert(recent_.end(), samples.begin(), samples.end());
    while (recent_.size() >= window_) {
      lines.push_back(line());
      recent_.erase(recent_.begin(), recent_.begin() + static_cast<std::ptrdiff_t>(std::min(hop_, recent_.size())));
    }
    return lines;
  }
  int width() const override { return width_; }
  double lowestHz() const override { return lowestHz_; }
  double hzPerPixel() const override { return kHzPerPixel; }

 private:
  PictureLine line() {
    for (std::size_t n = 0; n < window_; ++n) in_[n] = static_cast<double>(recent_[n]) * hann_[n];
    fftw_execute(plan_);
    std::vector<float> db(static_cast<std::size_t>(width_));
    float strongest = -200.0F;
    for (int x = 0; x < width_; ++x) {
      const double hz = lowestHz_ + x * kHzPerPixel;
      const auto bin = static_cast<std::size_t>(std::clamp(std::lround(hz * static_cast<double>(size_) / sampleRate_), 0L,
                                                           static_cast<long>(size_ / 2)));
      const double re = out_[bin][0] * scale_;
      const double im = out_[bin][1] * scale_;
      db[static_cast<std::size_t>(x)] = static_cast<float>(10.0 * std::log10(re * re + im * im + 1e-20));
      strongest = std::max(strongest, db[static_cast<std::size_t>(x)]);
    }
    // 60 dB below the strongest signal seen lately is black; the peak falls slowly so
    // that a pause does not light up the noise at once.
    peak_ = std::max(strongest, peak_ - 0.5F);
    PictureLine out(static_cast<std::size_t>(width_));
    for (std::size_t x = 0; x < out.size(); ++x)
      out[x] = levelColour(kFloorDb + (db[x] - (peak_ - kRangeDb)) * (kTopDb - kFloorDb) / kRangeDb);
    return out;
  }

  std::size_t hop_;
  std::size_t window_;
  std::size_t size_;
  double sampleRate_;
  double lowestHz_;
  int width_;
  double scale_ = 1.0;
  float peak_ = -200.0F;
  std::vector<double> hann_;
  std::vector<float> recent_;
  double* in_;
  fftw_complex* out_;
  fftw_plan plan_;
};

}  // namespace

std::unique_ptr<InputWaterfall> makeInputWaterfall(double sampleRate, double centerHz) {
  return std::make_unique<FftInputWaterfall>(sampleRate, centerHz);
}

}  // namespace velmora::waterfall
