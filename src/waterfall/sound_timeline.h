#pragma once
// The sound of a sending as a list of tone bursts on one sample clock: when each burst
// starts, how long it lasts, its tones (as multiples of the row offset from the center)
// and their amplitude. Silence is left out. Built from the synthesis rules, so the
// picture shows what the samples hold, and with each column placed where the sequencer
// sends it: after the wait for the column before it, gaps included.

#include <cstdint>
#include <vector>

#include "waterfall/waterfall.h"

namespace velmora::waterfall {

inline constexpr double kSampleRate = 11025.0;
// Tones lie at most this many row offsets from the center (the pilot).
inline constexpr int kMaxToneSteps = 5;

struct ToneBurst {
  std::int64_t start = 0;   // sample
  std::int64_t length = 0;  // samples, each with its own fade in and out
  double amplitude = 0.0;   // of each tone, in sample units
  std::uint16_t tones = 0;  // bit (m + kMaxToneSteps): a tone at center + m * offset
};

struct SampleSpan {
  std::int64_t begin = 0;
  std::int64_t end = 0;
};

struct SoundTimeline {
  std::int32_t center = 1000;
  std::int32_t offset = 10;
  std::vector<ToneBurst> bursts;    // in time order
  std::vector<SampleSpan> columns;  // each column's time on the air (the tuning tone: one)
  std::int64_t totalSamples = 0;
  // The samples of a column with every slot written: the time unit of the picture.
  std::int64_t fullColumnSamples = 0;
};

// Settings outside the accepted ranges are clamped into them.
SoundSettings clampedSettings(const SoundSettings& settings);

SoundTimeline makeSoundTimeline(const Sending& sending);

}  // namespace velmora::waterfall
