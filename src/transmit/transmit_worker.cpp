#include "transmit/transmit_worker.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "audio/audio_output.h"
#include "core/clock.h"
#include "core/control_states.h"
#include "core/controls.h"
#include "core/shared_state.h"
#include "log/event_log.h"
#include "ptt/ptt_keyer.h"
#include "transmit/column_sender.h"
#include "transmit/glyph_font.h"
#include "transmit/text_codec.h"
#include "transmit/time_remaining.h"

namespace velmora {

namespace {

constexpr std::uint32_t kPauseStepMs = 100;
// "Interval" is range-checked only when the run starts; a value typed later is clamped so
// that the pause in milliseconds stays within signed 32 bits.
constexpr std::uint32_t kMaxIntervalSeconds = 86400;

// The digits of "%1.1f", but always with a decimal point: the GUI adopts the desktop's
// locale, which may use a comma, and the other power fields never do.
std::string formatPercent(double percent) {
  std::array<char, 64> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), percent, std::chars_format::fixed, 1);
  return std::string(text.data(), result.ptr);
}

// The remaining seconds as showTimeRemaining takes them: negated whole seconds.
std::int32_t negatedWholeSeconds(double seconds) {
  const double whole = std::trunc(seconds);
  if (!(whole >= 0.0)) return 0;
  if (whole > std::numeric_limits<std::int32_t>::max()) return -std::numeric_limits<std::int32_t>::max();
  return -static_cast<std::int32_t>(whole);
}

std::string modeText(Controls& controls) {
  if (controls.isChecked(ControlId::Concurrent)) {
    return controls.isChecked(ControlId::MaxAvgPower) ? "C/MT (max avg pwr)" : "C/MT";
  }
  return controls.isChecked(ControlId::SkipDark) ? "S/MT (skip dark pixels)" : "S/MT";
}

enum class PauseEnd { Elapsed, LoopUnchecked, Stopped };

struct Pass {
  std::string codes;  // one glyph index per character, as sent
  std::int32_t center = 0;
  std::int32_t offset = 0;
  std::uint32_t durationMs = 0;
  std::uint32_t startTick = 0;
  double remainingSeconds = 0.0;
  double columnSeconds = 0.0;  // one column on the air
  int nextColumn = 0;  // glyph columns and gaps sent so far
};

class TextTransmission {
 public:
  explicit TextTransmission(WorkerContext& ctx) : ctx_(ctx) {}

  void run() {
    const bool stopped = runPasses();
    if (stopped && !stalled_) ctx_.log.appendLine("Transmission stopped.", false);
    finish();
  }

 private:
  // A stalled sound output ends the run as a stop does, without "Transmission stopped.".
  bool stopRequested() const { return stalled_ || ctx_.shared.stopRequested(); }
  bool loopChecked() { return ctx_.controls.isChecked(ControlId::Loop); }

  // Passes until the text is done without "Loop", "Loop" is unchecked, or a stop comes.
  // True when the run ends by a stop.
  bool runPasses() {
    for (;;) {
      const Pass pass = sendPass();
      const bool textEmpty = pass.codes.empty();
      bool pauseElapsed = false;
      if (!textEmpty) {
        if (stopRequested()) return true;
        if (loopChecked()) {
          const PauseEnd end = pause(pass.startTick);
          if (end == PauseEnd::Stopped) return true;
          pauseElapsed = end == PauseEnd::Elapsed;
        }
      }
      if (!pauseElapsed && stopRequested()) return true;
      if (!textEmpty && loopChecked()) continue;
      return stopRequested();
    }
  }

  Pass readPass() {
    Controls& controls = ctx_.controls;
    Pass pass;
    pass.center = static_cast<std::int32_t>(readUnsigned(controls, ControlId::CenterFrequency));
    pass.durationMs = readUnsigned(controls, ControlId::Duration);
    pass.offset = static_cast<std::int32_t>(readUnsigned(controls, ControlId::PixelOffset));
    ctx_.shared.centerFrequency = pass.center;
    ctx_.shared.columnDuration = static_cast<std::int32_t>(pass.durationMs);
    ctx_.shared.pixelRowOffset = pass.offset;
    pass.codes = utf8ToWindows1252(readText(controls, ControlId::TextToSend, kMaxTextChars));
    if (!pass.codes.empty()) {
      // Counted as the columns really take on the air, waits included.
      pass.columnSeconds = columnSecondsOnAir(controls.isChecked(ControlId::Concurrent),
                                              static_cast<std::int32_t>(pass.durationMs));
      const double columnSeconds = pass.columnSeconds;
      pass.remainingSeconds = 6.0 * static_cast<double>(pass.codes.size()) * columnSeconds - columnSeconds;
    }
    return pass;
  }

  std::string startLine(const Pass& pass) {
    Controls& controls = ctx_.controls;
    const std::string mode = modeText(controls);
    const bool pilot = controls.isChecked(ControlId::PilotTone);
    const bool reverse = controls.isChecked(ControlId::Reverse);
    // The text as it goes out: a character without a code of its own shows as the "?" sent.
    return "Starting text transmission (" + windows1252ToUtf8(pass.codes) + ", " + mode + ", " +
           std::to_string(pass.center) + "/" + std::to_string(pass.offset) + " Hz, " +
           std::to_string(pass.durationMs) + "ms, " + (pilot ? "" : "no ") + "pilot tone" +
           (reverse ? ", reverse" : "") + ")";
  }

  Pass sendPass() {
    Pass pass = readPass();
    if (pass.codes.empty()) return pass;
    ctx_.log.appendLine(startLine(pass), false);
    // A "Stop" that came before the keying (during the field reads, or at the end of a
    // pause) keys nothing and sends nothing; the pass ends as a stopped one.
    if (!stopRequested()) {
      ctx_.ptt.keyTransmitter();
      pass.startTick = ctx_.clock.tickCount();
      sendCharacters(pass);
      if (!stopRequested()) ctx_.audio.waitUntilHeard();
    }
    ctx_.shared.onAir.reportNothing();
    ctx_.ptt.unkeyTransmitter();
    const std::string sent = ctx_.controls.text(ControlId::SentText);
    ctx_.log.appendLine("Terminating text transmission (sent text: " + sent + ")", false);
    return pass;
  }

  void sendCharacters(Pass& pass) {
    const std::size_t count = pass.codes.size();
    for (std::size_t i = 0; i < count; ++i) {
      const bool stoppedInGlyph = sendGlyph(pass, static_cast<std::uint8_t>(pass.codes[i]));
      // No stop check right after the gap: the character before it counts as sent.
      if (!stoppedInGlyph && i + 1 < count) sendColumn(pass, 0);
      ctx_.controls.setText(ControlId::SentText, windows1252ToUtf8(pass.codes.substr(0, i + 1)));
      ctx_.controls.selectAllText(ControlId::SentText);
      if (stopRequested()) return;
    }
  }

  // True when a stop cut the glyph short.
  bool sendGlyph(Pass& pass, std::uint8_t code) {
    for (std::uint8_t mask : ctx_.glyphs.columns(code)) {
      sendColumn(pass, mask);
      if (stopRequested()) return true;
    }
    return false;
  }

  void sendColumn(Pass& pass, std::uint8_t mask) {
    Controls& controls = ctx_.controls;
    ctx_.shared.onAir.reportTextColumn(pass.nextColumn++);
    showTimeRemaining(controls, negatedWholeSeconds(pass.remainingSeconds), ctx_.shared.columnDuration.load());
    const int reverse = controls.isChecked(ControlId::Reverse) ? 1 : 0;
    const std::int32_t center = ctx_.shared.centerFrequency.load();
    // A column that fails before synthesis leaves the figure untouched: the previous
    // column's figure (0 before any) counts for it.
    const bool stalled = controls.isChecked(ControlId::Concurrent)
                             ? sendConcurrentColumn(ctx_, mask, center, reverse, columnPower_)
                             : sendSequentialColumn(ctx_, mask, center, reverse, columnPower_);
    if (stalled && !stalled_) {
      stalled_ = true;
      ctx_.log.appendLine(kSoundStalledLine, false);
    }
    ++columnCount_;
    powerSum_ += columnPower_;
    controls.setText(ControlId::MessagePower, formatPercent(100.0 * powerSum_ / columnCount_));
    pass.remainingSeconds -= pass.columnSeconds;
  }

  PauseEnd pause(std::uint32_t passStartTick) {
    Controls& controls = ctx_.controls;
    controls.setText(ControlId::SentText, "");
    const std::uint32_t intervalSeconds = std::min(readUnsigned(controls, ControlId::Interval), kMaxIntervalSeconds);
    // Modular 32-bit arithmetic, so a wrap of the tick counter during the pass is harmless.
    const std::uint32_t leftBits = intervalSeconds * 1000 + passStartTick - ctx_.clock.tickCount();
    std::int64_t pauseLeftMs = static_cast<std::int32_t>(leftBits);
    ctx_.log.appendLine("Starting pause (" + std::to_string(pauseLeftMs / 1000) + "s)", false);
    for (;;) {
      controls.setText(ControlId::TimeRemaining, "Pause... (" + std::to_string(pauseLeftMs / 1000) + "s)");
      ctx_.clock.sleepMs(kPauseStepMs);
      pauseLeftMs -= kPauseStepMs;
      if (stopRequested()) return PauseEnd::Stopped;
      if (pauseLeftMs <= 0) return PauseEnd::Elapsed;
      if (!loopChecked()) return PauseEnd::LoopUnchecked;
    }
  }

  void finish() {
    Controls& controls = ctx_.controls;
    setControlsIdle(controls, true);
    const std::string text = readText(controls, ControlId::TextToSend, kMaxTextChars);
    const auto length = static_cast<std::int32_t>(glyphCount(text));
    showTimeRemaining(controls, length, ctx_.shared.columnDuration.load());
    // The flag as it is now: a "Stop" after the last check still empties the field.
    if (stopRequested()) controls.setText(ControlId::MessagePower, "");
  }

  WorkerContext& ctx_;
  // Kept for the whole run: the message power averages every column of every pass.
  double powerSum_ = 0.0;
  std::int32_t columnCount_ = 0;
  double columnPower_ = 0.0;
  bool stalled_ = false;
};

}  // namespace

void transmitWorker(WorkerContext& ctx) { TextTransmission(ctx).run(); }

}  // namespace velmora
