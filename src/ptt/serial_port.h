#pragma once
// A serial port as keying needs it. POSIX termios implementation for the program, a
// recording fake for tests.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace velmora {

// Line settings as list positions; nullopt leaves the port's own value in force.
struct SerialLineSettings {
  std::optional<std::uint32_t> baudRate;  // bit/s
  std::optional<int> dataBits;            // 7 or 8
  std::optional<int> stopBits;            // 1 or 2
  enum class Parity { Odd, Even, None };
  std::optional<Parity> parity;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;  // closes the port
  // Raw mode, no flow control, DTR and RTS inactive, the given line settings.
  virtual bool configure(const SerialLineSettings& settings) = 0;
  virtual bool write(std::span<const std::uint8_t> bytes) = 0;
  virtual bool setRts(bool active) = 0;
  virtual bool setDtr(bool active) = 0;
  // The open descriptor, handed to the guard process; -1 when there is none.
  virtual int nativeHandle() const { return -1; }
};

struct SerialPortOpening {
  std::unique_ptr<SerialPort> port;  // nullptr when the device could not be opened
  // Why not, when the user can do something about it ("no such device"); "" otherwise.
  std::string failureReason;
};

class SerialPortOpener {
 public:
  virtual ~SerialPortOpener() = default;
  // Opens the device exclusively; nullptr when it cannot be opened.
  virtual std::unique_ptr<SerialPort> open(const std::string& devicePath) = 0;
  // The same, with the reason for a failure where there is one to tell.
  virtual SerialPortOpening openExplained(const std::string& devicePath) { return {open(devicePath), {}}; }
};

}  // namespace velmora
