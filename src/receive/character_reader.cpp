#include "receive/character_reader.h"

#include <algorithm>
#include <cmath>

namespace velmora::receive {

namespace {

using Energies = std::vector<std::array<double, 7>>;

// A dark stretch this long is a space: a gap column, five dark columns and a gap column,
// less one for a glyph whose edge column is dark. Inside a word no stretch is as long.
constexpr std::size_t kSpaceColumns = 6;

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

// Runs of columns between spaces. On the air the gaps between columns vary by up to a
// poll, so a long dark stretch may hold a column more or less than was sent: each run
// finds its own character phase, and the spaces between runs are counted from time.
std::vector<std::pair<int, int>> words(const Energies& z, double snr) {
  std::vector<bool> lit(z.size(), false);
  for (std::size_t i = 0; i < z.size(); ++i) {
    double s = 0.0;
    for (double e : z[i]) s += std::max(0.0, pixelLogRatio(e, snr));
    lit[i] = s > 3.0;
  }
  std::vector<std::pair<int, int>> runs;
  std::size_t dark = kSpaceColumns;
  for (std::size_t i = 0; i < z.size(); ++i) {
    if (!lit[i]) {
      ++dark;
      continue;
    }
    if (dark >= kSpaceColumns || runs.empty()) runs.emplace_back(static_cast<int>(i), static_cast<int>(i));
    runs.back().second = static_cast<int>(i);
    dark = 0;
  }
  return runs;
}

Pass read(const Energies& z, double snr, const GlyphMatcher& matcher) {
  Pass pass;
  for (const auto& [first, last] : words(z, snr)) {
    std::vector<Placed> best;
    double bestEvidence = -1e300;
    for (int phase = -4; phase <= 0; ++phase) {
      std::vector<Placed> placed;
      double evidence = 0.0;
      for (int base = first + phase; base <= last; base += 6) {
        placed.push_back({readAt(z, base, snr, matcher), base});
        evidence += placed.back().match.evidence;
      }
      if (evidence > bestEvidence) {
        bestEvidence = evidence;
        best = std::move(placed);
      }
    }
    pass.evidence += bestEvidence;
    pass.characters.insert(pass.characters.end(), best.begin(), best.end());
  }
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
  auto weak = [](const GlyphMatch& m) { return m.code == ' ' || m.spaceEvidence < 3.0; };
  std::size_t first = 0;
  std::size_t last = pass.characters.size();
  while (first < last && weak(pass.characters[first].match)) ++first;
  while (last > first && weak(pass.characters[last - 1].match)) --last;
  for (std::size_t m = first; m < last; ++m) {
    const Placed& p = pass.characters[m];
    if (m > first) {
      // Spaces between words, from the columns between them.
      const int between = p.column - (pass.characters[m - 1].column + 6);
      const int spaces = static_cast<int>(std::lround(static_cast<double>(between) / 6.0));
      for (int s = 0; s < spaces; ++s) {
        const int column = pass.characters[m - 1].column + 6 * (s + 1);
        reading.characters.push_back({' ', 1.0, startTime(starts, column, columnPitchSamples, sampleRate)});
      }
    }
    reading.characters.push_back(
        {p.match.code, p.match.confidence, startTime(starts, p.column, columnPitchSamples, sampleRate)});
  }
  return reading;
}

}  // namespace velmora::receive
