// The real Hamlib: its model list, the dummy rig in process, and rigctld with the dummy
// rig behind it for the network path.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>
#include <tuple>

#include "ptt/hamlib_rig_control.h"
#include "ptt/ptt_keyer.h"
#include "ptt_test_helpers.h"
#include "support/recording_serial_port.h"
#include "support/rigctld_server.h"

// Inside Hamlib: every call writes its message trail (global buffers only rigerror() reads), racing
// when two rigs are in calls at once; and an open that timed out keeps a little memory.
extern "C" const char* __tsan_default_suppressions() { return "race:libhamlib.so\n"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:libhamlib.so\n"; }

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

TEST(HamlibRigControl, ListsEveryModelByMakerAndModelWithHowItIsReached) {
  HamlibRigControl hamlib;
  const std::vector<RigModel> models = hamlib.models();
  EXPECT_GT(models.size(), 200u);
  for (const RigModel& expected : {RigModel{3073, "Icom IC-7300", false, true},
                                   RigModel{kDefaultRigModel, "Hamlib NET rigctl", true, false},
                                   RigModel{kFlrigModel, "FLRig FLRig", true, false}}) {
    const auto listed = [&](const RigModel& m) { return std::tuple(m.number, m.name, m.network, m.serial); };
    EXPECT_TRUE(std::any_of(models.begin(), models.end(), [&](const RigModel& m) {
      return listed(m) == listed(expected);
    })) << expected.name;
    EXPECT_EQ(listed(hamlib.model(expected.number)), listed(expected));
  }
  EXPECT_EQ(hamlib.model(999999).number, 0);
}

TEST(HamlibRigControl, KeysTheDummyRigInProcessAndGivesHamlibsTextForAMissingDevice) {
  HamlibRigControl hamlib;
  std::string error;
  std::unique_ptr<Rig> dummy = hamlib.open({1, "", 0}, error);
  ASSERT_NE(dummy, nullptr) << error;
  EXPECT_EQ(dummy->setPtt(true), "");
  EXPECT_EQ(dummy->setPtt(false), "");

  EXPECT_EQ(hamlib.open({3073, "/dev/velmora-no-such-tty", 0}, error), nullptr);
  EXPECT_EQ(error, "IO error");  // one line, without Hamlib's trace
}

// A keyer on the real Hamlib, its messages and log lines recorded.
class HamlibKeyerTest : public ::testing::Test {
 protected:
  HamlibKeyerTest() { keyer.useRigs(std::make_shared<HamlibRigControl>()); }
  void useRig(int model, const std::string& port) {
    PttSettings settings;
    settings.UsePTTControl = 1;
    settings.Hamlib = 1;
    settings.HamlibModel = model;
    settings.HamlibPort = port;
    keyer.setSettings(settings);
  }

  testing::RecordingSerialPortOpener serialPorts;
  testing::FakeClock clock;
  testing::ClockedMessageBox messages{clock};
  std::atomic<int> stopFlag{0};
  std::vector<std::string> logged;
  PttKeyer keyer{serialPorts, messages, clock,
                 stopFlag,    {},       [this](const std::string& line) {
                   logged.push_back(line); }};
};

class RigctldTest : public HamlibKeyerTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rigctld.running()) << "rigctld (libhamlib-utils) could not be started";
    useRig(kDefaultRigModel, rigctld.address());
  }

  testing::RigctldServer rigctld;
};

TEST_F(RigctldTest, KeysAndUnkeysThroughRigctld) {
  EXPECT_EQ(rigctld.ptt(), "0");
  keyer.keyTransmitter();
  EXPECT_EQ(rigctld.ptt(), "1");
  keyer.unkeyTransmitter();
  EXPECT_EQ(rigctld.ptt(), "0");
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(RigctldTest, ADeadRigctldGivesTheMessageAtOnce) {
  rigctld.kill();
  const auto start = std::chrono::steady_clock::now();
  keyer.keyTransmitter();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_THAT(messages.texts(), ElementsAre("Error opening the rig through Hamlib (Hamlib NET rigctl on " +
                                            rigctld.address() + "): IO error"));
  EXPECT_FALSE(keyer.portOpen());
}

TEST_F(RigctldTest, AStopWhileRigctldHangsReturnsWithinItsDeadline) {
  keyer.keyTransmitter();
  rigctld.freeze();
  const auto start = std::chrono::steady_clock::now();
  keyer.unkeyTransmitter();
  EXPECT_LT(std::chrono::steady_clock::now() - start, kRigUnkeyDeadline + std::chrono::milliseconds(300));
  EXPECT_THAT(messages.texts(), ElementsAre(StartsWith("Error unkeying the transmitter through Hamlib")));
  rigctld.thaw();
}

// A serial rig's device that another program has open is refused before Hamlib opens it.
TEST_F(HamlibKeyerTest, ASerialRigOnAPortHeldByAnotherProgramIsRefusedAndTheLogSaysWhy) {
  int master = -1, slave = -1;
  char name[128];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    pause();  // keeps the inherited slave open
    _exit(0);
  }
  close(slave);
  useRig(3073, name);  // Icom IC-7300, a serial rig
  keyer.keyTransmitter();
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);

  EXPECT_THAT(messages.texts(), ElementsAre(kPortOpenError));
  EXPECT_THAT(logged, ElementsAre(StartsWith(std::string("PTT port ") + name + ": ")));
  fcntl(master, F_SETFL, O_NONBLOCK);
  char byte;
  EXPECT_LE(read(master, &byte, 1), 0) << "nothing may reach the rig";
  close(master);
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// A rig whose server never answers holds up no other: its open waits without a lock.
TEST(HamlibRigControl, ARigThatDoesNotAnswerHoldsUpNoOther) {
  testing::RigctldServer silent, working;
  ASSERT_TRUE(silent.running() && working.running());
  silent.freeze();
  HamlibRigControl hamlib;
  auto stuck = std::async(std::launch::async, [&] {
    std::string error;
    return hamlib.open({kDefaultRigModel, silent.address(), 0}, error) != nullptr;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // inside its open by now
  std::string error;
  std::unique_ptr<Rig> rig = hamlib.open({kDefaultRigModel, working.address(), 0}, error);
  ASSERT_NE(rig, nullptr) << error;
  EXPECT_EQ(rig->setPtt(true), "");
  EXPECT_EQ(stuck.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
      << "the other rig waited until the silent one gave up";
  silent.thaw();
}

}  // namespace
}  // namespace velmora
