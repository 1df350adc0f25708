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

bool isSeparator(char ch) { return ch == ' ' || ch == ','; }

}  // namespace

int parseHexCommand(std::string& text, std::vector<std::uint8_t>& out) {
  std::string digits;
  bool pairsSplit = false;  // a separator inside a byte
  for (char ch : text) {
    if (!isSeparator(ch)) {
      digits += ch;
    } else if (digits.size() % 2 != 0) {
      pairsSplit = true;
    }
  }
  const std::size_t length = digits.size();
  if (length > kMaxHexCommandLength || length % 2 != 0) return -1;
  upperCaseAsciiLetters(text);
  upperCaseAsciiLetters(digits);
  if (pairsSplit) return -1;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(length / 2);
  for (std::size_t i = 0; i < length; i += 2) {
    const int high = hexDigitValue(digits[i]);
    const int low = hexDigitValue(digits[i + 1]);
    if (high < 0 || low < 0) return -1;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  // Nothing is appended for an illegal text, not even the pairs before the bad one.
  out.insert(out.end(), bytes.begin(), bytes.end());
  return static_cast<int>(bytes.size());
}

bool isHexCommandText(const std::string& text) {
  std::string copy = text;
  std::vector<std::uint8_t> bytes;
  return parseHexCommand(copy, bytes) >= 0;
}

}  // namespace velmora
