#pragma once
// Keys and unkeys the transmitter through a serial port, by CAT command bytes or by the
// RTS or DTR line. Safe to call from the GUI thread and a worker at once.

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "core/clock.h"
#include "core/message_box.h"
#include "ptt/ptt_settings.h"
#include "ptt/serial_port.h"

namespace velmora {

inline constexpr const char* kPortOpenError = "Error opening com port for PTT.";
inline constexpr const char* kIllegalCatCommand = "Error with PTT control configuration (illegal CAT command)";

class PttKeyer {
 public:
  PttKeyer(SerialPortOpener& opener, MessageBox& messages, Clock& clock, const std::atomic<int>& stopFlag);
  ~PttKeyer();

  PttSettings settings() const;
  void setSettings(const PttSettings& settings);

  // Opens and configures the port, sends the TX command or raises the line, waits the TX
  // delay. Errors are shown and the caller goes on unkeyed.
  void keyTransmitter();
  // Undoes exactly what the last keying did and closes the port; nothing when closed.
  void unkeyTransmitter();
  bool portOpen() const;

 private:
  struct Keying;  // what the last keying did, to be undone
  SerialPortOpener& opener_;
  MessageBox& messages_;
  Clock& clock_;
  const std::atomic<int>& stopFlag_;
  mutable std::mutex settingsMutex_;
  PttSettings settings_;
  mutable std::mutex portMutex_;
  std::unique_ptr<Keying> keying_;
};

}  // namespace velmora
