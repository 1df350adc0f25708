// Writes the font file from the table of glyph pictures:
//   velmora-fontgen <glyphs.txt> <font file>
#include <fstream>
#include <iostream>

#include "fontgen/glyph_source.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " <glyph pictures> <font file to write>\n";
    return 2;
  }
  std::ifstream source(argv[1]);
  if (!source) {
    std::cerr << "cannot read " << argv[1] << "\n";
    return 1;
  }
  const velmora::fontgen::ParseResult parsed = velmora::fontgen::parseGlyphSource(source);
  if (!parsed.ok) {
    std::cerr << argv[1] << ": " << parsed.error << "\n";
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << velmora::fontgen::formatFontFile(parsed.table);
  out.close();
  if (!out) {
    std::cerr << "cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
