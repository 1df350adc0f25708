#include "ptt/line_settings.h"

#include <array>

namespace velmora {

namespace {

constexpr std::array<std::uint32_t, 5> kBaudRates = {2400, 4800, 9600, 19200, 38400};
constexpr std::array<int, 2> kDataBits = {7, 8};
constexpr std::array<int, 2> kStopBits = {1, 2};
constexpr std::array<SerialLineSettings::Parity, 3> kParities = {
    SerialLineSettings::Parity::Odd, SerialLineSettings::Parity::Even, SerialLineSettings::Parity::None};

template <typename T, std::size_t N>
std::optional<T> entryAt(const std::array<T, N>& list, std::int32_t position) {
  if (position < 0 || static_cast<std::size_t>(position) >= N) return std::nullopt;
  return list[static_cast<std::size_t>(position)];
}

}  // namespace

SerialLineSettings lineSettingsFor(const PttSettings& settings) {
  SerialLineSettings line;
  line.baudRate = entryAt(kBaudRates, settings.Baudrate);
  line.dataBits = entryAt(kDataBits, settings.Databits);
  line.stopBits = entryAt(kStopBits, settings.Stopbits);
  line.parity = entryAt(kParities, settings.Parity);
  return line;
}

}  // namespace velmora
