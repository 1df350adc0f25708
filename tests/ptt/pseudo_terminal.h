#pragma once
// A pseudo-terminal whose slave the code under test opens by path. Only the master stays
// open here, so this process does not hold the slave.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::testing {

class PseudoTerminal {
 public:
  PseudoTerminal() {
    char name[128] = {};
    int slave = -1;
    if (::openpty(&master_, &slave, name, nullptr, nullptr) == 0) slavePath_ = name;
    if (slave >= 0) ::close(slave);
  }
  ~PseudoTerminal() { closeMaster(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ok() const { return !slavePath_.empty(); }
  const std::string& slavePath() const { return slavePath_; }
  void closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // What arrives on the master within `wait`; the rest of a block follows at once.
  std::vector<std::uint8_t> readAvailable(std::chrono::milliseconds wait = std::chrono::milliseconds(300)) {
    std::vector<std::uint8_t> bytes;
    pollfd request{master_, POLLIN, 0};
    std::uint8_t buffer[256];
    for (int ms = static_cast<int>(wait.count()); ::poll(&request, 1, ms) > 0; ms = 50) {
      const ssize_t count = ::read(master_, buffer, sizeof buffer);
      if (count <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + count);
    }
    return bytes;
  }

  termios slaveAttributes() const {
    termios attributes{};
    ::tcgetattr(master_, &attributes);
    return attributes;
  }
  void setSlaveSpeed(speed_t speed) {
    termios attributes = slaveAttributes();
    ::cfsetspeed(&attributes, speed);
    ::tcsetattr(master_, TCSANOW, &attributes);
  }
  // Through a second, short-lived open, which the exclusive mark refuses unless we are root.
  bool slaveExclusive() const {
    const int fd = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY;
    int exclusive = 0;
    ::ioctl(fd, TIOCGEXCL, &exclusive);
    ::close(fd);
    return exclusive != 0;
  }

 private:
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace velmora::testing
