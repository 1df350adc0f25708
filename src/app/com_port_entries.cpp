#include "app/com_port_entries.h"

#include "ptt/port_names.h"

namespace velmora {

std::string comPortEntryText(int portNumber, const std::string& devicePath, bool present) {
  std::string entry = std::to_string(portNumber);
  if (devicePath.empty()) return entry;
  entry += " (" + devicePath + ")";
  if (present) entry += kPresentMark;
  return entry;
}

std::vector<std::string> comPortEntries(const std::function<bool(const std::string&)>& isPresent,
                                        std::string_view deviceDirectory) {
  std::vector<std::string> entries;
  entries.reserve(kPortCount);
  for (int number = 1; number <= kPortCount; ++number) {
    const std::string path = devicePathForPort(number, deviceDirectory);
    entries.push_back(comPortEntryText(number, path, !path.empty() && isPresent(path)));
  }
  return entries;
}

std::vector<std::string> presentPortDevices(const std::function<bool(const std::string&)>& isPresent,
                                            std::string_view deviceDirectory) {
  std::vector<std::string> devices;
  for (int number = 1; number <= kPortCount; ++number) {
    const std::string path = devicePathForPort(number, deviceDirectory);
    if (!path.empty() && isPresent(path)) devices.push_back(path);
  }
  return devices;
}

}  // namespace velmora
