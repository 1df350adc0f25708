#include "receive/reading_fit.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "receive/tone_energy.h"
#include "receive/median.h"

namespace velmora::receive {

namespace {

// Adds a tone of unit amplitude shaped by `gain` at `start`. A picture of the sound, not
// the sound sent: a rotating phasor is close enough.
void addTone(std::vector<float>& out, std::size_t start, double hz, double sampleRate,
             std::span<const float> gain) {
  const std::complex<double> step = std::polar(1.0, 2.0 * std::numbers::pi * hz / sampleRate);
  std::complex<double> phasor(1.0, 0.0);
  const std::size_t end = std::min(out.size(), start + gain.size());
  for (std::size_t n = start; n < end; ++n) {
    out[n] += static_cast<float>(phasor.imag()) * gain[n - start];
    phasor *= step;
  }
}

}  // namespace

std::vector<float> resound(std::span<const int> masks, std::span<const std::size_t> starts,
                           const RowPlan& plan, bool mirrored, std::optional<bool> pilotAbove,
                           double sampleRate, std::size_t length) {
  std::vector<float> out(length, 0.0f);
  const double direction = mirrored ? -1.0 : 1.0;
  const auto ramp = static_cast<std::size_t>(std::lround(1000.0 * sampleRate / 11025.0));
  const bool concurrent = plan.mode == Mode::Concurrent;
  const std::size_t burst = concurrent ? plan.columnSamples : plan.columnSamples / 7;
  const std::vector<float> gain = burstWindow(burst, std::min(ramp, burst / 2));
  for (std::size_t i = 0; i < masks.size() && i < starts.size(); ++i) {
    if (masks[i] < 0) continue;
    const double center = plan.centerAt(static_cast<double>(starts[i]) / sampleRate);
    const double pilotHz = center + (pilotAbove.value_or(false) ? 5.0 : -5.0) * plan.offsetHz;
    for (int k = 0; k < 7; ++k) {
      const bool lit = (masks[i] >> k) & 1;
      const double hz = center + direction * (k - 3) * plan.offsetHz;
      if (concurrent) {
        if (lit) addTone(out, starts[i], hz, sampleRate, gain);
      } else if (lit || pilotAbove.has_value()) {
        addTone(out, starts[i] + static_cast<std::size_t>(k) * burst, lit ? hz : pilotHz, sampleRate, gain);
      }
    }
    if (concurrent && masks[i] == 0 && pilotAbove.has_value())
      addTone(out, starts[i], pilotHz, sampleRate, gain);
  }
  return out;
}

ReadingFit::ReadingFit(std::span<const float> samples, double sampleRate, double lowHz, double highHz)
    : sampleRate_(sampleRate), lowHz_(lowHz), highHz_(highHz) {
  for (double frameSeconds : {0.03, 0.25, 0.8}) {
    Resolution r{frameSeconds, spectrogram(samples, sampleRate, frameSeconds, lowHz, highHz)};
    // The noise floor: most cells of the band hold noise alone.
    const double floor = median(r.received.power);
    double squares = 0.0;
    for (double& p : r.received.power) {
      p -= floor;
      squares += p * p;
    }
    r.norm = std::sqrt(squares);
    resolutions_.push_back(std::move(r));
  }
}

double ReadingFit::correlation(const Resolution& r, std::span<const float> sound) const {
  const Spectrogram s = spectrogram(sound, sampleRate_, r.frameSeconds, lowHz_, highHz_);
  if (s.power.size() != r.received.power.size() || !(r.norm > 0.0)) return 0.0;
  double dot = 0.0, squares = 0.0;
  for (std::size_t i = 0; i < s.power.size(); ++i) {
    dot += s.power[i] * r.received.power[i];
    squares += s.power[i] * s.power[i];
  }
  return squares > 0.0 ? dot / (std::sqrt(squares) * r.norm) : 0.0;
}

double ReadingFit::score(std::span<const float> sound) const {
  double total = 0.0;
  for (const Resolution& r : resolutions_) total += correlation(r, sound);
  return total;
}

double ReadingFit::quickScore(std::span<const float> sound) const { return correlation(resolutions_[1], sound); }

}  // namespace velmora::receive
