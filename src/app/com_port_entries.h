#pragma once
// The entries of the PTT dialog's "Com port" list: the port number and the Linux device
// it stands for, marked when that device exists.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

inline constexpr const char* kPresentMark = " \u2713";  // a check mark

// "1 (/dev/ttyUSB0)", with the mark when present; just "7" for a number without a device.
std::string comPortEntryText(int portNumber, const std::string& devicePath, bool present);

// One entry for each port number 1..256, in order (list position = number - 1).
std::vector<std::string> comPortEntries(const std::function<bool(const std::string&)>& isPresent,
                                        std::string_view deviceDirectory = "/dev");

// The devices of the port numbers 1..256 that exist, in the list's order.
std::vector<std::string> presentPortDevices(const std::function<bool(const std::string&)>& isPresent,
                                            std::string_view deviceDirectory = "/dev");

}  // namespace velmora
