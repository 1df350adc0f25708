#include "transmit/column_sender.h"

#include <memory>
#include <optional>
#include <span>

#include "audio/audio_output.h"
#include "audio/playback.h"
#include "core/clock.h"
#include "core/controls.h"
#include "core/shared_state.h"
#include "synth/column_timing.h"
#include "synth/synthesis.h"

namespace velmora {

namespace {

// A sound step that fails only after this long failed on a sound system that stopped
// answering: every further column would wait as long, with the transmitter keyed.
constexpr std::uint32_t kStallMs = 2000;

enum class ColumnMode { Concurrent, Sequential };

std::size_t samplesNeeded(ColumnMode mode, std::uint32_t durationMs) {
  if (mode == ColumnMode::Concurrent) return concurrentSampleCount(durationMs);
  return 7 * static_cast<std::size_t>(sequentialSlotLength(durationMs));
}

ColumnParameters readColumnParameters(WorkerContext& ctx, std::uint8_t mask, std::int32_t center, int reverse,
                                      std::uint32_t durationMs) {
  ColumnParameters column;
  column.mask = mask;
  column.center = center;
  column.offset = ctx.shared.pixelRowOffset.load();
  column.reverse = reverse != 0;
  column.durationMs = durationMs;
  column.maximizeAveragePower = ctx.controls.isChecked(ControlId::MaxAvgPower);
  column.pilotTone = ctx.controls.isChecked(ControlId::PilotTone);
  column.skipDarkPixels = ctx.controls.isChecked(ControlId::SkipDark);
  return column;
}

SynthesizedSound synthesize(ColumnMode mode, const ColumnParameters& column, std::span<std::int16_t> region) {
  if (mode == ColumnMode::Concurrent) return synthesizeConcurrentColumn(column, region);
  return synthesizeSequentialColumn(column, region);
}

void showColumnFigures(Controls& controls, const SynthesizedSound& sound) {
  writeUnsigned(controls, ControlId::PixelCount, sound.pixelCount);
  controls.setText(ControlId::AveragePower, formatPowerPercent(sound.power.average));
  controls.setText(ControlId::PeakPower, formatPowerPercent(sound.power.peak));
}

void clearColumnFigures(Controls& controls) {
  writeUnsigned(controls, ControlId::PixelCount, 0);
  writeUnsigned(controls, ControlId::AveragePower, 0);
  writeUnsigned(controls, ControlId::PeakPower, 0);
}

// A lock that hands back less than the column needs would let the synthesis write past
// the region, so it counts as a failed lock.
std::optional<std::span<std::int16_t>> lockForColumn(SoundBuffer& buffer, std::size_t samples) {
  auto region = buffer.lock();
  if (region && region->size() < samples) return std::nullopt;
  return region;
}

bool sendColumn(ColumnMode mode, WorkerContext& ctx, std::uint8_t mask, std::int32_t center, int reverse,
                double& averagePower) {
  const std::uint32_t durationMs = readUnsigned(ctx.controls, ControlId::Duration);
  const std::uint32_t start = ctx.clock.tickCount();
  const auto stalled = [&] { return elapsedTicks(start, ctx.clock.tickCount()) >= kStallMs; };
  std::unique_ptr<SoundBuffer> buffer = ctx.audio.createSoundBuffer(columnBufferBytes(durationMs));
  if (!buffer) return stalled();
  bool played = false;

  const auto region = lockForColumn(*buffer, samplesNeeded(mode, durationMs));
  if (region) {
    const ColumnParameters column = readColumnParameters(ctx, mask, center, reverse, durationMs);
    const SynthesizedSound sound = synthesize(mode, column, *region);
    averagePower = sound.power.average;
    showColumnFigures(ctx.controls, sound);
    const bool concurrent = mode == ColumnMode::Concurrent;
    played = playFilledBuffer(*buffer, sound.samplesWritten, ctx.clock, ctx.shared.stopFlag, columnPollMs(concurrent),
                              columnWaitLimitMs(concurrent, durationMs, sound.samplesWritten));
  } else {
    buffer->stop(StopMode::Flush);
  }
  buffer.reset();
  clearColumnFigures(ctx.controls);
  return !played && stalled();
}

}  // namespace

bool sendConcurrentColumn(WorkerContext& ctx, std::uint8_t mask, std::int32_t center, int reverse,
                          double& averagePower) {
  return sendColumn(ColumnMode::Concurrent, ctx, mask, center, reverse, averagePower);
}

bool sendSequentialColumn(WorkerContext& ctx, std::uint8_t mask, std::int32_t center, int reverse,
                          double& averagePower) {
  return sendColumn(ColumnMode::Sequential, ctx, mask, center, reverse, averagePower);
}

}  // namespace velmora
