#pragma once
// Tones of a column: rows 0..6 at center + (k - 3) * offset * direction, the pilot at
// center - 5 * offset * direction; direction is -1 when reversed.

#include <array>
#include <cstdint>

namespace velmora {

inline constexpr int kPilotEntry = 7;

struct TonePlan {
  std::array<std::int32_t, 8> frequency{};  // Hz
  std::array<double, 8> increment{};        // radians per sample
};

// Radians per sample of a tone of `frequency` Hz: (double(2 * f) * pi) / 11025.0.
double phaseIncrement(std::int32_t frequency);

TonePlan makeTonePlan(std::int32_t center, std::int32_t offset, bool reverse);

}  // namespace velmora
