#include "receive/pixel_energies.h"

#include <algorithm>
#include <cmath>

#include "receive/tone_energy.h"

namespace velmora::receive {

namespace {

// The sender's fades last 1000 samples at its 11025 samples/s.
std::size_t rampSamples(double sampleRate) { return static_cast<std::size_t>(std::lround(1000.0 * sampleRate / 11025.0)); }

double pilotDiscounted(double row, double pilot) {
  if (row >= pilot || pilot <= 0.0) return row;
  const double ratio = row / pilot;
  return row * ratio * ratio;
}

}  // namespace

std::vector<double> noiseTones(double center, std::int32_t offset) {
  std::vector<double> hz;
  for (int j = 0; j < 8; ++j) {
    const double away = 5.0 * offset + 20.0 + 7.0 * j;
    hz.push_back(center - away);
    hz.push_back(center + away);
  }
  return hz;
}

std::vector<float> columnGain(const RowPlan& plan, double sampleRate) {
  if (plan.mode == Mode::Concurrent) return burstWindow(plan.columnSamples, rampSamples(sampleRate));
  const std::size_t slot = plan.columnSamples / 7;
  const std::vector<float> one = burstWindow(slot, std::min(rampSamples(sampleRate), slot / 2));
  std::vector<float> gain;
  for (int k = 0; k < 7; ++k) gain.insert(gain.end(), one.begin(), one.end());
  return gain;
}

std::vector<std::size_t> refineStarts(std::span<const float> samples, double sampleRate, const RowPlan& plan,
                                      std::span<const std::size_t> starts) {
  std::vector<std::size_t> out(starts.begin(), starts.end());
  if (plan.mode != Mode::Concurrent) return out;
  const std::size_t n = plan.columnSamples;
  const auto reach = static_cast<std::ptrdiff_t>(std::min<double>(0.04 * sampleRate, static_cast<double>(n) / 8.0));
  const std::ptrdiff_t step = std::max<std::ptrdiff_t>(1, reach / 8);
  const std::vector<float> window = burstWindow(n, rampSamples(sampleRate));
  std::vector<double> rowHz(9);
  std::vector<double> energy(9);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double center = plan.centerAt(static_cast<double>(starts[i]) / sampleRate);
    for (int k = 0; k < 7; ++k) rowHz[static_cast<std::size_t>(k)] = center + (k - 3) * plan.offsetHz;
    rowHz[7] = center - 5.0 * plan.offsetHz;  // a pilot, either way round
    rowHz[8] = center + 5.0 * plan.offsetHz;
    double best = -1.0;
    auto tryAt = [&](std::ptrdiff_t by) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(starts[i]) + by;
      if (at < 0 || static_cast<std::size_t>(at) + n > samples.size()) return;
      toneEnergies(samples.subspan(static_cast<std::size_t>(at), n), sampleRate, rowHz, window, energy);
      double sum = 0.0;
      for (double e : energy) sum += e;
      if (sum > best) {
        best = sum;
        out[i] = static_cast<std::size_t>(at);
      }
    };
    // Coarse, then halving the step around the best: the energy rises smoothly toward
    // the column's true place.
    for (std::ptrdiff_t by = -reach; by <= reach; by += std::max<std::ptrdiff_t>(1, reach / 2)) tryAt(by);
    for (std::ptrdiff_t half = reach / 4; half >= step; half /= 2) {
      const std::ptrdiff_t around = static_cast<std::ptrdiff_t>(out[i]) - static_cast<std::ptrdiff_t>(starts[i]);
      tryAt(around - half);
      tryAt(around + half);
    }
    if (i > 0 && out[i] < out[i - 1] + n) out[i] = std::max(starts[i], out[i - 1] + n);
  }
  return out;
}

std::vector<ColumnPixels> pixelEnergies(std::span<const float> samples, double sampleRate, const RowPlan& plan,
                                        std::span<const std::size_t> starts) {
  std::vector<ColumnPixels> out(starts.size());
  std::vector<double> noiseLevel(starts.size(), 0.0);
  const bool sequential = plan.mode == Mode::Sequential;
  const std::size_t slot = sequential ? plan.columnSamples / 7 : plan.columnSamples;
  const std::vector<float> window = burstWindow(slot, std::min(rampSamples(sampleRate), slot / 2));
  std::vector<double> rowHz(7);
  std::vector<double> rowEnergy(7);
  std::vector<double> oneEnergy(2);
  std::vector<double> noiseEnergy(16);
  for (std::size_t i = 0; i < starts.size(); ++i) {
    if (starts[i] + (sequential ? 7 * slot : slot) > samples.size()) continue;
    const double center = plan.centerAt(static_cast<double>(starts[i]) / sampleRate);
    const std::vector<double> noiseHz = noiseTones(center, plan.offsetHz);
    double noise = 0.0;
    if (!sequential) {
      const auto x = samples.subspan(starts[i], slot);
      for (int k = 0; k < 7; ++k) rowHz[static_cast<std::size_t>(k)] = center + (k - 3) * plan.offsetHz;
      toneEnergies(x, sampleRate, rowHz, window, rowEnergy);
      toneEnergies(x, sampleRate, noiseHz, window, noiseEnergy);
      for (std::size_t k = 0; k < 7; ++k) {
        out[i].upright[k] = rowEnergy[k];
        out[i].mirrored[k] = rowEnergy[6 - k];
      }
      for (double e : noiseEnergy) noise += e;
      noise /= static_cast<double>(noiseEnergy.size());
    } else {
      for (int k = 0; k < 7; ++k) {
        const auto x = samples.subspan(starts[i] + static_cast<std::size_t>(k) * slot, slot);
        const double tones[4] = {center + (k - 3) * plan.offsetHz, center - (k - 3) * plan.offsetHz,
                                 center - 5.0 * plan.offsetHz, center + 5.0 * plan.offsetHz};
        double e[4];
        toneEnergies(x, sampleRate, tones, window, e);
        // A short slot cannot tell a row from a pilot two offsets away: a dark slot that
        // carries the pilot would read as a lit outer row. The slot is the pilot's when
        // the pilot is the stronger of the two.
        out[i].upright[static_cast<std::size_t>(k)] = pilotDiscounted(e[0], e[2]);
        out[i].mirrored[static_cast<std::size_t>(k)] = pilotDiscounted(e[1], e[3]);
        // Two noise tones a slot: fourteen over the column, about as many as C/MT measures.
        const double pair[2] = {noiseHz[2 * static_cast<std::size_t>(k)], noiseHz[2 * static_cast<std::size_t>(k) + 1]};
        toneEnergies(x, sampleRate, pair, window, oneEnergy);
        noise += oneEnergy[0] + oneEnergy[1];
      }
      noise /= 14.0;
    }
    noiseLevel[i] = noise;
  }
  // In a clean recording the "noise" beside the rows is mere leakage, tiny and varying
  // from column to column: a floor far below the text keeps the pixels' scale steady.
  std::vector<double> raw;
  for (const ColumnPixels& p : out) raw.insert(raw.end(), p.upright.begin(), p.upright.end());
  double floor = 0.0;
  if (!raw.empty()) {
    const auto high = raw.begin() + static_cast<std::ptrdiff_t>(raw.size() * 9 / 10);
    std::nth_element(raw.begin(), high, raw.end());
    floor = *high * 1e-6;
  }
  // A column's own noise tones are a rough measure; neighbours share the noise.
  constexpr std::size_t kReach = 8;
  for (std::size_t i = 0; i < out.size(); ++i) {
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t j = i > kReach ? i - kReach : 0; j < std::min(out.size(), i + kReach + 1); ++j) {
      if (noiseLevel[j] > 0.0) {
        sum += noiseLevel[j];
        ++count;
      }
    }
    const double level = std::max(floor, count > 0 ? sum / static_cast<double>(count) : 0.0);
    for (std::size_t k = 0; k < 7; ++k) {
      out[i].upright[k] = level > 0.0 ? out[i].upright[k] / level : 0.0;
      out[i].mirrored[k] = level > 0.0 ? out[i].mirrored[k] / level : 0.0;
    }
  }
  return out;
}

}  // namespace velmora::receive
