#include "app/commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "app/com_port_entries.h"
#include "core/control_states.h"
#include "ptt/ptt_keyer.h"
#include "support/fake_clock.h"
#include "support/memory_controls.h"
#include "support/recording_message_box.h"
#include "support/recording_serial_port.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// ---- the mode buttons ------------------------------------------------------------------

struct ModeStates {
  bool singlePixelChecked, fullScaleChecked;
  bool singlePixelEnabled, fullScaleEnabled, skipDarkEnabled, maxAvgPowerEnabled;
};

ModeStates statesOf(Controls& controls) {
  return {controls.isChecked(ControlId::SinglePixel), controls.isChecked(ControlId::FullScale),
          controls.isEnabled(ControlId::SinglePixel), controls.isEnabled(ControlId::FullScale),
          controls.isEnabled(ControlId::SkipDark),    controls.isEnabled(ControlId::MaxAvgPower)};
}

void expectStates(Controls& controls, const ModeStates& expected) {
  const ModeStates actual = statesOf(controls);
  EXPECT_EQ(actual.singlePixelChecked, expected.singlePixelChecked);
  EXPECT_EQ(actual.fullScaleChecked, expected.fullScaleChecked);
  EXPECT_EQ(actual.singlePixelEnabled, expected.singlePixelEnabled);
  EXPECT_EQ(actual.fullScaleEnabled, expected.fullScaleEnabled);
  EXPECT_EQ(actual.skipDarkEnabled, expected.skipDarkEnabled);
  EXPECT_EQ(actual.maxAvgPowerEnabled, expected.maxAvgPowerEnabled);
}

constexpr ModeStates kAfterConcurrent{true, false, true, true, false, true};
constexpr ModeStates kAfterSequential{false, true, false, false, true, false};

// Each mode leaves the same states whatever came before: the other mode, itself, or the
// idle state (which enables both option boxes).
TEST(ModeButtons, EachModeSetsItsLevelAndOptionStatesFromAnyStart) {
  const std::vector<std::function<void(Controls&)>> starts = {
      [](Controls&) {}, selectConcurrentMode, selectSequentialMode,
      [](Controls& c) { setControlsIdle(c, true); }};
  for (const auto& start : starts) {
    testing::MemoryControls controls;
    start(controls);
    selectConcurrentMode(controls);
    expectStates(controls, kAfterConcurrent);

    testing::MemoryControls other;
    start(other);
    selectSequentialMode(other);
    expectStates(other, kAfterSequential);
  }
}

TEST(ModeButtons, SequentialThenConcurrentChecksSinglePixelAgain) {
  testing::MemoryControls controls;
  selectSequentialMode(controls);
  selectConcurrentMode(controls);
  expectStates(controls, kAfterConcurrent);
}

// ---- the range checks of "Transmit" ---------------------------------------------------

struct RangeCase {
  const char* frequency;
  const char* offset;
  const char* duration;
  const char* interval;
  const char* message;  // nullptr: all pass
};

class TransmitRanges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(TransmitRanges, ShowTheFirstFailureOnly) {
  const RangeCase& c = GetParam();
  testing::MemoryControls controls;
  testing::RecordingMessageBox box;
  controls.setText(ControlId::CenterFrequency, c.frequency);
  controls.setText(ControlId::PixelOffset, c.offset);
  controls.setText(ControlId::Duration, c.duration);
  controls.setText(ControlId::Interval, c.interval);

  const bool passed = transmitFieldsInRange(controls, box);

  EXPECT_EQ(passed, c.message == nullptr);
  if (c.message == nullptr) {
    EXPECT_THAT(box.texts(), IsEmpty());
  } else {
    EXPECT_THAT(box.texts(), ElementsAre(c.message));
    EXPECT_EQ(box.messages()[0].caption, "Velmora");
    EXPECT_EQ(box.messages()[0].icon, MessageIcon::None);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, TransmitRanges,
    ::testing::Values(
        RangeCase{"1000", "1", "300", "0", nullptr}, RangeCase{"100", "10", "60000", "86400", nullptr},
        RangeCase{"1000", "1", "1000", "", nullptr},  // an empty interval reads 0
        RangeCase{"99", "1", "1000", "0", "Audio center frequency out of valid range (100..3000)"},
        RangeCase{"3001", "1", "1000", "0", "Audio center frequency out of valid range (100..3000)"},
        RangeCase{"", "1", "1000", "0", "Audio center frequency out of valid range (100..3000)"},
        RangeCase{"1000", "0", "1000", "0", "Pixel offset out of valid range (1..10)"},
        RangeCase{"1000", "11", "1000", "0", "Pixel offset out of valid range (1..10)"},
        RangeCase{"1000", "1", "10", "0", "Duration out of valid range (300..60000)"},
        RangeCase{"1000", "1", "60001", "0", "Duration out of valid range (300..60000)"},
        RangeCase{"1000", "1", "1000", "86401", "Interval out of valid range (0..86400)"},
        // Beyond the signed range the value wraps negative and fails the check.
        RangeCase{"1000", "1", "1000", "4294967295", "Interval out of valid range (0..86400)"},
        RangeCase{"99", "0", "10", "86401", "Audio center frequency out of valid range (100..3000)"},
        RangeCase{"1000", "0", "10", "86401", "Pixel offset out of valid range (1..10)"}));

// ---- edits of the text and the duration -----------------------------------------------

class FieldEdits : public ::testing::Test {
 protected:
  FieldEdits() {
    controls.setText(ControlId::Duration, "1000");
    controls.setText(ControlId::MessagePower, "42.0");
    controls.setText(ControlId::TextLength, "7");
  }
  testing::MemoryControls controls;
  SharedState shared;
};

TEST_F(FieldEdits, TextEditShowsLengthAndTotalTimeAndClearsMessagePower) {
  controls.setText(ControlId::TextToSend, "CQ DX");
  handleTextEdit(controls, shared);
  EXPECT_EQ(shared.columnDuration.load(), 1000);
  EXPECT_EQ(controls.text(ControlId::TextLength), "5");
  EXPECT_EQ(controls.text(ControlId::MessagePower), "");
  EXPECT_EQ(controls.text(ControlId::TimeRemaining), "(0h:00m:29s)");  // 6 x 5 - 1 columns of 1 s
}

TEST_F(FieldEdits, DurationEditChangesOnlyTheTimeAndTheSharedDuration) {
  controls.setText(ControlId::TextToSend, "CQ DX");
  controls.setText(ControlId::Duration, "2000");
  handleDurationEdit(controls, shared);
  EXPECT_EQ(shared.columnDuration.load(), 2000);
  EXPECT_EQ(controls.text(ControlId::TimeRemaining), "(0h:00m:58s)");
  EXPECT_EQ(controls.text(ControlId::TextLength), "7");
  EXPECT_EQ(controls.text(ControlId::MessagePower), "42.0");
}

TEST_F(FieldEdits, TextLengthCountsCharactersUpToTheLongestText) {
  const struct {
    std::string text;
    const char* length;
  } cases[] = {{"", "0"},
               {"\xC3\x84\xC3\x96\xC3\x9C", "3"},
               {"A\x80\x80", "3"},  // each stray byte is sent as a character of its own
               {std::string(1500, 'x'), "1023"}};
  for (const auto& c : cases) {
    controls.setText(ControlId::TextToSend, c.text);
    handleTextEdit(controls, shared);
    EXPECT_EQ(controls.text(ControlId::TextLength), c.length) << c.text.size() << " bytes";
  }
}

TEST_F(FieldEdits, EmptyDurationReadsZero) {
  controls.setText(ControlId::TextToSend, "AB");
  controls.setText(ControlId::Duration, "");
  handleDurationEdit(controls, shared);
  EXPECT_EQ(shared.columnDuration.load(), 0);
  EXPECT_EQ(controls.text(ControlId::TimeRemaining), "(0h:00m:00s)");
}

// ---- "Stop" and the worker start --------------------------------------------------------

TEST(StopCommand, WhileIdleTouchesNoPortSetsTheFlagAndLeavesTheWindowIdle) {
  testing::MemoryControls controls;
  testing::RecordingMessageBox box;
  testing::RecordingSerialPortOpener ports;
  testing::FakeClock clock;
  SharedState shared;
  PttKeyer ptt(ports, box, clock, shared.stopFlag);
  controls.setText(ControlId::SentText, "CQ");

  handleStop(controls, shared, ptt);

  EXPECT_THAT(ports.events(), IsEmpty());
  EXPECT_EQ(shared.stopFlag.load(), 1);
  EXPECT_EQ(controls.text(ControlId::SentText), "");
  EXPECT_FALSE(controls.isEnabled(ControlId::Stop));
  EXPECT_TRUE(controls.isEnabled(ControlId::Transmit));
  EXPECT_TRUE(controls.isEnabled(ControlId::Tune));
  // The idle state enables both option boxes, whatever the mode.
  EXPECT_TRUE(controls.isEnabled(ControlId::SkipDark));
  EXPECT_TRUE(controls.isEnabled(ControlId::MaxAvgPower));
  EXPECT_THAT(box.texts(), IsEmpty());
}

TEST(StopCommand, UnkeysAPortThatAWorkerKeyed) {
  testing::MemoryControls controls;
  testing::RecordingMessageBox box;
  testing::RecordingSerialPortOpener ports;
  testing::FakeClock clock;
  SharedState shared;
  PttKeyer ptt(ports, box, clock, shared.stopFlag);
  PttSettings settings;
  settings.UsePTTControl = 1;
  settings.CAT = 0;
  settings.RTS = 1;
  ptt.setSettings(settings);
  ptt.keyTransmitter();
  ports.clearEvents();

  handleStop(controls, shared, ptt);

  EXPECT_FALSE(ptt.portOpen());
  EXPECT_THAT(ports.events(), ::testing::Contains("close"));
}

// "Stop" at the very moment a worker keys: whichever comes first, the transmitter is
// not left keyed.
TEST(StopCommand, RacingAKeyingNeverLeavesTheTransmitterKeyed) {
  testing::MemoryControls controls;
  testing::RecordingMessageBox box;
  testing::RecordingSerialPortOpener ports;
  testing::FakeClock clock;
  SharedState shared;
  PttKeyer ptt(ports, box, clock, shared.stopFlag, [](int) { return std::string("/dev/fake"); });
  PttSettings settings;
  settings.UsePTTControl = 1;
  settings.CAT = 0;
  settings.RTS = 1;
  ptt.setSettings(settings);

  for (int round = 0; round < 300; ++round) {
    shared.stopFlag = 0;
    std::latch start(2);
    std::thread worker([&] {
      start.arrive_and_wait();
      // A different head start for the GUI thread in every round.
      std::atomic<int> spin{0};
      while (spin.fetch_add(1, std::memory_order_relaxed) < round * 10) {
      }
      ptt.keyTransmitter();
    });
    start.arrive_and_wait();
    handleStop(controls, shared, ptt);
    worker.join();
    ASSERT_FALSE(ptt.portOpen()) << "round " << round;
  }
}

TEST(WorkerStart, ClearsTheStopFlagAndMakesTheWindowBusy) {
  testing::MemoryControls controls;
  SharedState shared;
  shared.stopFlag = 1;
  enterBusyState(controls, shared);
  EXPECT_EQ(shared.stopFlag.load(), 0);
  EXPECT_FALSE(controls.isEnabled(ControlId::Transmit));
  EXPECT_FALSE(controls.isEnabled(ControlId::Tune));
  EXPECT_TRUE(controls.isEnabled(ControlId::Stop));
  EXPECT_FALSE(controls.isEnabled(ControlId::TextToSend));
  // Read live by the worker, so never disabled.
  EXPECT_TRUE(controls.isEnabled(ControlId::Loop));
  EXPECT_TRUE(controls.isEnabled(ControlId::Reverse));
}

// ---- the "Com port" list -----------------------------------------------------------------

TEST(ComPortEntries, NumberDeviceAndPresenceMark) {
  EXPECT_EQ(comPortEntryText(1, "/dev/ttyUSB0", false), "1 (/dev/ttyUSB0)");
  EXPECT_EQ(comPortEntryText(1, "/dev/ttyUSB0", true), "1 (/dev/ttyUSB0) \u2713");
  EXPECT_EQ(comPortEntryText(300, "", true), "300");
}

TEST(ComPortEntries, OneEntryPerPortInOrderMarkingOnlyPresentDevices) {
  const auto entries = comPortEntries([](const std::string& path) { return path == "/dev/ttyACM0"; });
  ASSERT_EQ(entries.size(), 256u);
  EXPECT_EQ(entries[0], "1 (/dev/ttyUSB0)");
  EXPECT_EQ(entries[32], "33 (/dev/ttyACM0) \u2713");
  EXPECT_EQ(entries[64], "65 (/dev/ttyS0)");
  EXPECT_EQ(entries[255], "256 (/dev/ttyS191)");
}

}  // namespace
}  // namespace velmora
