#include "transmit/text_codec.h"

#include <array>
#include <cstddef>
#include <cstdint>

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
constexpr char32_t kNoCodePoint = 0xFFFFFFFF;

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

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Range of the first continuation byte, which is where overlongs, surrogates and code
// points above U+10FFFF are caught (the well-formed table of Unicode, chapter 3).
struct LeadByteRule {
  std::size_t length;  // whole sequence, 0 for a byte that cannot start one
  unsigned char secondLow;
  unsigned char secondHigh;
};

LeadByteRule ruleFor(unsigned char lead) {
  if (lead < 0x80) return {1, 0, 0};
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

struct Decoded {
  char32_t codePoint;  // kNoCodePoint for a broken sequence
  std::size_t consumed;
};

// Decodes the sequence at pos. A broken one consumes its longest valid-looking prefix
// (at least one byte), so that it counts as one character and the byte that broke it is
// read again as the start of the next.
Decoded decodeAt(const std::string& bytes, std::size_t pos) {
  const auto byteAt = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byteAt(pos);
  const LeadByteRule rule = ruleFor(lead);
  if (rule.length == 1) return {lead, 1};
  if (rule.length == 0) return {kNoCodePoint, 1};

  const unsigned char leadPayloadMask = rule.length == 2 ? 0x1F : rule.length == 3 ? 0x0F : 0x07;
  char32_t codePoint = lead & leadPayloadMask;
  for (std::size_t i = 1; i < rule.length; ++i) {
    if (pos + i >= bytes.size()) return {kNoCodePoint, i};
    const unsigned char next = byteAt(pos + i);
    const bool fits = i == 1 ? (next >= rule.secondLow && next <= rule.secondHigh) : isContinuation(next);
    if (!fits) return {kNoCodePoint, i};
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  return {codePoint, rule.length};
}

void appendUtf8(std::string& out, char32_t codePoint) {
  const auto put = [&out](char32_t value) { out.push_back(static_cast<char>(value)); };
  if (codePoint < 0x80) {
    put(codePoint);
  } else if (codePoint < 0x800) {
    put(0xC0 | (codePoint >> 6));
    put(0x80 | (codePoint & 0x3F));
  } else {
    // Every Windows-1252 character lies in the Basic Multilingual Plane.
    put(0xE0 | (codePoint >> 12));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace

std::string utf8ToWindows1252(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const Decoded decoded = decodeAt(utf8, pos);
    out.push_back(decoded.codePoint == kNoCodePoint ? kReplacement : byteOfCodePoint(decoded.codePoint));
    pos += decoded.consumed;
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
    const Decoded decoded = decodeAt(bytes, pos);
    if (decoded.codePoint == kNoCodePoint) return false;
    pos += decoded.consumed;
  }
  return true;
}

}  // namespace velmora
