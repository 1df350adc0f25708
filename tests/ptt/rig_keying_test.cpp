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
using Lines = std::vector<std::string>;

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
  Lines claims, logged;
  std::vector<std::size_t> boxesBeforeLine;  // a line is logged before its box waits for the user
  PttKeyer keyer{serialPorts, messages, clock, stopFlag, {}, [this](const std::string& line) {
                   logged.push_back(line);
                   boxesBeforeLine.push_back(messages.texts().size());
                 }};
  bool portHeld = false;
};

TEST_F(RigKeyerTest, KeysWaitsTheDelayAndUnkeysTheRigThatWasKeyedAfterADialogChange) {
  keyer.setSettings(hamlibSettings(1, "/dev/ttyUSB3", 70));
  keyer.keyTransmitter();
  EXPECT_THAT(rigs->events(), ElementsAre("open 1 /dev/ttyUSB3 19200", "ptt on"));
  EXPECT_EQ(clock.totalSlept(), 70u);
  EXPECT_TRUE(keyer.portOpen());

  keyer.setSettings(testing::catSettings("01", "02"));  // OK in the dialog meanwhile
  keyer.unkeyTransmitter();
  EXPECT_THAT(rigs->events(), ElementsAre("open 1 /dev/ttyUSB3 19200", "ptt on", "ptt off", "close"));
  EXPECT_THAT(claims, ElementsAre("/dev/ttyUSB3"));
  EXPECT_FALSE(keyer.portOpen());
  EXPECT_THAT(serialPorts.events(), IsEmpty());
  EXPECT_THAT(messages.texts(), IsEmpty());
}

struct RigFailure {
  const char* name;
  int model;  // 1 a serial rig on /dev/ttyUSB0, 2 a network rig on localhost:4532
  const char* call;
  const char* error;
  std::uint64_t delayWaited;
  Lines events;  // after a keying and an unkeying
  std::string message;
};

void PrintTo(const RigFailure& failure, std::ostream* out) { *out << failure.name; }

class RigFailureTest : public RigKeyerTest, public ::testing::WithParamInterface<RigFailure> {};

TEST_P(RigFailureTest, IsShownAndLoggedAndTheTransmissionGoesOnUnkeyed) {
  const RigFailure& failure = GetParam();
  portHeld = failure.call == std::string("claim");
  rigs->fail(failure.call, failure.error);
  keyer.setSettings(
      hamlibSettings(failure.model, failure.model == 1 ? "/dev/ttyUSB0" : "localhost:4532", 50));
  keyer.keyTransmitter();
  EXPECT_EQ(clock.totalSlept(), failure.delayWaited);
  keyer.unkeyTransmitter();

  EXPECT_EQ(rigs->events(), failure.events);
  EXPECT_THAT(messages.texts(), ElementsAre(failure.message));
  EXPECT_THAT(logged,
              ElementsAre(portHeld ? "PTT port /dev/ttyUSB0: held by rigctld, pid 77" : failure.message));
  EXPECT_THAT(boxesBeforeLine, ElementsAre(0u));
  EXPECT_EQ(claims, failure.model == 1 ? Lines{"/dev/ttyUSB0"} : Lines{});  // a network rig claims none
  EXPECT_FALSE(keyer.portOpen());
}

const Lines kKeyedAndUnkeyed{"open 1 /dev/ttyUSB0 19200", "ptt on", "ptt off", "close"};

INSTANTIATE_TEST_SUITE_P(
    Table, RigFailureTest,
    ::testing::Values(
        RigFailure{"PortHeld", 1, "claim", "", 0, {}, kPortOpenError},
        RigFailure{"Open", 2, "open", "IO error", 0, Lines{"open 2 localhost:4532 19200"},
                   "Error opening the rig through Hamlib (Hamlib NET rigctl on localhost:4532): IO error"},
        // A lost answer may hide a keyed rig: it is unkeyed at once.
        RigFailure{"Key", 1, "ptt on", "Communication timed out", 0, kKeyedAndUnkeyed,
                   "Error keying the transmitter through Hamlib (Fake Rig on /dev/ttyUSB0): Communication "
                   "timed out"},
        RigFailure{
            "Unkey", 1, "ptt off", "Protocol error", 50, kKeyedAndUnkeyed,
            "Error unkeying the transmitter through Hamlib (Fake Rig on /dev/ttyUSB0): Protocol error"}),
    [](const ::testing::TestParamInfo<RigFailure>& row) { return std::string(row.param.name); });

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
