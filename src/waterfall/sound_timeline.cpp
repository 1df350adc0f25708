#include "waterfall/sound_timeline.h"

#include <algorithm>
#include <cmath>

#include "synth/column_timing.h"
#include "synth/synthesis.h"
#include "synth/tone_plan.h"

namespace velmora::waterfall {

namespace {

constexpr int kRowCount = 7;
constexpr double kFullScale = 32768.0;

std::uint16_t toneBit(const TonePlan& plan, std::size_t entry, const SoundTimeline& timeline) {
  const int steps = (plan.frequency[entry] - timeline.center) / timeline.offset;
  return static_cast<std::uint16_t>(1U << (steps + kMaxToneSteps));
}

ColumnParameters columnParameters(const SoundSettings& settings, std::uint8_t mask) {
  ColumnParameters column;
  column.mask = mask;
  column.center = settings.center;
  column.offset = settings.offset;
  column.reverse = settings.reverse;
  column.durationMs = settings.durationMs;
  column.pilotTone = settings.pilotTone;
  column.maximizeAveragePower = settings.maximizeAveragePower;
  column.skipDarkPixels = settings.skipDarkPixels;
  return column;
}

void addBurst(SoundTimeline& timeline, std::int64_t start, std::int64_t length, double amplitude,
              std::uint16_t tones) {
  if (tones != 0 && length > 0) timeline.bursts.push_back({start, length, amplitude, tones});
}

// All lit rows at once; the pilot sounds alone in a column without a lit row.
std::int64_t addConcurrentColumn(SoundTimeline& timeline, const ColumnParameters& column,
                                 const TonePlan& plan, std::int64_t start) {
  std::uint16_t tones = 0;
  int litRows = 0;
  for (int row = 0; row < kRowCount; ++row) {
    if (((column.mask >> row) & 1U) == 0) continue;
    tones |= toneBit(plan, static_cast<std::size_t>(row), timeline);
    ++litRows;
  }
  if (litRows == 0 && column.pilotTone) tones = toneBit(plan, kPilotEntry, timeline);
  const auto length = static_cast<std::int64_t>(concurrentSampleCount(column.durationMs));
  addBurst(timeline, start, length, concurrentToneAmplitude(column.maximizeAveragePower, litRows), tones);
  return length;
}

// One slot per row in row order, each a full-scale tone of its own or silence; skipped
// slots take no time.
std::int64_t addSequentialColumn(SoundTimeline& timeline, const ColumnParameters& column,
                                 const TonePlan& plan, std::int64_t start) {
  const std::int64_t slotLength = sequentialSlotLength(column.durationMs);
  std::int64_t written = 0;
  for (int row = 0; row < kRowCount; ++row) {
    const SlotKind kind = sequentialSlotKind(column, row);
    if (kind == SlotKind::Skipped) continue;
    if (kind != SlotKind::Silence) {
      const std::size_t entry = kind == SlotKind::Row ? static_cast<std::size_t>(row) : kPilotEntry;
      addBurst(timeline, start + written, slotLength, kFullScale, toneBit(plan, entry, timeline));
    }
    written += slotLength;
  }
  return written;
}

}  // namespace

SoundSettings clampedSettings(const SoundSettings& settings) {
  SoundSettings clamped = settings;
  clamped.center = std::clamp(settings.center, 100, 3000);
  clamped.offset = std::clamp(settings.offset, 1, 10);
  clamped.durationMs = std::clamp(settings.durationMs, 300U, 60000U);
  return clamped;
}

SoundTimeline makeSoundTimeline(const Sending& sending) {
  const SoundSettings settings = clampedSettings(sending.settings);
  SoundTimeline timeline;
  timeline.center = settings.center;
  timeline.offset = settings.offset;

  if (sending.tuningTone) {
    const auto length = static_cast<std::int64_t>(kTuningToneSamples);
    const double amplitude = tuningToneAmplitude(sending.tuneSinglePixel);
    addBurst(timeline, 0, length, amplitude, std::uint16_t{1U << kMaxToneSteps});
    timeline.columns.push_back({0, length});
    timeline.totalSamples = length;
    timeline.fullColumnSamples = length;
    return timeline;
  }

  const TonePlan plan = makeTonePlan(settings.center, settings.offset, settings.reverse);
  timeline.fullColumnSamples = settings.concurrent
                                   ? static_cast<std::int64_t>(concurrentSampleCount(settings.durationMs))
                                   : kRowCount * std::int64_t{sequentialSlotLength(settings.durationMs)};
  std::int64_t time = 0;
  double onAirMs = 0.0;
  for (const std::uint8_t mask : sending.columns) {
    const ColumnParameters column = columnParameters(settings, mask);
    const std::int64_t length = settings.concurrent ? addConcurrentColumn(timeline, column, plan, time)
                                                    : addSequentialColumn(timeline, column, plan, time);
    // The column holds the air until the sequencer's wait for it ends: its sound, then
    // silence until the next column starts.
    // Rounded from the running total, so that no rounding adds up over a long text.
    onAirMs += columnOnAirMs(settings.concurrent, settings.durationMs, static_cast<std::size_t>(length));
    const std::int64_t end = std::max<std::int64_t>(time + length, std::llround(onAirMs * kSampleRate / 1000.0));
    timeline.columns.push_back({time, end});
    time = end;
  }
  timeline.totalSamples = time;
  return timeline;
}

}  // namespace velmora::waterfall
