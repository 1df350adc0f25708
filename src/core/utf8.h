#pragma once
// The one reading of UTF-8 that the whole program counts characters by: the text codec,
// the 1023-character cut and every length shown agree because they all step through a
// text with this.

#include <cstddef>
#include <string>

namespace velmora {

struct Utf8Character {
  char32_t codePoint;  // meaningless when broken
  std::size_t length;  // bytes taken, at least 1
  bool broken;
};

// The character that starts at `pos` (< text.size()). A broken sequence takes its longest
// well-formed-looking prefix (at least one byte), so it counts as one character and the
// byte that broke it starts the next.
Utf8Character utf8CharacterAt(const std::string& text, std::size_t pos);

// Appends the UTF-8 bytes of one code point.
void appendUtf8(std::string& out, char32_t codePoint);

}  // namespace velmora
