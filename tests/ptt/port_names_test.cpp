#include "ptt/port_names.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>

namespace velmora {
namespace {

struct DeviceCase {
  int portNumber;
  std::string path;
};

class DevicePathForPort : public ::testing::TestWithParam<DeviceCase> {};

TEST_P(DevicePathForPort, MapsRangesOfNumbersToDeviceFamilies) {
  EXPECT_EQ(devicePathForPort(GetParam().portNumber), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Edges, DevicePathForPort,
                         ::testing::Values(DeviceCase{1, "/dev/ttyUSB0"}, DeviceCase{32, "/dev/ttyUSB31"},
                                           DeviceCase{33, "/dev/ttyACM0"}, DeviceCase{64, "/dev/ttyACM31"},
                                           DeviceCase{65, "/dev/ttyS0"}, DeviceCase{256, "/dev/ttyS191"},
                                           DeviceCase{0, ""}, DeviceCase{257, ""}, DeviceCase{-1, ""},
                                           DeviceCase{INT_MIN, ""}, DeviceCase{INT_MAX, ""}));

TEST(DevicePathForPort, UsesTheGivenDirectoryWithOrWithoutSlash) {
  EXPECT_EQ(devicePathForPort(2, "devices"), "devices/ttyUSB1");
  EXPECT_EQ(devicePathForPort(40, "devices/"), "devices/ttyACM7");
}

struct NameCase {
  int comPortIndex;
  std::string name;
};

class WindowsPortName : public ::testing::TestWithParam<NameCase> {};

TEST_P(WindowsPortName, ShortFormBelowTenLongFormFromTen) {
  EXPECT_EQ(windowsPortName(GetParam().comPortIndex), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Edges, WindowsPortName,
                         ::testing::Values(NameCase{0, "COM1"}, NameCase{8, "COM9"}, NameCase{9, "\\\\.\\COM10"},
                                           NameCase{255, "\\\\.\\COM256"}, NameCase{-1, "COM0"},
                                           NameCase{INT_MAX, "\\\\.\\COM2147483648"}));

TEST(PortNumberForIndex, IsOneMoreUnlessThatOverflows) {
  EXPECT_EQ(portNumberForIndex(0), 1);
  EXPECT_EQ(portNumberForIndex(-1), 0);
  EXPECT_EQ(portNumberForIndex(255), 256);
  EXPECT_EQ(portNumberForIndex(INT_MAX), 0);
}

TEST(DevicePresent, OnlyCharacterDevicesCount) {
  const auto directory = std::filesystem::temp_directory_path() / ("velmora-ports-" + std::to_string(::getpid()));
  std::filesystem::create_directories(directory);
  int master = -1;
  int slave = -1;
  char slaveName[128] = {};
  ASSERT_EQ(::openpty(&master, &slave, slaveName, nullptr, nullptr), 0);
  std::filesystem::create_symlink(slaveName, directory / "ttyUSB0");  // a link to a terminal
  std::ofstream(directory / "ttyACM0") << "not a device";
  std::filesystem::create_directory(directory / "ttyS0");

  EXPECT_TRUE(devicePresent(devicePathForPort(1, directory.string())));
  EXPECT_FALSE(devicePresent(devicePathForPort(33, directory.string())));
  EXPECT_FALSE(devicePresent(devicePathForPort(65, directory.string())));
  EXPECT_FALSE(devicePresent(devicePathForPort(2, directory.string())));  // missing
  EXPECT_FALSE(devicePresent(""));

  ::close(slave);
  ::close(master);
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace velmora
