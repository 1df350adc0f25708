#pragma once
// The window's busy and idle states, and the range check made before a worker starts.

#include <cstdint>
#include <string>

#include "core/controls.h"
#include "core/message_box.h"

namespace velmora {

// Idle (enabled) or busy (not enabled). "Loop", "Interval", "Reverse" and the tuning
// level buttons are left alone so that a running worker can read them live.
void setControlsIdle(Controls& controls, bool enabled);

// Reads the field as a number (compared as signed 32 bits) and returns true when it lies
// within minimum..maximum; otherwise shows "<name> out of valid range (<min>..<max>)".
bool checkFieldRange(Controls& controls, MessageBox& box, ControlId id, const std::string& name,
                     std::int32_t minimum, std::int32_t maximum);

}  // namespace velmora
