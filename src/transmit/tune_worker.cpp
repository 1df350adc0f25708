#include "transmit/tune_worker.h"

#include <memory>
#include <string>

#include "audio/audio_output.h"
#include "audio/playback.h"
#include "core/clock.h"
#include "core/control_states.h"
#include "core/controls.h"
#include "core/shared_state.h"
#include "log/event_log.h"
#include "ptt/ptt_keyer.h"
#include "synth/synthesis.h"
#include "transmit/text_codec.h"
#include "transmit/time_remaining.h"

namespace velmora {

namespace {

constexpr std::uint32_t kTunePollMs = 100;
constexpr std::uint32_t kTuneLimitMs = 10000;

std::string levelLabel(bool singlePixel) { return singlePixel ? "Single pixel" : "Full scale"; }

void showPowerFigures(Controls& controls, const PowerFigures& power) {
  controls.setText(ControlId::AveragePower, formatPowerPercent(power.average));
  controls.setText(ControlId::PeakPower, formatPowerPercent(power.peak));
}

// Everything from the lock to the end of the wait. The whole tone is computed and shown
// before the transmitter is keyed, so the key-up time holds no synthesis.
void playTuningTone(WorkerContext& ctx, SoundBuffer& buffer) {
  const auto region = buffer.lock();
  if (!region || region->size() < kTuningToneSamples) {
    buffer.stop(StopMode::Flush);
    return;
  }
  ctx.controls.setText(ControlId::TimeRemaining, "Tuning...");
  writeUnsigned(ctx.controls, ControlId::PeakPower, 100);

  const auto center = static_cast<std::int32_t>(readUnsigned(ctx.controls, ControlId::CenterFrequency));
  ctx.shared.centerFrequency = center;
  const bool singlePixel = ctx.controls.isChecked(ControlId::SinglePixel);
  ctx.log.appendLine("Tuning started (" + std::to_string(center) + " Hz, " + levelLabel(singlePixel) + ")", false);

  const PowerFigures power = synthesizeTuningTone(center, singlePixel, *region);
  showPowerFigures(ctx.controls, power);

  // A "Stop" during the synthesis: neither key nor play.
  if (ctx.shared.stopRequested()) {
    buffer.stop(StopMode::Flush);
    return;
  }
  ctx.ptt.keyTransmitter();
  ctx.shared.onAir.reportTuneTone(ctx.clock.tickCount());
  playFilledBuffer(buffer, kTuningToneSamples, ctx.clock, ctx.shared.stopFlag, kTunePollMs, kTuneLimitMs);
}

void endTuning(WorkerContext& ctx) {
  if (!ctx.shared.stopRequested()) ctx.audio.waitUntilHeard();
  ctx.shared.onAir.reportNothing();
  ctx.ptt.unkeyTransmitter();
  setControlsIdle(ctx.controls, true);
  writeUnsigned(ctx.controls, ControlId::AveragePower, 0);
  writeUnsigned(ctx.controls, ControlId::PeakPower, 0);
  const std::string text = readText(ctx.controls, ControlId::TextToSend, kMaxTextChars);
  showTimeRemaining(ctx.controls, static_cast<std::int32_t>(glyphCount(text)), ctx.shared.columnDuration.load());
  ctx.log.appendLine("Tuning stopped.", false);
}

}  // namespace

void tuneWorker(WorkerContext& ctx) {
  std::unique_ptr<SoundBuffer> buffer = ctx.audio.createSoundBuffer(kTuningToneBytes);
  if (buffer) {
    playTuningTone(ctx, *buffer);
    buffer.reset();
  }
  // Also after a failed create: returning without this would leave the window busy.
  endTuning(ctx);
}

bool tuneCommandAllowed(Controls& controls, MessageBox& box) {
  return checkFieldRange(controls, box, kCenterFrequencyRange);
}

}  // namespace velmora
