#pragma once
// Power in short frames across a band: the common ground on which the search compares
// readings of one recording made under different beliefs (mode, duration), and on which
// it finds how the bursts repeat.

#include <cstddef>
#include <span>
#include <vector>

namespace velmora::receive {

struct Spectrogram {
  std::size_t hop = 1;  // samples between frames
  std::size_t frames = 0;
  std::size_t bins = 0;
  double firstHz = 0.0;
  double binHz = 1.0;
  std::vector<double> power;  // frames x bins, frame by frame

  double at(std::size_t frame, std::size_t bin) const { return power[frame * bins + bin]; }
};

// A Hann window sampled at the middles of `length` samples.
std::vector<double> hannWindow(std::size_t length);

// Hann frames of frameSeconds every frameSeconds / 4, bins between lowHz and highHz.
Spectrogram spectrogram(std::span<const float> samples, double sampleRate, double frameSeconds, double lowHz,
                        double highHz);

}  // namespace velmora::receive
