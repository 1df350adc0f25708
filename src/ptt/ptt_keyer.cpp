#include "ptt/ptt_keyer.h"

#include <algorithm>

#include "ptt/hex_command.h"
#include "ptt/line_settings.h"
#include "ptt/port_claim.h"
#include "ptt/port_names.h"

namespace velmora {

namespace {

enum class KeyingMethod { Cat, Rts, Dtr, Hamlib };

KeyingMethod methodOf(const PttSettings& settings) {
  if (settings.CAT != 0) return KeyingMethod::Cat;
  return settings.RTS != 0 ? KeyingMethod::Rts : KeyingMethod::Dtr;
}

constexpr std::uint32_t kDelayStepMs = 10;

}  // namespace

// Everything unkeying needs, taken at keying so that a dialog change in between cannot
// leave the port open or the line raised.
struct PttKeyer::Keying {
  std::unique_ptr<SerialPort> port;  // CAT, RTS and DTR
  std::shared_ptr<RigKeying> rig;    // Hamlib
  KeyingMethod method;
  std::string rxCommand;
  std::uint64_t guardToken = 0;
};

PttKeyer::PttKeyer(SerialPortOpener& opener, MessageBox& messages, Clock& clock,
                   const std::atomic<int>& stopFlag, PortPathResolver resolvePath, LogLineWriter writeLog)
    : opener_(opener),
      messages_(messages),
      clock_(clock),
      stopFlag_(stopFlag),
      resolvePath_(std::move(resolvePath)),
      writeLog_(std::move(writeLog)) {
  if (!resolvePath_) {
    resolvePath_ = [](int portNumber) { return devicePathForPort(portNumber); };
  }
}

PttKeyer::~PttKeyer() = default;

void PttKeyer::useRigs(std::shared_ptr<RigControl> rigs, PortClaimer claimer) {
  rigs_ = std::move(rigs);
  claimer_ = std::move(claimer);
  if (!claimer_) {
    claimer_ = [](const std::string& path, std::string& reason) -> std::shared_ptr<const void> {
      auto claim = std::make_shared<PortClaim>(PortClaim::claim(path));
      if (!*claim) {
        reason = claim->reason();
        return nullptr;
      }
      return claim;
    };
  }
}

PttSettings PttKeyer::settings() const {
  std::lock_guard lock(settingsMutex_);
  return settings_;
}

void PttKeyer::setSettings(const PttSettings& settings) {
  std::lock_guard lock(settingsMutex_);
  settings_ = settings;
}

bool PttKeyer::portOpen() const {
  std::lock_guard lock(portMutex_);
  return keying_ != nullptr;
}

void PttKeyer::keyTransmitter() {
  const PttSettings settings = this->settings();
  if (settings.UsePTTControl == 0) return;
  if (settings.Hamlib != 0) return keyRig(settings);

  std::optional<std::string> message;
  std::string logLine;
  bool keyed = false;
  {
    std::lock_guard lock(portMutex_);
    // Looked at under the port lock: "Stop" sets the flag before it unkeys, so either it
    // finds this keying to undo or this keying sees its flag.
    if (stopFlag_.load() != 0) return;
    message = keyLocked(settings, logLine);
    keyed = keying_ != nullptr;
  }
  // Logged before its box waits for the user; shown without the lock, so that "Stop" can
  // unkey while the box is up.
  if (!logLine.empty() && writeLog_) writeLog_(logLine);
  if (message) showVelmoraMessage(messages_, *message);
  if (keyed) waitTxDelay(settings.TXDelay);
}

void PttKeyer::keyRig(const PttSettings& settings) {
  const RigTarget target{settings.HamlibModel, settings.HamlibPort, settings.HamlibSpeed};
  const RigModel model = rigs_ ? rigs_->model(target.model) : RigModel{};
  const std::string name = model.number != 0 ? model.name : "model " + std::to_string(target.model);
  auto rig =
      std::make_shared<RigKeying>(rigs_, target, name + " on " + target.port, model.serial, claimer_, guard_);
  {
    std::lock_guard lock(portMutex_);
    // Under the lock: "Stop" sets the flag before it unkeys, so either it finds this
    // keying to undo or this keying sees its flag.
    if (stopFlag_.load() != 0) return;
    if (keying_) (void)unkeyLocked();
    keying_ = std::make_unique<Keying>(Keying{nullptr, rig, KeyingMethod::Hamlib, {}, 0});
  }
  // Waited for without the lock, so that "Stop" can unkey meanwhile.
  const RigKeyingResult result = rig->key(kRigKeyDeadline);
  if (!result.keyed) {
    std::lock_guard lock(portMutex_);
    if (keying_ && keying_->rig == rig) keying_.reset();  // nothing to undo
  }
  // Logged when it happens, before its box waits for the user.
  if (!result.logLine.empty() && writeLog_) writeLog_(result.logLine);
  if (result.message) showVelmoraMessage(messages_, *result.message);
  if (result.keyed) waitTxDelay(settings.TXDelay);
}

void PttKeyer::unkeyTransmitter() {
  if (const auto message = unkeyWithoutBox()) showVelmoraMessage(messages_, *message);
}

std::optional<std::string> PttKeyer::unkeyWithoutBox() {
  std::optional<std::string> message;
  bool rig = false;
  {
    std::lock_guard lock(portMutex_);
    rig = keying_ && keying_->rig;
    message = unkeyLocked();
  }
  if (message && rig && writeLog_) writeLog_(*message);  // Hamlib's errors go to the log too
  return message;
}

std::optional<std::string> PttKeyer::keyLocked(const PttSettings& settings, std::string& logLine) {
  // A keying that was never undone would hold the port, and an exclusive open would
  // then fail with the transmitter left keyed: undo it first.
  if (keying_) (void)unkeyLocked();

  const std::string path = resolvePath_(portNumberForIndex(settings.ComPort));
  SerialPortOpening opening = path.empty() ? SerialPortOpening{} : opener_.openExplained(path);
  std::unique_ptr<SerialPort> port = std::move(opening.port);
  if (!port && !opening.failureReason.empty()) logLine = "PTT port " + path + ": " + opening.failureReason;
  if (!port || !port->configure(lineSettingsFor(settings))) return kPortOpenError;

  auto keying =
      std::make_unique<Keying>(Keying{std::move(port), nullptr, methodOf(settings), settings.RXCommand, 0});
  std::optional<std::string> message;
  switch (keying->method) {
    case KeyingMethod::Cat: {
      std::vector<std::uint8_t> bytes;
      if (parseStoredCommand(&PttSettings::TXCommand, settings.TXCommand, bytes) > 0) {
        GuardOrder undo{GuardOrder::Kind::Cat, {}, {}, false};
        std::string rx = settings.RXCommand;
        if (parseHexCommand(rx, undo.rxBytes) > 0) keying->guardToken = armGuard(undo, *keying->port);
        keying->port->write(bytes);
      } else {
        message = kIllegalCatCommand;  // the port stays open for the unkeying
      }
      break;
    }
    case KeyingMethod::Rts:
      keying->guardToken = armGuard(GuardOrder{GuardOrder::Kind::Rts, {}, {}, false}, *keying->port);
      keying->port->setRts(true);
      break;
    case KeyingMethod::Dtr:
      keying->guardToken = armGuard(GuardOrder{GuardOrder::Kind::Dtr, {}, {}, false}, *keying->port);
      keying->port->setDtr(true);
      break;
    case KeyingMethod::Hamlib:
      break;  // keyed by keyRig
  }
  keying_ = std::move(keying);
  return message;
}

std::optional<std::string> PttKeyer::unkeyLocked() {
  if (!keying_) return std::nullopt;
  const std::unique_ptr<Keying> keying = std::move(keying_);
  std::optional<std::string> message;
  switch (keying->method) {
    case KeyingMethod::Cat: {
      std::vector<std::uint8_t> bytes;
      if (parseStoredCommand(&PttSettings::RXCommand, keying->rxCommand, bytes) > 0) {
        keying->port->write(bytes);
      } else {
        message = kIllegalCatCommand;
      }
      break;
    }
    case KeyingMethod::Rts:
      keying->port->setRts(false);
      break;
    case KeyingMethod::Dtr:
      keying->port->setDtr(false);
      break;
    case KeyingMethod::Hamlib:
      message = keying->rig->unkey(kRigUnkeyDeadline);
      break;
  }
  // Told after the unkeying, and before our port closes: the guard lets go of it first.
  if (guard_) guard_->disarm(keying->guardToken);
  return message;  // the port closes with keying, before the message is shown
}

std::uint64_t PttKeyer::armGuard(const GuardOrder& undo, const SerialPort& port) {
  return guard_ ? guard_->arm(undo, port.nativeHandle()) : 0;
}

int PttKeyer::parseStoredCommand(std::string PttSettings::*field, const std::string& text,
                                 std::vector<std::uint8_t>& bytes) {
  std::string parsed = text;
  const int count = parseHexCommand(parsed, bytes);
  std::lock_guard lock(settingsMutex_);
  // The stored command keeps its upper-cased form, unless the dialog replaced it meanwhile.
  if (settings_.*field == text) settings_.*field = parsed;
  return count;
}

void PttKeyer::waitTxDelay(std::uint32_t milliseconds) {
  std::uint32_t remaining = std::min(milliseconds, kMaxTxDelayMs);
  while (remaining > 0 && stopFlag_.load() == 0) {
    const std::uint32_t step = std::min(remaining, kDelayStepMs);
    clock_.sleepMs(step);
    remaining -= step;
  }
}

}  // namespace velmora
