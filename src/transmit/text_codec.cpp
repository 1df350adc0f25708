#include "transmit/text_codec.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/utf8.h"

namespace velmora {

namespace {

// Code points of the bytes 0x80..0x9F. The five codes Windows-1252 leaves undefined keep
// their C1 control code point, so that every byte survives a round trip.
constexpr std::array<char32_t, 32> kHighControlsBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr char kReplacement = '?';

char32_t codePointOfByte(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControlsBlock[byte - 0x80u];
  return byte;  // ASCII and Latin-1 coincide with their code points
}

// The Windows-1252 byte of a code point, or '?' when it has none.
char byteOfCodePoint(char32_t codePoint) {
  const bool inHighControlsRange = codePoint >= 0x80 && codePoint <= 0x9F;
  if (codePoint <= 0xFF && !inHighControlsRange) return static_cast<char>(codePoint);
  for (std::size_t i = 0; i < kHighControlsBlock.size(); ++i) {
    if (kHighControlsBlock[i] == codePoint) return static_cast<char>(0x80 + i);
  }
  return kReplacement;
}

}  // namespace

std::string utf8ToWindows1252(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const Utf8Character character = utf8CharacterAt(utf8, pos);
    out.push_back(character.broken ? kReplacement : byteOfCodePoint(character.codePoint));
    pos += character.length;
  }
  return out;
}

std::size_t glyphCount(const std::string& utf8) { return utf8ToWindows1252(utf8).size(); }

std::string windows1252ToUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char byte : bytes) appendUtf8(out, codePointOfByte(static_cast<unsigned char>(byte)));
  return out;
}

bool isValidUtf8(const std::string& bytes) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    const Utf8Character character = utf8CharacterAt(bytes, pos);
    if (character.broken) return false;
    pos += character.length;
  }
  return true;
}

}  // namespace velmora
