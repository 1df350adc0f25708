#include "settings/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <random>

namespace velmora {

namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A file its user made read-only is kept as it is, even where the folder would let a new
// one take its place (and even for root, as on the platform of old).
std::error_code writeProtection(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  if ((info.st_mode & 0222) == 0) return std::make_error_code(std::errc::permission_denied);
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return lastError();
  return {};
}

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

std::error_code writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t written = ::write(fd, data.data() + done, data.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    done += static_cast<std::size_t>(written);
  }
  return {};
}

// Not atomic, so room for the whole is taken first: a full disk fails before a byte of the
// old content is touched.
std::error_code writeInPlace(const std::string& path, const std::string& data) {
  // Read access lets the C library take the room by hand where the file system cannot.
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return lastError();
  const auto size = static_cast<off_t>(data.size());
  std::error_code error;
  const int reserved = size > 0 ? ::posix_fallocate(fd, 0, size) : 0;
  if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL)
    error = {reserved, std::generic_category()};
  if (!error) error = writeAll(fd, data);
  if (!error && ::ftruncate(fd, size) != 0) error = lastError();
  if (!error && ::fsync(fd) != 0) error = lastError();
  if (::close(fd) != 0 && !error) error = lastError();
  return error;
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

std::error_code replaceAt(const std::string& path, const std::string& data) {
  if (const std::error_code protection = writeProtection(path)) return protection;
  std::string temporary;
  const int fd = createTemporaryBeside(path, temporary);
  if (fd < 0) {
    const std::error_code error = lastError();
    const bool folderClosed =
        error == std::errc::permission_denied || error == std::errc::operation_not_permitted;
    return folderClosed && isRegularFile(path) ? writeInPlace(path, data) : error;
  }
  std::error_code error = writeAll(fd, data);
  if (!error && !copyPermissions(path, fd)) error = lastError();
  if (!error && ::fsync(fd) != 0) error = lastError();
  if (::close(fd) != 0 && !error) error = lastError();
  if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) error = lastError();
  if (error) {
    ::unlink(temporary.c_str());
    return error;
  }
  syncDirectoryOf(path);
  return {};
}

}  // namespace

std::error_code writeFileWhole(const std::string& path, const std::string& data) {
  return replaceAt(linkTarget(path), data);
}

}  // namespace velmora
