#pragma once
// The list positions of PttSettings as serial line settings.

#include "ptt/ptt_settings.h"
#include "ptt/serial_port.h"

namespace velmora {

// A position outside its list gives nullopt, so the port keeps its own value.
SerialLineSettings lineSettingsFor(const PttSettings& settings);

}  // namespace velmora
