#pragma once
// The readable source of the font: a table of 5x7 pictures, and the font file made from
// it. Each glyph is a header line "0xNN <character>" (or "0xNN (<name>)" for one that
// cannot be shown) followed by seven rows of five '#' (lit) or '.' (dark), top row
// first. Codes come in ascending order; codes that are not listed stay blank. Lines
// starting with ';' and empty lines between glyphs are ignored.

#include <istream>
#include <string>

#include "transmit/glyph_font.h"

namespace velmora::fontgen {

struct ParseResult {
  bool ok = false;
  std::string error;  // "line N: ..." when not ok
  GlyphTable table;
};

ParseResult parseGlyphSource(std::istream& source);

// The font file's bytes: 1275 records "0xHH\r\n" for codes 0..254, column 0 first,
// where HH is the column mask shifted left by one in upper-case hexadecimal.
std::string formatFontFile(const GlyphTable& table);

}  // namespace velmora::fontgen
