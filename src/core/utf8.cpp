#include "core/utf8.h"

namespace velmora {

namespace {

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

}  // namespace

Utf8Character utf8CharacterAt(const std::string& text, std::size_t pos) {
  const auto byteAt = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byteAt(pos);
  const LeadByteRule rule = ruleFor(lead);
  if (rule.length == 1) return {lead, 1, false};
  if (rule.length == 0) return {0, 1, true};

  const unsigned char leadPayloadMask = rule.length == 2 ? 0x1F : rule.length == 3 ? 0x0F : 0x07;
  char32_t codePoint = lead & leadPayloadMask;
  for (std::size_t i = 1; i < rule.length; ++i) {
    if (pos + i >= text.size()) return {0, i, true};
    const unsigned char next = byteAt(pos + i);
    const bool fits = i == 1 ? (next >= rule.secondLow && next <= rule.secondHigh) : isContinuation(next);
    if (!fits) return {0, i, true};
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  return {codePoint, rule.length, false};
}

void appendUtf8(std::string& out, char32_t codePoint) {
  const auto put = [&out](char32_t value) { out.push_back(static_cast<char>(value)); };
  if (codePoint < 0x80) {
    put(codePoint);
  } else if (codePoint < 0x800) {
    put(0xC0 | (codePoint >> 6));
    put(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    put(0xE0 | (codePoint >> 12));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  } else {
    put(0xF0 | (codePoint >> 18));
    put(0x80 | ((codePoint >> 12) & 0x3F));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace velmora
