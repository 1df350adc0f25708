#pragma once

#include <cstdint>

#include "core/controls.h"

namespace velmora {

// The seconds one full column of columnDurationMs holds the air, waits included, in the
// mode that "Concurrent multitone (C/MT)" selects; a negative duration counts as none.
double columnSecondsOnAir(bool concurrent, std::int32_t columnDurationMs);

// Writes "(%ih:%02im:%02is)" into the time remaining field. value < 0: -value seconds;
// 0: zero; value > 0: the time on the air of that many characters at columnDurationMs
// per column, in the mode the controls select.
void showTimeRemaining(Controls& controls, std::int32_t value, std::int32_t columnDurationMs);

}  // namespace velmora
