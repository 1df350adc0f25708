#include "guard/guard_undo.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "ptt/hamlib_rig_control.h"
#include "ptt/port_claim.h"

namespace velmora::guard {

namespace {

using SteadyTime = std::chrono::steady_clock;

// The kernel closes a killed program's descriptors as it ends; a serial rig's device is
// waited for this long (Hamlib's own open would otherwise fail on a held port).
constexpr std::chrono::milliseconds kDeviceWait{2500};
constexpr std::chrono::milliseconds kWriteLimit{1000};

std::string errorText(int error) { return std::strerror(error); }

std::string devicePathOf(int fd) {
  char target[256] = {};
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::string writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  const auto deadline = SteadyTime::now() + kWriteLimit;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (count > 0) {
      done += static_cast<std::size_t>(count);
      continue;
    }
    if (count < 0 && errno != EAGAIN && errno != EINTR) return errorText(errno);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyTime::now());
    if (left.count() <= 0) return "the port took no more bytes";
    pollfd request{fd, POLLOUT, 0};
    ::poll(&request, 1, static_cast<int>(left.count()));
  }
  return {};
}

std::string dropLine(int fd, int line) {
  return ::ioctl(fd, TIOCMBIC, &line) == 0 ? std::string() : errorText(errno);
}

std::string unkeyRig(const GuardOrder& order) {
  PortClaim claim;
  if (order.serialRig) {
    const auto deadline = SteadyTime::now() + kDeviceWait;
    for (;;) {
      claim = PortClaim::claim(order.rig.port);
      if (claim || claim.failure() != PortClaimFailure::HeldByAnother || SteadyTime::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!claim) return "port " + order.rig.port + " " + claim.reason();
  }
  HamlibRigControl rigs;
  std::string error;
  std::unique_ptr<Rig> rig = rigs.open(order.rig, error);
  if (!rig) return error;
  return rig->setPtt(false);
}

}  // namespace

std::string undoKeying(const GuardOrder& order, int portFd, pid_t program) {
  std::string error;
  std::string device;
  switch (order.kind) {
    case GuardOrder::Kind::Idle:
      return {};
    case GuardOrder::Kind::Cat:
    case GuardOrder::Kind::Rts:
    case GuardOrder::Kind::Dtr:
      if (portFd < 0) return "no descriptor of the port";
      device = devicePathOf(portFd);
      if (order.kind == GuardOrder::Kind::Cat) error = writeAll(portFd, order.rxBytes);
      if (order.kind == GuardOrder::Kind::Rts) error = dropLine(portFd, TIOCM_RTS);
      if (order.kind == GuardOrder::Kind::Dtr) error = dropLine(portFd, TIOCM_DTR);
      ::ioctl(portFd, TIOCNXCL);
      ::close(portFd);  // the last descriptor: our flock goes, and HUPCL drops the lines
      break;
    case GuardOrder::Kind::Rig:
      device = order.serialRig ? order.rig.port : std::string();
      // Our lock file first: the program that made it is gone, and the claim below needs it free.
      if (!device.empty()) removeLockFilesOf(device, program);
      error = unkeyRig(order);
      break;
  }
  if (!device.empty()) removeLockFilesOf(device, program);
  return error;
}

}  // namespace velmora::guard
