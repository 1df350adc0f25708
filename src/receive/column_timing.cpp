#include "receive/column_timing.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "receive/tone_energy.h"

namespace velmora::receive {

namespace {

struct Chain {
  std::vector<std::size_t> starts;  // frame indices
  double score = 0.0;
};

// best[t]: the best chain whose last column starts at frame t. A chain may begin anywhere
// (a negative run is dropped), so noise before and after the text is left out.
Chain bestChain(const std::vector<double>& columnScore, std::size_t columnFrames, std::size_t maxGapFrames,
                const std::vector<double>& usualGaps, double gapCost) {
  std::vector<double> cost(maxGapFrames + 1, 0.0);
  for (std::size_t g = 0; g <= maxGapFrames; ++g) {
    double nearest = static_cast<double>(g);
    for (double usual : usualGaps) nearest = std::min(nearest, std::abs(static_cast<double>(g) - usual));
    cost[g] = gapCost * nearest;
  }
  const std::size_t count = columnScore.size();
  std::vector<double> best(count, 0.0);
  std::vector<std::ptrdiff_t> previous(count, -1);
  for (std::size_t t = 0; t < count; ++t) {
    double bestPrevious = 0.0;
    std::ptrdiff_t from = -1;
    for (std::size_t g = 0; g <= maxGapFrames; ++g) {
      if (t < columnFrames + g) break;
      const std::size_t p = t - columnFrames - g;
      const double value = best[p] - cost[g];
      if (value > bestPrevious) {
        bestPrevious = value;
        from = static_cast<std::ptrdiff_t>(p);
      }
    }
    best[t] = columnScore[t] + bestPrevious;
    previous[t] = from;
  }
  Chain chain;
  if (count == 0) return chain;
  auto end = static_cast<std::ptrdiff_t>(std::max_element(best.begin(), best.end()) - best.begin());
  chain.score = best[static_cast<std::size_t>(end)];
  for (std::ptrdiff_t t = end; t >= 0; t = previous[static_cast<std::size_t>(t)])
    chain.starts.push_back(static_cast<std::size_t>(t));
  std::reverse(chain.starts.begin(), chain.starts.end());
  return chain;
}

}  // namespace

BandEnvelope bandEnvelope(std::span<const float> samples, double sampleRate, std::span<const double> toneHz,
                          std::span<const double> noiseHz) {
  BandEnvelope out;
  // 40 ms frames: shorter than the shortest slot's fade, long enough to tell tones 10 Hz
  // apart from the noise beside them.
  out.frame = std::max<std::size_t>(16, static_cast<std::size_t>(sampleRate * 0.04));
  // Frames every 2.5 ms: a column's start must be found to a small part of a 43 ms slot.
  out.hop = std::max<std::size_t>(1, static_cast<std::size_t>(sampleRate / 400.0));
  if (samples.size() < out.frame) return out;
  const std::vector<float> window = burstWindow(out.frame, out.frame / 2);
  std::vector<double> tones(toneHz.size());
  std::vector<double> noise(noiseHz.size());
  std::vector<double> raw;
  std::vector<double> noiseMean;
  for (std::size_t start = 0; start + out.frame <= samples.size(); start += out.hop) {
    const auto x = samples.subspan(start, out.frame);
    toneEnergies(x, sampleRate, toneHz, window, tones);
    toneEnergies(x, sampleRate, noiseHz, window, noise);
    double sum = 0.0;
    for (double e : tones) sum += e;
    double noiseSum = 0.0;
    for (double e : noise) noiseSum += e;
    raw.push_back(sum);
    noiseMean.push_back(noiseSum / static_cast<double>(noise.size()));
  }
  // The noise level is smoothed over about a second, so that one frame's luck does not
  // make a frame look lit; its spread per frame follows from the number of tones summed.
  const std::size_t reach = std::max<std::size_t>(1, static_cast<std::size_t>(sampleRate / static_cast<double>(out.hop) / 2));
  std::vector<double> prefix(noiseMean.size() + 1, 0.0);
  for (std::size_t i = 0; i < noiseMean.size(); ++i) prefix[i + 1] = prefix[i] + noiseMean[i];
  out.excess.resize(raw.size());
  const double tonesCount = static_cast<double>(toneHz.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const std::size_t lo = i > reach ? i - reach : 0;
    const std::size_t hi = std::min(noiseMean.size(), i + reach + 1);
    const double level = (prefix[hi] - prefix[lo]) / static_cast<double>(hi - lo);
    const double spread = level * std::sqrt(tonesCount);
    out.excess[i] = spread > 0.0 ? (raw[i] - level * tonesCount) / spread : 0.0;
  }
  return out;
}

std::vector<std::size_t> columnStarts(const BandEnvelope& envelope, std::span<const float> columnGain,
                                      std::size_t maxGapSamples, double gapCostPerSample) {
  std::vector<std::size_t> starts;
  const std::size_t hop = envelope.hop;
  const std::size_t columnSamples = columnGain.size();
  // Rounded down: the chain makes up the rest with gaps, which it cannot do the other way.
  const std::size_t columnFrames = std::max<std::size_t>(1, columnSamples / hop);
  // Frames wholly inside the column count for it, each weighted by the column's own
  // fades: a chain of bursts back to back then fits only where its fades meet theirs.
  const std::size_t inside = columnSamples > envelope.frame ? (columnSamples - envelope.frame) / hop + 1 : 1;
  const auto& e = envelope.excess;
  if (e.size() < inside) return starts;
  std::vector<double> weight(inside, 1.0);
  if (inside <= 1000 && columnSamples >= envelope.frame) {
    for (std::size_t j = 0; j < inside; ++j) {
      double sum = 0.0;
      for (std::size_t n = j * hop; n < j * hop + envelope.frame; ++n)
        sum += static_cast<double>(columnGain[n]) * static_cast<double>(columnGain[n]);
      weight[j] = sum / static_cast<double>(envelope.frame);
    }
  }
  double weightSquares = 0.0;
  for (double w : weight) weightSquares += w * w;
  const double norm = 1.0 / std::sqrt(std::max(weightSquares, 1e-12));
  std::vector<double> score(e.size() - inside + 1);
  if (inside > 1000) {
    // Long columns: the fades are a small part, and a plain running sum is fast.
    std::vector<double> prefix(e.size() + 1, 0.0);
    for (std::size_t i = 0; i < e.size(); ++i) prefix[i + 1] = prefix[i] + e[i];
    for (std::size_t t = 0; t < score.size(); ++t) score[t] = (prefix[t + inside] - prefix[t]) * norm;
  } else {
    for (std::size_t t = 0; t < score.size(); ++t) {
      double sum = 0.0;
      for (std::size_t j = 0; j < inside; ++j) sum += weight[j] * e[t + j];
      score[t] = sum * norm;
    }
  }
  const std::size_t maxGapFrames = maxGapSamples / hop;

  // Gap costs are measured against a strong column: in a clean recording the noise's
  // spread is tiny and would make any fixed cost vanish.
  std::vector<double> sorted(score);
  const auto high = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() * 9 / 10);
  std::nth_element(sorted.begin(), high, sorted.end());
  const double strong = std::max(30.0, *high);

  // First pass: gaps nearly free (the shorter wins a tie, as where dark slots or rows
  // would let a column slide), to learn the usual gap from pairs of strong columns.
  Chain chain = bestChain(score, columnFrames, maxGapFrames, {0.0}, 0.001 * strong);
  std::vector<std::size_t> histogram(maxGapFrames + 1, 0);
  std::size_t pairs = 0;
  for (std::size_t i = 1; i < chain.starts.size(); ++i) {
    if (score[chain.starts[i - 1]] > 3.0 && score[chain.starts[i]] > 3.0) {
      ++histogram[std::min(maxGapFrames, chain.starts[i] - chain.starts[i - 1] - columnFrames)];
      ++pairs;
    }
  }
  // The sender waits for each sound in polls, so its gaps come in a few lengths (one
  // short, one a poll longer): every length that many strong pairs show is usual. Were
  // only one usual, three long gaps in a row would be cheaper as one more dark column.
  std::vector<double> usualGaps;
  for (std::size_t g = 0; g <= maxGapFrames; ++g) {
    std::size_t near = 0;
    for (std::size_t h = g > 2 ? g - 2 : 0; h <= std::min(maxGapFrames, g + 2); ++h) near += histogram[h];
    const bool peak = (g == 0 || histogram[g] >= histogram[g - 1]) && (g == maxGapFrames || histogram[g] > histogram[g + 1]);
    if (peak && near * 10 >= pairs && near > 0) usualGaps.push_back(static_cast<double>(g));
  }
  if (usualGaps.empty()) usualGaps.push_back(0.0);
  chain = bestChain(score, columnFrames, maxGapFrames, usualGaps, gapCostPerSample * static_cast<double>(hop) * strong);
  for (std::size_t t : chain.starts) starts.push_back(t * hop);
  return starts;
}

}  // namespace velmora::receive
