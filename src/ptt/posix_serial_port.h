#pragma once
// Serial ports through POSIX termios.

#include <termios.h>

#include <chrono>
#include <memory>
#include <string>

#include "ptt/serial_port.h"

namespace velmora {

class PosixSerialPortOpener final : public SerialPortOpener {
 public:
  // A write gives up after writeTimeout, so a far end that never reads cannot hang us.
  explicit PosixSerialPortOpener(std::chrono::milliseconds writeTimeout = std::chrono::milliseconds(2000));
  std::unique_ptr<SerialPort> open(const std::string& devicePath) override;

 private:
  std::chrono::milliseconds writeTimeout_;
};

// Raw mode without flow control, modem lines ignored, the given line settings; members
// left nullopt keep what attributes holds.
void applyLineSettings(termios& attributes, const SerialLineSettings& settings);

}  // namespace velmora
