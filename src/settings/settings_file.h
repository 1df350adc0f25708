#pragma once
// Velmora.ini in the start-up directory: loaded once at start-up into the controls, the
// shared values and the keying configuration; saved once at shutdown.

#include <optional>
#include <string>
#include <system_error>
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

// The waterfall window: whether it was open, its receiver (0..kWaterfallReceiverChoices - 1;
// 0 and 1 keep the layouts of earlier versions: frequency across, newest line on top, and
// time across, frequency upward) and its place. A file without these keys gives a closed
// window with the first receiver, placed by the program.
inline constexpr int kWaterfallReceiverChoices = 5;
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
// False when the file could not be written (error says why; the previous file is then
// intact).
bool saveSettings(const std::string& path, Controls& controls, const PttSettings& ptt,
                  const WaterfallWindowSettings& waterfall, const MainWindowSettings* mainWindow = nullptr,
                  std::error_code* error = nullptr);
// The event log's line for a failed save: "Settings not saved: Velmora.ini: permission denied".
std::string saveFailureMessage(const std::string& path, const std::error_code& error);

// Where no settings file is (a first start), writes one with settings that read well on
// common waterfalls: C/MT, 1500 Hz, 10 Hz rows, 300 ms columns, pilot tone; every other key
// at its default. True when it wrote one.
bool writeStarterSettings(const std::string& path);

}  // namespace velmora
