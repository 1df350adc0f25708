#include "receive/duration_search.h"

#include <algorithm>
#include <cmath>

namespace velmora::receive {

namespace {

constexpr double kMinDurationMs = 300.0;
constexpr double kMaxDurationMs = 60000.0;

}  // namespace

std::vector<std::uint32_t> likelyDurations(const BandEnvelope& envelope, double sampleRate, Mode mode,
                                           std::size_t maxGapSamples) {
  std::vector<std::uint32_t> out;
  const auto& e = envelope.excess;
  const double hopMs = static_cast<double>(envelope.hop) * 1000.0 / sampleRate;
  const auto firstLag = static_cast<std::size_t>(std::floor(kMinDurationMs / 7.0 / hopMs));
  const std::size_t lastLag =
      std::min({e.size() / 2, static_cast<std::size_t>((kMaxDurationMs * 7.0 + 200.0) / hopMs), std::size_t{6000}});
  if (lastLag <= firstLag + 2) return out;
  std::vector<double> ac(lastLag + 1, 0.0);
  for (std::size_t lag = firstLag; lag <= lastLag; ++lag) {
    double sum = 0.0;
    for (std::size_t i = 0; i + lag < e.size(); ++i) sum += e[i] * e[i + lag];
    ac[lag] = sum / static_cast<double>(e.size() - lag);
  }
  // The two strongest local peaks.
  std::vector<std::pair<double, std::size_t>> peaks;
  for (std::size_t lag = firstLag + 1; lag < lastLag; ++lag)
    if (ac[lag] > ac[lag - 1] && ac[lag] >= ac[lag + 1] && ac[lag] > 0.0) peaks.emplace_back(ac[lag], lag);
  std::sort(peaks.begin(), peaks.end(), std::greater<>());
  if (peaks.size() > 2) peaks.resize(2);
  const double maxGapMs = static_cast<double>(maxGapSamples) * 1000.0 / sampleRate;
  // A peak may be a slot (S/MT), a column, or a character of six columns.
  const std::vector<double> factors = mode == Mode::Sequential ? std::vector<double>{1.0, 7.0, 1.0 / 6.0}
                                                                : std::vector<double>{1.0, 1.0 / 6.0};
  for (const auto& peak : peaks) {
    for (double factor : factors) {
      const double pitchMs = static_cast<double>(peak.second) * hopMs * factor;
      // Gaps on the air: none (a file), 5 to 10 ms (S/MT, most C/MT columns), a poll.
      for (double gap : {0.0, 10.0, 20.0, 50.0, 100.0}) {
        if (gap > maxGapMs) continue;
        const double d = std::round((pitchMs - gap) / 10.0) * 10.0;
        if (d < kMinDurationMs || d > kMaxDurationMs) continue;
        const auto ms = static_cast<std::uint32_t>(d);
        if (std::find(out.begin(), out.end(), ms) == out.end()) out.push_back(ms);
      }
    }
  }
  return out;
}

}  // namespace velmora::receive
