#include "waterfall/spectrum_lines.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "synth/column_envelope.h"

namespace velmora::waterfall {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2.0 * kPi;
// Levels are relative to a full-scale sine, whose positive-frequency half is 32768 / 2.
constexpr double kFullScaleHalf = 16384.0;
constexpr float kSilentDb = -200.0F;

// FFTW's planner is one shared state for the whole process; plans are made and destroyed
// under this lock, and executed without it.
std::mutex& plannerMutex() {
  static std::mutex mutex;
  return mutex;
}

fftw_complex* asFftw(std::complex<double>* values) { return reinterpret_cast<fftw_complex*>(values); }

// The fade of a burst at (fractional) sample j of `length`: the gain (1 + cos angle) / 2,
// the angle stepping from -pi by pi/1000 on every sample of the rise and of the fall. A
// burst shorter than both ramps never reaches full level.
double envelopeGain(double j, double length) {
  constexpr auto kRamp = static_cast<double>(ColumnEnvelope::kRampLength);
  const double fallStart = length - kRamp;
  const double steps = std::min(j + 1.0, kRamp) + std::max(0.0, j - std::max(fallStart, kRamp - 1.0));
  if (steps == kRamp) return 1.0;
  return 0.5 * (1.0 + std::cos(-kPi + steps * ColumnEnvelope::kStep));
}

}  // namespace

SpectrumLines::SpectrumLines(const SoundTimeline& timeline)
    : timeline_(timeline),
      pointSpacing_(kSampleRate / (kTransformLength * binWidthHz())),
      hann_(kTransformLength),
      input_(reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(kTransformLength))),
      output_(reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(kTransformLength))) {
  for (int p = 0; p < kTransformLength; ++p) {
    hann_[static_cast<std::size_t>(p)] = 0.5 - 0.5 * std::cos(kTwoPi * (p + 0.5) / kTransformLength);
  }
  // Mixing down by the center multiplies by exp(-i w t); at a burst's start that is a
  // whole number of cycles plus (center * start mod rate) / rate of one.
  const auto rate = static_cast<std::int64_t>(kSampleRate);
  burstPhase_.reserve(timeline.bursts.size());
  for (const ToneBurst& burst : timeline.bursts) {
    const auto cycles = static_cast<double>(std::int64_t{timeline.center} * burst.start % rate) / kSampleRate;
    burstPhase_.push_back(std::polar(1.0, -kTwoPi * cycles));
  }
  const std::lock_guard lock(plannerMutex());
  plan_ = fftw_plan_dft_1d(kTransformLength, asFftw(input_), asFftw(output_), FFTW_FORWARD, FFTW_ESTIMATE);
}

SpectrumLines::~SpectrumLines() {
  {
    const std::lock_guard lock(plannerMutex());
    fftw_destroy_plan(static_cast<fftw_plan>(plan_));
  }
  fftw_free(input_);
  fftw_free(output_);
}

double SpectrumLines::binWidthHz() const { return static_cast<double>(timeline_.offset) / kBinsPerOffset; }

// The positive-frequency half of the burst's tones, mixed down: each tone
// A * gain * sin(w j) contributes A * gain / 2 * exp(i (w - w_center) j), up to one
// constant phase shared by every tone.
std::complex<double> SpectrumLines::burstValue(const ToneBurst& burst, std::complex<double> startPhase,
                                               double time) const {
  const double j = time - static_cast<double>(burst.start);
  const std::complex<double> step = std::polar(1.0, kTwoPi * timeline_.offset * j / kSampleRate);
  std::complex<double> power = 1.0;  // step^m for m = 0, 1, ...
  std::complex<double> sum = 0.0;
  for (int m = 0; m <= kMaxToneSteps; ++m) {
    if (m > 0) power *= step;
    if ((burst.tones >> (kMaxToneSteps + m)) & 1U) sum += power;
    if (m > 0 && ((burst.tones >> (kMaxToneSteps - m)) & 1U)) sum += std::conj(power);
  }
  const double gain = envelopeGain(j, static_cast<double>(burst.length));
  return sum * startPhase * (0.5 * burst.amplitude * gain);
}

void SpectrumLines::sampleWindow(double firstTime) {
  const std::vector<ToneBurst>& bursts = timeline_.bursts;
  // The first burst that can hold the first point: the last one starting at or before it.
  auto next = std::upper_bound(
      bursts.begin(), bursts.end(), firstTime,
      [](double time, const ToneBurst& burst) { return time < static_cast<double>(burst.start); });
  std::size_t index = next == bursts.begin() ? 0 : static_cast<std::size_t>(next - bursts.begin() - 1);
  for (int p = 0; p < kTransformLength; ++p) {
    const double time = firstTime + p * pointSpacing_;
    while (index < bursts.size() && time >= static_cast<double>(bursts[index].start + bursts[index].length)) {
      ++index;
    }
    std::complex<double> value = 0.0;
    if (index < bursts.size() && time >= static_cast<double>(bursts[index].start)) {
      value = burstValue(bursts[index], burstPhase_[index], time);
    }
    input_[p] = value * hann_[static_cast<std::size_t>(p)];
  }
}

void SpectrumLines::levels(double time, std::span<float, kShownBins> out) {
  sampleWindow(time - 0.5 * kTransformLength * pointSpacing_ + 0.5 * pointSpacing_);
  fftw_execute(static_cast<fftw_plan>(plan_));
  // A tone on a bin's frequency gives |X| = amplitude / 2 * (sum of the window) = amplitude / 2 * N / 2.
  constexpr double kScale = 2.0 / kTransformLength / kFullScaleHalf;
  constexpr int kLowestBin = -kBinsPerOffset * kShownOffsets;
  for (int k = 0; k < kShownBins; ++k) {
    const int bin = (kLowestBin + k + kTransformLength) % kTransformLength;
    const double power = std::norm(output_[bin] * kScale);
    out[static_cast<std::size_t>(k)] = power > 0.0 ? static_cast<float>(10.0 * std::log10(power)) : kSilentDb;
  }
}

}  // namespace velmora::waterfall
