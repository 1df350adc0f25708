#pragma once
// Velmora.ini in the start-up directory: loaded once at start-up into the controls, the
// shared values and the keying configuration; saved once at shutdown.

#include <string>

#include "core/controls.h"
#include "core/shared_state.h"
#include "ptt/ptt_settings.h"

namespace velmora {

inline constexpr const char* kSettingsFileName = "Velmora.ini";
inline constexpr const char* kSettingsSection = "Velmora";

std::string settingsPath(const std::string& startupDirectory);

void loadSettings(const std::string& path, Controls& controls, SharedState& shared, PttSettings& ptt);
// False when the file could not be written (the previous file is then intact).
bool saveSettings(const std::string& path, Controls& controls, const PttSettings& ptt);

}  // namespace velmora
