#include "transmit/transmit_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <ostream>
#include <thread>

#include "core/control_states.h"
#include "support/hooked_controls.h"
#include "synth/synthesis.h"
#include "transmit/worker_rig.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::shownValues;
using testing::SoundStep;
using testing::WorkerRig;

// Lit row counts 1..5, then 6, 7, 0, 1, 2: the pixel count field tells the columns apart.
constexpr GlyphColumns kGlyphA = {0x01, 0x03, 0x07, 0x0F, 0x1F};
constexpr GlyphColumns kGlyphB = {0x3F, 0x7F, 0x00, 0x40, 0x41};
constexpr GlyphColumns kGlyphC = {0x08, 0x08, 0x08, 0x08, 0x08};

std::string percent(double fraction) {
  char text[32];
  std::snprintf(text, sizeof text, "%1.1f", 100.0 * fraction);
  return text;
}

// The average power a C/MT column of the rig's settings (1000 Hz, 10 Hz) delivers.
double columnPower(std::uint8_t mask, std::uint32_t durationMs = 300) {
  ColumnParameters column;
  column.mask = mask;
  column.center = 1000;
  column.offset = 10;
  column.durationMs = durationMs;
  std::vector<std::int16_t> samples(concurrentSampleCount(durationMs));
  return synthesizeConcurrentColumn(column, samples).power.average;
}

std::vector<std::string> startingWith(const std::vector<std::string>& texts, const std::string& prefix) {
  std::vector<std::string> found;
  for (const auto& text : texts)
    if (text.rfind(prefix, 0) == 0) found.push_back(text);
  return found;
}

class TransmitWorkerTest : public ::testing::Test {
 protected:
  TransmitWorkerTest() {
    rig.glyphs.setColumns('A', kGlyphA);
    rig.glyphs.setColumns('B', kGlyphB);
    rig.glyphs.setColumns('C', kGlyphC);
    rig.useCatKeying();
  }
  void send(const std::string& text) {
    rig.controls.setText(ControlId::TextToSend, text);
    transmitWorker(rig.ctx);
  }
  void stopDuringSound(std::size_t soundIndex) {
    rig.clock.onSleep([this, soundIndex] {
      if (rig.audio.sounds().size() == soundIndex + 1) rig.shared.stopFlag = 1;
    });
  }
  void expectIdle() {
    EXPECT_TRUE(rig.controls.isEnabled(ControlId::Transmit));
    EXPECT_TRUE(rig.controls.isEnabled(ControlId::Tune));
    EXPECT_FALSE(rig.controls.isEnabled(ControlId::Stop));
    EXPECT_EQ(rig.controls.text(ControlId::SentText), "");
  }

  WorkerRig rig;
};

struct ColumnsCase {
  const char* text;
  std::vector<std::string> pixelCounts;
};

void PrintTo(const ColumnsCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class TransmitColumnsTest : public TransmitWorkerTest, public ::testing::WithParamInterface<ColumnsCase> {};

TEST_P(TransmitColumnsTest, SendsGlyphColumnsWithGapsBetweenCharacters) {
  send(GetParam().text);

  EXPECT_THAT(shownValues(rig.controls.textHistory(ControlId::PixelCount)), ElementsAreArray(GetParam().pixelCounts));
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), GetParam().pixelCounts.size());
  for (const auto& sound : sounds) {
    EXPECT_EQ(sound.bytes, 6615u);
    EXPECT_TRUE(sound.played);
    EXPECT_TRUE(sound.released);
    // 300 ms columns end at the first 100 ms poll past the duration.
    EXPECT_EQ(sound.stopTick - sound.playTick, 400u);
  }
  EXPECT_EQ(rig.audio.liveBuffers(), 0);
  EXPECT_THAT(rig.portWrites(), ElementsAre("write A1", "write B2"));
  EXPECT_EQ(rig.controls.selectAllCount(ControlId::SentText), static_cast<int>(std::string(GetParam().text).size()));
  EXPECT_TRUE(rig.messages.messages().empty());
  expectIdle();
}

INSTANTIATE_TEST_SUITE_P(Texts, TransmitColumnsTest,
                         ::testing::Values(ColumnsCase{"A", {"1", "2", "3", "4", "5"}},
                                           ColumnsCase{"AB", {"1", "2", "3", "4", "5", "0", "6", "7", "0", "1", "2"}},
                                           ColumnsCase{"BCA", {"6", "7", "0", "1", "2", "0", "1", "1", "1", "1", "1",
                                                               "0", "1", "2", "3", "4", "5"}}));

TEST_F(TransmitWorkerTest, NormalEndShowsProgressAndKeepsMessagePower) {
  send("AB");

  EXPECT_THAT(rig.logMessages(), ElementsAre("Starting text transmission (AB, C/MT, 1000/10 Hz, 300ms, no pilot tone)",
                                             "Terminating text transmission (sent text: AB)"));
  EXPECT_THAT(rig.controls.textHistory(ControlId::SentText), ElementsAre("A", "AB", ""));
  double sum = 0.0;
  for (auto mask : kGlyphA) sum += columnPower(mask);
  sum += columnPower(0);
  for (auto mask : kGlyphB) sum += columnPower(mask);
  EXPECT_EQ(rig.controls.text(ControlId::MessagePower), percent(sum / 11));
  EXPECT_EQ(rig.controls.textHistory(ControlId::MessagePower).size(), 11u);
  // The shared values are taken from the fields at the start of the pass.
  EXPECT_EQ(rig.shared.columnDuration.load(), 300);
}

TEST_F(TransmitWorkerTest, CountsDownOneColumnDurationPerColumn) {
  send("A");
  // Columns of 300 ms hold the air 350 ms on average: 1.75 s, 1.4, 1.05, 0.7, 0.35 before
  // the columns; then the whole text's time at the end.
  EXPECT_THAT(rig.controls.textHistory(ControlId::TimeRemaining),
              ElementsAre("(0h:00m:01s)", "(0h:00m:01s)", "(0h:00m:01s)", "(0h:00m:00s)", "(0h:00m:00s)",
                          "(0h:00m:01s)"));
}

TEST_F(TransmitWorkerTest, LongerDurationsCountDownInWholeSeconds) {
  rig.controls.setText(ControlId::Duration, "1500");
  send("AB");  // 17.05 s in 11 columns of 1.55 s on the air
  const auto history = rig.controls.textHistory(ControlId::TimeRemaining);
  ASSERT_EQ(history.size(), 12u);
  EXPECT_EQ(history.front(), "(0h:00m:17s)");
  EXPECT_EQ(history[1], "(0h:00m:15s)");
  EXPECT_EQ(history[10], "(0h:00m:01s)");
  EXPECT_EQ(history.back(), "(0h:00m:17s)");
}

struct StartLineCase {
  const char* text;
  bool concurrent, maxAvgPower, skipDark, pilot, reverse;
  const char* center;
  const char* offset;
  const char* duration;
  const char* expected;
};

void PrintTo(const StartLineCase& c, std::ostream* os) { *os << c.expected; }

class StartLineTest : public TransmitWorkerTest, public ::testing::WithParamInterface<StartLineCase> {};

TEST_P(StartLineTest, NamesTextModeAndSettings) {
  const StartLineCase& c = GetParam();
  rig.controls.setChecked(c.concurrent ? ControlId::Concurrent : ControlId::Sequential, true);
  rig.controls.setChecked(ControlId::MaxAvgPower, c.maxAvgPower);
  rig.controls.setChecked(ControlId::SkipDark, c.skipDark);
  rig.controls.setChecked(ControlId::PilotTone, c.pilot);
  rig.controls.setChecked(ControlId::Reverse, c.reverse);
  rig.controls.setText(ControlId::CenterFrequency, c.center);
  rig.controls.setText(ControlId::PixelOffset, c.offset);
  rig.controls.setText(ControlId::Duration, c.duration);
  send(c.text);
  const auto lines = rig.logMessages();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StartLineTest,
    ::testing::Values(
        StartLineCase{"CQ", true, true, false, false, true, "1000", "5", "500",
                      "Starting text transmission (CQ, C/MT (max avg pwr), 1000/5 Hz, 500ms, no pilot tone, reverse)"},
        StartLineCase{"CQ", true, false, false, true, false, "1500", "10", "500",
                      "Starting text transmission (CQ, C/MT, 1500/10 Hz, 500ms, pilot tone)"},
        StartLineCase{"CQ", false, false, true, false, false, "3000", "1", "300",
                      "Starting text transmission (CQ, S/MT (skip dark pixels), 3000/1 Hz, 300ms, no pilot tone)"},
        // Each mode's option shows only in its own mode.
        StartLineCase{"C", false, true, false, true, true, "100", "10", "60000",
                      "Starting text transmission (C, S/MT, 100/10 Hz, 60000ms, pilot tone, reverse)"},
        StartLineCase{"C", true, false, true, false, false, "1000", "10", "300",
                      "Starting text transmission (C, C/MT, 1000/10 Hz, 300ms, no pilot tone)"},
        StartLineCase{"Grüße", true, false, false, false, false, "1000", "10", "300",
                      "Starting text transmission (Grüße, C/MT, 1000/10 Hz, 300ms, no pilot tone)"}));

TEST_F(TransmitWorkerTest, LongestTextStandsWholeInTheStartLine) {
  std::string longText;
  for (int i = 0; i < 1030; ++i) longText += "ä";
  std::string expectedText;
  for (int i = 0; i < 1023; ++i) expectedText += "ä";
  stopDuringSound(0);

  send(longText);

  EXPECT_THAT(rig.logMessages(), ElementsAre("Starting text transmission (" + expectedText +
                                                 ", C/MT, 1000/10 Hz, 300ms, no pilot tone)",
                                             "Terminating text transmission (sent text: ä)", "Transmission stopped."));
  // 1023 characters at 300 ms: 6137 columns of 350 ms on the air, 2147.95 s.
  EXPECT_EQ(rig.controls.textHistory(ControlId::TimeRemaining).front(), "(0h:35m:47s)");
}

struct StopCase {
  const char* text;
  std::size_t stopDuringSound;
  const char* sentText;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << '"' << c.text << "\" stopped in sound " << c.stopDuringSound; }

class TransmitStopTest : public TransmitWorkerTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(TransmitStopTest, FinishesTheColumnReportsWhatWasSentAndStops) {
  stopDuringSound(GetParam().stopDuringSound);
  send(GetParam().text);

  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), GetParam().stopDuringSound + 1);
  EXPECT_EQ(sounds.back().stopTick - sounds.back().playTick, 100u) << "cut short at the first poll";
  const std::string sent = GetParam().sentText;
  EXPECT_THAT(rig.logMessages(),
              ElementsAre("Starting text transmission (" + std::string(GetParam().text) +
                              ", C/MT, 1000/10 Hz, 300ms, no pilot tone)",
                          "Terminating text transmission (sent text: " + sent + ")", "Transmission stopped."));
  const auto sentHistory = rig.controls.textHistory(ControlId::SentText);
  ASSERT_GE(sentHistory.size(), 2u);
  EXPECT_EQ(sentHistory[sentHistory.size() - 2], sent);
  EXPECT_EQ(rig.controls.text(ControlId::MessagePower), "");
  EXPECT_EQ(rig.controls.textHistory(ControlId::MessagePower).size(), sounds.size() + 1);
  EXPECT_THAT(rig.portWrites(), ElementsAre("write A1", "write B2"));
  expectIdle();
}

INSTANTIATE_TEST_SUITE_P(Moments, TransmitStopTest,
                         ::testing::Values(StopCase{"AB", 8, "AB"},   // third glyph column of the second character
                                           StopCase{"ABC", 5, "A"},   // the gap after the first character
                                           StopCase{"AB", 0, "A"},    // the very first column
                                           StopCase{"AB", 10, "AB"})); // the last column

TEST_F(TransmitWorkerTest, EmptyTextEndsAtOnceWithoutLogOrKeying) {
  rig.controls.setText(ControlId::TimeRemaining, "(0h:00m:05s)");
  send("");
  EXPECT_TRUE(rig.logMessages().empty());
  EXPECT_TRUE(rig.ports.events().empty());
  EXPECT_TRUE(rig.audio.sounds().empty());
  EXPECT_EQ(rig.controls.text(ControlId::TimeRemaining), "(0h:00m:00s)");
  EXPECT_TRUE(rig.controls.textHistory(ControlId::MessagePower).empty());
  expectIdle();
}

TEST_F(TransmitWorkerTest, BlankFontKeepsFullTimingWithDarkColumns) {
  rig.glyphs = GlyphTable{};
  send("AB");
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 11u);
  for (const auto& sound : sounds) {
    EXPECT_TRUE(sound.played);
    EXPECT_EQ(sound.samplesWritten, 3307u);
    EXPECT_TRUE(std::all_of(sound.samples.begin(), sound.samples.end(), [](std::int16_t s) { return s == 0; }));
  }
  EXPECT_EQ(rig.clock.totalSlept(), 11u * 400u);
  EXPECT_EQ(rig.logMessages().size(), 2u);
  EXPECT_THAT(rig.portWrites(), ElementsAre("write A1", "write B2"));
}

TEST_F(TransmitWorkerTest, ReadsReverseAndModeAnewForEveryColumn) {
  rig.glyphs.setColumns('R', {0x01, 0x01, 0x01, 0x01, 0x01});
  rig.clock.onSleep([this] {
    const auto count = rig.audio.sounds().size();
    if (count == 2) rig.controls.setChecked(ControlId::Reverse, true);
    if (count == 4) rig.controls.setChecked(ControlId::Sequential, true);
  });
  send("R");
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 5u);
  EXPECT_EQ(sounds[0].samples, sounds[1].samples);
  EXPECT_NE(sounds[1].samples, sounds[2].samples) << "row 0 moves from 970 Hz to 1030 Hz";
  EXPECT_EQ(sounds[2].samples, sounds[3].samples);
  EXPECT_EQ(sounds[3].samplesWritten, 3307u);
  EXPECT_EQ(sounds[4].samplesWritten, 7u * 472u) << "the last column is sent in S/MT";
  // The start line shows the state at the start of the pass.
  EXPECT_EQ(rig.logMessages().front(), "Starting text transmission (R, C/MT, 1000/10 Hz, 300ms, no pilot tone)");
}

// d = 700 ms: each C/MT column takes 800 ms on the fake clock, so "A" is a 4-second pass.
class TransmitLoopTest : public TransmitWorkerTest {
 protected:
  TransmitLoopTest() {
    rig.controls.setText(ControlId::Duration, "700");
    rig.controls.setChecked(ControlId::Loop, true);
  }
  void endLoopInSecondPass() {
    rig.clock.onSleep([this] {
      if (rig.audio.sounds().size() == 6) rig.controls.setChecked(ControlId::Loop, false);
    });
  }
  std::vector<std::string> pauseTexts() {
    return startingWith(rig.controls.textHistory(ControlId::TimeRemaining), "Pause...");
  }
};

// What the waterfall window follows: each column as its sound begins, nothing in the pause.
TEST_F(TransmitLoopTest, ReportsEachColumnOnTheAirAndNothingBetweenPasses) {
  endLoopInSecondPass();
  std::vector<std::string> reports;  // "column@sounds created so far", or "-" for nothing
  rig.shared.onAir.setListener([this, &reports] {
    const OnAir now = rig.shared.onAir.now();
    if (now.sound != OnAir::Sound::Text) {
      reports.push_back(now.sound == OnAir::Sound::None ? "-" : "tune");
      return;
    }
    reports.push_back(std::to_string(now.column) + "@" + std::to_string(rig.audio.sounds().size()));
  });
  send("A");
  EXPECT_THAT(reports,
              ElementsAre("0@0", "1@1", "2@2", "3@3", "4@4", "-", "0@5", "1@6", "2@7", "3@8", "4@9", "-"));
}

TEST_F(TransmitLoopTest, PausesUntilTheIntervalAfterThePassStart) {
  rig.controls.setText(ControlId::Interval, "10");
  endLoopInSecondPass();
  send("A");

  EXPECT_THAT(rig.logMessages(),
              ElementsAre("Starting text transmission (A, C/MT, 1000/10 Hz, 700ms, no pilot tone)",
                          "Terminating text transmission (sent text: A)", "Starting pause (6s)",
                          "Starting text transmission (A, C/MT, 1000/10 Hz, 700ms, no pilot tone)",
                          "Terminating text transmission (sent text: A)"));
  const auto pauses = pauseTexts();
  ASSERT_EQ(pauses.size(), 60u);
  EXPECT_EQ(pauses.front(), "Pause... (6s)");
  EXPECT_EQ(pauses[1], "Pause... (5s)");
  EXPECT_EQ(pauses.back(), "Pause... (0s)");
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 10u);
  EXPECT_EQ(sounds[5].playTick - sounds[0].playTick, 10000u);
  // Keyed and unkeyed in each pass, unkeyed during the pause.
  EXPECT_THAT(rig.portWrites(), ElementsAre("write A1", "write B2", "write A1", "write B2"));
  // The sent text field is emptied for the pause and filled again by the next pass.
  EXPECT_THAT(rig.controls.textHistory(ControlId::SentText), ElementsAre("A", "", "A", ""));
  expectIdle();
}

TEST_F(TransmitLoopTest, IntervalShorterThanThePassTakesOneStep) {
  endLoopInSecondPass();
  send("A");
  EXPECT_EQ(rig.logMessages().at(2), "Starting pause (-4s)");
  EXPECT_THAT(pauseTexts(), ElementsAre("Pause... (-4s)"));
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 10u);
  EXPECT_EQ(sounds[5].playTick - sounds[0].playTick, 4100u);
}

TEST_F(TransmitLoopTest, IntervalBeyondTheRangeIsClamped) {
  rig.controls.setText(ControlId::Interval, "4000000");  // would overflow 32 bits in ms
  rig.clock.onSleep([this] {
    if (rig.controls.text(ControlId::TimeRemaining) == "Pause... (86395s)") rig.controls.setChecked(ControlId::Loop, false);
  });
  send("A");
  EXPECT_EQ(rig.logMessages().at(2), "Starting pause (86396s)");
}

TEST_F(TransmitLoopTest, UncheckingLoopInThePauseEndsWithoutStop) {
  rig.controls.setText(ControlId::Interval, "10");
  rig.clock.onSleep([this] {
    if (rig.controls.text(ControlId::TimeRemaining) == "Pause... (3s)") rig.controls.setChecked(ControlId::Loop, false);
  });
  send("A");
  EXPECT_THAT(rig.logMessages(), ElementsAre("Starting text transmission (A, C/MT, 1000/10 Hz, 700ms, no pilot tone)",
                                             "Terminating text transmission (sent text: A)", "Starting pause (6s)"));
  EXPECT_EQ(rig.audio.sounds().size(), 5u);
  EXPECT_EQ(pauseTexts().back(), "Pause... (3s)");
  EXPECT_NE(rig.controls.text(ControlId::MessagePower), "");
  // Ends with the whole text's time: five columns of 0.7 s.
  EXPECT_EQ(rig.controls.text(ControlId::TimeRemaining), "(0h:00m:03s)");
  expectIdle();
}

TEST_F(TransmitLoopTest, StopInThePauseLogsStoppedOnce) {
  rig.controls.setText(ControlId::Interval, "10");
  rig.clock.onSleep([this] {
    if (rig.controls.text(ControlId::TimeRemaining) == "Pause... (3s)") rig.shared.stopFlag = 1;
  });
  send("A");
  EXPECT_THAT(rig.logMessages(),
              ElementsAre("Starting text transmission (A, C/MT, 1000/10 Hz, 700ms, no pilot tone)",
                          "Terminating text transmission (sent text: A)", "Starting pause (6s)", "Transmission stopped."));
  EXPECT_EQ(rig.controls.text(ControlId::MessagePower), "");
  EXPECT_EQ(rig.audio.sounds().size(), 5u);
  expectIdle();
}

TEST_F(TransmitLoopTest, MessagePowerAveragesOverAllPasses) {
  endLoopInSecondPass();
  send("A");
  double firstPass = 0.0;
  for (auto mask : kGlyphA) firstPass += columnPower(mask, 700);
  const auto history = rig.controls.textHistory(ControlId::MessagePower);
  ASSERT_EQ(history.size(), 10u);
  EXPECT_EQ(history[4], percent(firstPass / 5));
  EXPECT_EQ(history[5], percent((firstPass + columnPower(0x01, 700)) / 6)) << "the second pass does not start afresh";
  EXPECT_EQ(history[9], percent(2 * firstPass / 10));
}

TEST_F(TransmitWorkerTest, KeyingErrorIsShownAndThePassGoesOnUnkeyed) {
  rig.ports.setOpenFails(true);
  send("A");
  EXPECT_THAT(rig.messages.texts(), ElementsAre("Error opening com port for PTT."));
  EXPECT_EQ(rig.audio.sounds().size(), 5u);
  EXPECT_TRUE(rig.portWrites().empty());
  EXPECT_EQ(rig.logMessages().size(), 2u);
}

// A sound step fails in the third column (mask 0, whose own figure would be 0).
struct FailureCase {
  SoundStep step;
  bool figureWritten;
  std::vector<std::string> pixelCountHistory;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << "failing step " << int(c.step); }

class TransmitFailureTest : public TransmitWorkerTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TransmitFailureTest, FailedColumnStillCountsAndTheCountDownGoesOn) {
  rig.glyphs.setColumns('F', {0x01, 0x7F, 0x00, 0x7F, 0x01});
  rig.audio.failStep(GetParam().step, 2);
  send("F");

  const double one = columnPower(0x01);
  const double seven = columnPower(0x7F);
  const double third = GetParam().figureWritten ? 0.0 : seven;
  const auto messagePower = rig.controls.textHistory(ControlId::MessagePower);
  ASSERT_EQ(messagePower.size(), 5u);
  EXPECT_EQ(messagePower[2], percent((one + seven + third) / 3));
  EXPECT_EQ(messagePower[4], percent((one + seven + third + seven + one) / 5));
  EXPECT_THAT(rig.controls.textHistory(ControlId::PixelCount), ElementsAreArray(GetParam().pixelCountHistory));
  EXPECT_THAT(rig.controls.textHistory(ControlId::TimeRemaining),
              ElementsAre("(0h:00m:01s)", "(0h:00m:01s)", "(0h:00m:01s)", "(0h:00m:00s)", "(0h:00m:00s)",
                          "(0h:00m:01s)"));
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 5u);
  EXPECT_FALSE(sounds[2].played);
  EXPECT_EQ(rig.audio.liveBuffers(), 0);
  EXPECT_EQ(rig.clock.totalSlept(), 4u * 400u) << "a failed column does not wait";
  EXPECT_THAT(rig.logMessages(), ElementsAre("Starting text transmission (F, C/MT, 1000/10 Hz, 300ms, no pilot tone)",
                                             "Terminating text transmission (sent text: F)"));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, TransmitFailureTest,
    ::testing::Values(FailureCase{SoundStep::Create, false, {"1", "0", "7", "0", "7", "0", "1", "0"}},
                      FailureCase{SoundStep::Lock, false, {"1", "0", "7", "0", "0", "7", "0", "1", "0"}},
                      FailureCase{SoundStep::Unlock, true, {"1", "0", "7", "0", "0", "0", "7", "0", "1", "0"}},
                      FailureCase{SoundStep::Rewind, true, {"1", "0", "7", "0", "0", "0", "7", "0", "1", "0"}},
                      FailureCase{SoundStep::Play, true, {"1", "0", "7", "0", "0", "0", "7", "0", "1", "0"}}));

TEST_F(TransmitWorkerTest, FailedFirstColumnCountsAsZero) {
  rig.audio.failStep(SoundStep::Create, 0);
  send("A");
  const auto messagePower = rig.controls.textHistory(ControlId::MessagePower);
  ASSERT_EQ(messagePower.size(), 5u);
  EXPECT_EQ(messagePower[0], "0.0");
  EXPECT_EQ(messagePower[1], percent(columnPower(0x03) / 2));
}

TEST_F(TransmitWorkerTest, StopAfterTheLastCheckStillEmptiesMessagePower) {
  // "Stop" pressed just as the worker makes the window idle: after its last look at the
  // stop flag, before its end step.
  testing::HookedControls controls(rig.controls, [this](testing::ControlAccess access, ControlId id) {
    if (access == testing::ControlAccess::Write && id == ControlId::Transmit && rig.controls.isEnabled(id))
      rig.shared.stopFlag = 1;
  });
  WorkerContext ctx{controls, rig.messages, rig.shared, rig.audio, rig.ptt, rig.log, rig.clock, rig.glyphs};
  rig.controls.setText(ControlId::TextToSend, "A");
  transmitWorker(ctx);

  EXPECT_EQ(rig.controls.text(ControlId::MessagePower), "");
  EXPECT_EQ(rig.controls.textHistory(ControlId::MessagePower).size(), 6u) << "five columns, then emptied";
  // The pass itself ended normally: no stop line.
  EXPECT_THAT(rig.logMessages(), ElementsAre("Starting text transmission (A, C/MT, 1000/10 Hz, 300ms, no pilot tone)",
                                             "Terminating text transmission (sent text: A)"));
}

// LC_NUMERIC with a decimal comma, as a German or French desktop session hands it to the
// program (the GUI toolkit adopts the environment's locale at start-up). Built with
// localedef into a temporary folder, so the machine needs no installed locales.
class CommaDecimalLocale {
 public:
  CommaDecimalLocale() {
    const std::filesystem::path source = std::filesystem::path(folder_.path()) / "comma.src";
    std::ofstream(source) << "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"\"\ngrouping -1\nEND LC_NUMERIC\n";
    const std::string command = "localedef -c -i '" + source.string() + "' -f ANSI_X3.4-1968 '" + folder_.path() +
                                "/comma' >/dev/null 2>&1";
    (void)std::system(command.c_str());  // -c reports the missing categories with a non-zero status
    if (const char* old = std::getenv("LOCPATH")) oldLocPath_ = old;
    ::setenv("LOCPATH", folder_.path().c_str(), 1);
    active_ = std::setlocale(LC_NUMERIC, "comma") != nullptr;
  }
  ~CommaDecimalLocale() {
    std::setlocale(LC_NUMERIC, "C");
    if (oldLocPath_) {
      ::setenv("LOCPATH", oldLocPath_->c_str(), 1);
    } else {
      ::unsetenv("LOCPATH");
    }
  }
  CommaDecimalLocale(const CommaDecimalLocale&) = delete;
  CommaDecimalLocale& operator=(const CommaDecimalLocale&) = delete;
  bool active() const { return active_; }

 private:
  testing::TemporaryFolder folder_;
  std::optional<std::string> oldLocPath_;
  bool active_ = false;
};

TEST_F(TransmitWorkerTest, MessagePowerKeepsTheDecimalPointInAnyLocale) {
  const std::string expected = percent(columnPower(0x01));
  std::string shown;
  {
    CommaDecimalLocale comma;
    if (!comma.active()) GTEST_SKIP() << "localedef could not build a test locale";
    ASSERT_EQ(percent(0.5), "50,0") << "the test locale is in force";
    send("A");
    shown = rig.controls.textHistory(ControlId::MessagePower).at(0);
  }
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(rig.controls.textHistory(ControlId::AveragePower).at(0), expected) << "same form as the column's own field";
}

// "Stop" from another thread while the worker waits in a column: the window's Stop unkeys
// at once, so the worker's own unkeying finds nothing left to do.
TEST_F(TransmitWorkerTest, StopFromAnotherThreadUnkeysOnce) {
  std::promise<void> workerWaiting;
  std::promise<void> stopPressed;
  auto stopDone = stopPressed.get_future();
  bool blocked = false;
  rig.clock.onSleep([&] {
    if (!blocked && rig.audio.sounds().size() == 3) {
      blocked = true;
      workerWaiting.set_value();
      stopDone.wait();
    }
  });
  rig.controls.setText(ControlId::TextToSend, "AB");
  std::thread worker([this] { transmitWorker(rig.ctx); });
  workerWaiting.get_future().wait();
  rig.ptt.unkeyTransmitter();
  rig.shared.stopFlag = 1;
  setControlsIdle(rig.controls, true);
  stopPressed.set_value();
  worker.join();

  EXPECT_EQ(rig.audio.sounds().size(), 3u);
  EXPECT_THAT(rig.portWrites(), ElementsAre("write A1", "write B2"));
  EXPECT_THAT(rig.logMessages(), ElementsAre("Starting text transmission (AB, C/MT, 1000/10 Hz, 300ms, no pilot tone)",
                                             "Terminating text transmission (sent text: A)", "Transmission stopped."));
  expectIdle();
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// A sound system that stops answering after the first sound: each further one fails only
// after the 2 s a server is waited for.
struct StallingAudio final : AudioOutput {
  StallingAudio(AudioOutput& wrapped, testing::FakeClock& fakeClock) : audio(wrapped), clock(fakeClock) {}
  std::vector<std::string> listDevices() override { return {}; }
  void openDevice(int) override {}
  void closeDevice() override {}
  bool isOpen() override { return true; }
  std::unique_ptr<SoundBuffer> createSoundBuffer(std::size_t bytes) override {
    if (created++ == 0) return audio.createSoundBuffer(bytes);
    clock.advance(2000);
    return nullptr;
  }
  AudioOutput& audio;
  testing::FakeClock& clock;
  int created = 0;
};

TEST_F(TransmitWorkerTest, StalledSoundOutputEndsTheTransmissionUnkeyedAndLogsIt) {
  StallingAudio stalling(rig.audio, rig.clock);
  WorkerContext ctx{rig.controls, rig.messages, rig.shared, stalling, rig.ptt, rig.log, rig.clock, rig.glyphs};
  rig.controls.setChecked(ControlId::Loop, true);
  rig.controls.setText(ControlId::TextToSend, "AAA");
  transmitWorker(ctx);
  EXPECT_EQ(stalling.created, 2) << "no column after the stalled one";
  EXPECT_FALSE(rig.ptt.portOpen());
  EXPECT_THAT(rig.logMessages(), ElementsAre("Starting text transmission (AAA, C/MT, 1000/10 Hz, 300ms, no pilot tone)",
                                             "Sound output stalled", "Terminating text transmission (sent text: A)"));
  expectIdle();
}

}  // namespace
}  // namespace velmora
