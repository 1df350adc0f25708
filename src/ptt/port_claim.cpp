#include "ptt/port_claim.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>

namespace velmora {

namespace {

std::string baseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string canonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

constexpr pid_t kUnreadableLock = -1;

bool processAlive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// A lock file we cannot read is taken as held: it is not ours to judge, nor to remove.
bool lockHeld(pid_t pid) { return pid == kUnreadableLock || processAlive(pid); }

// "rigctld, pid 1234", or "pid 1234" when the name cannot be read.
std::string describeProcess(pid_t pid) {
  std::string name;
  std::ifstream comm(std::string("/proc/") + std::to_string(pid) + "/comm");
  std::getline(comm, name);
  const std::string number = "pid " + std::to_string(pid);
  return name.empty() ? number : name + ", " + number;
}

// The pid a UUCP lock file names: ten ASCII digits and a newline, or an old binary int;
// nullopt when there is no lock file, 0 when it names no process.
std::optional<pid_t> lockFilePid(const std::string& path) {
  if (::access(path.c_str(), F_OK) != 0) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return kUnreadableLock;
  const std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  char* end = nullptr;
  const long value = std::strtol(content.c_str(), &end, 10);
  if (end == content.c_str() && content.size() == sizeof(std::int32_t)) {
    std::int32_t binary = 0;
    std::memcpy(&binary, content.data(), sizeof binary);
    return binary;
  }
  if (end == content.c_str() || value <= 0 || value > INT_MAX) return pid_t{0};  // unreadable: stale
  return static_cast<pid_t>(value);
}

// Lock folders without repeats: /var/lock is a link to /run/lock on Debian.
std::vector<std::string> distinctDirectories(const std::vector<std::string>& directories) {
  std::vector<std::string> result;
  std::vector<std::pair<dev_t, ino_t>> seen;
  for (const auto& directory : directories) {
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) continue;
    const std::pair<dev_t, ino_t> id{status.st_dev, status.st_ino};
    bool repeated = false;
    for (const auto& other : seen) repeated = repeated || other == id;
    if (repeated) continue;
    seen.push_back(id);
    result.push_back(directory);
  }
  return result;
}

// A live process named in a lock file for one of names, described.
std::optional<std::string> lockFileHolder(const std::vector<std::string>& directories,
                                          const std::vector<std::string>& names) {
  for (const auto& directory : directories) {
    for (const auto& name : names) {
      const auto pid = lockFilePid(directory + "/LCK.." + name);
      if (pid && lockHeld(*pid)) return *pid > 0 ? describeProcess(*pid) : std::string();
    }
  }
  return std::nullopt;
}

// A process with an flock or record lock on the device node, from /proc/locks, which
// everyone may read. "" when the lock has no pid (open file description locks).
std::optional<std::string> fileLockHolder(const struct stat& node) {
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string id, type, mode, access, where;
    long pid = 0;
    fields >> id >> type;
    if (type == "->") continue;  // waiting for the lock, not holding it
    fields >> mode >> access >> pid >> where;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (major == major(node.st_dev) && minor == minor(node.st_dev) && inode == node.st_ino) {
      return pid > 0 ? describeProcess(static_cast<pid_t>(pid)) : std::string();
    }
  }
  return std::nullopt;
}

// A process with an open descriptor of the device, as far as /proc lets us look. The
// device is compared by number, whatever name it was opened by.
std::optional<std::string> openDescriptorHolder(dev_t device) {
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) return std::nullopt;
  std::optional<std::string> holder;
  while (!holder) {
    const dirent* process = ::readdir(processes);
    if (process == nullptr) break;
    char* end = nullptr;
    const long pid = std::strtol(process->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    const std::string fdDirectory = std::string("/proc/") + process->d_name + "/fd";
    DIR* descriptors = ::opendir(fdDirectory.c_str());
    if (descriptors == nullptr) continue;  // another user's process, or gone
    while (const dirent* descriptor = ::readdir(descriptors)) {
      if (descriptor->d_name[0] == '.') continue;
      const std::string link = fdDirectory + "/" + descriptor->d_name;
      // Only device files are looked at: a file on a network mount whose server is gone
      // could hold up the look for good.
      char target[16] = {};
      if (::readlink(link.c_str(), target, sizeof target - 1) < 5 || std::strncmp(target, "/dev/", 5) != 0)
        continue;
      struct stat status {};
      if (::stat(link.c_str(), &status) == 0 && S_ISCHR(status.st_mode) && status.st_rdev == device) {
        holder = describeProcess(static_cast<pid_t>(pid));
        break;
      }
    }
    ::closedir(descriptors);
  }
  ::closedir(processes);
  return holder;
}

PortClaimFailure failureOfErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
      return PortClaimFailure::NoSuchDevice;
    case EACCES:
    case EPERM:
      return PortClaimFailure::PermissionDenied;
    case EBUSY:
      return PortClaimFailure::HeldByAnother;  // another program set TIOCEXCL
    default:
      return PortClaimFailure::Other;
  }
}

enum class LockFileResult { Made, HeldByAnother, NotWritable };

// Our own lock file, made whole under a temporary name and linked into place, so that
// nobody ever reads a half-written one. A stale lock (dead pid) is replaced.
LockFileResult makeLockFile(const std::string& directory, const std::string& name, std::string& madePath,
                            std::string& holder) {
  const std::string path = directory + "/LCK.." + name;
  const std::string temporary = directory + "/LTMP." + std::to_string(::getpid()) + "." + name;
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return LockFileResult::NotWritable;
  char content[16];
  const int length = std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(::getpid()));
  const bool written = ::write(fd, content, static_cast<std::size_t>(length)) == length;
  ::close(fd);
  LockFileResult result = LockFileResult::NotWritable;
  for (int attempt = 0; written && attempt < 2; ++attempt) {
    if (::link(temporary.c_str(), path.c_str()) == 0) {
      madePath = path;
      result = LockFileResult::Made;
      break;
    }
    if (errno != EEXIST) break;
    const auto pid = lockFilePid(path);
    if (pid && lockHeld(*pid)) {
      holder = *pid > 0 ? describeProcess(*pid) : std::string();
      result = LockFileResult::HeldByAnother;
      break;
    }
    ::unlink(path.c_str());  // stale
  }
  ::unlink(temporary.c_str());
  return result;
}

// The lock files of claims still held. Never destroyed: the exit handler may run while a
// thread still holds a claim.
struct HeldLockFiles {
  std::mutex mutex;
  std::multiset<std::string> paths;
};

HeldLockFiles& heldLockFiles() {
  static auto* held = new HeldLockFiles;
  return *held;
}

void removeHeldLockFilesAtExit() {
  HeldLockFiles& held = heldLockFiles();
  std::lock_guard lock(held.mutex);
  for (const auto& path : held.paths) {
    if (lockFilePid(path) == ::getpid()) ::unlink(path.c_str());
  }
}

void rememberLockFile(const std::string& path) {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(removeHeldLockFilesAtExit); });
  HeldLockFiles& held = heldLockFiles();
  std::lock_guard lock(held.mutex);
  held.paths.insert(path);
}

void forgetLockFile(const std::string& path) {
  HeldLockFiles& held = heldLockFiles();
  std::lock_guard lock(held.mutex);
  if (const auto found = held.paths.find(path); found != held.paths.end()) held.paths.erase(found);
}

std::vector<std::string> lockNamesOf(const std::string& devicePath) {
  const std::string deviceName = baseName(canonicalPath(devicePath));
  std::vector<std::string> names{deviceName};
  if (baseName(devicePath) != deviceName) names.push_back(baseName(devicePath));
  return names;
}

}  // namespace

void removeLockFilesOf(const std::string& devicePath, pid_t pid, const PortClaimOptions& options) {
  for (const auto& directory : distinctDirectories(options.lockDirectories)) {
    for (const auto& name : lockNamesOf(devicePath)) {
      const std::string path = directory + "/LCK.." + name;
      if (lockFilePid(path) == pid) ::unlink(path.c_str());
    }
  }
}

PortClaim PortClaim::claim(const std::string& devicePath, const PortClaimOptions& options) {
  struct stat node {};
  if (::stat(devicePath.c_str(), &node) != 0) return failed(failureOfErrno(errno), {}, errno);
  if (!S_ISCHR(node.st_mode)) return failed(PortClaimFailure::Other, {}, ENOTTY);

  const std::vector<std::string> lockNames = lockNamesOf(devicePath);
  const std::string& deviceName = lockNames.front();
  const std::vector<std::string> lockDirectories = distinctDirectories(options.lockDirectories);

  // Everything that can be learnt without opening the device comes first.
  if (auto holder = lockFileHolder(lockDirectories, lockNames))
    return failed(PortClaimFailure::HeldByAnother, *holder);
  if (auto holder = fileLockHolder(node)) return failed(PortClaimFailure::HeldByAnother, *holder);
  if (options.scanOpenDescriptors) {
    if (auto holder = openDescriptorHolder(node.st_rdev))
      return failed(PortClaimFailure::HeldByAnother, *holder);
  }

  PortClaim result;
  // Non-blocking, so that the open cannot wait for a carrier.
  result.fd_ = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (result.fd_ < 0) return failed(failureOfErrno(errno), {}, errno);
  if (!::isatty(result.fd_)) return failed(PortClaimFailure::Other, {}, ENOTTY);
  // Taken between our checks and our open, or held by one we could not see.
  if (::flock(result.fd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    return failed(error == EWOULDBLOCK ? PortClaimFailure::HeldByAnother : PortClaimFailure::Other, {},
                  error);
  }
  for (const auto& directory : lockDirectories) {
    std::string holder;
    const LockFileResult made = makeLockFile(directory, deviceName, result.lockFile_, holder);
    if (made == LockFileResult::HeldByAnother) return failed(PortClaimFailure::HeldByAnother, holder);
    if (made == LockFileResult::Made) {
      rememberLockFile(result.lockFile_);
      break;
    }
  }
  return result;
}

PortClaim PortClaim::failed(PortClaimFailure failure, std::string holder, int error) {
  PortClaim result;
  result.failure_ = failure;
  result.holder_ = std::move(holder);
  result.error_ = error;
  return result;
}

PortClaim::~PortClaim() { release(); }

PortClaim::PortClaim(PortClaim&& other) noexcept
    : fd_(other.fd_),
      lockFile_(std::move(other.lockFile_)),
      failure_(other.failure_),
      holder_(std::move(other.holder_)),
      error_(other.error_) {
  other.fd_ = -1;
  other.lockFile_.clear();
}

PortClaim& PortClaim::operator=(PortClaim&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    lockFile_ = std::move(other.lockFile_);
    failure_ = other.failure_;
    holder_ = std::move(other.holder_);
    error_ = other.error_;
    other.fd_ = -1;
    other.lockFile_.clear();
  }
  return *this;
}

void PortClaim::release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  // Removed only while it still names us: a lock file is never taken from another program.
  if (!lockFile_.empty()) {
    if (lockFilePid(lockFile_) == ::getpid()) ::unlink(lockFile_.c_str());
    forgetLockFile(lockFile_);
  }
  lockFile_.clear();
}

std::string PortClaim::reason() const {
  switch (failure_) {
    case PortClaimFailure::None:
      return {};
    case PortClaimFailure::HeldByAnother:
      return holder_.empty() ? "held by another program" : "held by another program (" + holder_ + ")";
    case PortClaimFailure::NoSuchDevice:
      return "no such device";
    case PortClaimFailure::PermissionDenied:
      return "permission denied (is the user in the dialout group?)";
    case PortClaimFailure::Other:
      return error_ == ENOTTY ? "not a serial port" : std::generic_category().message(error_);
  }
  return {};
}

}  // namespace velmora
