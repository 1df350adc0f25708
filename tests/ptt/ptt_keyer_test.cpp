#include "ptt/ptt_keyer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ptt/line_settings.h"
#include "ptt_test_helpers.h"
#include "support/recording_serial_port.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::catSettings;
using testing::lineSettings;

class PttKeyerTest : public ::testing::Test {
 protected:
  void useSettings(const PttSettings& settings) { keyer.setSettings(settings); }

  testing::RecordingSerialPortOpener opener;
  testing::FakeClock clock;
  testing::ClockedMessageBox messages{clock};
  std::atomic<int> stopFlag{0};
  PttKeyer keyer{opener, messages, clock, stopFlag};
};

TEST_F(PttKeyerTest, CatCommandsAreSentAsBytesAndStoredUpperCased) {
  useSettings(catSettings("a1B2", "fe0d"));
  keyer.keyTransmitter();
  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0", "configure", "write A1 B2"));
  EXPECT_EQ(keyer.settings().TXCommand, "A1B2");
  EXPECT_EQ(keyer.settings().RXCommand, "fe0d");  // not used yet
  EXPECT_TRUE(keyer.portOpen());

  opener.clearEvents();
  keyer.unkeyTransmitter();
  EXPECT_THAT(opener.events(), ElementsAre("write FE 0D", "close"));
  EXPECT_EQ(keyer.settings().RXCommand, "FE0D");
  EXPECT_FALSE(keyer.portOpen());
  EXPECT_THAT(messages.texts(), IsEmpty());
}

struct IllegalCase {
  std::string command;
  std::string storedAfterUse;
};

class IllegalCatCommand : public PttKeyerTest, public ::testing::WithParamInterface<IllegalCase> {};

TEST_P(IllegalCatCommand, AtKeyingWarnsKeepsPortOpenAndThenWaitsTheDelay) {
  useSettings(catSettings(GetParam().command, "00", 40));
  keyer.keyTransmitter();

  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0", "configure"));
  const auto shown = messages.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Velmora");
  EXPECT_EQ(shown[0].text, kIllegalCatCommand);
  EXPECT_EQ(shown[0].icon, MessageIcon::None);
  EXPECT_EQ(shown[0].sleptBefore, 0u);  // the delay comes after the message
  EXPECT_EQ(clock.totalSlept(), 40u);
  EXPECT_TRUE(keyer.portOpen());
  EXPECT_EQ(keyer.settings().TXCommand, GetParam().storedAfterUse);

  keyer.unkeyTransmitter();
  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0", "configure", "write 00", "close"));
  EXPECT_EQ(messages.shown().size(), 1u);
}

TEST_P(IllegalCatCommand, AtUnkeyingWarnsAndStillCloses) {
  useSettings(catSettings("01", GetParam().command));
  keyer.keyTransmitter();
  keyer.unkeyTransmitter();

  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0", "configure", "write 01", "close"));
  EXPECT_THAT(messages.texts(), ElementsAre(kIllegalCatCommand));
  EXPECT_FALSE(keyer.portOpen());
  EXPECT_EQ(keyer.settings().RXCommand, GetParam().storedAfterUse);
}

INSTANTIATE_TEST_SUITE_P(Texts, IllegalCatCommand,
                         ::testing::Values(IllegalCase{"abc", "abc"},
                                           IllegalCase{std::string(255, 'a'), std::string(255, 'a')},
                                           IllegalCase{"a1 b", "a1 b"}, IllegalCase{"0g", "0G"},
                                           IllegalCase{"", ""}));

TEST_F(PttKeyerTest, AnEmptyCommandWarnsAtEveryKeyingAndUnkeying) {
  useSettings(catSettings("", ""));
  for (int pass = 0; pass < 3; ++pass) {
    keyer.keyTransmitter();
    keyer.unkeyTransmitter();
  }
  EXPECT_EQ(messages.texts(), std::vector<std::string>(6, kIllegalCatCommand));
  EXPECT_EQ(opener.openPortCount(), 0);
}

struct LineCase {
  std::int32_t rts;
  std::string raise;
  std::string drop;
};

class HardwareKeying : public PttKeyerTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(HardwareKeying, RaisesAndDropsOnlyTheChosenLine) {
  PttSettings settings = lineSettings(GetParam().rts);
  settings.TXCommand = "11";  // commands are ignored by this method
  settings.RXCommand = "22";
  useSettings(settings);
  keyer.keyTransmitter();
  keyer.unkeyTransmitter();
  EXPECT_THAT(opener.events(),
              ElementsAre("open /dev/ttyUSB0", "configure", GetParam().raise, GetParam().drop, "close"));
  EXPECT_THAT(messages.texts(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Lines, HardwareKeying,
                         ::testing::Values(LineCase{1, "rts on", "rts off"}, LineCase{7, "rts on", "rts off"},
                                           LineCase{0, "dtr on", "dtr off"}));

struct DelayCase {
  std::uint32_t txDelay;
  std::uint64_t waited;
};

class TxDelay : public PttKeyerTest, public ::testing::WithParamInterface<DelayCase> {};

TEST_P(TxDelay, IsWaitedInShortStepsUpToTheBound) {
  useSettings(catSettings("01", "02", GetParam().txDelay));
  keyer.keyTransmitter();
  EXPECT_EQ(clock.totalSlept(), GetParam().waited);
  for (auto step : clock.sleeps()) EXPECT_LE(step, 10u);
}

INSTANTIATE_TEST_SUITE_P(Delays, TxDelay,
                         ::testing::Values(DelayCase{0, 0}, DelayCase{7, 7}, DelayCase{25, 25}, DelayCase{9999, 9999},
                                           DelayCase{10000, 10000}, DelayCase{10001, 10000},
                                           DelayCase{4294967295u, 10000}));

TEST_F(PttKeyerTest, TheStopFlagEndsTheDelayEarly) {
  useSettings(catSettings("01", "02", 5000));
  clock.onSleep([&] {
    if (clock.totalSlept() >= 30) stopFlag = 1;
  });
  keyer.keyTransmitter();
  EXPECT_EQ(clock.totalSlept(), 30u);
  EXPECT_TRUE(keyer.portOpen());  // stopping ends the wait, not the keying
}

TEST_F(PttKeyerTest, AStopFlagAlreadySetKeysNothing) {
  stopFlag = 1;
  useSettings(catSettings("01", "02", 5000));
  keyer.keyTransmitter();
  EXPECT_EQ(clock.totalSlept(), 0u);
  EXPECT_THAT(opener.events(), IsEmpty());
  EXPECT_FALSE(keyer.portOpen());
}

TEST_F(PttKeyerTest, DisabledKeyingTouchesNothing) {
  PttSettings settings = catSettings("01", "02", 500);
  settings.UsePTTControl = 0;
  useSettings(settings);
  keyer.keyTransmitter();
  keyer.unkeyTransmitter();
  EXPECT_THAT(opener.events(), IsEmpty());
  EXPECT_EQ(clock.totalSlept(), 0u);
  EXPECT_THAT(messages.texts(), IsEmpty());
}

TEST_F(PttKeyerTest, UnkeyingWhileIdleDoesNothing) {
  useSettings(catSettings("01", "02"));
  keyer.unkeyTransmitter();
  EXPECT_THAT(opener.events(), IsEmpty());
  EXPECT_THAT(messages.texts(), IsEmpty());
}

TEST_F(PttKeyerTest, AFailedOpenWarnsOnceSkipsTheDelayAndLeavesNothingToUnkey) {
  opener.setOpenFails(true);
  useSettings(catSettings("01", "02", 500));
  keyer.keyTransmitter();
  keyer.unkeyTransmitter();
  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0 failed"));
  EXPECT_THAT(messages.texts(), ElementsAre(kPortOpenError));
  EXPECT_EQ(clock.totalSlept(), 0u);
  EXPECT_FALSE(keyer.portOpen());
}

TEST_F(PttKeyerTest, AFailedConfigurationClosesThePortAndWarnsLikeAFailedOpen) {
  opener.setConfigureFails(true);
  useSettings(catSettings("01", "02", 500));
  keyer.keyTransmitter();
  keyer.unkeyTransmitter();
  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0", "configure failed", "close"));
  EXPECT_THAT(messages.texts(), ElementsAre(kPortOpenError));
  EXPECT_EQ(clock.totalSlept(), 0u);
}

struct ComPortCase {
  std::int32_t comPort;
  std::string openEvent;  // "" when no device is tried
};

class ComPortMapping : public PttKeyerTest, public ::testing::WithParamInterface<ComPortCase> {};

TEST_P(ComPortMapping, OpensTheDeviceOfTheNextPortNumber) {
  PttSettings settings = catSettings("01", "02");
  settings.ComPort = GetParam().comPort;
  useSettings(settings);
  keyer.keyTransmitter();
  if (GetParam().openEvent.empty()) {
    EXPECT_THAT(opener.events(), IsEmpty());
    EXPECT_THAT(messages.texts(), ElementsAre(kPortOpenError));
  } else {
    ASSERT_FALSE(opener.events().empty());
    EXPECT_EQ(opener.events().front(), GetParam().openEvent);
    EXPECT_THAT(messages.texts(), IsEmpty());
  }
}

// The recording opener opens nothing, so naming ttyS0 here is harmless.
INSTANTIATE_TEST_SUITE_P(Edges, ComPortMapping,
                         ::testing::Values(ComPortCase{0, "open /dev/ttyUSB0"}, ComPortCase{31, "open /dev/ttyUSB31"},
                                           ComPortCase{32, "open /dev/ttyACM0"}, ComPortCase{63, "open /dev/ttyACM31"},
                                           ComPortCase{64, "open /dev/ttyS0"}, ComPortCase{255, "open /dev/ttyS191"},
                                           ComPortCase{-1, ""}, ComPortCase{256, ""}, ComPortCase{2147483647, ""}));

TEST_F(PttKeyerTest, ConfiguresTheLineFromTheListPositions) {
  PttSettings settings = catSettings("01", "02");
  settings.Baudrate = 3;
  settings.Databits = 0;
  settings.Stopbits = 1;
  settings.Parity = 1;
  useSettings(settings);
  keyer.keyTransmitter();
  const auto line = opener.lastLineSettings();
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(line->baudRate, 19200u);
  EXPECT_EQ(line->dataBits, 7);
  EXPECT_EQ(line->stopBits, 2);
  EXPECT_EQ(line->parity, SerialLineSettings::Parity::Even);
}

// What the dialog changes between keying and unkeying must not change what is undone.
struct DialogChange {
  const char* name;
  void (*change)(PttSettings&);
  std::string rxCommandAfter;
};

class ChangeWhileKeyed : public PttKeyerTest, public ::testing::WithParamInterface<DialogChange> {};

TEST_P(ChangeWhileKeyed, UnkeyingUndoesWhatKeyingDid) {
  PttSettings settings = catSettings("11", "2b");
  settings.RTS = 1;
  useSettings(settings);
  keyer.keyTransmitter();

  GetParam().change(settings);
  useSettings(settings);
  keyer.unkeyTransmitter();

  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0", "configure", "write 11", "write 2B", "close"));
  EXPECT_FALSE(keyer.portOpen());
  EXPECT_EQ(keyer.settings().RXCommand, GetParam().rxCommandAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangeWhileKeyed,
    ::testing::Values(DialogChange{"HardwareDtr", [](PttSettings& s) { s.CAT = 0, s.RTS = 0; }, "2B"},
                      DialogChange{"KeyingOff", [](PttSettings& s) { s.UsePTTControl = 0; }, "2B"},
                      DialogChange{"OtherPort", [](PttSettings& s) { s.ComPort = 40; }, "2B"},
                      // the new text is the user's: it is neither sent nor overwritten
                      DialogChange{"NewRxCommand", [](PttSettings& s) { s.RXCommand = "3c"; }, "3c"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(PttKeyerTest, LineKeyingSwitchedToCatStillDropsTheLine) {
  useSettings(lineSettings(0));
  keyer.keyTransmitter();
  useSettings(catSettings("01", "02"));
  keyer.unkeyTransmitter();
  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0", "configure", "dtr on", "dtr off", "close"));
}

TEST_F(PttKeyerTest, AVanishedPortFailsQuietlyAndStillCloses) {
  useSettings(catSettings("01", "02"));
  keyer.keyTransmitter();
  opener.setPortVanished(true);
  keyer.unkeyTransmitter();
  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0", "configure", "write 01", "write 02 failed", "close"));
  EXPECT_THAT(messages.texts(), IsEmpty());
  EXPECT_EQ(opener.openPortCount(), 0);
}

TEST_F(PttKeyerTest, KeyingAgainFirstUndoesTheEarlierKeying) {
  useSettings(catSettings("01", "02"));
  keyer.keyTransmitter();
  keyer.keyTransmitter();
  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0", "configure", "write 01", "write 02", "close",
                                           "open /dev/ttyUSB0", "configure", "write 01"));
  EXPECT_EQ(opener.openPortCount(), 1);
}

struct LineSettingsCase {
  std::int32_t baudrate, databits, stopbits, parity;
  std::optional<std::uint32_t> baudRate;
  std::optional<int> dataBits, stopBits;
  std::optional<SerialLineSettings::Parity> lineParity;
};

class LineSettingsFor : public ::testing::TestWithParam<LineSettingsCase> {};

TEST_P(LineSettingsFor, ListPositionsOutsideTheListsKeepThePortsOwnValues) {
  const auto& c = GetParam();
  PttSettings settings;
  settings.Baudrate = c.baudrate;
  settings.Databits = c.databits;
  settings.Stopbits = c.stopbits;
  settings.Parity = c.parity;
  const SerialLineSettings line = lineSettingsFor(settings);
  EXPECT_EQ(line.baudRate, c.baudRate);
  EXPECT_EQ(line.dataBits, c.dataBits);
  EXPECT_EQ(line.stopBits, c.stopBits);
  EXPECT_EQ(line.parity, c.lineParity);
}

using P = SerialLineSettings::Parity;
INSTANTIATE_TEST_SUITE_P(
    Positions, LineSettingsFor,
    ::testing::Values(LineSettingsCase{0, 0, 0, 0, 2400u, 7, 1, P::Odd}, LineSettingsCase{1, 1, 1, 1, 4800u, 8, 2, P::Even},
                      LineSettingsCase{2, 1, 0, 2, 9600u, 8, 1, P::None},
                      LineSettingsCase{4, 0, 1, 2, 38400u, 7, 2, P::None},
                      LineSettingsCase{5, 2, 2, 3, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                      LineSettingsCase{-1, -1, -1, -1, std::nullopt, std::nullopt, std::nullopt, std::nullopt}));

}  // namespace
}  // namespace velmora
