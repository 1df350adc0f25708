// velmora-ptt-guard: started by Velmora and velmora-render before they first key the
// transmitter, with a socket to them as standard input (see ptt/ptt_guard_protocol.h).
// When that socket ends while something is keyed, the program has died: unkey, log it,
// and exit. Usage: velmora-ptt-guard LOG-DIRECTORY
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "guard/guard_undo.h"
#include "log/event_log.h"
#include "ptt/ptt_guard_protocol.h"

namespace {

constexpr int kSocket = STDIN_FILENO;

// One record and the descriptor it carries (-1 when none); false at end of file.
bool receive(std::string& record, int& fd) {
  char buffer[velmora::kGuardRecordLimit];
  iovec data{buffer, sizeof buffer};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t count = 0;
  do {
    count = ::recvmsg(kSocket, &message, MSG_CMSG_CLOEXEC);
  } while (count < 0 && errno == EINTR);
  if (count <= 0) return false;  // end of file, or a socket that is no longer usable
  fd = -1;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
      std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    }
  }
  record.assign(buffer, static_cast<std::size_t>(count));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || ::fcntl(kSocket, F_GETFD) < 0) return 2;
  // Output and error may be missing: whatever opens next must not take their numbers.
  while (::fcntl(STDOUT_FILENO, F_GETFD) < 0 || ::fcntl(STDERR_FILENO, F_GETFD) < 0) {
    if (::open("/dev/null", O_RDWR) < 0) return 2;
  }
  // The terminal's signals and a broken pipe are the program's business; the guard must
  // outlive the program to do its job.
  for (const int number : {SIGINT, SIGQUIT, SIGHUP, SIGPIPE, SIGTSTP}) ::signal(number, SIG_IGN);
  const pid_t program = ::getppid();
  velmora::EventLog log(argv[1]);

  velmora::GuardOrder armed;
  int heldFd = -1;
  std::string record;
  int fd = -1;
  while (receive(record, fd)) {
    const auto order = velmora::decodeGuardOrder(record);
    if (!order) {
      if (fd >= 0) ::close(fd);
      continue;
    }
    if (heldFd >= 0) ::close(heldFd);
    heldFd = fd;
    armed = *order;
    if (armed.kind == velmora::GuardOrder::Kind::Idle) {
      if (heldFd >= 0) ::close(heldFd);
      heldFd = -1;
      (void)::send(kSocket, velmora::kGuardAnswer, std::strlen(velmora::kGuardAnswer), MSG_NOSIGNAL);
    }
  }
  if (armed.kind == velmora::GuardOrder::Kind::Idle) return 0;  // a normal end
  const std::string error = velmora::guard::undoKeying(armed, heldFd, program);
  log.appendLine(error.empty() ? velmora::kGuardReleasedLine : velmora::guardReleaseFailedLine(error), false);
  return error.empty() ? 0 : 1;
}
