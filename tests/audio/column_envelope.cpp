#include "column_envelope.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "audio/audio_output.h"

namespace velmora::testing {
namespace {

constexpr std::size_t kBlock = 11;  // 1 ms: the envelope's step
// Loud: a quarter of the sound's peak, well above what resampling changes.
constexpr double kLoudShare = 0.25;
// Audible: well above what a resampler leaves in silence, and reached early in a fade.
constexpr int kAudible = 100;
// A block is a hole when the capture keeps under a tenth of what was written there.
constexpr double kHoleShare = 0.1;

double toMs(double samples) { return 1000.0 * samples / kSampleRate; }

int peakOf(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
  int peak = 0;
  for (std::size_t i = from; i < std::min(to, samples.size()); ++i)
    peak = std::max(peak, std::abs(int{samples[i]}));
  return peak;
}

struct Span {
  std::size_t first = 0;
  std::size_t last = 0;
};

// The first and last samples at or above `loud`, searching [from, to); nothing found
// leaves first > last.
Span loudSpan(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to, int loud) {
  Span span{1, 0};
  to = std::min(to, samples.size());
  for (std::size_t i = from; i < to; ++i)
    if (std::abs(int{samples[i]}) >= loud) {
      if (span.first > span.last) span.first = i;
      span.last = i;
    }
  return span;
}

std::vector<bool> tonesPresent(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to,
                               const std::vector<double>& tonesHz) {
  std::vector<double> powers;
  for (double hz : tonesHz) powers.push_back(tonePower(samples, from, to, hz));
  const double strongest = powers.empty() ? 0 : *std::max_element(powers.begin(), powers.end());
  std::vector<bool> present;
  for (double power : powers) present.push_back(strongest > 0 && power > 0.1 * strongest);
  return present;
}

void countHoles(const std::vector<std::int16_t>& captured, const std::vector<std::int16_t>& written,
                const Span& loud, HeardSound& heard) {
  int run = 0;
  const auto closeRun = [&] {
    if (run == 0) return;
    ++heard.dropouts;
    heard.longestDropoutMs = std::max(heard.longestDropoutMs, static_cast<double>(run));
    run = 0;
  };
  const int loudLevel = static_cast<int>(kLoudShare * peakOf(written, 0, written.size()));
  for (std::size_t block = loud.first; block + kBlock <= loud.last; block += kBlock) {
    const int expected = peakOf(written, block, block + kBlock);
    const int got = peakOf(captured, heard.start + block, heard.start + block + kBlock);
    if (expected >= loudLevel && got < kHoleShare * expected)
      ++run;
    else if (expected >= loudLevel)
      closeRun();
  }
  closeRun();
}

}  // namespace

double tonePower(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to, double hz) {
  const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * hz / kSampleRate);
  double previous = 0, beforePrevious = 0;
  to = std::min(to, samples.size());
  for (std::size_t i = from; i < to; ++i) {
    const double current = samples[i] + coefficient * previous - beforePrevious;
    beforePrevious = previous;
    previous = current;
  }
  const double power =
      previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
  return to > from ? power / static_cast<double>(to - from) : 0;
}

std::vector<HeardSound> findSounds(const std::vector<std::int16_t>& captured,
                                   const std::vector<std::vector<std::int16_t>>& written,
                                   const std::vector<double>& tonesHz) {
  std::vector<HeardSound> found;
  std::size_t searchFrom = 0;
  std::size_t previousEnd = 0;
  for (std::size_t k = 0; k < written.size(); ++k) {
    const auto& sound = written[k];
    HeardSound heard;
    const Span writtenAudible = loudSpan(sound, 0, sound.size(), kAudible);
    const Span onset = loudSpan(captured, searchFrom, captured.size(), kAudible);
    if (writtenAudible.first > writtenAudible.last || onset.first > onset.last ||
        onset.first < writtenAudible.first) {
      found.push_back(heard);
      continue;
    }
    heard.found = true;
    heard.start = onset.first - writtenAudible.first;
    // The heard end: the last audible sample up to where the written one ends, plus 2 ms.
    const Span heardAudible =
        loudSpan(captured, onset.first, heard.start + writtenAudible.last + 23, kAudible);
    heard.shortByMs = toMs(static_cast<double>(writtenAudible.last - writtenAudible.first)) -
                      toMs(static_cast<double>(heardAudible.last - heardAudible.first));
    if (k > 0 && found.back().found)
      heard.silenceBeforeMs = toMs(static_cast<double>(heard.start) - static_cast<double>(previousEnd));
    const int loud = static_cast<int>(kLoudShare * peakOf(sound, 0, sound.size()));
    const Span writtenLoud = loudSpan(sound, 0, sound.size(), loud);
    countHoles(captured, sound, writtenLoud, heard);
    heard.tonesMatch =
        tonesPresent(captured, heard.start + writtenLoud.first, heard.start + writtenLoud.last, tonesHz) ==
        tonesPresent(sound, writtenLoud.first, writtenLoud.last, tonesHz);
    previousEnd = heard.start + sound.size();
    // The next sound starts after this one's end, even when a hole cut this one short.
    searchFrom = std::max(heardAudible.last, heard.start + writtenAudible.last - kBlock) + 1;
    found.push_back(heard);
  }
  return found;
}

std::string spread(std::vector<double> values) {
  if (values.empty()) return "-";
  std::sort(values.begin(), values.end());
  char text[64];
  std::snprintf(text, sizeof text, "%.1f/%.1f/%.1f", values.front(), values[values.size() / 2],
                values.back());
  return text;
}

}  // namespace velmora::testing
