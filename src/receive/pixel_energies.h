#pragma once
// The energy of every pixel of every column, in units of the noise beside the rows, each
// integrated coherently over its whole column (C/MT) or its own slot (S/MT). Both the
// upright and the mirrored (Reverse) reading of the rows are measured, since they use
// different tones in S/MT slots.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "receive/decoder.h"

namespace velmora::receive {

struct RowPlan {
  double centerHz = 0.0;
  double driftHzPerS = 0.0;  // about the middle of the recording
  double middleS = 0.0;
  std::int32_t offsetHz = 0;
  Mode mode = Mode::Concurrent;
  std::size_t columnSamples = 0;
  double centerAt(double timeS) const { return centerHz + driftHzPerS * (timeS - middleS); }
};

struct ColumnPixels {
  std::array<double, 7> upright{};   // row k at center + (k - 3) * offset
  std::array<double, 7> mirrored{};  // row k at center - (k - 3) * offset
};

// Where the noise is measured: well outside the rows and the pilot, on both sides.
std::vector<double> noiseTones(double center, std::int32_t offset);

// The gain a column's bursts are expected to have, sample by sample, for `plan`.
std::vector<float> columnGain(const RowPlan& plan, double sampleRate);

// C/MT: each start moved within a few tens of milliseconds to where the column's rows
// hold the most energy, measured over the whole column. The chain's frames are coarse and
// its gaps a compromise; the column itself knows best where it lies. Order is kept.
std::vector<std::size_t> refineStarts(std::span<const float> samples, double sampleRate, const RowPlan& plan,
                                      std::span<const std::size_t> starts);

// One entry per start; a column that runs past the samples reads as noise alone (zeros).
std::vector<ColumnPixels> pixelEnergies(std::span<const float> samples, double sampleRate, const RowPlan& plan,
                                        std::span<const std::size_t> starts);

}  // namespace velmora::receive
