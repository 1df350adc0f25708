#pragma once
// From pixel energies of a chain of columns to characters: the noise model's SNR is
// learnt from the text itself; the chain is cut into characters of five glyph columns
// and a gap where the glyphs explain the energies best, a column more or less between
// two characters allowed at a cost (the sender's gaps vary); and dark or doubtful
// characters at both ends (silence and noise around the text) are dropped.

#include <cstddef>
#include <span>
#include <vector>

#include "receive/decoder.h"
#include "receive/glyph_matcher.h"
#include "receive/pixel_energies.h"

namespace velmora::receive {

struct Reading {
  std::vector<DecodedCharacter> characters;
  double evidence = 0.0;  // summed log-likelihood against silence
  // How cleanly the glyphs read split the pixels into lit and dark: (lit - dark) /
  // (lit + dark) of their mean energies, 0..1. A wrong mode, center or slot placement
  // also finds energy (a pilot, the neighbouring row), but spread over lit and dark alike,
  // so this, not the evidence, compares readings.
  double quality = 0.0;
  // Per column of the chain, the rows the text read lights there (dark columns 0); -1
  // outside the text.
  std::vector<int> columnMasks;
};

Reading readCharacters(std::span<const ColumnPixels> pixels, std::span<const std::size_t> starts,
                       bool mirrored, double sampleRate, double columnPitchSamples,
                       const GlyphMatcher& matcher);

}  // namespace velmora::receive
