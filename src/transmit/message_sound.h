#pragma once
// The samples of a whole text as the program would send it, with a chosen silence
// between columns (a real transmission has one; a rendered file has none). For the
// decoder's tests and figures, which need the program's own sound.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "synth/synthesis.h"
#include "transmit/glyph_font.h"

namespace velmora {

// `settings.mask` is ignored; `gapAfter(i)` gives the silence in samples after column i.
std::vector<std::int16_t> messageSound(const std::string& codes, const GlyphTable& glyphs, bool concurrent,
                                       const ColumnParameters& settings,
                                       const std::function<std::size_t(std::size_t)>& gapAfter);

}  // namespace velmora
