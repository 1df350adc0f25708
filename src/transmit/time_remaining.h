#pragma once

#include <cstdint>

#include "core/controls.h"

namespace velmora {

// Writes "(%ih:%02im:%02is)" into the time remaining field. value < 0: -value seconds;
// 0: zero; value > 0: the time of that many characters at columnDurationMs per column.
void showTimeRemaining(Controls& controls, std::int32_t value, std::int32_t columnDurationMs);

}  // namespace velmora
