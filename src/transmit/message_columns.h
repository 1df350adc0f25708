#pragma once
// A text as the columns the transmission sends, in order: each character's five glyph
// columns, with one dark gap column between characters (none after the last).

#include <cstdint>
#include <string>
#include <vector>

#include "transmit/glyph_font.h"

namespace velmora {

inline constexpr int kColumnsPerCharacter = 6;  // five glyph columns and the gap after

// `codes` holds one glyph index per character (the Windows-1252 form of the text).
std::vector<std::uint8_t> messageColumns(const std::string& codes, const GlyphTable& glyphs);

}  // namespace velmora
