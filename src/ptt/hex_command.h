#pragma once
// CAT commands are typed as hexadecimal text ("FE0A1C") and sent as bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The longest command text that parses: 254 digits give 127 bytes.
inline constexpr std::size_t kMaxHexCommandLength = 254;

// 0..15 for "0".."9" and "A".."F"; -1 for anything else, lower-case letters included.
int hexDigitValue(char ch);

// Appends the bytes of text to out and returns their count, 0 for an empty text, or -1
// when the text is illegal. Blanks and commas may stand between bytes, as rig manuals
// print them ("FE FE 94 E0"); they are not digits. A text of an even number of digits up
// to 254 is upper-cased in place first (and stays so when a digit then proves illegal);
// any other text is left unchanged.
int parseHexCommand(std::string& text, std::vector<std::uint8_t>& out);

// True when the text is empty or parses (nothing is changed).
bool isHexCommandText(const std::string& text);

}  // namespace velmora
