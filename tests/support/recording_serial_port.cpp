#include "support/recording_serial_port.h"

#include <cstdio>

namespace velmora::testing {

struct RecordingSerialPortOpener::State {
  mutable std::mutex mutex;
  std::vector<std::string> events;
  std::optional<SerialLineSettings> lastLineSettings;
  int openPorts = 0;
  bool openFails = false;
  bool configureFails = false;
  bool vanished = false;

  // Records the event; returns false when the device has vanished.
  bool record(const std::string& event, bool canVanish) {
    std::lock_guard lock(mutex);
    const bool fails = canVanish && vanished;
    events.push_back(fails ? event + " failed" : event);
    return !fails;
  }
};

namespace {

class RecordingSerialPort final : public SerialPort {
 public:
  explicit RecordingSerialPort(std::shared_ptr<RecordingSerialPortOpener::State> state)
      : state_(std::move(state)) {}

  ~RecordingSerialPort() override {
    std::lock_guard lock(state_->mutex);
    state_->events.push_back("close");
    --state_->openPorts;
  }

  bool configure(const SerialLineSettings& settings) override {
    std::lock_guard lock(state_->mutex);
    state_->lastLineSettings = settings;
    state_->events.push_back(state_->configureFails ? "configure failed" : "configure");
    return !state_->configureFails;
  }

  bool write(std::span<const std::uint8_t> bytes) override {
    return state_->record("write " + hexBytes({bytes.begin(), bytes.end()}), true);
  }
  bool setRts(bool active) override { return state_->record(active ? "rts on" : "rts off", true); }
  bool setDtr(bool active) override { return state_->record(active ? "dtr on" : "dtr off", true); }

 private:
  std::shared_ptr<RecordingSerialPortOpener::State> state_;
};

}  // namespace

RecordingSerialPortOpener::RecordingSerialPortOpener() : state_(std::make_shared<State>()) {}

std::unique_ptr<SerialPort> RecordingSerialPortOpener::open(const std::string& devicePath) {
  std::lock_guard lock(state_->mutex);
  if (state_->openFails) {
    state_->events.push_back("open " + devicePath + " failed");
    return nullptr;
  }
  state_->events.push_back("open " + devicePath);
  ++state_->openPorts;
  return std::make_unique<RecordingSerialPort>(state_);
}

void RecordingSerialPortOpener::setOpenFails(bool fails) {
  std::lock_guard lock(state_->mutex);
  state_->openFails = fails;
}

void RecordingSerialPortOpener::setConfigureFails(bool fails) {
  std::lock_guard lock(state_->mutex);
  state_->configureFails = fails;
}

void RecordingSerialPortOpener::setPortVanished(bool vanished) {
  std::lock_guard lock(state_->mutex);
  state_->vanished = vanished;
}

std::vector<std::string> RecordingSerialPortOpener::events() const {
  std::lock_guard lock(state_->mutex);
  return state_->events;
}

void RecordingSerialPortOpener::clearEvents() {
  std::lock_guard lock(state_->mutex);
  state_->events.clear();
}

std::optional<SerialLineSettings> RecordingSerialPortOpener::lastLineSettings() const {
  std::lock_guard lock(state_->mutex);
  return state_->lastLineSettings;
}

int RecordingSerialPortOpener::openPortCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->openPorts;
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (const auto byte : bytes) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(byte));
    if (!text.empty()) text += ' ';
    text += digits;
  }
  return text;
}

}  // namespace velmora::testing
