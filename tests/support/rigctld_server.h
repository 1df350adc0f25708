#pragma once
// rigctld with Hamlib's dummy rig (model 1, keyed by its CAT command), on a free port of
// 127.0.0.1, started for one test and killed with it.

#include <sys/types.h>

#include <csignal>
#include <string>

namespace velmora::testing {

class RigctldServer {
 public:
  // Starts rigctld and waits until it answers; running() says whether it did.
  RigctldServer();
  ~RigctldServer() { kill(); }
  RigctldServer(const RigctldServer&) = delete;
  RigctldServer& operator=(const RigctldServer&) = delete;

  bool running() const { return pid_ > 0; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  // The rig's PTT as rigctl reads it: "1", "0", or "" when it cannot be read.
  std::string ptt() const;
  // Stopped it still accepts connections but never answers, until it goes on.
  void freeze() { sendSignal(SIGSTOP); }
  void thaw() { sendSignal(SIGCONT); }
  // Ends it: nothing listens at the address any more.
  void kill();

 private:
  void sendSignal(int number) const;

  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace velmora::testing
