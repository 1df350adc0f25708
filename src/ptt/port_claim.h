#pragma once
// Claims a serial device for this process alone, before anything is sent on it.
//
// A device counts as held, and is left untouched, when a live process has a UUCP lock
// file for it (LCK..ttyUSB0 in /var/lock or /run/lock), an flock on it, or an open
// descriptor of it (found through /proc as far as we may read it; devices compared by
// number, so a link such as /dev/serial/by-id/... names the same device). These checks
// come before our own open, because opening a terminal raises DTR and RTS, which can key
// a transmitter that another program has just unkeyed.
//
// A claim holds one open, non-blocking descriptor of the device with an flock on it, and
// a lock file of our own where the lock folder is writable, until release() or
// destruction. It changes no line setting, so it also serves a library that opens the
// device itself:
//
//   PortClaim claim = PortClaim::claim(path);
//   if (!claim) { log("PTT port " + path + ": " + claim.reason()); return failure; }
//   rig_open(rig);            // the library's own open() of path is allowed
//   ...                       // keep the claim for as long as the rig is open
//   rig_close(rig);
//   claim.release();          // or let it go out of scope
//
// Release the claim only after the library has closed the device: the last close drops
// DTR and RTS. A claim still held when the process exits (by a thread left inside a call
// that never returned) has its lock file removed by an exit handler.

#include <sys/types.h>

#include <string>
#include <vector>

namespace velmora {

enum class PortClaimFailure { None, HeldByAnother, NoSuchDevice, PermissionDenied, Other };

struct PortClaimOptions {
  // Searched for lock files of other programs; ours goes into the first writable one.
  std::vector<std::string> lockDirectories{"/var/lock", "/run/lock"};
  // Look through the open descriptors of every process we may read.
  bool scanOpenDescriptors = true;
};

class PortClaim {
 public:
  // Checks that devicePath is free and claims it; see claimed() and failure().
  static PortClaim claim(const std::string& devicePath, const PortClaimOptions& options = {});

  PortClaim() = default;  // claims nothing
  ~PortClaim();
  PortClaim(PortClaim&& other) noexcept;
  PortClaim& operator=(PortClaim&& other) noexcept;
  PortClaim(const PortClaim&) = delete;
  PortClaim& operator=(const PortClaim&) = delete;

  bool claimed() const { return fd_ >= 0; }
  explicit operator bool() const { return claimed(); }
  PortClaimFailure failure() const { return failure_; }
  // Who holds the device, when known: "rigctld, pid 1234".
  const std::string& holder() const { return holder_; }
  // Why the claim failed, for the log: "permission denied (is the user in the dialout group?)".
  std::string reason() const;
  // Our descriptor of the device (non-blocking, close-on-exec); -1 when not claimed.
  int fd() const { return fd_; }
  // The lock file we made, or "" when none.
  const std::string& lockFile() const { return lockFile_; }

  // Closes our descriptor (dropping the flock) and removes our lock file.
  void release();

 private:
  static PortClaim failed(PortClaimFailure failure, std::string holder = {}, int error = 0);

  int fd_ = -1;
  std::string lockFile_;
  PortClaimFailure failure_ = PortClaimFailure::None;
  std::string holder_;
  int error_ = 0;
};

// Removes the lock files for devicePath that name pid: those of a program that has died.
void removeLockFilesOf(const std::string& devicePath, pid_t pid, const PortClaimOptions& options = {});

}  // namespace velmora
