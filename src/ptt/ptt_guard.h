#pragma once
// The keyer's side of the guard process (see ptt_guard_protocol.h): told before every
// keying what would undo it, and after every unkeying that nothing is keyed. Calls from
// several threads are serialized; none of them waits for more than a moment.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ptt/ptt_guard_protocol.h"

namespace velmora {

class PttGuard {
 public:
  virtual ~PttGuard() = default;
  // portFd: the keyed port, for "cat", "rts" and "dtr". Returns the keying's token.
  virtual std::uint64_t arm(const GuardOrder& order, int portFd) = 0;
  // After the keying of token was undone; nothing when a later keying has armed since.
  virtual void disarm(std::uint64_t token) = 0;
};

// Where velmora-ptt-guard is looked for: beside the running program, then where it is
// installed.
std::vector<std::string> guardProgramCandidates();

// Starts the guard at its first arm, with the socket as its standard input and nothing
// else of ours. When it cannot be started, keying goes on without it and writeLog says so
// once.
class PttGuardClient final : public PttGuard {
 public:
  PttGuardClient(std::vector<std::string> programs, std::string logDirectory,
                 std::function<void(const std::string&)> writeLog);
  // Closes the socket: an idle guard exits quietly, and is reaped.
  ~PttGuardClient() override;
  PttGuardClient(const PttGuardClient&) = delete;
  PttGuardClient& operator=(const PttGuardClient&) = delete;

  std::uint64_t arm(const GuardOrder& order, int portFd) override;
  void disarm(std::uint64_t token) override;
  // The guard's pid; 0 before its start.
  pid_t pid() const;

 private:
  bool startLocked();
  bool sendLocked(const std::string& record, int portFd);
  void noGuardLocked(const std::string& why);

  const std::vector<std::string> programs_;
  const std::string logDirectory_;
  const std::function<void(const std::string&)> writeLog_;
  mutable std::mutex mutex_;
  int socket_ = -1;
  pid_t pid_ = 0;
  bool failed_ = false;  // told the log why there is no guard
  std::uint64_t armed_ = 0;
  std::uint64_t lastToken_ = 0;
};

}  // namespace velmora
