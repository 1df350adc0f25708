#pragma once
// Port numbers (ComPort + 1, 1..256) as the PTT dialog shows them, and the Linux devices
// they stand for: 1-32 ttyUSB0-31, 33-64 ttyACM0-31, 65-256 ttyS0-191.

#include <string>
#include <string_view>

namespace velmora {

inline constexpr int kPortCount = 256;

// The device of a port number, in deviceDirectory; "" when the number has none.
std::string devicePathForPort(int portNumber, std::string_view deviceDirectory = "/dev");

// True when path names an existing character device (symbolic links followed).
bool devicePresent(const std::string& path);

// The historic name of a port list position: "COM1".."COM9", then "\\.\COM10" on.
std::string windowsPortName(int comPortIndex);

// ComPort + 1, or 0 (no port) when that does not fit in an int.
int portNumberForIndex(int comPortIndex);

}  // namespace velmora
