#include "settings/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <random>

namespace velmora {

namespace {

// A new file beside path that nobody else has, created with the usual permissions (the
// umask applies); -1 when the folder cannot take it.
int createTemporaryBeside(const std::string& path, std::string& temporary) {
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(random());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The replacement keeps the permissions of the file it replaces.
bool copyPermissions(const std::string& path, int fd) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return true;  // nothing to replace
  return ::fchmod(fd, info.st_mode & 07777) == 0;
}

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t written = ::write(fd, data.data() + done, data.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

void syncDirectoryOf(const std::string& path) {
  std::filesystem::path directory = std::filesystem::path(path).parent_path();
  if (directory.empty()) directory = ".";
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// A settings file kept elsewhere through a symbolic link stays there: the link's target is
// replaced (or made, when it is not there yet), not the link. Links are followed one by one,
// as far as the system itself would follow them.
std::string linkTarget(const std::string& path) {
  constexpr int kMaxLinksFollowed = 40;
  std::filesystem::path current = path;
  for (int followed = 0; followed < kMaxLinksFollowed; ++followed) {
    std::error_code error;
    if (!std::filesystem::is_symlink(current, error)) return current.string();
    std::filesystem::path target = std::filesystem::read_symlink(current, error);
    if (error) return path;
    current = target.is_relative() ? current.parent_path() / target : target;
  }
  return path;
}

bool replaceAt(const std::string& path, const std::string& data) {
  std::string temporary;
  const int fd = createTemporaryBeside(path, temporary);
  if (fd < 0) return false;
  bool ok = writeAll(fd, data);
  ok = ok && copyPermissions(path, fd);
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  syncDirectoryOf(path);
  return true;
}

}  // namespace

bool replaceFileAtomically(const std::string& path, const std::string& data) {
  return replaceAt(linkTarget(path), data);
}

}  // namespace velmora
