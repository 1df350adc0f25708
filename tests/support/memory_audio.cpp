#include "support/memory_audio.h"

#include <algorithm>
#include <utility>

namespace velmora::testing {

// A buffer of the in-memory sound system. It must not outlive the MemoryAudio that made
// it; every step goes through the owner's lock, so workers and tests may share it.
class MemorySoundBuffer final : public SoundBuffer {
 public:
  MemorySoundBuffer(MemoryAudio& owner, int soundIndex, std::size_t bytes)
      : owner_(owner), index_(soundIndex), samples_(bytes / kBytesPerSample, 0) {}

  ~MemorySoundBuffer() override {
    owner_.record(index_, [](RecordedSound& sound) {
      sound.steps.push_back(SoundStep::Release);
      sound.released = true;
    });
    std::lock_guard lock(owner_.mutex_);
    --owner_.live_;
  }

  std::optional<std::span<std::int16_t>> lock() override {
    owner_.record(index_, [](RecordedSound& sound) { sound.steps.push_back(SoundStep::Lock); });
    if (owner_.shouldFail(SoundStep::Lock, index_)) return std::nullopt;
    return std::span<std::int16_t>(samples_);
  }

  bool unlock(std::size_t samplesWritten) override {
    owner_.record(index_, [](RecordedSound& sound) { sound.steps.push_back(SoundStep::Unlock); });
    // More samples than the buffer holds is a caller's fault, not a fill.
    if (samplesWritten > samples_.size()) return false;
    if (owner_.shouldFail(SoundStep::Unlock, index_)) return false;
    const auto written = std::span<const std::int16_t>(samples_).first(samplesWritten);
    owner_.record(index_, [&](RecordedSound& sound) {
      sound.samples.assign(written.begin(), written.end());
      sound.samplesWritten = samplesWritten;
    });
    return true;
  }

  bool rewind() override {
    owner_.record(index_, [](RecordedSound& sound) { sound.steps.push_back(SoundStep::Rewind); });
    return !owner_.shouldFail(SoundStep::Rewind, index_);
  }

  bool play() override {
    const std::uint32_t tick = owner_.ticks();
    const bool fails = owner_.shouldFail(SoundStep::Play, index_);
    owner_.record(index_, [&](RecordedSound& sound) {
      sound.steps.push_back(SoundStep::Play);
      if (fails) return;
      sound.played = true;
      sound.playTick = tick;
    });
    return !fails;
  }

  void stop(StopMode mode) override {
    const std::uint32_t tick = owner_.ticks();
    owner_.record(index_, [&](RecordedSound& sound) {
      sound.steps.push_back(SoundStep::Stop);
      sound.stopTick = tick;
      sound.stopMode = mode;
    });
  }

 private:
  MemoryAudio& owner_;
  int index_;
  std::vector<std::int16_t> samples_;
};

MemoryAudio::MemoryAudio(Clock* clock, std::vector<std::string> devices)
    : clock_(clock), devices_(std::move(devices)) {
  if (devices_.size() > kMaxOutputDevices) devices_.resize(kMaxOutputDevices);
}

std::vector<std::string> MemoryAudio::listDevices() {
  std::lock_guard lock(mutex_);
  return devices_;
}

void MemoryAudio::openDevice(int index) {
  std::lock_guard lock(mutex_);
  open_ = false;  // the old device goes first, whatever happens to the new one
  const bool known = index == -1 || (index >= 0 && static_cast<std::size_t>(index) < devices_.size());
  if (failOpen_ || !known) return;
  open_ = true;
  openedIndex_ = index;
}

void MemoryAudio::closeDevice() {
  std::lock_guard lock(mutex_);
  open_ = false;
}

bool MemoryAudio::isOpen() {
  std::lock_guard lock(mutex_);
  return open_;
}

std::unique_ptr<SoundBuffer> MemoryAudio::createSoundBuffer(std::size_t bytes) {
  int index = 0;
  {
    std::lock_guard lock(mutex_);
    index = static_cast<int>(sounds_.size());
    RecordedSound sound;
    sound.bytes = bytes;
    sound.steps.push_back(SoundStep::Create);
    sounds_.push_back(std::move(sound));
    if (!open_) return nullptr;
  }
  if (shouldFail(SoundStep::Create, index)) return nullptr;
  {
    std::lock_guard lock(mutex_);
    ++live_;
  }
  return std::make_unique<MemorySoundBuffer>(*this, index, bytes);
}

void MemoryAudio::failStep(SoundStep step, int soundIndex) {
  std::lock_guard lock(mutex_);
  failures_.push_back({step, soundIndex});
}

void MemoryAudio::failOpen(bool fail) {
  std::lock_guard lock(mutex_);
  failOpen_ = fail;
}

std::vector<RecordedSound> MemoryAudio::sounds() const {
  std::lock_guard lock(mutex_);
  return sounds_;
}

int MemoryAudio::openedIndex() const {
  std::lock_guard lock(mutex_);
  return openedIndex_;
}

int MemoryAudio::liveBuffers() const {
  std::lock_guard lock(mutex_);
  return live_;
}

bool MemoryAudio::shouldFail(SoundStep step, int soundIndex) const {
  std::lock_guard lock(mutex_);
  return std::any_of(failures_.begin(), failures_.end(), [&](const Failure& failure) {
    return failure.step == step && (failure.soundIndex == -1 || failure.soundIndex == soundIndex);
  });
}

void MemoryAudio::record(int soundIndex, const std::function<void(RecordedSound&)>& change) {
  std::lock_guard lock(mutex_);
  change(sounds_.at(static_cast<std::size_t>(soundIndex)));
}

std::uint32_t MemoryAudio::ticks() const { return clock_ ? clock_->tickCount() : 0; }

}  // namespace velmora::testing
