#pragma once
// How the bytes of a profile file stand for text. Decided once for the whole file when it
// is read (a byte-order mark, else UTF-8 when every byte is, else the old ANSI code page),
// so that no value is ever guessed on its own and no file ends up mixed.

#include <optional>
#include <string>

namespace velmora {

enum class IniEncoding { Ansi, Utf8, Utf8Bom, Utf16Le, Utf16Be };

// The file as 8-bit text that lines can be found in: the bytes themselves for ANSI and
// UTF-8, UTF-8 for UTF-16 (a lone surrogate keeps its own three bytes, and an odd last
// byte waits in `tail`, so that every byte comes back on encoding).
struct IniText {
  IniEncoding encoding = IniEncoding::Utf8;
  std::string body;
  std::string tail;
};

IniText decodeIniFile(const std::string& bytes);
std::string encodeIniFile(const IniText& text);

// A value as UTF-8 text; bytes that do not decode become U+FFFD.
std::string iniValueToUtf8(IniEncoding encoding, const std::string& raw);
// The UTF-8 value as the file holds it, or nothing when the encoding cannot hold it.
std::optional<std::string> iniValueFromUtf8(IniEncoding encoding, const std::string& utf8);

}  // namespace velmora
