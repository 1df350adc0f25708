#include "settings/ini_encoding.h"

#include "core/utf8.h"
#include "transmit/text_codec.h"

namespace velmora {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr char32_t kReplacement = 0xFFFD;

bool startsWith(const std::string& bytes, const char* prefix, std::size_t length) {
  return bytes.compare(0, length, prefix, length) == 0;
}

bool isSurrogate(char32_t codePoint) { return codePoint >= 0xD800 && codePoint <= 0xDFFF; }

struct LooseCharacter {
  char32_t codePoint;
  std::size_t length;
};

// UTF-8 that also lets surrogates through, which the body of a UTF-16 file may hold; a
// sequence that does not decode is U+FFFD.
LooseCharacter looseCharacterAt(const std::string& text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return {lead, 1};
  const std::size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  if (length == 0) return {kReplacement, 1};
  char32_t codePoint = lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if (pos + i >= text.size() || (static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80)
      return {kReplacement, i};
    codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3Fu);
  }
  const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (codePoint < smallest || codePoint > 0x10FFFF) return {kReplacement, length};
  return {codePoint, length};
}

IniText fromUtf16(const std::string& bytes, bool bigEndian) {
  IniText text{bigEndian ? IniEncoding::Utf16Be : IniEncoding::Utf16Le, {}, {}};
  const std::size_t units = (bytes.size() - 2) / 2;
  const auto unitAt = [&bytes, bigEndian](std::size_t i) {
    const auto first = static_cast<unsigned char>(bytes[2 + 2 * i]);
    const auto second = static_cast<unsigned char>(bytes[3 + 2 * i]);
    return static_cast<char32_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  };
  for (std::size_t i = 0; i < units; ++i) {
    char32_t codePoint = unitAt(i);
    const char32_t next = i + 1 < units ? unitAt(i + 1) : 0;
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    }
    appendUtf8(text.body, codePoint);
  }
  if ((bytes.size() - 2) % 2 != 0) text.tail = bytes.substr(bytes.size() - 1);
  return text;
}

std::string toUtf16(const IniText& text) {
  const bool bigEndian = text.encoding == IniEncoding::Utf16Be;
  std::string out;
  const auto putUnit = [&out, bigEndian](char32_t unit) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  };
  putUnit(0xFEFF);
  for (std::size_t pos = 0; pos < text.body.size();) {
    const LooseCharacter character = looseCharacterAt(text.body, pos);
    if (character.codePoint >= 0x10000) {
      putUnit(0xD800 + ((character.codePoint - 0x10000) >> 10));
      putUnit(0xDC00 + ((character.codePoint - 0x10000) & 0x3FF));
    } else {
      putUnit(character.codePoint);
    }
    pos += character.length;
  }
  return out + text.tail;
}

}  // namespace

IniText decodeIniFile(const std::string& bytes) {
  if (startsWith(bytes, "\xFF\xFE", 2)) return fromUtf16(bytes, false);
  if (startsWith(bytes, "\xFE\xFF", 2)) return fromUtf16(bytes, true);
  if (startsWith(bytes, kUtf8Bom, 3)) return {IniEncoding::Utf8Bom, bytes.substr(3), {}};
  return {isValidUtf8(bytes) ? IniEncoding::Utf8 : IniEncoding::Ansi, bytes, {}};
}

std::string encodeIniFile(const IniText& text) {
  switch (text.encoding) {
    case IniEncoding::Utf16Le:
    case IniEncoding::Utf16Be:
      return toUtf16(text);
    case IniEncoding::Utf8Bom:
      return kUtf8Bom + text.body;
    case IniEncoding::Ansi:
    case IniEncoding::Utf8:
      break;
  }
  return text.body;
}

std::string iniValueToUtf8(IniEncoding encoding, const std::string& raw) {
  if (encoding == IniEncoding::Ansi) return windows1252ToUtf8(raw);
  std::string utf8;
  for (std::size_t pos = 0; pos < raw.size();) {
    const LooseCharacter character = looseCharacterAt(raw, pos);
    appendUtf8(utf8, isSurrogate(character.codePoint) ? kReplacement : character.codePoint);
    pos += character.length;
  }
  return utf8;
}

std::optional<std::string> iniValueFromUtf8(IniEncoding encoding, const std::string& utf8) {
  if (encoding != IniEncoding::Ansi) return utf8;
  std::string ansi = utf8ToWindows1252(utf8);
  if (windows1252ToUtf8(ansi) != utf8) return std::nullopt;
  return ansi;
}

}  // namespace velmora
