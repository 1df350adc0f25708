#pragma once
// The column duration when the station does not know it: the envelope of the rows
// repeats with the column pitch (every burst fades in and out) and with the character
// pitch (the dark gap column). The pitch is the duration plus the usual gap, so a few
// durations just below it are offered; the reading that explains the sound best decides.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "receive/column_timing.h"
#include "receive/decoder.h"

namespace velmora::receive {

std::vector<std::uint32_t> likelyDurations(const BandEnvelope& envelope, double sampleRate, Mode mode,
                                           std::size_t maxGapSamples);

}  // namespace velmora::receive
