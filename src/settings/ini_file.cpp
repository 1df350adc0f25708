#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

// Plain char data throughout: the bytes are passed through untouched and decoded here.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include "core/controls.h"
#include "transmit/text_codec.h"

namespace velmora {

namespace {

bool readWholeFile(const std::string& path, std::string& content) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Like the old profile reader: leading blanks, an optional sign, then decimal digits up to
// the first other character. Values beyond 32 bits wrap around, as they always did.
std::int32_t parseProfileInt(const std::string& text) {
  std::size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  std::uint32_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(text[pos] - '0');
  const std::uint32_t bits = negative ? 0u - magnitude : magnitude;
  return static_cast<std::int32_t>(bits);
}

bool isCommentOrBlank(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  return first == std::string::npos || line[first] == ';' || line[first] == '#';
}

// The comment lines after the last entry of the file. SimpleIni keeps comments only in
// front of a section or key, so these are carried over by hand.
std::string trailingComments(const std::string& content) {
  std::size_t end = content.size();
  std::size_t blockStart = content.size();
  while (end > 0) {
    std::size_t lineStart = content.rfind('\n', end - 1);
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    if (!isCommentOrBlank(content.substr(lineStart, end - lineStart))) break;
    blockStart = lineStart;
    if (lineStart == 0) return {};  // nothing but comments: SimpleIni keeps them itself
    end = lineStart - 1;
  }
  const std::size_t firstComment = content.find_first_of(";#", blockStart);
  if (firstComment == std::string::npos) return {};
  std::string block = content.substr(
      content.rfind('\n', firstComment) == std::string::npos ? 0 : content.rfind('\n', firstComment) + 1);
  if (block.back() != '\n') block += '\n';
  return block;
}

// A value must stay on its own line: a line break inside it would let the text of one key
// turn into other keys or sections on the next load.
std::string singleLine(const std::string& value) {
  std::string line = value;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
  return line;
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

// Writes data to a temporary file beside path and renames it over path, so that a crash
// or a full disk never leaves a truncated file behind.
bool replaceFileAtomically(const std::string& path, const std::string& data) {
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

struct IniFile::Impl {
  // Case-insensitive sections and keys, one value per key, no multi-line values.
  CSimpleIniA ini{false, false, false};
  std::string trailingComments;
};

IniFile::IniFile() : impl_(std::make_unique<Impl>()) { impl_->ini.SetSpaces(false); }

IniFile::~IniFile() = default;

bool IniFile::load(const std::string& path) {
  impl_->ini.Reset();
  impl_->trailingComments.clear();
  std::string content;
  if (!readWholeFile(path, content)) return false;
  if (impl_->ini.LoadData(content) < 0) {
    impl_->ini.Reset();
    return false;
  }
  impl_->trailingComments = trailingComments(content);
  return true;
}

std::string IniFile::readText(const std::string& section, const std::string& key, const std::string& fallback,
                              std::size_t maxChars) const {
  const char* value = impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
  if (value == nullptr) return firstCodePoints(fallback, maxChars);
  std::string text = value;
  if (!isValidUtf8(text)) text = windows1252ToUtf8(text);
  return firstCodePoints(text, maxChars);
}

std::int32_t IniFile::readInt(const std::string& section, const std::string& key,
                              std::int32_t fallback) const {
  const char* value = impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
  if (value == nullptr) return fallback;
  return parseProfileInt(value);
}

void IniFile::writeText(const std::string& section, const std::string& key, const std::string& value) {
  impl_->ini.SetValue(section.c_str(), key.c_str(), singleLine(value).c_str());
}

bool IniFile::save(const std::string& path) const {
  std::string data;
  if (impl_->ini.Save(data) < 0) return false;
  if (!impl_->trailingComments.empty()) data += "\n" + impl_->trailingComments;
  return replaceFileAtomically(linkTarget(path), data);
}

}  // namespace velmora
