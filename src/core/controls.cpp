#include "core/controls.h"

#include <limits>

#include "core/utf8.h"

namespace velmora {

namespace {

// Index of the byte after the character starting at pos.
std::size_t nextCodePoint(const std::string& utf8, std::size_t pos) {
  return pos + utf8CharacterAt(utf8, pos).length;
}

}  // namespace

std::uint32_t readUnsigned(Controls& controls, ControlId id) {
  const std::string text = controls.text(id);
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos == text.size()) return 0;
  std::uint64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return 0;
  }
  return static_cast<std::uint32_t>(value);
}

void writeUnsigned(Controls& controls, ControlId id, std::uint32_t value) {
  controls.setText(id, std::to_string(value));
}

std::string readText(Controls& controls, ControlId id, std::size_t maxChars) {
  return firstCodePoints(controls.text(id), maxChars);
}

std::string firstCodePoints(const std::string& utf8, std::size_t maxChars) {
  std::size_t pos = 0;
  for (std::size_t count = 0; count < maxChars && pos < utf8.size(); ++count) pos = nextCodePoint(utf8, pos);
  return utf8.substr(0, pos);
}

std::size_t codePointCount(const std::string& utf8) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < utf8.size(); pos = nextCodePoint(utf8, pos)) ++count;
  return count;
}

}  // namespace velmora
