#include "receive/glyph_matcher.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velmora::receive {

namespace {

double logBesselI0(double x) {
  if (x < 30.0) return std::log(std::cyl_bessel_i(0.0, x));
  return x - 0.5 * std::log(2.0 * std::numbers::pi * x) + std::log1p(1.0 / (8.0 * x));
}

// Texts are mostly printable ASCII; the other Windows-1252 glyphs are often an ASCII
// glyph with a few pixels more, and noise should not turn a plain letter into one.
double weight(std::uint8_t code) {
  if (code == ' ') return 4.0;
  if (code < 0x7F) return 1.0;
  return 0.02;
}

}  // namespace

double pixelLogRatio(double z, double snr) { return logBesselI0(2.0 * std::sqrt(std::max(0.0, snr * z))) - snr; }

GlyphMatcher::GlyphMatcher(const GlyphTable& font) : font_(font) {
  double total = 0.0;
  for (int code = 0x20; code <= 0xFE; ++code) {
    const auto c = static_cast<std::uint8_t>(code);
    const GlyphColumns& g = font.columns(c);
    const bool blank = std::all_of(g.begin(), g.end(), [](std::uint8_t m) { return m == 0; });
    if (blank && c != ' ') continue;
    // Glyphs drawn alike are one candidate, under the lowest code.
    if (std::any_of(candidates_.begin(), candidates_.end(), [&](const Candidate& k) { return k.columns == g; }))
      continue;
    candidates_.push_back({g, c, weight(c)});
    total += weight(c);
  }
  for (Candidate& k : candidates_) k.logPrior = std::log(k.logPrior / total);
}

GlyphMatch GlyphMatcher::match(const PixelScores& scores) const {
  GlyphMatch out;
  std::vector<double> glyphScore(candidates_.size());
  double best = -1e300;
  std::size_t bestIndex = 0;
  double space = 0.0;
  for (std::size_t i = 0; i < candidates_.size(); ++i) {
    double s = candidates_[i].logPrior;
    for (int c = 0; c < 5; ++c) {
      const std::uint8_t mask = candidates_[i].columns[static_cast<std::size_t>(c)];
      for (int r = 0; r < 7; ++r)
        if (mask & (1u << r)) s += scores[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)];
    }
    glyphScore[i] = s;
    if (candidates_[i].code == ' ') space = s;
    if (s > best) {
      best = s;
      bestIndex = i;
    }
  }
  double sum = 0.0;
  for (double s : glyphScore) sum += std::exp(s - best);
  out.code = candidates_[bestIndex].code;
  out.confidence = 1.0 / sum;
  out.evidence = best + std::log(sum);
  out.spaceEvidence = best - space;
  return out;
}

}  // namespace velmora::receive
