#include "waterfall/readability.h"

#include <cmath>
#include <cstddef>

#include "synth/column_timing.h"
#include "synth/synthesis.h"
#include "waterfall/sound_timeline.h"

namespace velmora::waterfall {

namespace {

constexpr int kRowSpan = 6;             // offsets from the lowest to the highest row
constexpr int kGlyphColumns = 5;
constexpr double kResolvedPixels = 2.0;  // rows less than two pixels apart run together
// Two tones closer than a third of a steady tone's width on that receiver blur into one.
constexpr double kResolvedToneShare = 1.0 / 3.0;

// A full column on the air, in seconds.
double columnSeconds(bool concurrent, std::uint32_t durationMs) {
  const std::size_t samples = concurrent ? concurrentSampleCount(durationMs)
                                         : 7 * static_cast<std::size_t>(sequentialSlotLength(durationMs));
  return columnOnAirMs(concurrent, durationMs, samples) / 1000.0;
}

}  // namespace

Readability readability(const SoundSettings& requested, const ReceiverProfile& receiver) {
  const SoundSettings settings = clampedSettings(requested);
  Readability result;
  const double pixelWidth = settings.offset / receiver.hzPerPixel;
  const double pixelLines = columnSeconds(settings.concurrent, settings.durationMs) * receiver.linesPerSecond;
  result.letterPixels = kRowSpan * pixelWidth;
  result.letterLines = kGlyphColumns * pixelLines;
  result.pixelAspect = pixelLines / pixelWidth;

  // The on-air time of a column grows with the duration in steps: the nearest to square.
  const double target = pixelWidth / receiver.linesPerSecond;
  double best = INFINITY;
  for (std::uint32_t d = 300; d <= 60000; ++d) {
    const double miss = std::abs(columnSeconds(settings.concurrent, d) - target);
    if (miss < best) {
      best = miss;
      result.squareDurationMs = d;
    }
    if (columnSeconds(settings.concurrent, d) > target) break;
  }

  result.resolutionHz = std::max(kResolvedPixels * receiver.hzPerPixel, kResolvedToneShare * receiver.toneWidthHz);
  result.rowsMerge = settings.offset < result.resolutionHz;
  if (!settings.concurrent) {
    result.slotSeconds = sequentialSlotLength(settings.durationMs) / kSampleRate;
    result.slotsBlur = result.slotSeconds < 1.0 / receiver.linesPerSecond;
  }
  return result;
}

}  // namespace velmora::waterfall
