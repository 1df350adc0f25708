#pragma once
// Keys and unkeys the transmitter through a serial port, by CAT command bytes or by the
// RTS or DTR line. Safe to call from the GUI thread and a worker at once.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/message_box.h"
#include "ptt/ptt_guard.h"
#include "ptt/ptt_settings.h"
#include "ptt/rig_control.h"
#include "ptt/rig_keying.h"
#include "ptt/serial_port.h"

namespace velmora {

inline constexpr const char* kPortOpenError = "Error opening com port for PTT.";
inline constexpr const char* kIllegalCatCommand = "Error with PTT control configuration (illegal CAT command)";

// The longest TX delay waited, whatever the settings say.
inline constexpr std::uint32_t kMaxTxDelayMs = 10000;

// How long a keying through Hamlib may take before the transmission goes on unkeyed, and
// how long an unkeying may hold up its caller ("Stop" on the window's thread).
inline constexpr std::chrono::milliseconds kRigKeyDeadline{5000};
inline constexpr std::chrono::milliseconds kRigUnkeyDeadline{1000};

// Maps a port number (ComPort + 1) to a device path; "" when the number has none.
using PortPathResolver = std::function<std::string(int portNumber)>;

// Appends one line (without a date) to the event log.
using LogLineWriter = std::function<void(const std::string& message)>;
class PttKeyer {
 public:
  // Without a resolver, port numbers map to devices through devicePathForPort. Why a
  // port could not be opened goes to writeLog, when the user can do something about it.
  PttKeyer(SerialPortOpener& opener, MessageBox& messages, Clock& clock, const std::atomic<int>& stopFlag,
           PortPathResolver resolvePath = {}, LogLineWriter writeLog = {});
  ~PttKeyer();
  PttKeyer(const PttKeyer&) = delete;
  PttKeyer& operator=(const PttKeyer&) = delete;

  // The Hamlib method's rigs, and how a serial rig's device is claimed (by default a
  // PortClaim, as for our own ports). Set before the first keying. Its errors are shown
  // and logged.
  void useRigs(std::shared_ptr<RigControl> rigs, PortClaimer claimer = {});
  // The guard process told of every keying, so that a killed program is unkeyed too.
  // Set before the first keying.
  void useGuard(std::shared_ptr<PttGuard> guard) { guard_ = std::move(guard); }

  PttSettings settings() const;
  void setSettings(const PttSettings& settings);

  // Opens and configures the port, sends the TX command or raises the line (or opens and
  // keys the rig), waits the TX delay. Errors are shown and the caller goes on unkeyed.
  // With the stop flag set it keys nothing.
  void keyTransmitter();
  // Undoes exactly what the last keying did and closes the port; nothing when closed.
  void unkeyTransmitter();
  // The same without a box, for a process that is ending (its display may be gone): what
  // failed is returned, and logged for Hamlib as unkeyTransmitter does.
  std::optional<std::string> unkeyWithoutBox();
  bool portOpen() const;

 private:
  struct Keying;  // what the last keying did, to be undone

  std::optional<std::string> keyLocked(const PttSettings& settings, std::string& logLine);
  void keyRig(const PttSettings& settings);
  std::optional<std::string> unkeyLocked();
  // Parses a copy of a stored command; writes the upper-cased form back to the settings
  // when the stored text has not been changed meanwhile.
  int parseStoredCommand(std::string PttSettings::*field, const std::string& text,
                         std::vector<std::uint8_t>& bytes);
  void waitTxDelay(std::uint32_t milliseconds);
  std::uint64_t armGuard(const GuardOrder& undo, const SerialPort& port);

  SerialPortOpener& opener_;
  MessageBox& messages_;
  Clock& clock_;
  const std::atomic<int>& stopFlag_;
  PortPathResolver resolvePath_;
  std::shared_ptr<RigControl> rigs_;
  PortClaimer claimer_;
  std::shared_ptr<PttGuard> guard_;
  mutable std::mutex settingsMutex_;
  LogLineWriter writeLog_;
  PttSettings settings_;
  // Held for every port operation, never while a message is shown or the delay runs.
  mutable std::mutex portMutex_;
  std::unique_ptr<Keying> keying_;
};

}  // namespace velmora
