#include "receive/decoder.h"

#include <algorithm>
#include <cmath>

#include "receive/character_reader.h"
#include "receive/column_timing.h"
#include "receive/duration_search.h"
#include "receive/glyph_matcher.h"
#include "receive/pixel_energies.h"
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

// Samples of a column at `sampleRate` as the sender writes them at 11025 samples/s.
std::size_t columnSamples(Mode mode, std::uint32_t durationMs, double sampleRate) {
  const double scale = sampleRate / 11025.0;
  if (mode == Mode::Concurrent) return static_cast<std::size_t>(static_cast<double>(concurrentSampleCount(durationMs)) * scale);
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

std::vector<std::size_t> shifted(const std::vector<std::size_t>& starts, std::ptrdiff_t by);

struct Candidate {
  Reading reading;
  std::uint32_t durationMs = 0;
  Mode mode = Mode::Concurrent;
  bool reverse = false;
  double centerHz = 0.0;
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
  const LongSpectrum spectrum = longSpectrum(samples, sampleRate, hints.centerHz - reach, hints.centerHz + reach);
  const ToneSet tones = searchTones(spectrum, hints.centerHz, hints.centerSearchHz, hints.offsetHz);
  if (tones.significance < kDetectionSignificance) return result;

  RowPlan plan;
  plan.centerHz = tones.centerHz;
  plan.offsetHz = tones.offsetHz;
  plan.middleS = static_cast<double>(samples.size()) / sampleRate / 2.0;
  plan.driftHzPerS = driftHzPerS(samples, sampleRate, tones);

  std::vector<double> toneHz;
  for (int k = -3; k <= 3; ++k) toneHz.push_back(tones.centerHz + k * tones.offsetHz);
  if (tones.pilotReversed) toneHz.push_back(tones.centerHz + (*tones.pilotReversed ? 5.0 : -5.0) * tones.offsetHz);
  const BandEnvelope envelope = bandEnvelope(samples, sampleRate, toneHz, noiseTones(tones.centerHz, tones.offsetHz));

  std::vector<Mode> modes;
  if (hints.mode) modes.push_back(*hints.mode);
  else modes = {Mode::Concurrent, Mode::Sequential};
  // A pilot would tell Reverse, but S/MT's slot-rate comb can pass for one: the glyphs decide.
  const std::vector<bool> reverses = {false, true};
  const auto maxGap = static_cast<std::size_t>(kMaxColumnGapMs * sampleRate / 1000.0);
  const GlyphMatcher matcher(font);

  Candidate best;
  best.reading.quality = -1.0;
  for (Mode mode : modes) {
    const std::vector<std::uint32_t> durations =
        hints.durationMs ? std::vector<std::uint32_t>{*hints.durationMs}
                         : likelyDurations(envelope, sampleRate, mode, maxGap);
    for (std::uint32_t d : durations) {
      plan.mode = mode;
      plan.columnSamples = columnSamples(mode, d, sampleRate);
      // C/MT columns on the air are sometimes a whole poll (100 ms) apart, S/MT ones
      // barely vary; S/MT's slots also look alike, so a slip must cost more there.
      const double costPerMs = mode == Mode::Concurrent ? 0.001 : 0.01;
      std::vector<std::size_t> starts =
          columnStarts(envelope, columnGain(plan, sampleRate), maxGap, costPerMs * 1000.0 / sampleRate);
      if (starts.empty()) continue;
      const double pitch = medianPitch(starts, static_cast<double>(plan.columnSamples));
      for (bool reverse : reverses) {
        plan.centerHz = tones.centerHz;
        std::vector<std::size_t> chain = refineStarts(samples, sampleRate, plan, starts);
        if (mode == Mode::Sequential) {
          const SlotFit fit = fitSlots(samples, sampleRate, plan, starts, kCenterSearchHz, reverse);
          plan.centerHz = fit.centerHz;
          chain = shifted(starts, fit.shift);
        }
        if (chain.empty()) continue;
        const std::vector<ColumnPixels> pixels = pixelEnergies(samples, sampleRate, plan, chain);
        Reading reading = readCharacters(pixels, chain, reverse, sampleRate, pitch, matcher);
        if (reading.quality > best.reading.quality) best = {std::move(reading), d, mode, reverse, plan.centerHz};
      }
    }
  }
  result.characters = std::move(best.reading.characters);
  result.centerHz = best.centerHz;
  result.driftHzPerMin = plan.driftHzPerS * 60.0;
  result.offsetHz = tones.offsetHz;
  result.durationMs = best.durationMs;
  result.mode = best.mode;
  result.pilot = tones.pilotReversed.has_value();
  result.reverse = best.reverse;
  return result;
}

}  // namespace velmora::receive
