#pragma once
// Text as the program sends it: Windows-1252 codes, one byte a character, which are the
// glyph indices. Controls and files hold UTF-8.

#include <cstddef>
#include <string>

namespace velmora {

// Each code point becomes its Windows-1252 byte; one that has none becomes '?'. A broken
// UTF-8 sequence counts as one character and becomes '?'.
std::string utf8ToWindows1252(const std::string& utf8);
// How many characters the text sends: the length of its Windows-1252 form.
std::size_t glyphCount(const std::string& utf8);
std::string windows1252ToUtf8(const std::string& bytes);
bool isValidUtf8(const std::string& bytes);

}  // namespace velmora
