#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "core/controls.h"
#include "core/utf8.h"
#include "settings/atomic_file.h"
#include "settings/ini_encoding.h"
#include "transmit/text_codec.h"

namespace velmora {

namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }

// Only a regular file is read: a FIFO or a device would block or never end.
std::error_code readWholeFile(const std::string& path, std::string& content) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return lastError();
  if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(info.st_mode)) return std::make_error_code(std::errc::invalid_argument);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return lastError();
  char buffer[65536];
  std::error_code error;
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = lastError();
    if (got <= 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return error;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t firstNonBlank(const std::string& text, std::size_t from = 0) {
  while (from < text.size() && isBlank(text[from])) ++from;
  return from;
}

std::string trimmed(const std::string& text) {
  const std::size_t begin = firstNonBlank(text);
  std::size_t end = text.size();
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

// Like the old profile reader: leading blanks, an optional sign, then decimal digits up to
// the first other character. Values beyond 32 bits wrap around, as they always did.
std::int32_t parseProfileInt(const std::string& text) {
  std::size_t pos = firstNonBlank(text);
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

// As the profile reader of old: quotes around a whole value are not part of it.
std::string unquoted(const std::string& value) {
  const bool quoted =
      value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  return quoted ? value.substr(1, value.size() - 2) : value;
}

// Blanks at either end would be lost to the trimming, and quotes to the unquoting.
std::string quotedWhereNeeded(const std::string& value) {
  const bool needed = !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                                         unquoted(value).size() != value.size());
  return needed ? '"' + value + '"' : value;
}

// What a field shows of a value read: control characters (a NUL, a stray CR) are neither
// shown nor sent; the file keeps them until the field is edited.
std::string withoutControls(const std::string& utf8) {
  std::string shown;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const Utf8Character character = utf8CharacterAt(utf8, pos);
    const char32_t c = character.codePoint;
    if (character.broken || !(c < 0x20 || (c >= 0x7F && c <= 0x9F)))
      shown += utf8.substr(pos, character.length);
    pos += character.length;
  }
  return shown;
}

// A value must stay on its own line: a line break inside it would let the text of one key
// turn into other keys or sections on the next load.
std::string singleLine(const std::string& value) {
  std::string line = value;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
  return line;
}

// "[name]" with anything after the bracket; blanks around the name do not count.
std::optional<std::string> sectionName(const std::string& text) {
  const std::size_t open = firstNonBlank(text);
  if (open >= text.size() || text[open] != '[') return std::nullopt;
  const std::size_t close = text.find(']', open);
  if (close == std::string::npos) return std::nullopt;
  return trimmed(text.substr(open + 1, close - open - 1));
}

bool isCommentOrBlank(const std::string& text) {
  const std::size_t first = firstNonBlank(text);
  return first == text.size() || text[first] == ';' || text[first] == '#';
}

}  // namespace

// The file as lines, each with its own line end ("\r\n", "\n", "\r", or "" for a last line
// without one), so that everything not written is saved byte for byte.
struct IniFile::Impl {
  struct Line {
    std::string text;
    std::string end;
  };
  // Where the value of a key line starts and ends, blanks around it left out.
  struct Entry {
    std::size_t line;
    std::size_t valueBegin;
    std::size_t valueEnd;
  };

  IniEncoding encoding = IniEncoding::Utf8;
  std::string tail;  // an odd last byte of a UTF-16 file
  std::vector<Line> lines;
  std::optional<std::string> loadedFrom;
  std::string loadedContent;

  void parse(const std::string& content) {
    IniText decoded = decodeIniFile(content);
    encoding = decoded.encoding;
    tail = std::move(decoded.tail);
    const std::string& body = decoded.body;
    lines.clear();
    std::size_t pos = 0;
    while (pos < body.size()) {
      const std::size_t end = body.find_first_of("\r\n", pos);
      if (end == std::string::npos) {
        lines.push_back({body.substr(pos), ""});
        break;
      }
      const bool crlf = body[end] == '\r' && end + 1 < body.size() && body[end + 1] == '\n';
      lines.push_back({body.substr(pos, end - pos), body.substr(end, crlf ? 2 : 1)});
      pos = end + (crlf ? 2 : 1);
    }
  }

  std::string text() const {
    IniText content{encoding, {}, tail};
    for (const auto& line : lines) content.body += line.text + line.end;
    // ANSI that happens to pass for UTF-8 would be read as UTF-8 next time.
    const bool ascii = std::all_of(content.body.begin(), content.body.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (encoding == IniEncoding::Ansi && !ascii && isValidUtf8(content.body)) {
      content.body = windows1252ToUtf8(content.body);
      content.encoding = IniEncoding::Utf8Bom;
    }
    return encodeIniFile(content);
  }

  // The first section of that name: header line, and one past its last line.
  std::optional<std::pair<std::size_t, std::size_t>> section(const std::string& name) const {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const auto found = sectionName(lines[i].text);
      if (!found || !sameName(*found, name)) continue;
      std::size_t end = i + 1;
      while (end < lines.size() && !sectionName(lines[end].text)) ++end;
      return std::make_pair(i, end);
    }
    return std::nullopt;
  }

  // The first line of the key in the first section of that name.
  std::optional<Entry> entry(const std::string& sectionName, const std::string& key) const {
    const auto range = section(sectionName);
    if (!range) return std::nullopt;
    for (std::size_t i = range->first + 1; i < range->second; ++i) {
      const std::string& text = lines[i].text;
      const std::size_t equals = text.find('=');
      if (equals == std::string::npos || !sameName(trimmed(text.substr(0, equals)), key)) continue;
      const std::size_t begin = firstNonBlank(text, equals + 1);
      std::size_t end = text.size();
      while (end > begin && isBlank(text[end - 1])) --end;
      return Entry{i, begin, end};
    }
    return std::nullopt;
  }

  // The value as the program sees it: UTF-8, without the quotes around it.
  std::string value(const Entry& e) const {
    return unquoted(
        iniValueToUtf8(encoding, lines[e.line].text.substr(e.valueBegin, e.valueEnd - e.valueBegin)));
  }

  // The line end most lines from `first` to `last` have (the first of equals), else "".
  std::string commonLineEnd(std::size_t first, std::size_t last) const {
    std::size_t counts[3] = {};
    const char* const ends[3] = {"\r\n", "\n", "\r"};
    std::size_t best = 3;
    for (std::size_t i = first; i < last; ++i) {
      for (std::size_t k = 0; k < 3; ++k) {
        if (lines[i].end != ends[k]) continue;
        if (++counts[k] > (best < 3 ? counts[best] : 0)) best = k;
      }
    }
    return best < 3 ? ends[best] : "";
  }

  // A new line takes the line end of its neighbours in the section (`first` to `last`).
  void insert(std::size_t at, const std::string& text, std::size_t first, std::size_t last) {
    std::string end = commonLineEnd(first, last);
    if (end.empty()) end = commonLineEnd(0, lines.size());
    if (end.empty()) end = "\n";
    // The line before a new one needs an end of its own.
    if (at > 0 && lines[at - 1].end.empty()) lines[at - 1].end = end;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{text, end});
  }

  // The value in the file's encoding. A value that the old ANSI code page cannot hold turns
  // the whole file into UTF-8 (with a byte-order mark, as the platform of old knew it).
  std::string encoded(const std::string& utf8) {
    if (const auto held = iniValueFromUtf8(encoding, utf8)) return *held;
    for (auto& line : lines) line.text = windows1252ToUtf8(line.text);
    encoding = IniEncoding::Utf8Bom;
    return utf8;
  }
};

IniFile::IniFile() : impl_(std::make_unique<Impl>()) {}

IniFile::~IniFile() = default;

bool IniFile::load(const std::string& path, std::error_code* error) {
  std::string content;
  const std::error_code failure = readWholeFile(path, content);
  if (error) *error = failure;
  impl_->parse(failure ? std::string() : content);
  impl_->loadedFrom = failure ? std::optional<std::string>() : path;
  impl_->loadedContent = std::move(content);
  return !failure;
}

std::string IniFile::readText(const std::string& section, const std::string& key, const std::string& fallback,
                              std::size_t maxChars) const {
  const auto entry = impl_->entry(section, key);
  if (!entry) return firstCodePoints(fallback, maxChars);
  return firstCodePoints(withoutControls(impl_->value(*entry)), maxChars);
}

std::int32_t IniFile::readInt(const std::string& section, const std::string& key,
                              std::int32_t fallback) const {
  const auto entry = impl_->entry(section, key);
  return entry ? parseProfileInt(impl_->value(*entry)) : fallback;
}

void IniFile::writeText(const std::string& section, const std::string& key, const std::string& value) {
  const std::string text = singleLine(value);
  Impl& file = *impl_;
  if (auto entry = file.entry(section, key)) {
    if (withoutControls(file.value(*entry)) == text) return;  // unchanged: not a byte moves
    const std::string encoded = file.encoded(quotedWhereNeeded(text));
    entry = file.entry(section, key);  // the file may have changed its encoding
    std::string& line = file.lines[entry->line].text;
    // An empty value is written right after the '=', before any blanks that stood there.
    if (entry->valueBegin == entry->valueEnd) {
      line.insert(line.find('=') + 1, encoded);
    } else {
      line.replace(entry->valueBegin, entry->valueEnd - entry->valueBegin, encoded);
    }
    return;
  }
  const std::string newLine = key + "=" + file.encoded(quotedWhereNeeded(text));
  if (const auto range = file.section(section)) {
    // After the section's last entry, so that comments and blank lines leading to the
    // next section stay where they are.
    std::size_t at = range->second;
    while (at > range->first + 1 && isCommentOrBlank(file.lines[at - 1].text)) --at;
    file.insert(at, newLine, range->first, range->second);
    return;
  }
  const std::size_t count = file.lines.size();
  if (count > 0 && !trimmed(file.lines.back().text).empty()) file.insert(count, "", count, count);
  const std::size_t header = file.lines.size();
  file.insert(header, "[" + section + "]", header, header);
  file.insert(header + 1, newLine, header, header + 1);
}

bool IniFile::save(const std::string& path, std::error_code* error) const {
  // Nothing changed: nothing to write, so a read-only file is no failure either.
  const std::string content = impl_->text();
  if (impl_->loadedFrom == path && content == impl_->loadedContent) {
    if (error) error->clear();
    return true;
  }
  const std::error_code failure = writeFileWhole(path, content);
  if (error) *error = failure;
  return !failure;
}

}  // namespace velmora
