#pragma once
// What velmora-ptt-guard does once the program has ended while keyed: undo the keying
// it was told of. Returns "" when unkeyed, else what failed.

#include <sys/types.h>

#include <string>

#include "ptt/ptt_guard_protocol.h"

namespace velmora::guard {

// portFd: the duplicate of the keyed port for "cat", "rts" and "dtr" (closed here).
// program: the pid of the ended program, whose lock file for the port is removed.
std::string undoKeying(const GuardOrder& order, int portFd, pid_t program);

}  // namespace velmora::guard
