#include "ptt/port_claim.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "ptt/posix_serial_port.h"
#include "ptt/pseudo_terminal.h"
#include "ptt/ptt_keyer.h"
#include "ptt/ptt_test_helpers.h"
#include "settings/settings_test_support.h"
#include "support/recording_message_box.h"

namespace velmora {
namespace {

enum class HoldBy { OpenDescriptor, Flock, LockFile };

// A second process that holds the device as a rig control program would, until destroyed.
struct Holder {
  Holder(HoldBy how, const std::string& device) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    if ((pid = ::fork()) == 0) {
      const int fd = how == HoldBy::LockFile ? 0 : ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (fd < 0 || (how == HoldBy::Flock && ::flock(fd, LOCK_EX | LOCK_NB) != 0)) ::_exit(1);
      (void)!::write(ready[1], "r", 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char byte;
    isReady = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
  }
  ~Holder() {
    if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
  }
  pid_t pid = -1;
  bool isReady = false;
};

std::string lockFileOf(const testing::ScratchFolder& folder, const std::string& device) {
  return folder.file("LCK.." + device.substr(device.find_last_of('/') + 1));
}

// A UUCP lock file's content: the pid right-aligned in ten characters.
std::string lockContent(pid_t pid) {
  return std::string(10 - std::to_string(pid).size(), ' ') + std::to_string(pid) + "\n";
}

bool sameLine(const termios& a, const termios& b) {
  return ::cfgetospeed(&a) == ::cfgetospeed(&b) && a.c_cflag == b.c_cflag && a.c_iflag == b.c_iflag &&
         a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag;
}

struct HeldCase {
  const char* name;
  HoldBy how;
  bool scanOpenDescriptors;  // off: the flock alone must tell
};

class HeldPort : public ::testing::TestWithParam<HeldCase> {};

TEST_P(HeldPort, KeyingRefusesItChangesNothingAndLogsWhoHoldsIt) {
  testing::PseudoTerminal pty;
  testing::ScratchFolder lockFolder;
  ASSERT_TRUE(pty.ok());
  const Holder holder(GetParam().how, pty.slavePath());
  ASSERT_TRUE(holder.isReady);
  if (GetParam().how == HoldBy::LockFile)
    std::ofstream(lockFileOf(lockFolder, pty.slavePath())) << lockContent(holder.pid);
  // An open alone raises DTR and RTS on a real port; without one nothing is set or sent either.
  const int openWatch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(openWatch, pty.slavePath().c_str(), IN_OPEN), 0);

  PosixSerialPortOpener opener(std::chrono::milliseconds(2000),
                               {{lockFolder.path().string()}, GetParam().scanOpenDescriptors});
  testing::RecordingMessageBox messages;
  testing::FakeClock clock;
  std::atomic<int> stopFlag{0};
  std::vector<std::string> logged;
  PttKeyer keyer(
      opener, messages, clock, stopFlag, [&](int) { return pty.slavePath(); },
      [&](const std::string& line) { logged.push_back(line); });
  keyer.setSettings(testing::catSettings("01", "02", 100));
  keyer.keyTransmitter();

  EXPECT_EQ(messages.texts(), std::vector<std::string>{kPortOpenError});
  EXPECT_THAT(logged,
              ::testing::ElementsAre(::testing::AllOf(
                  ::testing::StartsWith("PTT port " + pty.slavePath() + ": held by another program ("),
                  ::testing::HasSubstr("pid " + std::to_string(holder.pid) + ")"))));
  alignas(inotify_event) char events[4096];
  EXPECT_LE(::read(openWatch, events, sizeof events), 0) << "the device was opened";
  ::close(openWatch);
  EXPECT_FALSE(keyer.portOpen());
  EXPECT_EQ(clock.totalSlept(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Holders, HeldPort,
                         ::testing::Values(HeldCase{"OpenDescriptor", HoldBy::OpenDescriptor, true},
                                           HeldCase{"FlockAlone", HoldBy::Flock, false},
                                           HeldCase{"LockFile", HoldBy::LockFile, true}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(PortClaim, AStaleLockIsReplacedAndOursIsSeenUntilReleased) {
  testing::PseudoTerminal pty;
  testing::ScratchFolder lockFolder;
  ASSERT_TRUE(pty.ok());
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string lockFile = lockFileOf(lockFolder, pty.slavePath());
  std::ofstream(lockFile) << lockContent(dead);
  const termios before = pty.slaveAttributes();
  const PortClaimOptions options{{lockFolder.path().string()}};

  PortClaim claim = PortClaim::claim(pty.slavePath(), options);
  ASSERT_TRUE(claim) << claim.reason();
  EXPECT_EQ(claim.lockFile(), lockFile);
  EXPECT_EQ(testing::readBytes(lockFile), lockContent(::getpid()));
  EXPECT_TRUE(sameLine(before, pty.slaveAttributes()));
  // A library may open the device itself while we hold the claim.
  const int again = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  EXPECT_GE(again, 0);
  ::close(again);
  EXPECT_EQ(PortClaim::claim(pty.slavePath(), options).failure(), PortClaimFailure::HeldByAnother);

  claim.release();
  EXPECT_EQ(lockFolder.entryCount(), 0u);
  EXPECT_TRUE(PortClaim::claim(pty.slavePath(), options));
  EXPECT_EQ(lockFolder.entryCount(), 0u);  // that claim has ended too
}

// A thread left inside a library call still holds its claim when the process exits.
TEST(PortClaim, AClaimStillHeldAtExitTakesItsLockFileWithIt) {
  testing::PseudoTerminal pty;
  testing::ScratchFolder lockFolder;
  ASSERT_TRUE(pty.ok());
  const pid_t child = ::fork();
  if (child == 0) {
    auto* held = new PortClaim(PortClaim::claim(pty.slavePath(), {{lockFolder.path().string()}}));
    std::exit(held->lockFile().empty() ? 3 : 0);
  }
  int status = 0;
  ASSERT_TRUE(::waitpid(child, &status, 0) == child && status == 0) << "the child made no lock file";
  EXPECT_EQ(lockFolder.entryCount(), 0u);
}

// As an ordinary user: root opens anything, so root is given up for the open.
TEST(PortClaim, TheLogTellsWhatTheUserCanFix) {
  using MakeDevice = std::string (*)(const testing::ScratchFolder& folder, const std::string& pty);
  const std::pair<MakeDevice, std::string> cases[] = {
      {[](const auto& folder, const auto&) { return folder.file("ttyUSB9"); }, "no such device"},
      {[](const auto&, const auto& pty) { return ::chmod(pty.c_str(), 0), pty; },
       "permission denied (is the user in the dialout group?)"},
      {[](const auto& folder, const auto&) {
         std::ofstream(folder.file("ttyUSB0")) << "x";
         return folder.file("ttyUSB0");
       },
       ""},  // not a terminal
  };
  const bool root = ::geteuid() == 0;
  for (const auto& [makeDevice, logged] : cases) {
    testing::PseudoTerminal pty;
    testing::ScratchFolder folder;
    ::chmod(folder.path().c_str(), 0777);
    const std::string device = makeDevice(folder, pty.slavePath());
    ASSERT_TRUE(!root || (::setegid(65534) == 0 && ::seteuid(65534) == 0));
    const auto opening = PosixSerialPortOpener({}, {{folder.path().string()}}).openExplained(device);
    ASSERT_TRUE(!root || (::seteuid(0) == 0 && ::setegid(0) == 0));
    EXPECT_EQ(opening.failureReason, logged) << device;
    EXPECT_FALSE(opening.port);
  }
}

}  // namespace
}  // namespace velmora
