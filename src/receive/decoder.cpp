#include "receive/decoder.h"

#include <algorithm>
#include <cmath>

#include "receive/character_reader.h"
#include "receive/column_timing.h"
#include "receive/duration_search.h"
#include "receive/glyph_matcher.h"
#include "receive/pixel_energies.h"
#include "receive/reading_fit.h"
#include "receive/slot_search.h"
#include "receive/tone_search.h"
#include "synth/synthesis.h"

namespace velmora::receive {

namespace {

// The rows' excess in the long-term spectrum, in standard deviations, below which the
// recording is taken to hold no text: noise alone reaches about 4 at the best of the
// thousands of places searched.
constexpr double kDetectionSignificance = 8.0;
constexpr std::int32_t kMaxOffsetHz = 10;
// Readings whose sound matches the recording's this closely (of up to 3) explain it alike.
constexpr double kScoreTie = 0.02;

// Samples of a column at `sampleRate` as the sender writes them at 11025 samples/s.
std::size_t columnSamples(Mode mode, std::uint32_t durationMs, double sampleRate) {
  const double scale = sampleRate / 11025.0;
  if (mode == Mode::Concurrent)
    return static_cast<std::size_t>(static_cast<double>(concurrentSampleCount(durationMs)) * scale);
  return 7 * static_cast<std::size_t>(static_cast<double>(sequentialSlotLength(durationMs)) * scale);
}

// The slow drift of the receiver: the center found again in each half-minute block, and
// a straight line through them. Short recordings keep the center they have.
double driftHzPerS(std::span<const float> samples, double sampleRate, const ToneSet& tones) {
  const double seconds = static_cast<double>(samples.size()) / sampleRate;
  if (seconds < 60.0) return 0.0;
  const auto blocks = static_cast<std::size_t>(seconds / 30.0);
  const std::size_t length = samples.size() / blocks;
  std::vector<double> t, f, w;
  for (std::size_t b = 0; b < blocks; ++b) {
    const auto part = samples.subspan(b * length, length);
    const LongSpectrum s = longSpectrum(part, sampleRate, tones.centerHz - 40.0, tones.centerHz + 40.0);
    const ToneSet local = searchTones(s, tones.centerHz, 3.0, tones.offsetHz);
    if (local.significance < kDetectionSignificance / 2) continue;
    t.push_back((static_cast<double>(b) + 0.5) * static_cast<double>(length) / sampleRate - seconds / 2.0);
    f.push_back(local.centerHz);
    w.push_back(local.significance);
  }
  if (t.size() < 2) return 0.0;
  double sw = 0, st = 0, sf = 0, stt = 0, stf = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    sw += w[i];
    st += w[i] * t[i];
    sf += w[i] * f[i];
    stt += w[i] * t[i] * t[i];
    stf += w[i] * t[i] * f[i];
  }
  const double det = sw * stt - st * st;
  if (det <= 0.0) return 0.0;
  // A receiver drifts slowly; anything steeper is the fit's noise.
  return std::clamp((sw * stf - st * sf) / det, -2.0 / 60.0, 2.0 / 60.0);
}

std::vector<double> rowTones(const ToneSet& tones) {
  std::vector<double> hz;
  for (int k = -3; k <= 3; ++k) hz.push_back(tones.centerHz + k * tones.offsetHz);
  if (tones.pilotReversed)
    hz.push_back(tones.centerHz + (*tones.pilotReversed ? 5.0 : -5.0) * tones.offsetHz);
  return hz;
}

// Tones every 7.5 Hz across ±45 Hz: within a 40 ms frame they cover the rows of any
// offset up to 10 Hz around `middle` (a pilot five offsets out only in part).
std::vector<double> bandTones(double middle) {
  std::vector<double> hz;
  for (int j = -6; j <= 6; ++j) hz.push_back(middle + 7.5 * j);
  return hz;
}

// Where the text's energy lies in the long-term spectrum, on the average.
double excessCentroid(const LongSpectrum& spectrum, double centerHz, double searchHz) {
  double sum = 0.0, weighted = 0.0;
  for (double hz = centerHz - searchHz - 30.0; hz <= centerHz + searchHz + 30.0; hz += spectrum.binHz) {
    const double excess = std::max(0.0, spectrum.at(hz) - 1.0);
    sum += excess;
    weighted += excess * hz;
  }
  return sum > 0.0 ? weighted / sum : centerHz;
}

struct Candidate {
  Reading reading;
  Timing timing;
  bool reverse = false;
  double centerHz = 0.0;
  std::int32_t offsetHz = 0;
  bool pilot = false;
  double score = -1e300;
};

std::vector<std::size_t> shifted(const std::vector<std::size_t>& starts, std::ptrdiff_t by) {
  std::vector<std::size_t> out;
  for (std::size_t s : starts) {
    const auto moved = static_cast<std::ptrdiff_t>(s) + by;
    if (moved >= 0) out.push_back(static_cast<std::size_t>(moved));
  }
  return out;
}

double medianPitch(const std::vector<std::size_t>& starts, double fallback) {
  if (starts.size() < 2) return fallback;
  std::vector<double> d;
  for (std::size_t i = 1; i < starts.size(); ++i) d.push_back(static_cast<double>(starts[i] - starts[i - 1]));
  std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2), d.end());
  return d[d.size() / 2];
}

// Reads the recording under one belief about its timing at a time; what is common to
// all of them is found once.
class Reader {
 public:
  Reader(std::span<const float> samples, double sampleRate, const Hints& hints, const LongSpectrum& spectrum,
         const ToneSet& tones, const GlyphTable& font)
      : samples_(samples),
        sampleRate_(sampleRate),
        hints_(hints),
        spectrum_(spectrum),
        tones_(tones),
        matcher_(font),
        rowEnvelope_(
            bandEnvelope(samples, sampleRate, rowTones(tones), noiseTones(tones.centerHz, tones.offsetHz))) {
    plan_.middleS = static_cast<double>(samples.size()) / sampleRate / 2.0;
    plan_.driftHzPerS = driftHzPerS(samples, sampleRate, tones);
  }

  // Readings under different beliefs are compared by how well they explain the sound;
  // under one belief, Reverse or not, by how cleanly their glyphs split lit from dark.
  void compareBySound(double lowHz, double highHz) { fit_.emplace(samples_, sampleRate_, lowHz, highHz); }
  double driftPerSecond() const { return plan_.driftHzPerS; }

  Candidate read(const Timing& timing) {
    Candidate best;
    RowPlan plan = plan_;
    plan.mode = timing.mode;
    plan.columnSamples = columnSamples(timing.mode, timing.durationMs, sampleRate_);
    plan.centerHz = tones_.centerHz;
    plan.offsetHz = tones_.offsetHz;
    // C/MT columns on the air are sometimes a whole poll (100 ms) apart, S/MT ones
    // barely vary; S/MT's slots also look alike, so a slip must cost more there.
    const double costPerMs = timing.mode == Mode::Concurrent ? 0.001 : 0.01;
    const auto maxGap = static_cast<std::size_t>(kMaxColumnGapMs * sampleRate_ / 1000.0);
    const std::vector<std::size_t> starts = columnStarts(
        envelopeFor(timing.mode), columnGain(plan, sampleRate_), maxGap, costPerMs * 1000.0 / sampleRate_);
    if (starts.empty()) return best;
    const double pitch = medianPitch(starts, static_cast<double>(plan.columnSamples));
    // A pilot would tell Reverse, but S/MT's slot-rate comb can pass for one: the glyphs decide.
    const std::vector<std::size_t> refined = refineStarts(samples_, sampleRate_, plan, starts);
    for (bool reverse : {false, true}) {
      plan.centerHz = tones_.centerHz;
      plan.offsetHz = tones_.offsetHz;
      std::vector<std::size_t> chain = refined;
      if (timing.mode == Mode::Sequential) {
        plan.centerHz = hints_.centerHz;
        const SlotFit slots =
            fitSlots(samples_, sampleRate_, plan, starts, hints_.centerSearchHz, reverse, hints_.offsetHz);
        plan.centerHz = slots.centerHz;
        plan.offsetHz = slots.offsetHz;
        chain = shifted(starts, slots.shift);
      }
      if (chain.empty() || plan.offsetHz < 1) continue;
      const std::vector<ColumnPixels> pixels = pixelEnergies(samples_, sampleRate_, plan, chain);
      Reading reading = readCharacters(pixels, chain, reverse, sampleRate_, pitch, matcher_);
      if (reading.characters.empty()) continue;
      double score = reading.quality;
      bool pilot = tones_.pilotReversed.has_value();
      if (fit_) {
        // The pilot, if any, lies on the side Reverse puts it: sent again with and without.
        auto sound = [&](std::optional<bool> pilotAbove) {
          return resound(reading.columnMasks, chain, plan, reverse, pilotAbove, sampleRate_, samples_.size());
        };
        std::vector<float> with = sound(reverse);
        std::vector<float> without = sound(std::nullopt);
        pilot = fit_->quickScore(with) > fit_->quickScore(without);
        score = fit_->score(pilot ? with : without);
      }
      if (score > best.score)
        best = {std::move(reading), timing, reverse, plan.centerHz, plan.offsetHz, pilot, score};
    }
    return best;
  }

 private:
  // S/MT's rows cannot be told from its long-term spectrum unless the offset is known:
  // its columns are then found from the whole band where the text lies.
  const BandEnvelope& envelopeFor(Mode mode) {
    if (mode == Mode::Concurrent || hints_.offsetHz) return rowEnvelope_;
    if (!wideEnvelope_) {
      const double middle = excessCentroid(spectrum_, hints_.centerHz, hints_.centerSearchHz);
      wideEnvelope_ =
          bandEnvelope(samples_, sampleRate_, bandTones(middle), noiseTones(middle, kMaxOffsetHz));
    }
    return *wideEnvelope_;
  }

  std::span<const float> samples_;
  double sampleRate_;
  const Hints& hints_;
  const LongSpectrum& spectrum_;
  const ToneSet& tones_;
  GlyphMatcher matcher_;
  RowPlan plan_;
  BandEnvelope rowEnvelope_;
  std::optional<BandEnvelope> wideEnvelope_;
  std::optional<ReadingFit> fit_;
};

}  // namespace

std::string Decoding::codes() const {
  std::string out;
  for (const DecodedCharacter& c : characters) out.push_back(static_cast<char>(c.code));
  return out;
}

Decoding decodeRecording(std::span<const float> samples, double sampleRate, const Hints& hints,
                         const GlyphTable& font) {
  Decoding result;
  if (!(sampleRate >= 2000.0) || samples.size() < static_cast<std::size_t>(sampleRate / 2)) return result;
  const double reach = hints.centerSearchHz + 6.0 * kMaxOffsetHz;
  const LongSpectrum spectrum =
      longSpectrum(samples, sampleRate, hints.centerHz - reach, hints.centerHz + reach);
  const ToneSet tones = searchTones(spectrum, hints.centerHz, hints.centerSearchHz, hints.offsetHz);
  if (tones.significance < kDetectionSignificance) return result;
  if (hints.centerSearchHz > kCenterSearchHz) {
    // Searching a wide band: the rows found tell where the text is, not yet its center
    // (S/MT's slots blur its rows); the rest is sought near them.
    Hints near = hints;
    near.centerHz = tones.centerHz;
    near.centerSearchHz = kCenterSearchHz;
    return decodeRecording(samples, sampleRate, near, font);
  }

  Reader reader(samples, sampleRate, hints, spectrum, tones, font);
  std::vector<Timing> timings;
  if (hints.durationMs && hints.mode) {
    timings.push_back({*hints.mode, *hints.durationMs});
  } else if (hints.durationMs) {
    timings = {{Mode::Concurrent, *hints.durationMs}, {Mode::Sequential, *hints.durationMs}};
  } else {
    timings = likelyTimings(samples, sampleRate, spectrum, tones, hints.mode);
  }
  if (timings.size() > 1) reader.compareBySound(hints.centerHz - reach, hints.centerHz + reach);
  Candidate best;
  for (const Timing& timing : timings) {
    Candidate c = reader.read(timing);
    if (c.score > best.score) best = std::move(c);
  }
  // The pitch that offered the duration includes a gap of unknown length: the durations
  // beside the best are tried while their glyphs read more cleanly and, sent again, they
  // look as much like the sound. (Columns 10 ms longer or shorter look nearly the same
  // sent again; their pixels do not.)
  if (!hints.durationMs && !best.reading.characters.empty()) {
    for (int step : {-10, 10}) {
      for (int tries = 0; tries < 3; ++tries) {
        const auto d = static_cast<std::int64_t>(best.timing.durationMs) + step;
        if (d < 300 || d > 60000) break;
        Candidate c = reader.read({best.timing.mode, static_cast<std::uint32_t>(d)});
        if (!(c.reading.quality > best.reading.quality && c.score > best.score - kScoreTie)) break;
        best = std::move(c);
      }
    }
  }
  // S/MT found without its offset was timed from the whole band; with the rows now known,
  // its columns are found again from them alone, where less noise comes with them, and
  // kept if their glyphs read more cleanly.
  if (best.timing.mode == Mode::Sequential && !hints.offsetHz && !best.reading.characters.empty()) {
    Hints known = hints;
    known.centerHz = best.centerHz;
    known.offsetHz = best.offsetHz;
    const ToneSet rows = searchTones(spectrum, known.centerHz, known.centerSearchHz, known.offsetHz);
    Reader again(samples, sampleRate, known, spectrum, rows, font);
    Candidate c = again.read(best.timing);
    if (c.reading.quality > best.reading.quality) best = std::move(c);
  }
  result.characters = std::move(best.reading.characters);
  result.centerHz = best.centerHz;
  result.driftHzPerMin = reader.driftPerSecond() * 60.0;
  result.offsetHz = best.offsetHz;
  result.durationMs = best.timing.durationMs;
  result.mode = best.timing.mode;
  result.pilot = best.pilot;
  result.reverse = best.reverse;
  return result;
}

}  // namespace velmora::receive
