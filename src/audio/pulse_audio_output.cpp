#include "audio/pulse_audio_output.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>

#include "audio/pulse_connection.h"
#include "audio/pulse_sound_buffer.h"
#include "audio/pulse_stream.h"

namespace velmora {
namespace {

using pulse::Connection;

class PulseAudioOutput final : public AudioOutput {
 public:
  PulseAudioOutput(std::string applicationName, std::string server)
      : applicationName_(std::move(applicationName)), server_(std::move(server)) {}

  std::vector<std::string> listDevices() override;
  void openDevice(int index) override;
  void closeDevice() override;
  bool isOpen() override;
  std::unique_ptr<SoundBuffer> createSoundBuffer(std::size_t bytes) override;
  void waitUntilHeard() override;
  void setOutputLevel(int decibels) override {
    levelDb_ = std::clamp(decibels, kMinOutputLevelDb, kMaxOutputLevelDb);
  }

 private:
  std::shared_ptr<Connection> connect() const {
    return Connection::open(applicationName_, server_, pulse::kServerTimeout);
  }
  // The sink behind list entry `index` ("" = the default), or nullopt for no entry.
  std::optional<std::string> sinkForEntry(int index) const;
  std::shared_ptr<Connection> takeConnection();
  std::shared_ptr<Connection> openSink(const std::string& sinkName) const;

  const std::string applicationName_;
  const std::string server_;
  // Guards the members below. Never held while waiting on the server, so the GUI thread
  // never waits for a worker's sound.
  mutable std::mutex mutex_;
  std::atomic<int> levelDb_{0};
  std::vector<std::string> sinkNames_{""};  // per list entry; entry 0 is the default
  std::shared_ptr<Connection> connection_;
  std::optional<std::string> openSinkName_;
  std::uint64_t choice_ = 0;  // counts device choices, to spot one made during a reconnect
};

std::vector<std::string> PulseAudioOutput::listDevices() {
  std::vector<std::string> entries{kDefaultOutputDevice};
  std::vector<std::string> names{""};
  if (auto connection = connect()) {
    for (const auto& sink : connection->sinks().value_or(std::vector<pulse::SinkEntry>{})) {
      if (entries.size() == kMaxOutputDevices) break;
      entries.push_back(sink.description);
      names.push_back(sink.name);
    }
  }
  std::lock_guard lock(mutex_);
  sinkNames_ = std::move(names);
  return entries;
}

std::optional<std::string> PulseAudioOutput::sinkForEntry(int index) const {
  if (index == -1) return std::string();
  if (index < 0 || static_cast<std::size_t>(index) >= sinkNames_.size()) return std::nullopt;
  return sinkNames_[static_cast<std::size_t>(index)];
}

std::shared_ptr<Connection> PulseAudioOutput::takeConnection() {
  std::lock_guard lock(mutex_);
  ++choice_;
  openSinkName_.reset();
  return std::exchange(connection_, nullptr);
}

std::shared_ptr<Connection> PulseAudioOutput::openSink(const std::string& sinkName) const {
  auto connection = connect();
  if (!connection) return nullptr;
  // A named sink must exist now, as a device must to be opened; the default always may.
  if (!sinkName.empty() && !connection->hasSink(sinkName).value_or(false)) return nullptr;
  return connection;
}

void PulseAudioOutput::openDevice(int index) {
  // The old device goes first; sounds still playing on it keep it until they end.
  takeConnection().reset();
  std::optional<std::string> sinkName;
  std::uint64_t choice = 0;
  {
    std::lock_guard lock(mutex_);
    sinkName = sinkForEntry(index);
    choice = choice_;
  }
  if (!sinkName) return;
  auto connection = openSink(*sinkName);
  if (!connection) return;
  std::lock_guard lock(mutex_);
  if (choice != choice_) return;  // another choice came meanwhile and wins
  connection_ = std::move(connection);
  openSinkName_ = std::move(sinkName);
}

void PulseAudioOutput::closeDevice() { takeConnection().reset(); }

bool PulseAudioOutput::isOpen() {
  std::lock_guard lock(mutex_);
  return connection_ != nullptr;
}

std::unique_ptr<SoundBuffer> PulseAudioOutput::createSoundBuffer(std::size_t bytes) {
  std::shared_ptr<Connection> connection;
  std::string sinkName;
  std::uint64_t choice = 0;
  {
    std::lock_guard lock(mutex_);
    if (!connection_ || !openSinkName_) return nullptr;
    connection = connection_;
    sinkName = *openSinkName_;
    choice = choice_;
  }
  if (!connection->usable()) {
    // The server went away or stopped answering: try it afresh for this sound.
    connection = connect();
    if (!connection) return nullptr;
    std::lock_guard lock(mutex_);
    if (choice != choice_) return nullptr;
    connection_ = connection;
  }
  return pulse::PulseSoundBuffer::create(std::move(connection), sinkName, bytes, levelDb_.load());
}

void PulseAudioOutput::waitUntilHeard() {
  std::shared_ptr<Connection> connection;
  {
    std::lock_guard lock(mutex_);
    connection = connection_;
  }
  if (!connection) return;
  Connection::Lock lock(*connection);
  connection->keptStream().waitUntilHeard();
}

}  // namespace

std::unique_ptr<AudioOutput> makePulseAudioOutput(const std::string& applicationName,
                                                  const std::string& server) {
  return std::make_unique<PulseAudioOutput>(applicationName, server);
}

}  // namespace velmora
