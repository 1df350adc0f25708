#include "ptt/hex_command.h"

namespace velmora {

int hexDigitValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

namespace {

// Only a-z change: the text is 8-bit, and locale-aware upper-casing would touch more.
void upperCaseAsciiLetters(std::string& text) {
  for (char& ch : text) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
}

}  // namespace

int parseHexCommand(std::string& text, std::vector<std::uint8_t>& out) {
  const std::size_t length = text.size();
  if (length > kMaxHexCommandLength || length % 2 != 0) return -1;
  upperCaseAsciiLetters(text);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(length / 2);
  for (std::size_t i = 0; i < length; i += 2) {
    const int high = hexDigitValue(text[i]);
    const int low = hexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) return -1;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  // Nothing is appended for an illegal text, not even the pairs before the bad one.
  out.insert(out.end(), bytes.begin(), bytes.end());
  return static_cast<int>(bytes.size());
}

}  // namespace velmora
