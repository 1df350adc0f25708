#pragma once
// Whole-glyph matching. Each pixel's measured energy, in units of the noise in its
// window, gives a log-likelihood ratio of "lit" against "dark" under the noise model
// of a tone of unknown phase (Rician against exponential). A glyph's score is the sum of
// the ratios of its lit pixels plus its prior, so the pixels that tell two glyphs apart
// decide between them, and a confidence is the glyph's posterior probability.

#include <array>
#include <cstdint>
#include <vector>

#include "transmit/glyph_font.h"

namespace velmora::receive {

using PixelScores = std::array<std::array<double, 7>, 5>;  // [column][row]

// log I0(2 sqrt(snr * z)) - snr: lit against dark for energy z (noise = 1) when a lit
// pixel's energy is snr above the noise.
double pixelLogRatio(double z, double snr);

struct GlyphMatch {
  std::uint8_t code = ' ';
  double confidence = 0.0;     // posterior of the chosen glyph
  double evidence = 0.0;       // log of the summed likelihood ratios against all dark
  double spaceEvidence = 0.0;  // the chosen glyph's score less the space's
};

class GlyphMatcher {
 public:
  explicit GlyphMatcher(const GlyphTable& font);
  GlyphMatch match(const PixelScores& scores) const;
  const GlyphColumns& columns(std::uint8_t code) const { return font_.columns(code); }

 private:
  struct Candidate {
    GlyphColumns columns;
    std::uint8_t code;
    double logPrior;
  };
  GlyphTable font_;
  std::vector<Candidate> candidates_;
};

}  // namespace velmora::receive
