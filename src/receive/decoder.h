#pragma once
// Reading waterfall text back from sound.
//
// Contract: decodeRecording() takes mono samples at any rate and returns the text it
// finds, one entry per character with a confidence (the posterior probability of the
// chosen glyph, 0..1) and the time of the character's first column from the start of the
// samples. A recording with no text in it gives no characters.
//
// Why it reads below what the eye reads on a waterfall: it knows the font. Each pixel is
// measured as the energy of its row tone integrated coherently over its whole column (a
// matched filter), and whole glyphs are matched against those energies with a noise
// model, never single pixels against a threshold.
//
// What it finds by itself: the center frequency within kCenterSearchHz of the hint (a
// receiver is rarely tuned to the hertz) and a slow drift; a pilot, Reverse; the message's
// start and every column's start. The row offset, the column duration and the mode are
// searched for when not given: then several readings are made and the one that, sent
// again, looks most like the recording wins. That takes several times longer than a
// reading with them given, and needs rows that the column resolves (C/MT 300 ms with a
// 3 Hz offset does not). Columns need not follow each other back to back: a real
// transmission leaves a short silence between them, whose length varies from column to
// column. Nothing here depends on the fine shape of a burst's fade, only on its length.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "transmit/glyph_font.h"

namespace velmora::receive {

inline constexpr double kCenterSearchHz = 100.0;
inline constexpr double kMaxColumnGapMs = 160.0;  // silence between columns on the air

enum class Mode { Concurrent, Sequential };

// What the receiving station believes; every field left empty is searched for.
struct Hints {
  double centerHz = 1000.0;  // always a hint: searched within ±centerSearchHz
  double centerSearchHz = kCenterSearchHz;
  std::optional<std::int32_t> offsetHz;     // 1..10
  std::optional<std::uint32_t> durationMs;  // 300..60000
  std::optional<Mode> mode;
};

struct DecodedCharacter {
  std::uint8_t code = 0;    // Windows-1252, the glyph index
  double confidence = 0.0;  // posterior probability of this glyph, 0..1
  double timeS = 0.0;       // start of its first column
};

struct Decoding {
  std::vector<DecodedCharacter> characters;
  // What was found (meaningful when characters is not empty).
  double centerHz = 0.0;
  double driftHzPerMin = 0.0;
  std::int32_t offsetHz = 0;
  std::uint32_t durationMs = 0;
  Mode mode = Mode::Concurrent;
  bool pilot = false;  // a pilot in the dark columns or slots
  bool reverse = false;

  std::string codes() const;  // the characters' codes as a string (Windows-1252)
};

Decoding decodeRecording(std::span<const float> samples, double sampleRate, const Hints& hints,
                         const GlyphTable& font);

}  // namespace velmora::receive
