#include "settings/settings_file.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <utility>
#include <vector>

#include "ptt/rig_control.h"
#include "settings/ini_file.h"

namespace velmora {

namespace {

// Longest values, in characters, as the fixed buffers of old allowed.
constexpr std::size_t kMaxShortText = 255;   // OutputDevice, TXCommand, RXCommand
constexpr std::size_t kMaxFieldText = 1023;  // Text and the numeric fields

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (asciiLower(text[i]) != asciiLower(prefix[i])) return false;
  return true;
}

// The first entry whose text begins with the saved name, else the first entry.
int deviceIndexFor(const std::vector<std::string>& devices, const std::string& savedName) {
  for (std::size_t i = 0; i < devices.size(); ++i)
    if (startsWithIgnoringCase(devices[i], savedName)) return static_cast<int>(i);
  return 0;
}

const char* flagText(bool set) { return set ? "1" : "0"; }

class SettingsReader {
 public:
  explicit SettingsReader(const IniFile& ini) : ini_(ini) {}
  std::int32_t integer(const char* key, std::int32_t fallback) const {
    return ini_.readInt(kSettingsSection, key, fallback);
  }
  std::string text(const char* key, std::size_t maxChars, const char* fallback = "") const {
    return ini_.readText(kSettingsSection, key, fallback, maxChars);
  }
  // Set only by exactly "1"; "2" or "yes" leave the box clear.
  bool flag(const char* key) const { return ini_.readText(kSettingsSection, key, "0", kMaxFieldText) == "1"; }

 private:
  const IniFile& ini_;
};

void loadOutputDevice(const SettingsReader& reader, Controls& controls) {
  const std::string savedName = reader.text("OutputDevice", kMaxShortText);
  controls.setCurrentIndex(ControlId::OutputDevice,
                           deviceIndexFor(controls.listItems(ControlId::OutputDevice), savedName));
}

void loadMode(const SettingsReader& reader, Controls& controls) {
  const bool concurrent = reader.integer("Concurrent", 1) != 0;
  if (concurrent) {
    controls.setChecked(ControlId::Concurrent, true);
    controls.setChecked(ControlId::SinglePixel, true);
  } else {
    controls.setChecked(ControlId::Sequential, true);
    controls.setChecked(ControlId::FullScale, true);
  }
  controls.setEnabled(ControlId::SkipDark, !concurrent);
  controls.setEnabled(ControlId::MaxAvgPower, concurrent);
  controls.setEnabled(ControlId::SinglePixel, concurrent);
  controls.setEnabled(ControlId::FullScale, concurrent);

  // Whatever the mode: a disabled box can come up set. A zero leaves the box as it is.
  if (reader.integer("Skip", 0) != 0) controls.setChecked(ControlId::SkipDark, true);
  if (reader.integer("MaxAvgPwr", 0) != 0) controls.setChecked(ControlId::MaxAvgPower, true);
}

void loadNumber(const SettingsReader& reader, const char* key, std::int32_t fallback,
                std::atomic<std::int32_t>& shared, Controls& controls, ControlId field) {
  const std::int32_t value = reader.integer(key, fallback);
  shared = value;
  controls.setText(field, std::to_string(value));
}

void loadPtt(const SettingsReader& reader, PttSettings& ptt) {
  ptt.UsePTTControl = reader.integer("UsePTTControl", 0);
  ptt.ComPort = reader.integer("ComPort", 0);
  ptt.Baudrate = reader.integer("Baudrate", 0);
  ptt.Databits = reader.integer("Databits", 0);
  ptt.Stopbits = reader.integer("Stopbits", 0);
  ptt.Parity = reader.integer("Parity", 0);
  ptt.CAT = reader.integer("CAT", 0);
  ptt.RTS = reader.integer("RTS", 0);
  ptt.TXCommand = reader.text("TXCommand", kMaxShortText);
  ptt.RXCommand = reader.text("RXCommand", kMaxShortText);
  ptt.TXDelay = static_cast<std::uint32_t>(reader.integer("TXDelay", 0));
  // The Hamlib method's keys come after the 23 of old; a file without them keys as before.
  ptt.Hamlib = reader.integer("Hamlib", 0);
  ptt.HamlibModel = reader.integer("HamlibModel", kDefaultRigModel);
  ptt.HamlibPort = reader.text("HamlibPort", kMaxShortText, kDefaultRigPort);
  ptt.HamlibSpeed = reader.integer("HamlibSpeed", 0);
}

// A file of the 23 keys of old, saved while the Hamlib method and the waterfall window
// were never touched, stays as it was: keys that only restate their defaults and stand
// nowhere in the file are left out.
bool anyKeyPresent(const IniFile& ini, std::initializer_list<const char*> keys) {
  constexpr const char* kAbsent = "\n";  // no value read from a file holds a line end
  for (const char* key : keys) {
    if (ini.readText(kSettingsSection, key, kAbsent, kMaxShortText) != kAbsent) return true;
  }
  return false;
}

bool hamlibKeysWanted(const IniFile& ini, const PttSettings& ptt) {
  const PttSettings defaults;
  return ptt.Hamlib != 0 || ptt.HamlibModel != defaults.HamlibModel || ptt.HamlibPort != defaults.HamlibPort ||
         ptt.HamlibSpeed != defaults.HamlibSpeed ||
         anyKeyPresent(ini, {"Hamlib", "HamlibModel", "HamlibPort", "HamlibSpeed"});
}

bool waterfallKeysWanted(const IniFile& ini, const WaterfallWindowSettings& waterfall) {
  return waterfall != WaterfallWindowSettings{} ||
         anyKeyPresent(ini, {"Waterfall", "WaterfallLayout", "WaterfallGeometry"});
}

// "x,y,w,h" as four decimal integers; anything else, or a window without area, is no
// geometry.
std::optional<WindowGeometry> parseGeometry(const std::string& text) {
  int values[4] = {};
  const char* pos = text.data();
  const char* const end = text.data() + text.size();
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && (pos == end || *pos++ != ',')) return std::nullopt;
    const auto [next, error] = std::from_chars(pos, end, values[i]);
    if (error != std::errc()) return std::nullopt;
    pos = next;
  }
  if (pos != end || values[2] <= 0 || values[3] <= 0) return std::nullopt;
  return WindowGeometry{values[0], values[1], values[2], values[3]};
}

std::string geometryText(const std::optional<WindowGeometry>& geometry) {
  if (!geometry) return {};
  return std::to_string(geometry->x) + "," + std::to_string(geometry->y) + "," +
         std::to_string(geometry->width) + "," + std::to_string(geometry->height);
}

void loadWaterfallWindow(const SettingsReader& reader, WaterfallWindowSettings& waterfall) {
  waterfall.open = reader.flag("Waterfall");
  const int receiver = reader.integer("WaterfallLayout", 0);
  waterfall.layout = receiver >= 0 && receiver < kWaterfallReceiverChoices ? receiver : 0;
  waterfall.geometry = parseGeometry(reader.text("WaterfallGeometry", kMaxFieldText));
}

bool mainWindowKeysWanted(const IniFile& ini, const MainWindowSettings& mainWindow) {
  return mainWindow != MainWindowSettings{} ||
         anyKeyPresent(ini, {"TXLevel", "MyCall", "Message1", "WindowGeometry"});
}

std::string messageKey(std::size_t index) { return "Message" + std::to_string(index + 1); }

void loadMainWindow(const SettingsReader& reader, MainWindowSettings& mainWindow) {
  mainWindow.txLevelDb = std::clamp(reader.integer("TXLevel", 0), -30, 0);
  mainWindow.myCall = reader.text("MyCall", kMaxShortText);
  mainWindow.messages.clear();
  for (std::size_t i = 0; i < kMaxSavedMessages; ++i) {
    std::string message = reader.text(messageKey(i).c_str(), kMaxTextChars);
    if (!message.empty()) mainWindow.messages.push_back(std::move(message));
  }
  mainWindow.geometry = parseGeometry(reader.text("WindowGeometry", kMaxFieldText));
}

std::string selectedDevice(Controls& controls) {
  const int index = controls.currentIndex(ControlId::OutputDevice);
  const std::vector<std::string> devices = controls.listItems(ControlId::OutputDevice);
  if (index < 0 || static_cast<std::size_t>(index) >= devices.size()) return {};
  return firstCodePoints(devices[static_cast<std::size_t>(index)], kMaxShortText);
}

}  // namespace

std::string settingsPath(const std::string& startupDirectory) {
  return (std::filesystem::path(startupDirectory) / kSettingsFileName).string();
}

void loadSettings(const std::string& path, Controls& controls, SharedState& shared, PttSettings& ptt,
                  WaterfallWindowSettings& waterfall, MainWindowSettings* mainWindow) {
  IniFile ini;
  ini.load(path);  // a missing or unreadable file gives every default
  const SettingsReader reader(ini);

  loadOutputDevice(reader, controls);
  loadMode(reader, controls);
  loadNumber(reader, "Frequency", 1000, shared.centerFrequency, controls, ControlId::CenterFrequency);
  loadNumber(reader, "Offset", 1, shared.pixelRowOffset, controls, ControlId::PixelOffset);
  loadNumber(reader, "Duration", 10, shared.columnDuration, controls, ControlId::Duration);
  controls.setText(ControlId::TextToSend, reader.text("Text", kMaxTextChars));
  controls.setChecked(ControlId::Loop, reader.flag("Loop"));
  controls.setChecked(ControlId::PilotTone, reader.flag("PilotTone"));
  controls.setChecked(ControlId::Reverse, reader.flag("Reverse"));
  controls.setText(ControlId::Interval,
                   std::to_string(static_cast<std::uint32_t>(reader.integer("Interval", 0))));
  loadPtt(reader, ptt);
  loadWaterfallWindow(reader, waterfall);
  if (mainWindow != nullptr) loadMainWindow(reader, *mainWindow);
}

bool saveSettings(const std::string& path, Controls& controls, const PttSettings& ptt,
                  const WaterfallWindowSettings& waterfall, const MainWindowSettings* mainWindow,
                  std::error_code* error) {
  // Start from the file as it is, so that whatever else it holds survives. One that is
  // there but cannot be read is not replaced: its content would be lost. (A link to a
  // file not yet made holds nothing that a save could destroy.)
  IniFile ini;
  std::error_code loadError;
  const bool loaded = ini.load(path, &loadError);
  if (!loaded && loadError != std::errc::no_such_file_or_directory) {
    if (error) *error = loadError;
    return false;
  }
  auto write = [&ini](const char* key, const std::string& value) {
    ini.writeText(kSettingsSection, key, value);
  };
  auto fieldText = [&controls](ControlId id) { return readText(controls, id, kMaxFieldText); };

  write("OutputDevice", selectedDevice(controls));
  write("Concurrent", flagText(controls.isChecked(ControlId::Concurrent)));
  write("Skip", flagText(controls.isChecked(ControlId::SkipDark)));
  write("MaxAvgPwr", flagText(controls.isChecked(ControlId::MaxAvgPower)));
  // The fields as they stand, even empty or out of range.
  write("Frequency", fieldText(ControlId::CenterFrequency));
  write("Offset", fieldText(ControlId::PixelOffset));
  write("Duration", fieldText(ControlId::Duration));
  write("Text", readText(controls, ControlId::TextToSend, kMaxTextChars));
  write("Loop", flagText(controls.isChecked(ControlId::Loop)));
  write("PilotTone", flagText(controls.isChecked(ControlId::PilotTone)));
  write("Reverse", flagText(controls.isChecked(ControlId::Reverse)));
  write("Interval", fieldText(ControlId::Interval));
  write("UsePTTControl", flagText(ptt.UsePTTControl != 0));
  write("ComPort", std::to_string(ptt.ComPort));
  write("Baudrate", std::to_string(ptt.Baudrate));
  write("Databits", std::to_string(ptt.Databits));
  write("Stopbits", std::to_string(ptt.Stopbits));
  write("Parity", std::to_string(ptt.Parity));
  write("CAT", std::to_string(ptt.CAT));
  write("RTS", std::to_string(ptt.RTS));
  write("TXCommand", ptt.TXCommand);
  write("RXCommand", ptt.RXCommand);
  write("TXDelay", std::to_string(static_cast<std::int32_t>(ptt.TXDelay)));
  if (!loaded || hamlibKeysWanted(ini, ptt)) {
    write("Hamlib", flagText(ptt.Hamlib != 0));
    write("HamlibModel", std::to_string(ptt.HamlibModel));
    write("HamlibPort", ptt.HamlibPort);
    write("HamlibSpeed", std::to_string(ptt.HamlibSpeed));
  }
  if (!loaded || waterfallKeysWanted(ini, waterfall)) {
    write("Waterfall", flagText(waterfall.open));
    write("WaterfallLayout", std::to_string(waterfall.layout));
    write("WaterfallGeometry", geometryText(waterfall.geometry));
  }
  if (mainWindow != nullptr && (!loaded || mainWindowKeysWanted(ini, *mainWindow))) {
    write("TXLevel", std::to_string(mainWindow->txLevelDb));
    write("MyCall", firstCodePoints(mainWindow->myCall, kMaxShortText));
    // Every slot, so that a removed message does not come back from an old line.
    for (std::size_t i = 0; i < kMaxSavedMessages; ++i) {
      const std::string message = i < mainWindow->messages.size() ? mainWindow->messages[i] : "";
      write(messageKey(i).c_str(), firstCodePoints(message, kMaxTextChars));
    }
    write("WindowGeometry", geometryText(mainWindow->geometry));
  }
  return ini.save(path, error);
}

bool writeStarterSettings(const std::string& path) {
  std::error_code statusError;  // there already, readable or not: never replaced
  if (std::filesystem::status(path, statusError).type() != std::filesystem::file_type::not_found) return false;
  IniFile ini;
  const std::pair<const char*, std::string> keys[] = {
      {"OutputDevice", ""},   {"Concurrent", "1"}, {"Skip", "0"},       {"MaxAvgPwr", "0"},
      {"Frequency", "1500"},  {"Offset", "10"},    {"Duration", "300"}, {"Text", ""},
      {"Loop", "0"},          {"PilotTone", "1"},  {"Reverse", "0"},    {"Interval", "0"},
      {"UsePTTControl", "0"}, {"ComPort", "0"},    {"Baudrate", "0"},   {"Databits", "0"},
      {"Stopbits", "0"},      {"Parity", "0"},     {"CAT", "0"},        {"RTS", "0"},
      {"TXCommand", ""},      {"RXCommand", ""},   {"TXDelay", "0"},
  };
  for (const auto& [key, value] : keys) ini.writeText(kSettingsSection, key, value);
  return ini.save(path);
}

std::string saveFailureMessage(const std::string& path, const std::error_code& error) {
  std::string reason = error.message();
  if (!reason.empty()) reason[0] = asciiLower(reason[0]);
  return "Settings not saved: " + std::filesystem::path(path).filename().string() + ": " + reason;
}

}  // namespace velmora
