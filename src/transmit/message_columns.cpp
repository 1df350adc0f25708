#include "transmit/message_columns.h"

namespace velmora {

std::vector<std::uint8_t> messageColumns(const std::string& codes, const GlyphTable& glyphs) {
  std::vector<std::uint8_t> columns;
  if (codes.empty()) return columns;
  columns.reserve(codes.size() * kColumnsPerCharacter - 1);
  for (std::size_t i = 0; i < codes.size(); ++i) {
    if (i > 0) columns.push_back(0);
    const GlyphColumns& glyph = glyphs.columns(static_cast<std::uint8_t>(codes[i]));
    columns.insert(columns.end(), glyph.begin(), glyph.end());
  }
  return columns;
}

}  // namespace velmora
