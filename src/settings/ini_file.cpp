#include "settings/ini_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "core/controls.h"
#include "settings/atomic_file.h"
#include "transmit/text_codec.h"

namespace velmora {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool readWholeFile(const std::string& path, std::string& content) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
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

// The file as lines, each with its own line end ("\r\n", "\n", or "" for a last line
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

  std::string bom;
  std::vector<Line> lines;
  // A file that is not UTF-8 throughout was written in the old ANSI code page.
  bool windows1252 = false;

  void parse(const std::string& content) {
    std::size_t pos = content.compare(0, 3, kUtf8Bom) == 0 ? 3 : 0;
    bom = content.substr(0, pos);
    lines.clear();
    while (pos < content.size()) {
      const std::size_t newline = content.find('\n', pos);
      if (newline == std::string::npos) {
        lines.push_back({content.substr(pos), ""});
        break;
      }
      const bool crlf = newline > pos && content[newline - 1] == '\r';
      const std::size_t textEnd = crlf ? newline - 1 : newline;
      lines.push_back({content.substr(pos, textEnd - pos), crlf ? "\r\n" : "\n"});
      pos = newline + 1;
    }
    windows1252 = !isValidUtf8(content);
  }

  std::string text() const {
    std::string content = bom;
    for (const auto& line : lines) content += line.text + line.end;
    return content;
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

  std::string rawValue(const Entry& e) const {
    return lines[e.line].text.substr(e.valueBegin, e.valueEnd - e.valueBegin);
  }

  // New lines take the line end the file already uses.
  std::string lineEnd() const {
    for (const auto& line : lines)
      if (!line.end.empty()) return line.end;
    return "\n";
  }

  void insert(std::size_t at, const std::string& text) {
    // The line before a new one needs an end of its own.
    if (at > 0 && lines[at - 1].end.empty()) lines[at - 1].end = lineEnd();
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{text, lineEnd()});
  }

  // The value in the file's own encoding, as long as it reads back as the same text:
  // every character has an ANSI code, and the bytes cannot pass for UTF-8. Else UTF-8,
  // which the reader recognises value by value.
  std::string encoded(const std::string& utf8) const {
    if (!windows1252) return utf8;
    const std::string ansi = utf8ToWindows1252(utf8);
    if (windows1252ToUtf8(ansi) == utf8 && (ansi == utf8 || !isValidUtf8(ansi))) return ansi;
    return utf8;
  }
};

namespace {

std::string decoded(const std::string& raw) { return isValidUtf8(raw) ? raw : windows1252ToUtf8(raw); }

}  // namespace

IniFile::IniFile() : impl_(std::make_unique<Impl>()) {}

IniFile::~IniFile() = default;

bool IniFile::load(const std::string& path) {
  std::string content;
  const bool read = readWholeFile(path, content);
  impl_->parse(read ? content : std::string());
  return read;
}

std::string IniFile::readText(const std::string& section, const std::string& key, const std::string& fallback,
                              std::size_t maxChars) const {
  const auto entry = impl_->entry(section, key);
  if (!entry) return firstCodePoints(fallback, maxChars);
  return firstCodePoints(decoded(impl_->rawValue(*entry)), maxChars);
}

std::int32_t IniFile::readInt(const std::string& section, const std::string& key,
                              std::int32_t fallback) const {
  const auto entry = impl_->entry(section, key);
  return entry ? parseProfileInt(impl_->rawValue(*entry)) : fallback;
}

void IniFile::writeText(const std::string& section, const std::string& key, const std::string& value) {
  const std::string text = singleLine(value);
  Impl& file = *impl_;
  if (const auto entry = file.entry(section, key)) {
    if (decoded(file.rawValue(*entry)) == text) return;  // unchanged: not a byte moves
    std::string& line = file.lines[entry->line].text;
    // An empty value is written right after the '=', before any blanks that stood there.
    if (entry->valueBegin == entry->valueEnd) {
      line.insert(line.find('=') + 1, file.encoded(text));
    } else {
      line.replace(entry->valueBegin, entry->valueEnd - entry->valueBegin, file.encoded(text));
    }
    return;
  }
  const std::string newLine = key + "=" + file.encoded(text);
  if (const auto range = file.section(section)) {
    // After the section's last entry, so that comments and blank lines leading to the
    // next section stay where they are.
    std::size_t at = range->second;
    while (at > range->first + 1 && isCommentOrBlank(file.lines[at - 1].text)) --at;
    file.insert(at, newLine);
    return;
  }
  if (!file.lines.empty() && !trimmed(file.lines.back().text).empty()) file.insert(file.lines.size(), "");
  file.insert(file.lines.size(), "[" + section + "]");
  file.insert(file.lines.size(), newLine);
}

bool IniFile::save(const std::string& path) const { return replaceFileAtomically(path, impl_->text()); }

}  // namespace velmora
