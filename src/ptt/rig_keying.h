#pragma once
// One rig keyed through RigControl, on a thread of its own. Opening, keying, unkeying and
// closing run there one after another, so that Hamlib calls on the rig never overlap and
// a rig that does not answer holds up a caller only until its deadline. Once an unkeying
// has been asked for, the rig is never keyed again and is unkeyed when it was keyed,
// however late its calls return.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ptt/ptt_guard.h"
#include "ptt/rig_control.h"

namespace velmora {

// Claims a serial device for as long as the result is held; nullptr, and the reason for
// the log, when another program holds it or it cannot be opened.
using PortClaimer =
    std::function<std::shared_ptr<const void>(const std::string& devicePath, std::string& reason)>;

// The messages of a failed opening, keying or unkeying; description as below, error in
// Hamlib's words.
std::string hamlibOpeningError(const std::string& description, const std::string& error);
std::string hamlibKeyingError(const std::string& description, const std::string& error);
std::string hamlibUnkeyingError(const std::string& description, const std::string& error);

struct RigKeyingResult {
  bool keyed = false;
  std::optional<std::string> message;  // what failed, for the user
  std::string logLine;                 // for the log: the message, or why a port was refused
};

class RigKeying {
 public:
  // description names the rig in messages: "Icom IC-7300 on /dev/ttyUSB0". A claimer is
  // asked first for a serial rig's device. The guard, when given, is told before the rig is
  // keyed and after it is unkeyed.
  RigKeying(std::shared_ptr<RigControl> control, RigTarget target, std::string description, bool serial,
            PortClaimer claimer, std::shared_ptr<PttGuard> guard = {});
  // Asks for the unkeying without waiting for it.
  ~RigKeying();
  RigKeying(const RigKeying&) = delete;
  RigKeying& operator=(const RigKeying&) = delete;

  // Opens and keys the rig; returns once it is keyed, has failed, an unkeying was asked
  // for, or the deadline has passed (the keying is then given up and undone).
  RigKeyingResult key(std::chrono::milliseconds deadline);
  // PTT off and close. Returns at once when the rig was never keyed, else once it is
  // unkeyed or the deadline has passed; the message says what failed.
  std::optional<std::string> unkey(std::chrono::milliseconds deadline);

 private:
  struct State;
  static void run(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
};

}  // namespace velmora
