#include "synth/column_timing.h"

#include "synth/synthesis.h"

namespace velmora {

std::uint32_t columnPollMs(bool concurrent) { return concurrent ? kConcurrentPollMs : kSequentialPollMs; }

std::uint32_t columnWaitLimitMs(bool concurrent, std::uint32_t durationMs, std::size_t samplesWritten) {
  return concurrent ? durationMs : sequentialWaitLimitMs(samplesWritten);
}

double expectedColumnWaitMs(std::uint32_t pollMs, std::uint32_t limitMs) {
  if (pollMs == 0) return limitMs;
  const std::uint64_t polls = limitMs / pollMs;
  if (limitMs % pollMs != 0 || polls == 0) return static_cast<double>((polls + 1) * pollMs);
  return static_cast<double>(polls * pollMs) + 0.5 * pollMs;
}

double columnOnAirMs(bool concurrent, std::uint32_t durationMs, std::size_t samplesWritten) {
  return expectedColumnWaitMs(columnPollMs(concurrent), columnWaitLimitMs(concurrent, durationMs, samplesWritten));
}

}  // namespace velmora
