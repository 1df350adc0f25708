#include "transmit/glyph_font.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace velmora {

namespace {

constexpr int kLoadedCodes = 255;  // code 255 is never loaded
constexpr int kColumnsPerGlyph = 5;
constexpr std::size_t kRecordSize = 6;

// Owns a POSIX descriptor so that every return path closes it.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Only a regular file counts as the font: a directory or a FIFO of that name would
// otherwise fail every read or block start-up.
bool isRegularFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A descriptor of the font, or -1. Non-blocking so that opening a FIFO cannot hang; it
// is rejected right after.
int openFontForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0 && !isRegularFile(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Fills the start of the record with up to six bytes; whatever a short read does not
// reach keeps its previous content, which is what makes a short file repeat its last
// column.
void readRecord(int fd, std::array<char, kRecordSize>& record) {
  std::size_t filled = 0;
  while (filled < record.size()) {
    const ssize_t got = ::read(fd, record.data() + filled, record.size() - filled);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return;  // end of file or a read error: neither is reported
    }
  }
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

std::uint8_t columnMaskOf(const std::array<char, kRecordSize>& record) {
  const int columnByte = hexDigitValue(record[2]) * 16 + hexDigitValue(record[3]);
  return static_cast<std::uint8_t>(columnByte >> 1);
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

}  // namespace

bool loadGlyphFont(const std::string& path, GlyphTable& table) {
  table = GlyphTable{};
  const FileDescriptor file(openFontForReading(path));
  if (!file.valid()) return false;

  // Zero-filled, so an empty file leaves every glyph blank.
  std::array<char, kRecordSize> record{};
  for (int code = 0; code < kLoadedCodes; ++code) {
    GlyphColumns columns{};
    for (int column = 0; column < kColumnsPerGlyph; ++column) {
      readRecord(file.get(), record);
      columns[static_cast<std::size_t>(column)] = columnMaskOf(record);
    }
    table.setColumns(static_cast<std::uint8_t>(code), columns);
  }
  return true;
}

std::string fontMissingMessage() {
  return std::string("Font file '") + kFontFileName + "' not found. Velmora is unable to transmit.";
}

std::string findFontFile(const std::string& startupDirectory, const std::vector<std::string>& otherFolders) {
  const std::string inStartupDirectory = joinPath(startupDirectory, kFontFileName);
  if (isRegularFile(inStartupDirectory)) return inStartupDirectory;
  for (const std::string& folder : otherFolders) {
    if (folder.empty()) continue;  // an unknown folder is not the current directory
    const std::string candidate = joinPath(folder, kFontFileName);
    if (isRegularFile(candidate)) return candidate;
  }
  return {};
}

std::vector<std::string> fontSearchFolders(const std::string& programDirectory) {
  std::vector<std::string> folders;
  if (!programDirectory.empty()) {
    folders.push_back(programDirectory);
    folders.push_back(joinPath(programDirectory, VELMORA_INSTALLED_FONT_FOLDER));
  }
  // Empty in a package build, whose programs look only where they are installed.
  const std::string sourceFolder = VELMORA_SOURCE_FONT_FOLDER;
  if (!sourceFolder.empty()) folders.push_back(sourceFolder);
  return folders;
}

}  // namespace velmora
