#include "ptt/port_names.h"

#include <sys/stat.h>

#include <climits>

namespace velmora {

namespace {

struct DeviceRange {
  int firstPort;
  int lastPort;
  const char* deviceName;
};

// USB adapters first: they are what a station uses today.
constexpr DeviceRange kDeviceRanges[] = {
    {1, 32, "ttyUSB"},
    {33, 64, "ttyACM"},
    {65, kPortCount, "ttyS"},
};

}  // namespace

std::string devicePathForPort(int portNumber, std::string_view deviceDirectory) {
  for (const auto& range : kDeviceRanges) {
    if (portNumber >= range.firstPort && portNumber <= range.lastPort) {
      std::string path(deviceDirectory);
      if (!path.empty() && path.back() != '/') path += '/';
      return path + range.deviceName + std::to_string(portNumber - range.firstPort);
    }
  }
  return {};
}

bool devicePresent(const std::string& path) {
  struct stat status {};
  return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

int portNumberForIndex(int comPortIndex) { return comPortIndex < INT_MAX ? comPortIndex + 1 : 0; }

std::string windowsPortName(int comPortIndex) {
  // Widened so that the largest index cannot overflow; below 9 includes negative indices.
  const long long portNumber = static_cast<long long>(comPortIndex) + 1;
  const char* prefix = comPortIndex < 9 ? "COM" : "\\\\.\\COM";
  return prefix + std::to_string(portNumber);
}

}  // namespace velmora
