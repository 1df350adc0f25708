#pragma once
// A serial port opener that opens nothing and records what is done to its ports, in
// order, as short lines: "open /dev/ttyUSB0", "configure", "write A1 B2", "rts on",
// "dtr off", "close". Thread-safe.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ptt/serial_port.h"

namespace velmora::testing {

class RecordingSerialPortOpener final : public SerialPortOpener {
 public:
  RecordingSerialPortOpener();

  std::unique_ptr<SerialPort> open(const std::string& devicePath) override;

  // Every later open fails (the port is missing or busy).
  void setOpenFails(bool fails);
  // Every later configure fails (the driver refuses the settings).
  void setConfigureFails(bool fails);
  // Writes and line changes on open ports fail from now on (the device was unplugged);
  // they are still recorded, with " failed" appended.
  void setPortVanished(bool vanished);

  std::vector<std::string> events() const;
  void clearEvents();
  // The settings of the last configure, if any.
  std::optional<SerialLineSettings> lastLineSettings() const;
  int openPortCount() const;  // opened and not yet closed

  struct State;  // shared with the ports, which may outlive the opener

 private:
  std::shared_ptr<State> state_;
};

// "A1 B2": bytes as the events show them.
std::string hexBytes(const std::vector<std::uint8_t>& bytes);

}  // namespace velmora::testing
