#include "synth/tone_plan.h"

namespace velmora {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kSampleRate = 11025.0;

// Row k (0..6) sits k - 3 offsets from the center; the pilot two offsets beyond row 0.
constexpr std::array<std::int64_t, 8> kOffsetSteps = {-3, -2, -1, 0, 1, 2, 3, -5};

}  // namespace

double phaseIncrement(std::int32_t frequency) {
  const std::int64_t twiceFrequency = 2 * static_cast<std::int64_t>(frequency);
  return (static_cast<double>(twiceFrequency) * kPi) / kSampleRate;
}

TonePlan makeTonePlan(std::int32_t center, std::int32_t offset, bool reverse) {
  const std::int64_t direction = reverse ? -1 : 1;
  TonePlan plan;
  for (std::size_t k = 0; k < plan.frequency.size(); ++k) {
    // 64-bit so that no input can overflow; within the checked ranges this equals the
    // 32-bit arithmetic exactly.
    const std::int64_t frequency = center + kOffsetSteps[k] * offset * direction;
    plan.frequency[k] = static_cast<std::int32_t>(frequency);
    plan.increment[k] = phaseIncrement(plan.frequency[k]);
  }
  return plan;
}

}  // namespace velmora
