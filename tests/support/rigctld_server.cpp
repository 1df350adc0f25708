#include "support/rigctld_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

namespace velmora::testing {

namespace {

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A TCP port of 127.0.0.1 that nothing listened on a moment ago.
int freeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

}  // namespace

RigctldServer::RigctldServer() : port_(freeTcpPort()) {
  const std::string port = std::to_string(port_);
  pid_ = fork();
  if (pid_ == 0) {
    execlp("rigctld", "rigctld", "-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t", port.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int attempt = 0; attempt < 100 && pid_ > 0; ++attempt) {
    if (!ptt().empty()) return;  // it answers: accepting a connection comes sooner
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;  // it could not start
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill();
}

std::string RigctldServer::ptt() const {
  FILE* pipe = popen(("rigctl -m 2 -r " + address() + " t 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return "";
  std::array<char, 64> line{};
  const bool read = fgets(line.data(), static_cast<int>(line.size()), pipe) != nullptr;
  pclose(pipe);
  std::string text = read ? line.data() : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

void RigctldServer::sendSignal(int number) const {
  if (pid_ > 0) ::kill(pid_, number);
}

void RigctldServer::kill() {
  if (pid_ <= 0) return;
  sendSignal(SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace velmora::testing
