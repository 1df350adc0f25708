#include "receive/character_reader.h"

#include <algorithm>
#include <cmath>

namespace velmora::receive {

namespace {

using Energies = std::vector<std::array<double, 7>>;

struct Pass {
  std::vector<GlyphMatch> matches;
  int phase = 0;  // column index of the first character's first column (may be negative)
  double evidence = 0.0;
};

// Characters at one phase; columns outside the chain are unknown and count as neither.
Pass readAtPhase(const Energies& z, int phase, double snr, const GlyphMatcher& matcher) {
  Pass pass;
  pass.phase = phase;
  const int count = static_cast<int>(z.size());
  for (int base = phase; base < count; base += 6) {
    PixelScores scores{};
    for (int c = 0; c < 5; ++c) {
      const int column = base + c;
      for (int r = 0; r < 7; ++r) {
        scores[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] =
            column >= 0 && column < count
                ? pixelLogRatio(z[static_cast<std::size_t>(column)][static_cast<std::size_t>(r)], snr)
                : 0.0;
      }
    }
    pass.matches.push_back(matcher.match(scores));
    pass.evidence += pass.matches.back().evidence;
  }
  return pass;
}

Pass bestPhase(const Energies& z, double snr, const GlyphMatcher& matcher) {
  Pass best;
  best.evidence = -1e300;
  for (int phase = -5; phase <= 0; ++phase) {
    Pass pass = readAtPhase(z, phase, snr, matcher);
    if (pass.evidence > best.evidence) best = std::move(pass);
  }
  return best;
}

struct Contrast {
  double lit = 0.0;   // mean energy of the pixels the glyphs light
  double dark = 0.0;  // and of those they leave dark
  bool known = false;
};

// The energies of lit and dark pixels of the glyphs just read (spaces aside).
Contrast contrast(const Energies& z, const Pass& pass, const GlyphMatcher& matcher) {
  double lit = 0.0, dark = 0.0;
  std::size_t litCount = 0, darkCount = 0;
  for (std::size_t m = 0; m < pass.matches.size(); ++m) {
    if (pass.matches[m].code == ' ') continue;
    const GlyphColumns& g = matcher.columns(pass.matches[m].code);
    for (int c = 0; c < 5; ++c) {
      const int column = pass.phase + 6 * static_cast<int>(m) + c;
      if (column < 0 || column >= static_cast<int>(z.size())) continue;
      for (int r = 0; r < 7; ++r) {
        const double e = z[static_cast<std::size_t>(column)][static_cast<std::size_t>(r)];
        if (g[static_cast<std::size_t>(c)] & (1u << r)) {
          lit += e;
          ++litCount;
        } else {
          dark += e;
          ++darkCount;
        }
      }
    }
  }
  Contrast out;
  if (litCount == 0 || darkCount == 0) return out;
  out.lit = lit / static_cast<double>(litCount);
  out.dark = dark / static_cast<double>(darkCount);
  out.known = true;
  return out;
}

// A lit pixel's mean energy above a dark one's.
double learnSnr(const Energies& z, const Pass& pass, const GlyphMatcher& matcher, double fallback) {
  const Contrast c = contrast(z, pass, matcher);
  return c.known ? std::clamp(c.lit - c.dark, 0.5, 1e12) : fallback;
}

}  // namespace

Reading readCharacters(std::span<const ColumnPixels> pixels, std::span<const std::size_t> starts, bool mirrored,
                       double sampleRate, double columnPitchSamples, const GlyphMatcher& matcher) {
  Reading reading;
  if (pixels.empty()) return reading;
  Energies z;
  std::vector<double> all;
  for (const ColumnPixels& p : pixels) {
    z.push_back(mirrored ? p.mirrored : p.upright);
    all.insert(all.end(), z.back().begin(), z.back().end());
  }
  // First guess: the brightest quarter of the pixels is mostly lit ones.
  std::sort(all.begin(), all.end(), std::greater<>());
  const std::size_t quarter = std::max<std::size_t>(1, all.size() / 4);
  double top = 0.0;
  for (std::size_t i = 0; i < quarter; ++i) top += all[i];
  double snr = std::clamp(top / static_cast<double>(quarter) - 1.0, 0.5, 1e12);
  Pass pass = bestPhase(z, snr, matcher);
  for (int round = 0; round < 2; ++round) {
    snr = learnSnr(z, pass, matcher, snr);
    pass = bestPhase(z, snr, matcher);
  }
  reading.evidence = pass.evidence;
  const Contrast c = contrast(z, pass, matcher);
  reading.quality = c.known ? (c.lit - c.dark) / (c.lit + c.dark) : 0.0;

  // Silence around the text reads as spaces, and a stray burst of noise as a glyph
  // that is hardly better than a space: neither belongs to the text at its ends.
  auto weak = [](const GlyphMatch& m) { return m.code == ' ' || m.spaceEvidence < 3.0; };
  std::size_t first = 0;
  std::size_t last = pass.matches.size();
  while (first < last && weak(pass.matches[first])) ++first;
  while (last > first && weak(pass.matches[last - 1])) --last;
  for (std::size_t m = first; m < last; ++m) {
    const int column = pass.phase + 6 * static_cast<int>(m);
    const double startSample = column >= 0 ? static_cast<double>(starts[static_cast<std::size_t>(column)])
                                           : static_cast<double>(starts[0]) + column * columnPitchSamples;
    reading.characters.push_back({pass.matches[m].code, pass.matches[m].confidence, std::max(0.0, startSample) / sampleRate});
  }
  return reading;
}

}  // namespace velmora::receive
