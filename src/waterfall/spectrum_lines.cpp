#include "waterfall/spectrum_lines.h"

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

#include "core/fft_planner.h"
#include "synth/column_envelope.h"

namespace velmora::waterfall {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2.0 * kPi;
// Levels are relative to a full-scale sine, whose positive-frequency half is 32768 / 2.
constexpr double kFullScaleHalf = 16384.0;
constexpr float kSilentDb = -200.0F;

fftw_complex* asFftw(std::complex<double>* values) { return reinterpret_cast<fftw_complex*>(values); }

// The fade of a burst at (fractional) sample j of `length`: the gain (1 + cos angle) / 2,
// the angle stepping from -pi by pi/1000 on every sample of the rise and of the fall. A
// burst shorter than both ramps steps by 2 pi / length on every sample instead, which is
// the same curve taken 2000 / length steps at a time. The gain is a function of the steps
// taken (0..2000), tabulated once and interpolated.
class EnvelopeTable {
 public:
  EnvelopeTable() {
    for (std::size_t steps = 0; steps < gain_.size(); ++steps) {
      gain_[steps] = 0.5 * (1.0 + std::cos(-kPi + static_cast<double>(steps) * ColumnEnvelope::kStep));
    }
  }

  double gain(double j, double length) const {
    if (length < 2.0 * kRamp) return interpolated((j + 1.0) * 2.0 * kRamp / length);
    const double fallStart = length - kRamp;
    const double steps = std::min(j + 1.0, kRamp) + std::max(0.0, j - std::max(fallStart, kRamp - 1.0));
    if (steps == kRamp) return 1.0;
    return interpolated(steps);
  }

 private:
  double interpolated(double steps) const {
    const double clamped = std::clamp(steps, 0.0, 2.0 * kRamp - 1.0);
    const auto below = static_cast<std::size_t>(clamped);
    const double fraction = clamped - static_cast<double>(below);
    return gain_[below] + (gain_[below + 1] - gain_[below]) * fraction;
  }

  static constexpr auto kRamp = static_cast<double>(ColumnEnvelope::kRampLength);
  std::array<double, 2 * ColumnEnvelope::kRampLength + 1> gain_{};
};

const EnvelopeTable& envelope() {
  static const EnvelopeTable table;
  return table;
}

}  // namespace

// The transform covers at least kSampledBandHz, so that the band shown is not folded
// onto itself. A window longer than the transform (longer than 1 / Hz per pixel) is
// folded into it, point p onto p mod length: the transform then gives the window's
// spectrum at exactly the bin spacing.
constexpr double kSampledBandHz = 1024.0;

int transformLengthFor(const ReceiverProfile& profile) {
  int length = 64;
  while (length * profile.hzPerPixel < kSampledBandHz) length *= 2;
  return length;
}

SpectrumLines::SpectrumLines(const SoundTimeline& timeline, const ReceiverProfile& profile)
    : timeline_(timeline),
      transformLength_(transformLengthFor(profile)),
      windowPoints_(static_cast<int>(std::ceil(windowSeconds(profile) * transformLength_ * profile.hzPerPixel))),
      halfBins_(static_cast<int>(std::ceil(kHalfBandHz / profile.hzPerPixel))),
      pointSpacing_(kSampleRate / (transformLength_ * profile.hzPerPixel)),
      window_(static_cast<std::size_t>(windowPoints_)),
      input_(reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(static_cast<std::size_t>(transformLength_)))),
      output_(reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(static_cast<std::size_t>(transformLength_)))) {
  double sum = 0.0;
  for (int p = 0; p < windowPoints_; ++p) {
    window_[static_cast<std::size_t>(p)] = windowValue(profile.window, (p + 0.5) / windowPoints_);
    sum += window_[static_cast<std::size_t>(p)];
  }
  // A tone on a bin's frequency gives |X| = amplitude / 2 * (sum of the window).
  scale_ = 1.0 / (sum * kFullScaleHalf);
  turn_.reserve(static_cast<std::size_t>((2 * kMaxToneSteps + 1) * 2 * windowPoints_));
  for (int m = -kMaxToneSteps; m <= kMaxToneSteps; ++m) {
    for (int p = 0; p < windowPoints_; ++p) {
      const double angle = kTwoPi * m * timeline.offset * p * pointSpacing_ / kSampleRate;
      turn_.push_back(std::cos(angle));
      turn_.push_back(std::sin(angle));
    }
  }
  // Mixing down by the center multiplies by exp(-i w t); at a burst's start that is a
  // whole number of cycles plus (center * start mod rate) / rate of one.
  const auto rate = static_cast<std::int64_t>(kSampleRate);
  burstPhase_.reserve(timeline.bursts.size());
  for (const ToneBurst& burst : timeline.bursts) {
    const auto cycles = static_cast<double>(std::int64_t{timeline.center} * burst.start % rate) / kSampleRate;
    burstPhase_.push_back(std::polar(1.0, -kTwoPi * cycles));
  }
  const std::lock_guard lock(fftPlannerMutex());
  plan_ = fftw_plan_dft_1d(transformLength_, asFftw(input_), asFftw(output_), FFTW_FORWARD, FFTW_ESTIMATE);
}

SpectrumLines::~SpectrumLines() {
  {
    const std::lock_guard lock(fftPlannerMutex());
    fftw_destroy_plan(static_cast<fftw_plan>(plan_));
  }
  fftw_free(input_);
  fftw_free(output_);
}

// Adds the burst's points [firstPoint, endPoint) to the window. Mixed down, each tone
// A * gain * sin(w j) keeps its positive-frequency half A * gain / 2 * exp(i (w - w_center) j)
// (up to one constant phase shared by all); the tone's phase at the window's first point
// is computed once, and the table turns it to every other point.
void SpectrumLines::addBurst(std::size_t index, double firstTime, int firstPoint, int endPoint) {
  const ToneBurst& burst = timeline_.bursts[index];
  const double start = static_cast<double>(burst.start);
  const std::complex<double> unit =
      std::polar(1.0, kTwoPi * timeline_.offset * (firstTime - start) / kSampleRate);
  const std::complex<double> scale = burstPhase_[index] * (0.5 * burst.amplitude);

  std::array<double, 2 * (2 * kMaxToneSteps + 1)> coefficient{};  // re/im per sounding tone
  std::array<const double*, 2 * kMaxToneSteps + 1> turn{};
  int tones = 0;
  std::complex<double> power = 1.0;  // unit^m
  for (int m = 0; m <= kMaxToneSteps; ++m) {
    if (m > 0) power *= unit;
    for (const int sign : {1, -1}) {
      if (m == 0 && sign < 0) break;
      if (((burst.tones >> (kMaxToneSteps + sign * m)) & 1U) == 0) continue;
      const std::complex<double> c = (sign > 0 ? power : std::conj(power)) * scale;
      coefficient[2 * tones] = c.real();
      coefficient[2 * tones + 1] = c.imag();
      turn[tones] = &turn_[static_cast<std::size_t>((sign * m + kMaxToneSteps) * 2 * windowPoints_)];
      ++tones;
    }
  }

  const double length = static_cast<double>(burst.length);
  const EnvelopeTable& fade = envelope();
  auto* out = reinterpret_cast<double*>(input_);
  for (int p = firstPoint; p < endPoint; ++p) {
    double re = 0.0;
    double im = 0.0;
    for (int t = 0; t < tones; ++t) {
      const double a = coefficient[2 * t];
      const double b = coefficient[2 * t + 1];
      const double c = turn[t][2 * p];
      const double d = turn[t][2 * p + 1];
      re += a * c - b * d;
      im += a * d + b * c;
    }
    const double gain = fade.gain(firstTime + p * pointSpacing_ - start, length) * window_[static_cast<std::size_t>(p)];
    const int slot = p % transformLength_;
    out[2 * slot] += re * gain;
    out[2 * slot + 1] += im * gain;
  }
}

void SpectrumLines::sampleWindow(double firstTime) {
  std::fill(input_, input_ + transformLength_, std::complex<double>(0.0, 0.0));
  const std::vector<ToneBurst>& bursts = timeline_.bursts;
  // The first burst that reaches past the window's first point.
  auto burst = std::upper_bound(bursts.begin(), bursts.end(), firstTime, [](double time, const ToneBurst& b) {
    return time < static_cast<double>(b.start + b.length);
  });
  const double lastTime = firstTime + (windowPoints_ - 1) * pointSpacing_;
  for (; burst != bursts.end() && static_cast<double>(burst->start) <= lastTime; ++burst) {
    // The points inside [start, start + length).
    const auto pointAt = [&](std::int64_t sample) {
      const double point = std::ceil((static_cast<double>(sample) - firstTime) / pointSpacing_);
      return static_cast<int>(std::clamp(point, 0.0, static_cast<double>(windowPoints_)));
    };
    const int first = pointAt(burst->start);
    const int end = pointAt(burst->start + burst->length);
    if (first < end) addBurst(static_cast<std::size_t>(burst - bursts.begin()), firstTime, first, end);
  }
}

void SpectrumLines::levels(double time, std::span<float> out) {
  sampleWindow(time - 0.5 * windowPoints_ * pointSpacing_ + 0.5 * pointSpacing_);
  fftw_execute(static_cast<fftw_plan>(plan_));
  const int bins = std::min(binCount(), static_cast<int>(out.size()));
  for (int k = 0; k < bins; ++k) {
    const int bin = (k - halfBins_ + transformLength_) % transformLength_;
    const double power = std::norm(output_[bin] * scale_);
    out[static_cast<std::size_t>(k)] = power > 0.0 ? static_cast<float>(10.0 * std::log10(power)) : kSilentDb;
  }
}

}  // namespace velmora::waterfall
