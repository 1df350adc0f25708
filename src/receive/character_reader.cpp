#include "receive/character_reader.h"

#include <algorithm>
#include <cmath>

namespace velmora::receive {

namespace {

using Energies = std::vector<std::array<double, 7>>;

struct Placed {
  GlyphMatch match;
  int column = 0;  // index of the character's first column in the chain (may be negative)
};

struct Pass {
  std::vector<Placed> characters;
  double evidence = 0.0;
};

GlyphMatch readAt(const Energies& z, int base, double snr, const GlyphMatcher& matcher) {
  const int count = static_cast<int>(z.size());
  PixelScores scores{};
  for (int c = 0; c < 5; ++c) {
    const int column = base + c;
    for (int r = 0; r < 7; ++r) {
      // Columns outside the chain are unknown: neither lit nor dark.
      scores[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] =
          column >= 0 && column < count
              ? pixelLogRatio(z[static_cast<std::size_t>(column)][static_cast<std::size_t>(r)], snr)
              : 0.0;
    }
  }
  return matcher.match(scores);
}

// Characters along the chain by dynamic programming. Normally a character's five glyph
// columns are followed by one gap column; but on the air the silences between columns
// vary by up to a poll, and three long ones in a row look just like one dark column more.
// So after each character the next may start one column earlier or later, at a cost:
// the glyphs on either side decide where a column was gained or lost.
constexpr double kGapChangeCost = 6.0;  // nats

Pass read(const Energies& z, double snr, const GlyphMatcher& matcher) {
  const int count = static_cast<int>(z.size());
  const int first = -5;  // a character may begin before the chain's first column
  const int positions = count - first;
  std::vector<GlyphMatch> at(static_cast<std::size_t>(positions));
  for (int p = 0; p < positions; ++p) at[static_cast<std::size_t>(p)] = readAt(z, p + first, snr, matcher);
  std::vector<double> best(static_cast<std::size_t>(positions), -1e300);
  std::vector<int> from(static_cast<std::size_t>(positions), -1);
  for (int p = 0; p < positions; ++p) {
    const auto i = static_cast<std::size_t>(p);
    if (p <= 5) best[i] = at[i].evidence;  // the first character, at any phase
    for (int step = 5; step <= 7; ++step) {
      if (p - step < 0) break;
      const double value =
          best[static_cast<std::size_t>(p - step)] + at[i].evidence - (step == 6 ? 0.0 : kGapChangeCost);
      if (value > best[i]) {
        best[i] = value;
        from[i] = p - step;
      }
    }
  }
  // The last character lies within the last six columns.
  int end = positions - 1;
  for (int p = std::max(0, positions - 6); p < positions; ++p)
    if (best[static_cast<std::size_t>(p)] > best[static_cast<std::size_t>(end)]) end = p;
  Pass pass;
  pass.evidence = best[static_cast<std::size_t>(end)];
  for (int p = end; p >= 0; p = from[static_cast<std::size_t>(p)])
    pass.characters.push_back({at[static_cast<std::size_t>(p)], p + first});
  std::reverse(pass.characters.begin(), pass.characters.end());
  return pass;
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
  for (const Placed& p : pass.characters) {
    if (p.match.code == ' ') continue;
    const GlyphColumns& g = matcher.columns(p.match.code);
    for (int c = 0; c < 5; ++c) {
      const int column = p.column + c;
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

double startTime(std::span<const std::size_t> starts, int column, double pitch, double sampleRate) {
  if (column >= static_cast<int>(starts.size())) column = static_cast<int>(starts.size()) - 1;
  const double sample = column >= 0 ? static_cast<double>(starts[static_cast<std::size_t>(column)])
                                    : static_cast<double>(starts[0]) + column * pitch;
  return std::max(0.0, sample) / sampleRate;
}

}  // namespace

Reading readCharacters(std::span<const ColumnPixels> pixels, std::span<const std::size_t> starts,
                       bool mirrored, double sampleRate, double columnPitchSamples,
                       const GlyphMatcher& matcher) {
  Reading reading;
  if (pixels.empty()) return reading;
  Energies z;
  std::vector<double> all;
  for (const ColumnPixels& p : pixels) {
    z.push_back(mirrored ? p.mirrored : p.upright);
    all.insert(all.end(), z.back().begin(), z.back().end());
  }
  // First guess: the brightest quarter of the pixels is mostly lit ones. Then the SNR is
  // learnt from the glyphs read with it, twice.
  std::sort(all.begin(), all.end(), std::greater<>());
  const std::size_t quarter = std::max<std::size_t>(1, all.size() / 4);
  double top = 0.0;
  for (std::size_t i = 0; i < quarter; ++i) top += all[i];
  double snr = std::clamp(top / static_cast<double>(quarter) - 1.0, 0.5, 1e12);
  Pass pass = read(z, snr, matcher);
  for (int round = 0; round < 2; ++round) {
    const Contrast c = contrast(z, pass, matcher);
    if (c.known) snr = std::clamp(c.lit - c.dark, 0.5, 1e12);
    pass = read(z, snr, matcher);
  }
  reading.evidence = pass.evidence;
  const Contrast c = contrast(z, pass, matcher);
  reading.quality = c.known ? (c.lit - c.dark) / (c.lit + c.dark) : 0.0;

  // A stray burst of noise reads as a glyph hardly better than a space: not text.
  auto weak = [](const GlyphMatch& m) { return m.code == ' ' || m.spaceEvidence < 8.0; };
  std::size_t first = 0;
  std::size_t last = pass.characters.size();
  while (first < last && weak(pass.characters[first].match)) ++first;
  while (last > first && weak(pass.characters[last - 1].match)) --last;
  reading.columnMasks.assign(starts.size(), -1);
  for (std::size_t m = first; m < last; ++m) {
    const Placed& p = pass.characters[m];
    const GlyphColumns& g = matcher.columns(p.match.code);
    for (int k = 0; k < 6; ++k) {
      const int column = p.column + k;
      if (column >= 0 && column < static_cast<int>(starts.size()))
        reading.columnMasks[static_cast<std::size_t>(column)] = k < 5 ? g[static_cast<std::size_t>(k)] : 0;
    }
    reading.characters.push_back(
        {p.match.code, p.match.confidence, startTime(starts, p.column, columnPitchSamples, sampleRate)});
  }
  return reading;
}

}  // namespace velmora::receive
