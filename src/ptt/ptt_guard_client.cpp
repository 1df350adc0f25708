#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "ptt/ptt_guard.h"

extern char** environ;

namespace velmora {

namespace {

// How long an unkeying waits for the guard to let go of the port.
constexpr int kAnswerWaitMs = 500;

bool executable(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// A reaper that never blocks the caller: the guard exits at once on end of file.
void reapLater(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace

std::vector<std::string> guardProgramCandidates() {
  std::vector<std::string> candidates;
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) candidates.push_back((self.parent_path() / kGuardProgramName).string());
#ifdef VELMORA_INSTALL_BINDIR
  candidates.push_back(std::string(VELMORA_INSTALL_BINDIR) + "/" + kGuardProgramName);
#endif
  return candidates;
}

PttGuardClient::PttGuardClient(std::vector<std::string> programs, std::string logDirectory,
                               std::function<void(const std::string&)> writeLog)
    : programs_(std::move(programs)),
      logDirectory_(std::move(logDirectory)),
      writeLog_(std::move(writeLog)) {}

PttGuardClient::~PttGuardClient() {
  std::lock_guard lock(mutex_);
  if (socket_ >= 0) ::close(socket_);
  if (pid_ > 0) reapLater(pid_);
}

pid_t PttGuardClient::pid() const {
  std::lock_guard lock(mutex_);
  return pid_;
}

void PttGuardClient::noGuardLocked(const std::string& why) {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  if (failed_) return;
  failed_ = true;
  if (writeLog_)
    writeLog_("No PTT guard (" + why + "): the transmitter is not unkeyed should the program be killed");
}

bool PttGuardClient::startLocked() {
  std::string program;
  for (const std::string& candidate : programs_) {
    if (executable(candidate)) {
      program = candidate;
      break;
    }
  }
  if (program.empty()) {
    noGuardLocked(std::string(kGuardProgramName) + " not found");
    return false;
  }
  int sockets[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) {
    noGuardLocked(std::strerror(errno));
    return false;
  }
  // Standard input is the socket, output and error go nowhere, and nothing else of ours
  // (Hamlib's devices and sockets are not close-on-exec) reaches it. A process group of
  // its own keeps the terminal's Ctrl+C and Ctrl+\ away from it.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, sockets[1], 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
  std::string argv0 = program;
  std::string argv1 = logDirectory_;
  char* const argv[] = {argv0.data(), argv1.data(), nullptr};
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(sockets[1]);
  if (error != 0) {
    ::close(sockets[0]);
    noGuardLocked(program + ": " + std::strerror(error));
    return false;
  }
  socket_ = sockets[0];
  pid_ = pid;
  return true;
}

bool PttGuardClient::sendLocked(const std::string& record, int portFd) {
  iovec data{const_cast<char*>(record.data()), record.size()};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (portFd >= 0) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &portFd, sizeof(int));
  }
  for (;;) {
    if (::sendmsg(socket_, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(record.size())) return true;
    if (errno != EINTR) break;
  }
  noGuardLocked(std::string("it ended: ") + std::strerror(errno));
  return false;
}

std::uint64_t PttGuardClient::arm(const GuardOrder& order, int portFd) {
  std::lock_guard lock(mutex_);
  const bool needsPort = order.kind != GuardOrder::Kind::Rig && order.kind != GuardOrder::Kind::Idle;
  if (needsPort && portFd < 0) return 0;  // no real port: nothing a guard could do
  if (socket_ < 0 && (failed_ || !startLocked())) return 0;
  if (!sendLocked(encodeGuardOrder(order), needsPort ? portFd : -1)) return 0;
  armed_ = ++lastToken_;
  return armed_;
}

void PttGuardClient::disarm(std::uint64_t token) {
  std::lock_guard lock(mutex_);
  if (token == 0 || token != armed_ || socket_ < 0) return;
  armed_ = 0;
  char answer[16];
  while (::recv(socket_, answer, sizeof answer, MSG_DONTWAIT) > 0) {
  }  // a late answer to an earlier order
  if (!sendLocked(encodeGuardOrder(GuardOrder{}), -1)) return;
  // Once answered, the guard holds no descriptor of the port: it is free for the next keying.
  pollfd request{socket_, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    const int ready = ::poll(&request, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready > 0) (void)::recv(socket_, answer, sizeof answer, MSG_DONTWAIT);
    return;
  }
}

}  // namespace velmora
