#include "receive/tone_search.h"

#include <algorithm>
#include <cmath>

#include "receive/fft_plans.h"
#include "receive/median.h"
#include "receive/spectrogram.h"

namespace velmora::receive {

namespace {

std::size_t nextPowerOfTwo(std::size_t n) {
  std::size_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

}  // namespace

double LongSpectrum::at(double hz) const {
  const double pos = (hz - firstHz) / binHz;
  if (pos < 0.0 || pos >= static_cast<double>(level.size()) - 1.0) return 1.0;
  const auto i = static_cast<std::size_t>(pos);
  const double frac = pos - static_cast<double>(i);
  return level[i] * (1.0 - frac) + level[i + 1] * frac;
}

LongSpectrum longSpectrum(std::span<const float> samples, double sampleRate, double lowHz, double highHz) {
  LongSpectrum out;
  // One-second segments resolve rows 1 Hz apart; zero-padding to twice the length puts
  // bins close enough for the search to interpolate between them.
  auto segment = static_cast<std::size_t>(sampleRate);
  if (samples.size() < segment) segment = samples.size();
  if (segment < 64) return out;
  const std::size_t fftSize = nextPowerOfTwo(2 * segment);
  const std::size_t hop = segment / 2;
  out.binHz = sampleRate / static_cast<double>(fftSize);
  const double noiseLow = std::max(0.0, lowHz - 300.0);
  const double noiseHigh = std::min(sampleRate / 2.0, highHz + 300.0);
  const auto firstBin = static_cast<std::size_t>(noiseLow / out.binHz);
  const auto lastBin = std::min(fftSize / 2, static_cast<std::size_t>(noiseHigh / out.binHz) + 1);
  if (lastBin <= firstBin) return out;

  const std::vector<double> window = hannWindow(segment);
  double* in = fftw_alloc_real(fftSize);
  fftw_complex* spectrum = fftw_alloc_complex(fftSize / 2 + 1);
  const fftw_plan plan = planForward(static_cast<int>(fftSize), in, spectrum);
  std::vector<double> sum(lastBin - firstBin, 0.0);
  for (std::size_t start = 0; start + segment <= samples.size(); start += hop) {
    for (std::size_t n = 0; n < segment; ++n) in[n] = static_cast<double>(samples[start + n]) * window[n];
    std::fill(in + segment, in + fftSize, 0.0);
    fftw_execute(plan);
    for (std::size_t b = firstBin; b < lastBin; ++b)
      sum[b - firstBin] += spectrum[b][0] * spectrum[b][0] + spectrum[b][1] * spectrum[b][1];
    ++out.segments;
  }
  destroyPlan(plan);
  fftw_free(spectrum);
  fftw_free(in);

  // Median over the wide band: the text's few tones cannot move it, and the median of
  // averaged noise power is close to its mean once several segments are summed.
  const double floor = median(sum);
  if (!(floor > 0.0)) return out;
  const auto bandFirst = static_cast<std::size_t>(std::max(0.0, lowHz) / out.binHz);
  const auto bandLast = std::min(lastBin, static_cast<std::size_t>(highHz / out.binHz) + 2);
  out.firstHz = static_cast<double>(std::max(bandFirst, firstBin)) * out.binHz;
  for (std::size_t b = std::max(bandFirst, firstBin); b < bandLast; ++b)
    out.level.push_back(sum[b - firstBin] / floor);
  return out;
}

ToneSet searchTones(const LongSpectrum& spectrum, double centerHz, double searchHz,
                    std::optional<std::int32_t> offsetHz) {
  ToneSet best;
  double bestScore = -1e300;
  const std::int32_t firstOffset = offsetHz ? *offsetHz : 1;
  const std::int32_t lastOffset = offsetHz ? *offsetHz : 10;
  const double step = std::min(0.25, spectrum.binHz / 2.0);
  for (std::int32_t d = firstOffset; d <= lastOffset; ++d) {
    for (double c = centerHz - searchHz; c <= centerHz + searchHz + 1e-9; c += step) {
      // A sum of logarithms rewards seven rows together over one strong carrier.
      double score = 0.0;
      for (int k = -3; k <= 3; ++k) score += std::log(std::max(spectrum.at(c + k * d), 0.05));
      // Offsets that divide the true one would find every other row: what lies halfway
      // between rows must be noise.
      double between = 0.0;
      for (int k = -3; k < 3; ++k) between += std::log(std::max(spectrum.at(c + (k + 0.5) * d), 0.05));
      score -= 0.5 * std::max(0.0, between);
      // A pilot fills every dark column or slot and can outshine any row: it must be
      // explained, or the rows would be sought around it.
      score += std::max({0.0, std::log(std::max(spectrum.at(c - 5.0 * d), 0.05)),
                         std::log(std::max(spectrum.at(c + 5.0 * d), 0.05))});
      if (score > bestScore) {
        bestScore = score;
        best.centerHz = c;
        best.offsetHz = d;
      }
    }
  }
  // Averaged noise power has a relative spread of about 1/sqrt(segments) (Hann segments
  // half overlapped count about 0.7 each).
  const double spread = 1.0 / std::sqrt(std::max(1.0, 0.7 * spectrum.segments));
  double excess = 0.0;
  for (int k = -3; k <= 3; ++k) excess += spectrum.at(best.centerHz + k * best.offsetHz) - 1.0;
  best.significance = excess / (spread * std::sqrt(7.0));
  // A text spreads its energy over several rows; a steady carrier puts it all in one.
  double strongest = 0.0;
  double positive = 0.0;
  for (int k = -3; k <= 3; ++k) {
    const double e = std::max(0.0, spectrum.at(best.centerHz + k * best.offsetHz) - 1.0);
    strongest = std::max(strongest, e);
    positive += e;
  }
  if (positive > 0.0 && strongest > 0.9 * positive) best.significance = std::min(best.significance, 0.0);
  const double below = spectrum.at(best.centerHz - 5.0 * best.offsetHz) - 1.0;
  const double above = spectrum.at(best.centerHz + 5.0 * best.offsetHz) - 1.0;
  // A pilot sounds in every dark column, about as strong as a row; what leaks from the
  // outer rows two offsets away is far weaker.
  const double rowMean = excess / 7.0;
  const double pilot = std::max(below, above);
  if (pilot > 6.0 * spread && pilot > 0.1 * rowMean && std::min(below, above) < 0.25 * pilot)
    best.pilotReversed = above > below;
  return best;
}

}  // namespace velmora::receive
