#include "ptt/port_claim.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "ptt/posix_serial_port.h"
#include "ptt/pseudo_terminal.h"
#include "ptt/ptt_keyer.h"
#include "ptt/ptt_test_helpers.h"
#include "settings/settings_test_support.h"
#include "support/recording_message_box.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

enum class HoldBy { OpenDescriptor, Flock, LockFile };

// A second process that holds the device the way a rig control program would, until
// it is destroyed.
class Holder {
 public:
  Holder(HoldBy how, const std::string& devicePath) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(release[1]);
      if (how != HoldBy::LockFile) {
        const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || (how == HoldBy::Flock && ::flock(fd, LOCK_EX | LOCK_NB) != 0)) ::_exit(1);
      }
      (void)!::write(ready[1], "r", 1);
      char byte;
      (void)!::read(release[0], &byte, 1);  // until the test closes its end
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char byte;
    ready_ = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
  }
  ~Holder() {
    ::close(release_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

  bool ready() const { return ready_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool ready_ = false;
};

// Notices any open of a device node: an open alone raises DTR and RTS on a real port.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) watching_ = ::inotify_add_watch(fd_, path.c_str(), IN_OPEN) >= 0;
  }
  ~OpenWatch() { ::close(fd_); }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  bool watching() const { return watching_; }
  bool opened() const {
    alignas(inotify_event) char events[4096];
    return ::read(fd_, events, sizeof events) > 0;
  }

 private:
  int fd_;
  bool watching_ = false;
};

std::string lockName(const std::string& devicePath) {
  return "LCK.." + devicePath.substr(devicePath.find_last_of('/') + 1);
}

void writeLockFile(const std::string& path, pid_t pid) {
  std::ofstream(path) << std::string(10 - std::to_string(pid).size(), ' ') << pid << '\n';
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
  pty.setSlaveSpeed(B9600);
  const termios before = pty.slaveAttributes();
  Holder holder(GetParam().how, pty.slavePath());
  ASSERT_TRUE(holder.ready());
  if (GetParam().how == HoldBy::LockFile) {
    writeLockFile(lockFolder.file(lockName(pty.slavePath())), holder.pid());
  }
  const OpenWatch watch(pty.slavePath());
  ASSERT_TRUE(watch.watching());

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
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_THAT(logged[0], StartsWith("PTT port " + pty.slavePath() + ": held by another program ("));
  EXPECT_THAT(logged[0], HasSubstr("pid " + std::to_string(holder.pid()) + ")"));
  EXPECT_FALSE(watch.opened());
  EXPECT_TRUE(sameLine(before, pty.slaveAttributes()));
  EXPECT_FALSE(keyer.portOpen());
  EXPECT_EQ(clock.totalSlept(), 0u);
  EXPECT_TRUE(pty.readAvailable(std::chrono::milliseconds(50)).empty());
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
  const std::string lockFile = lockFolder.file(lockName(pty.slavePath()));
  writeLockFile(lockFile, dead);
  const termios before = pty.slaveAttributes();
  const PortClaimOptions options{{lockFolder.path().string()}};

  PortClaim claim = PortClaim::claim(pty.slavePath(), options);
  ASSERT_TRUE(claim) << claim.reason();
  EXPECT_EQ(claim.lockFile(), lockFile);
  EXPECT_EQ(testing::readBytes(lockFile),
            std::string(10 - std::to_string(::getpid()).size(), ' ') + std::to_string(::getpid()) + "\n");
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

struct ReasonCase {
  const char* what;
  std::string (*makeDevice)(const testing::ScratchFolder& folder, const std::string& ptyPath);
  const char* logged;
};

// Permissions as an ordinary user: root opens anything, so the claim runs in a child that
// has given up root.
std::string reasonOf(const ReasonCase& c, const testing::ScratchFolder& folder, const std::string& ptyPath) {
  const std::string device = c.makeDevice(folder, ptyPath);
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(1);
    const std::string reason =
        PosixSerialPortOpener({}, {{folder.path().string()}}).openExplained(device).failureReason;
    (void)!::write(pipeEnds[1], reason.data(), reason.size());
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::string reason;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) reason.append(buffer, buffer + n);
  ::close(pipeEnds[0]);
  ::waitpid(child, nullptr, 0);
  return reason;
}

TEST(PortClaim, TheLogTellsWhatTheUserCanFix) {
  const ReasonCase cases[] = {
      {"missing", [](const auto& folder, const auto&) { return folder.file("ttyUSB9"); }, "no such device"},
      {"not ours to open",
       [](const auto&, const auto& pty) {
         ::chmod(pty.c_str(), 0);
         return pty;
       },
       "permission denied (is the user in the dialout group?)"},
      {"not a terminal",
       [](const auto& folder, const auto&) {
         std::ofstream(folder.file("ttyUSB0")) << "x";
         return folder.file("ttyUSB0");
       },
       ""},
  };
  for (const auto& c : cases) {
    testing::PseudoTerminal pty;
    testing::ScratchFolder folder;
    ::chmod(folder.path().c_str(), 0777);
    EXPECT_EQ(reasonOf(c, folder, pty.slavePath()), c.logged) << c.what;
  }
}

}  // namespace
}  // namespace velmora
