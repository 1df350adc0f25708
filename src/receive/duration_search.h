#pragma once
// The mode and the column duration when the station does not know them. Every burst
// (a C/MT column, an S/MT slot) fades in and out, so the sound's envelope in the band
// where the text lies repeats with the burst pitch, whatever the glyphs. That pitch is a
// C/MT column (the duration plus the usual gap) or an S/MT slot (a seventh of the
// duration); a few durations near each reading of it are offered, and the reading that
// explains the sound best decides.
// C/MT's rows sound together and beat with each other at the offset, which would repeat
// like a burst: its envelope is taken row by row over a rectangle of one offset's period,
// where the other rows cancel.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "receive/decoder.h"
#include "receive/tone_search.h"

namespace velmora::receive {

struct Timing {
  Mode mode = Mode::Concurrent;
  std::uint32_t durationMs = 0;
};

// Candidates. `spectrum` tells where in the band the text lies, `tones` where C/MT's rows
// would be.
std::vector<Timing> likelyTimings(std::span<const float> samples, double sampleRate,
                                  const LongSpectrum& spectrum, const ToneSet& tones,
                                  std::optional<Mode> mode);

}  // namespace velmora::receive
