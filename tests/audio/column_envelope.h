#pragma once
// Finds written sounds in a capture of a sink's monitor by their envelope, for servers
// that resample (PipeWire runs its graph at 48 kHz), where a sample-for-sample match is
// impossible: where each sound starts, whether it is heard to its end, holes inside it
// (dropouts), its tones, and the silence between consecutive sounds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::testing {

struct HeardSound {
  bool found = false;
  std::size_t start = 0;       // capture index of the written sound's first sample
  double silenceBeforeMs = 0;  // from the end of the previous written sound; 0 for the first
  double shortByMs = 0;        // loud span written minus loud span heard (> 0: cut short)
  int dropouts = 0;            // near-silent stretches where the written sound is loud
  double longestDropoutMs = 0;
  bool tonesMatch = false;  // the same tones sound, of those asked about
};

// `written` in playing order; `tonesHz` the frequencies whose presence is compared.
std::vector<HeardSound> findSounds(const std::vector<std::int16_t>& captured,
                                   const std::vector<std::vector<std::int16_t>>& written,
                                   const std::vector<double>& tonesHz);

// Goertzel power of one frequency over samples [from, to), per sample.
double tonePower(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to, double hz);

// "min/median/max" of the values, in ms with one decimal; "-" when empty.
std::string spread(std::vector<double> values);

// Whether a sound counts as cut: heard this much shorter than written.
inline constexpr double kCutMs = 3.0;

}  // namespace velmora::testing
