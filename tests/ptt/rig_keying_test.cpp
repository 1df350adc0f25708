// The Hamlib method of the keyer, on fake rigs: what is keyed is undone, errors are shown
// and logged, and no caller waits on a rig that does not answer longer than its deadline.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "ptt/ptt_keyer.h"
#include "ptt_test_helpers.h"
#include "support/fake_rig_control.h"
#include "support/recording_serial_port.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

PttSettings hamlibSettings(int model, const std::string& port, std::uint32_t txDelay = 0) {
  PttSettings settings = testing::catSettings("01", "02", txDelay);
  settings.Hamlib = 1;
  settings.HamlibModel = model;
  settings.HamlibPort = port;
  settings.HamlibSpeed = 19200;
  return settings;
}

class RigKeyerTest : public ::testing::Test {
 protected:
  RigKeyerTest() {
    keyer.useRigs(rigs, [this](const std::string& path, std::string& reason) -> std::shared_ptr<const void> {
      claims.push_back(path);
      reason = "held by rigctld, pid 77";
      return portHeld ? nullptr : std::make_shared<int>(0);
    });
  }

  std::shared_ptr<testing::FakeRigControl> rigs = std::make_shared<testing::FakeRigControl>();
  testing::RecordingSerialPortOpener serialPorts;
  testing::FakeClock clock;
  testing::ClockedMessageBox messages{clock};
  std::atomic<int> stopFlag{0};
  std::vector<std::string> claims, logged;
  PttKeyer keyer{serialPorts, messages, clock, stopFlag, {}, [this](const std::string& line) {
                   logged.push_back(line);
                 }};
  bool portHeld = false;
};

TEST_F(RigKeyerTest, KeysWaitsTheDelayAndUnkeysTheRigThatWasKeyedAfterADialogChange) {
  keyer.setSettings(hamlibSettings(1, "/dev/ttyUSB3", 70));
  keyer.keyTransmitter();
  EXPECT_THAT(rigs->events(), ElementsAre("open 1 /dev/ttyUSB3 19200", "ptt on"));
  EXPECT_THAT(claims, ElementsAre("/dev/ttyUSB3"));
  EXPECT_EQ(clock.totalSlept(), 70u);
  EXPECT_TRUE(keyer.portOpen());

  keyer.setSettings(testing::catSettings("01", "02"));  // OK in the dialog meanwhile
  keyer.unkeyTransmitter();
  EXPECT_THAT(rigs->events(), ElementsAre("open 1 /dev/ttyUSB3 19200", "ptt on", "ptt off", "close"));
  EXPECT_FALSE(keyer.portOpen());
  EXPECT_THAT(serialPorts.events(), IsEmpty());
  EXPECT_THAT(messages.texts(), IsEmpty());
}

TEST_F(RigKeyerTest, ANetworkRigClaimsNoSerialPort) {
  keyer.setSettings(hamlibSettings(2, "localhost:4532"));
  keyer.keyTransmitter();
  keyer.unkeyTransmitter();
  EXPECT_THAT(claims, IsEmpty());
  EXPECT_THAT(rigs->events(), ElementsAre("open 2 localhost:4532 19200", "ptt on", "ptt off", "close"));
}

struct RigFailure {
  const char* name;
  bool portHeld;
  const char* openError;
  const char* pttOnError;
  const char* pttOffError;
  std::vector<std::string> events;  // after a keying and an unkeying
  std::vector<std::string> messages;
  std::uint64_t delayWaited;
};

void PrintTo(const RigFailure& failure, std::ostream* out) { *out << failure.name; }

class RigFailureTest : public RigKeyerTest, public ::testing::WithParamInterface<RigFailure> {};

TEST_P(RigFailureTest, IsShownAndLoggedAndTheTransmissionGoesOnUnkeyed) {
  const RigFailure& failure = GetParam();
  portHeld = failure.portHeld;
  rigs->failOpen(failure.openError);
  rigs->failPtt(true, failure.pttOnError);
  rigs->failPtt(false, failure.pttOffError);
  keyer.setSettings(hamlibSettings(1, "/dev/ttyUSB0", 50));
  keyer.keyTransmitter();
  EXPECT_EQ(clock.totalSlept(), failure.delayWaited);
  keyer.unkeyTransmitter();

  EXPECT_EQ(rigs->events(), failure.events);
  EXPECT_EQ(messages.texts(), failure.messages);
  EXPECT_FALSE(keyer.portOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Table, RigFailureTest,
    ::testing::Values(
        RigFailure{"PortHeld", true, "", "", "", {}, {kPortOpenError}, 0},
        RigFailure{"Open",
                   false,
                   "IO error",
                   "",
                   "",
                   {"open 1 /dev/ttyUSB0 19200"},
                   {"Error opening the rig through Hamlib (Fake Rig on /dev/ttyUSB0): IO error"},
                   0},
        // A lost answer may hide a keyed rig: it is unkeyed at once.
        RigFailure{"Key",
                   false,
                   "",
                   "Communication timed out",
                   "",
                   {"open 1 /dev/ttyUSB0 19200", "ptt on", "ptt off", "close"},
                   {"Error keying the transmitter through Hamlib (Fake Rig on /dev/ttyUSB0): Communication "
                    "timed out"},
                   0},
        RigFailure{
            "Unkey",
            false,
            "",
            "",
            "Protocol error",
            {"open 1 /dev/ttyUSB0 19200", "ptt on", "ptt off", "close"},
            {"Error unkeying the transmitter through Hamlib (Fake Rig on /dev/ttyUSB0): Protocol error"},
            50}),
    [](const ::testing::TestParamInfo<RigFailure>& row) { return std::string(row.param.name); });

TEST_F(RigKeyerTest, ErrorsGoToTheLogTooAndAHeldPortTellsWhy) {
  rigs->failOpen("IO error");
  keyer.setSettings(hamlibSettings(2, "localhost:1"));
  keyer.keyTransmitter();
  EXPECT_EQ(logged, messages.texts());
  EXPECT_THAT(logged,
              ElementsAre("Error opening the rig through Hamlib (Hamlib NET rigctl on localhost:1): IO error"));

  portHeld = true;
  keyer.setSettings(hamlibSettings(1, "/dev/ttyUSB0"));
  keyer.keyTransmitter();
  EXPECT_EQ(logged.back(), "PTT port /dev/ttyUSB0: held by rigctld, pid 77");
  EXPECT_EQ(messages.texts().back(), kPortOpenError);
}

TEST_F(RigKeyerTest, AStopWhileTheRigOpensReturnsAtOnceAndTheRigIsNeverKeyed) {
  rigs->hold("open");
  keyer.setSettings(hamlibSettings(1, "/dev/ttyUSB0", 50));
  auto keying = std::async(std::launch::async, [&] { keyer.keyTransmitter(); });
  ASSERT_TRUE(rigs->waitFor("open 1 /dev/ttyUSB0 19200 (held)"));

  keyer.unkeyTransmitter();  // "Stop"
  EXPECT_EQ(keying.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_EQ(clock.totalSlept(), 0u);
  rigs->release();
  ASSERT_TRUE(rigs->waitFor("close"));
  EXPECT_THAT(rigs->events(), ElementsAre("open 1 /dev/ttyUSB0 19200 (held)",
                                          "open 1 /dev/ttyUSB0 19200 (released)", "close"));
  EXPECT_THAT(messages.texts(), IsEmpty());
}

TEST_F(RigKeyerTest, AnUnkeyingThatGetsNoAnswerGivesUpAfterItsDeadlineAndUnkeysLater) {
  keyer.setSettings(hamlibSettings(1, "/dev/ttyUSB0"));
  keyer.keyTransmitter();
  rigs->hold("ptt off");
  const auto start = std::chrono::steady_clock::now();
  keyer.unkeyTransmitter();
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, kRigUnkeyDeadline);
  EXPECT_LT(waited, kRigUnkeyDeadline + std::chrono::milliseconds(500));
  EXPECT_THAT(messages.texts(),
              ElementsAre("Error unkeying the transmitter through Hamlib (Fake Rig on /dev/ttyUSB0): "
                          "Communication timed out"));
  rigs->release();
  EXPECT_TRUE(rigs->waitFor("close"));
}

}  // namespace
}  // namespace velmora
