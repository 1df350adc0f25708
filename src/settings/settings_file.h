#pragma once
// Velmora.ini in the start-up directory: loaded once at start-up into the controls, the
// shared values and the keying configuration; saved once at shutdown.

#include <optional>
#include <string>
#include <vector>

#include "core/controls.h"
#include "core/shared_state.h"
#include "ptt/ptt_settings.h"

namespace velmora {

inline constexpr const char* kSettingsFileName = "Velmora.ini";
inline constexpr const char* kSettingsSection = "Velmora";

std::string settingsPath(const std::string& startupDirectory);

struct WindowGeometry {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const WindowGeometry&) const = default;
};

// The waterfall window: whether it was open, its layout (0: frequency across, newest line
// on top; 1: time across, frequency upward) and its place. A file without these keys
// gives a closed window in the first layout, placed by the program.
struct WaterfallWindowSettings {
  bool open = false;
  int layout = 0;
  std::optional<WindowGeometry> geometry;
  bool operator==(const WaterfallWindowSettings&) const = default;
};

inline constexpr std::size_t kMaxSavedMessages = 12;

// What the main window keeps beside its controls: the drive level in dB (0 down to -30),
// the station's call, the saved messages (at most 12) and the window's place. A file
// without these keys gives full level, no call, no messages and a place of the program's.
struct MainWindowSettings {
  int txLevelDb = 0;
  std::string myCall;
  std::vector<std::string> messages;
  std::optional<WindowGeometry> geometry;
  bool operator==(const MainWindowSettings&) const = default;
};

void loadSettings(const std::string& path, Controls& controls, SharedState& shared, PttSettings& ptt,
                  WaterfallWindowSettings& waterfall, MainWindowSettings* mainWindow = nullptr);
// False when the file could not be written (the previous file is then intact).
bool saveSettings(const std::string& path, Controls& controls, const PttSettings& ptt,
                  const WaterfallWindowSettings& waterfall, const MainWindowSettings* mainWindow = nullptr);

// Where no settings file is (a first start), writes one with settings that read well on
// common waterfalls: C/MT, 1500 Hz, 10 Hz rows, 300 ms columns, pilot tone; every other key
// at its default. True when it wrote one.
bool writeStarterSettings(const std::string& path);

}  // namespace velmora
