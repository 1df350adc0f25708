#pragma once
// The 5x7 glyph font: five column masks per 8-bit character code, read from
// "5x7 (International).txt". Bit k of a mask lights pixel row k (row 0 is the glyph's
// top row and the lowest tone); column 0 is the leftmost and is sent first.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

inline constexpr const char* kFontFileName = "5x7 (International).txt";

using GlyphColumns = std::array<std::uint8_t, 5>;

class GlyphTable {
 public:
  const GlyphColumns& columns(std::uint8_t code) const { return glyphs_[code]; }
  void setColumns(std::uint8_t code, const GlyphColumns& columns) { glyphs_[code] = columns; }

 private:
  std::array<GlyphColumns, 256> glyphs_{};  // blank until loaded
};

// Reads the font file into the table (codes 0..254; 255 stays blank). False, with the
// table left blank, when the file cannot be opened.
bool loadGlyphFont(const std::string& path, GlyphTable& table);

// "Font file '5x7 (International).txt' not found. Velmora is unable to transmit."
std::string fontMissingMessage();

// Where to look for the font, in order: the start-up directory, then each of the other
// folders (the program's own folder, the source tree's data/ when run from a build).
// Returns the first path that exists, or an empty string.
std::string findFontFile(const std::string& startupDirectory, const std::vector<std::string>& otherFolders);

// The other folders for findFontFile: the program's own folder, the installation's data
// folder next to it, and the source tree's data/ (which only a program run from the
// build tree will find; a package build leaves it out).
std::vector<std::string> fontSearchFolders(const std::string& programDirectory);

}  // namespace velmora
