#pragma once
// Where each column starts. Columns last the column duration; a real transmission puts a
// short silence of varying length between them (the sender waits for each sound in
// polls), a rendered one none. So the starts are found as a chain: the energy of the row
// tones summed over each column is maximised, subject to every gap lying between 0 and
// kMaxColumnGapMs, with a small cost for gaps unlike the usual one so that dark stretches
// (spaces) still hold the right number of columns.

#include <cstddef>
#include <span>
#include <vector>

namespace velmora::receive {

// Energy of the given tones in short frames, less the noise measured beside them, in
// units of the noise's own spread: about 0 where nothing sounds.
struct BandEnvelope {
  std::size_t hop = 1;    // samples between frames
  std::size_t frame = 1;  // samples per frame
  std::vector<double> excess;
};

BandEnvelope bandEnvelope(std::span<const float> samples, double sampleRate, std::span<const double> toneHz,
                          std::span<const double> noiseHz);

// Sample positions of the chain of column starts that best fits the envelope; empty when
// nothing sounds. `columnGain` is a column's expected gain, sample by sample (its length
// is the column's). A gap that differs from the usual one costs gapCostPerSample of a
// strong column per sample of difference.
std::vector<std::size_t> columnStarts(const BandEnvelope& envelope, std::span<const float> columnGain,
                                      std::size_t maxGapSamples, double gapCostPerSample);

}  // namespace velmora::receive
