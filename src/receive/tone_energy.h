#pragma once
// The energy of single tones over a stretch of samples: |sum x[n] w[n] e^(-i 2 pi f n / fs)|^2,
// a matched filter for a tone whose phase is unknown. Used for every pixel and for the
// noise beside the pixels, with the same window, so that their ratio is a clean SNR.

#include <span>
#include <vector>

namespace velmora::receive {

// A burst's fade as the receiver models it: raised-cosine ramps of `ramp` samples at both
// ends, flat between; a burst shorter than two ramps is one raised cosine (Hann).
std::vector<float> burstWindow(std::size_t length, std::size_t ramp);

// Energies of `frequencies` (Hz) over x[0 .. window.size()) weighted by `window`; x must
// hold at least window.size() samples. Results go to `energies`, one per frequency.
void toneEnergies(std::span<const float> x, double sampleRate, std::span<const double> frequencies,
                  std::span<const float> window, std::span<double> energies);

}  // namespace velmora::receive
