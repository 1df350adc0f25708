#pragma once
// Where the pixel rows lie: the long-term spectrum of the whole recording, searched for
// seven tones an offset apart (and a pilot two offsets beyond the outer row). Every row
// sounds again and again over a message, so even a weak text stands out of the noise
// here long before any single pixel does.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velmora::receive {

// Mean power per bin between lowHz and highHz, divided by the noise floor (the median of
// a wider band), so that noise alone averages about 1.
struct LongSpectrum {
  double firstHz = 0.0;
  double binHz = 1.0;
  std::vector<double> level;
  int segments = 0;  // how many spectra were averaged
  double at(double hz) const;  // linear interpolation; 1 outside
};

LongSpectrum longSpectrum(std::span<const float> samples, double sampleRate, double lowHz, double highHz);

struct ToneSet {
  double centerHz = 0.0;
  std::int32_t offsetHz = 0;
  std::optional<bool> pilotReversed;  // pilot above the rows (Reverse); empty: no pilot seen
  double significance = 0.0;          // the rows' excess over noise, in standard deviations
};

// Best rows within ±searchHz of centerHz, for the given offset or for every offset 1..10.
ToneSet searchTones(const LongSpectrum& spectrum, double centerHz, double searchHz,
                    std::optional<std::int32_t> offsetHz);

}  // namespace velmora::receive
