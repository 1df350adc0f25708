#include "ptt/posix_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace velmora {

namespace {

using SteadyTime = std::chrono::steady_clock;

std::optional<speed_t> speedConstant(std::uint32_t baudRate) {
  switch (baudRate) {
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    default: return std::nullopt;
  }
}

// Speed, character size, parity, stop bits and hardware flow control as wanted.
bool sameLine(const termios& wanted, const termios& applied) {
  tcflag_t mask = CSIZE | PARENB | CSTOPB | CRTSCTS;
  if ((wanted.c_cflag & PARENB) != 0) mask |= PARODD;
  return ::cfgetospeed(&wanted) == ::cfgetospeed(&applied) && (wanted.c_cflag & mask) == (applied.c_cflag & mask);
}

class PosixSerialPort final : public SerialPort {
 public:
  PosixSerialPort(PortClaim claim, std::chrono::milliseconds writeTimeout)
      : claim_(std::move(claim)), fd_(claim_.fd()), writeTimeout_(writeTimeout) {}

  ~PosixSerialPort() override {
    // The exclusive mark would outlive us while anyone else holds the device open.
    ::ioctl(fd_, TIOCNXCL);
    claim_.release();  // closes: HUPCL drops DTR and RTS here, then our lock goes
  }

  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  bool configure(const SerialLineSettings& settings) override {
    termios attributes{};
    if (::tcgetattr(fd_, &attributes) != 0) return false;
    applyLineSettings(attributes, settings);
    // A driver takes what it can and may silently keep other values (a pty keeps 8 bits
    // without parity); glibc's own check of that is not reliable. Read back instead.
    (void)::tcsetattr(fd_, TCSANOW, &attributes);
    termios applied{};
    if (::tcgetattr(fd_, &applied) != 0 || !sameLine(attributes, applied)) return false;
    // Opening raised both lines; only keying may raise one. Fails harmlessly on a pty.
    setModemLines(TIOCM_DTR | TIOCM_RTS, false);
    // CLOCAL is set now, so blocking mode can no longer wait for a carrier.
    const int flags = ::fcntl(fd_, F_GETFL);
    return flags >= 0 && ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) == 0;
  }

  bool write(std::span<const std::uint8_t> bytes) override {
    // A blocking write waits until the whole block fits; a far end that never reads
    // would hang us there. Written without blocking, and polled with a deadline instead.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    const bool written = writeWithDeadline(bytes, SteadyTime::now() + writeTimeout_);
    ::fcntl(fd_, F_SETFL, flags);
    return written;
  }

  bool setRts(bool active) override { return setModemLines(TIOCM_RTS, active); }
  bool setDtr(bool active) override { return setModemLines(TIOCM_DTR, active); }
  int nativeHandle() const override { return fd_; }

 private:
  bool setModemLines(int lines, bool active) {
    return ::ioctl(fd_, active ? TIOCMBIS : TIOCMBIC, &lines) == 0;
  }

  bool writeWithDeadline(std::span<const std::uint8_t> bytes, SteadyTime::time_point deadline) {
    while (!bytes.empty()) {
      const ssize_t count = ::write(fd_, bytes.data(), bytes.size());
      if (count > 0) {
        bytes = bytes.subspan(static_cast<std::size_t>(count));
        continue;
      }
      if (count < 0 && errno == EINTR) continue;
      if (count < 0 && errno != EAGAIN) return false;
      if (!waitWritable(deadline)) return false;
    }
    return true;
  }

  bool waitWritable(SteadyTime::time_point deadline) {
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyTime::now());
      if (left.count() <= 0) return false;
      pollfd request{fd_, POLLOUT, 0};
      const int ready = ::poll(&request, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      return ready > 0 && (request.revents & POLLOUT) != 0;
    }
  }

  PortClaim claim_;
  int fd_;
  std::chrono::milliseconds writeTimeout_;
};

}  // namespace

void applyLineSettings(termios& attributes, const SerialLineSettings& settings) {
  // Raw bytes both ways, without touching character size or parity (cfmakeraw would).
  attributes.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                               IXON | IXOFF | IXANY);
  attributes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  attributes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  attributes.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  attributes.c_cflag |= CLOCAL | CREAD | HUPCL;
  attributes.c_cc[VMIN] = 1;
  attributes.c_cc[VTIME] = 0;

  if (settings.baudRate) {
    if (const auto speed = speedConstant(*settings.baudRate)) {
      ::cfsetispeed(&attributes, *speed);
      ::cfsetospeed(&attributes, *speed);
    }
  }
  if (settings.dataBits) {
    attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    attributes.c_cflag |= *settings.dataBits == 7 ? CS7 : CS8;
  }
  if (settings.stopBits) {
    if (*settings.stopBits == 2) {
      attributes.c_cflag |= CSTOPB;
    } else {
      attributes.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    }
  }
  if (settings.parity) {
    attributes.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
    if (*settings.parity == SerialLineSettings::Parity::Odd) attributes.c_cflag |= PARENB | PARODD;
    if (*settings.parity == SerialLineSettings::Parity::Even) attributes.c_cflag |= PARENB;
  }
}

PosixSerialPortOpener::PosixSerialPortOpener(std::chrono::milliseconds writeTimeout,
                                             PortClaimOptions claimOptions)
    : writeTimeout_(writeTimeout), claimOptions_(std::move(claimOptions)) {}

std::unique_ptr<SerialPort> PosixSerialPortOpener::open(const std::string& devicePath) {
  return openExplained(devicePath).port;
}

SerialPortOpening PosixSerialPortOpener::openExplained(const std::string& devicePath) {
  // The claim's descriptor is non-blocking, so that the open cannot wait for a carrier
  // before CLOCAL is set.
  PortClaim claim = PortClaim::claim(devicePath, claimOptions_);
  if (!claim) {
    const bool userCanFix = claim.failure() != PortClaimFailure::Other;
    return {nullptr, userCanFix ? claim.reason() : std::string()};
  }
  // Later openers are refused too, by the terminal itself.
  if (::ioctl(claim.fd(), TIOCEXCL) != 0) return {};
  return {std::make_unique<PosixSerialPort>(std::move(claim), writeTimeout_), {}};
}

}  // namespace velmora
