#pragma once
// What the program tells velmora-ptt-guard, the small process that unkeys the transmitter
// when the program dies while keyed (killed, crashed, its X server gone).
//
// The program starts the guard before its first keying, over a SOCK_SEQPACKET socket pair
// that is the guard's standard input; the guard has no other descriptor of ours. Every
// record is one order, a line of tab-separated fields:
//
//   kind  rx-bytes-hex  rig-model  rig-speed  rig-serial  rig-path
//
// kind "cat", "rts" or "dtr": the port is keyed that way; the record carries a duplicate
//   of the port's descriptor (SCM_RIGHTS), which the guard keeps, so that the port and its
//   flock stay held until the guard has undone the keying. For "cat" the undo is writing
//   rx-bytes, for "rts"/"dtr" dropping that line.
// kind "rig": a rig keyed through Hamlib; the guard opens its own connection with the
//   model, speed and path (device, or host:port) and sets PTT off. rig-serial is 1 when
//   the path is a serial device: the guard then waits until our descriptors are gone.
// kind "idle": nothing is keyed. The guard closes the descriptor it holds and answers
//   "ok", so that the port is free again once the program has the answer.
//
// Sent before every keying ("what would undo it") and after every unkeying ("idle").
// End of file on the socket is the program's end: a normal end finds the guard idle and
// it exits quietly; otherwise it unkeys, writes one line to Logfile.txt, removes the
// program's lock file for the port and exits.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ptt/rig_control.h"

namespace velmora {

inline constexpr const char* kGuardProgramName = "velmora-ptt-guard";
inline constexpr const char* kGuardAnswer = "ok";
// The longest record either side sends.
inline constexpr std::size_t kGuardRecordLimit = 4096;

struct GuardOrder {
  enum class Kind { Idle, Cat, Rts, Dtr, Rig };
  Kind kind = Kind::Idle;
  std::vector<std::uint8_t> rxBytes;  // Cat
  RigTarget rig;                      // Rig
  bool serialRig = false;             // Rig
};

std::string encodeGuardOrder(const GuardOrder& order);
// nullopt for a record that is not an order.
std::optional<GuardOrder> decodeGuardOrder(const std::string& record);

// The line the guard logs after it has unkeyed, and the one when it could not.
inline constexpr const char* kGuardReleasedLine =
    "PTT released by the guard: the program ended while the transmitter was keyed";
std::string guardReleaseFailedLine(const std::string& error);

}  // namespace velmora
