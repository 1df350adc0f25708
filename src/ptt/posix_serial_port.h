#pragma once
// Serial ports through POSIX termios.

#include <termios.h>

#include <chrono>
#include <memory>
#include <string>

#include "ptt/port_claim.h"
#include "ptt/serial_port.h"

namespace velmora {

class PosixSerialPortOpener final : public SerialPortOpener {
 public:
  // A write gives up after writeTimeout, so a far end that never reads cannot hang us.
  // A device that another program holds is refused (see PortClaim).
  explicit PosixSerialPortOpener(std::chrono::milliseconds writeTimeout = std::chrono::milliseconds(2000),
                                 PortClaimOptions claimOptions = {});
  std::unique_ptr<SerialPort> open(const std::string& devicePath) override;
  SerialPortOpening openExplained(const std::string& devicePath) override;

 private:
  std::chrono::milliseconds writeTimeout_;
  PortClaimOptions claimOptions_;
};

// Raw mode without flow control, modem lines ignored, the given line settings; members
// left nullopt keep what attributes holds.
void applyLineSettings(termios& attributes, const SerialLineSettings& settings);

}  // namespace velmora
