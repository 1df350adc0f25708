#include "render/counting_audio.h"

namespace velmora::render {

// Passes every step on and remembers whether each one succeeded.
class CountingAudio::CountedBuffer final : public SoundBuffer {
 public:
  CountedBuffer(std::unique_ptr<SoundBuffer> buffer, CountingAudio& owner, std::size_t sound)
      : buffer_(std::move(buffer)), owner_(owner), sound_(sound) {}
  ~CountedBuffer() override { owner_.record(sound_, locked_ && !failed_ && played_); }

  std::optional<std::span<std::int16_t>> lock() override {
    auto region = buffer_->lock();
    locked_ = region.has_value();
    return region;
  }
  bool unlock(std::size_t samplesWritten) override { return note(buffer_->unlock(samplesWritten)); }
  bool rewind() override { return note(buffer_->rewind()); }
  bool play() override {
    played_ = note(buffer_->play());
    return played_;
  }
  void stop(StopMode mode) override { buffer_->stop(mode); }

 private:
  bool note(bool succeeded) {
    failed_ = failed_ || !succeeded;
    return succeeded;
  }

  std::unique_ptr<SoundBuffer> buffer_;
  CountingAudio& owner_;
  std::size_t sound_;
  bool locked_ = false;
  bool failed_ = false;
  bool played_ = false;
};

std::unique_ptr<SoundBuffer> CountingAudio::createSoundBuffer(std::size_t bytes) {
  const std::size_t sound = add();
  std::unique_ptr<SoundBuffer> buffer = audio_->createSoundBuffer(bytes);
  if (!buffer) return nullptr;  // stays recorded as not played
  return std::make_unique<CountedBuffer>(std::move(buffer), *this, sound);
}

std::vector<bool> CountingAudio::outcomes() const {
  std::lock_guard lock(mutex_);
  return outcomes_;
}

std::size_t CountingAudio::add() {
  std::lock_guard lock(mutex_);
  outcomes_.push_back(false);
  return outcomes_.size() - 1;
}

void CountingAudio::record(std::size_t sound, bool played) {
  std::lock_guard lock(mutex_);
  outcomes_[sound] = played;
}

}  // namespace velmora::render
