#include "receive/tone_energy.h"

#include <cmath>
#include <algorithm>
#include <numbers>

namespace velmora::receive {

std::vector<float> burstWindow(std::size_t length, std::size_t ramp) {
  std::vector<float> w(length, 1.0f);
  if (length == 0) return w;
  if (2 * ramp > length) ramp = length / 2;
  for (std::size_t n = 0; n < ramp; ++n) {
    const double g = 0.5 - 0.5 * std::cos(std::numbers::pi * (static_cast<double>(n) + 0.5) / static_cast<double>(ramp));
    w[n] = static_cast<float>(g);
    w[length - 1 - n] = static_cast<float>(g);
  }
  return w;
}

void toneEnergies(std::span<const float> x, double sampleRate, std::span<const double> frequencies,
                  std::span<const float> window, std::span<double> energies) {
  const std::size_t n = window.size();
  // Four tones per pass over the samples; the oscillators are plain pairs of doubles
  // (std::complex's product checks for infinities on every step).
  for (std::size_t f0 = 0; f0 < frequencies.size(); f0 += 4) {
    const std::size_t count = std::min<std::size_t>(4, frequencies.size() - f0);
    double cr[4], ci[4], pr[4], pi[4], re[4], im[4];
    for (std::size_t k = 0; k < 4; ++k) {
      const double step = k < count ? -2.0 * std::numbers::pi * frequencies[f0 + k] / sampleRate : 0.0;
      cr[k] = std::cos(step);
      ci[k] = std::sin(step);
      pr[k] = 1.0;
      pi[k] = 0.0;
      re[k] = 0.0;
      im[k] = 0.0;
    }
    for (std::size_t start = 0; start < n; start += 1024) {
      const std::size_t end = std::min(n, start + 1024);
      for (std::size_t i = start; i < end; ++i) {
        const double v = static_cast<double>(x[i]) * static_cast<double>(window[i]);
        for (std::size_t k = 0; k < 4; ++k) {
          re[k] += v * pr[k];
          im[k] += v * pi[k];
          const double r = pr[k] * cr[k] - pi[k] * ci[k];
          pi[k] = pr[k] * ci[k] + pi[k] * cr[k];
          pr[k] = r;
        }
      }
      // Put the oscillators back on the unit circle, so that long columns stay exact.
      for (std::size_t k = 0; k < 4; ++k) {
        const double norm = 1.0 / std::sqrt(pr[k] * pr[k] + pi[k] * pi[k]);
        pr[k] *= norm;
        pi[k] *= norm;
      }
    }
    for (std::size_t k = 0; k < count; ++k) energies[f0 + k] = re[k] * re[k] + im[k] * im[k];
  }
}

}  // namespace velmora::receive
