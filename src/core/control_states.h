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

struct FieldRange {
  ControlId id;
  const char* name;  // as the range message names the field
  std::int32_t minimum;
  std::int32_t maximum;
};

// What "Transmit" checks, in this order. The first three shape the sound.
inline constexpr FieldRange kTransmitFieldRanges[] = {
    {ControlId::CenterFrequency, "Audio center frequency", 100, 3000},
    {ControlId::PixelOffset, "Pixel offset", 1, 10},
    {ControlId::Duration, "Duration", 300, 60000},
    {ControlId::Interval, "Interval", 0, 86400},
};
inline constexpr const FieldRange& kCenterFrequencyRange = kTransmitFieldRanges[0];

// Reads the field as a number (compared as signed 32 bits): true when it lies within
// minimum..maximum.
bool fieldInRange(Controls& controls, ControlId id, std::int32_t minimum, std::int32_t maximum);
// "<name> out of valid range (<min>..<max>)"
std::string outOfRangeMessage(const std::string& name, std::int32_t minimum, std::int32_t maximum);

// fieldInRange, and when it fails shows outOfRangeMessage.
bool checkFieldRange(Controls& controls, MessageBox& box, ControlId id, const std::string& name,
                     std::int32_t minimum, std::int32_t maximum);
bool checkFieldRange(Controls& controls, MessageBox& box, const FieldRange& range);

}  // namespace velmora
