#pragma once
// An in-memory sound system for tests: records every step of every sound, what was
// written and when it was played (by an injected clock), and can be told to fail any
// single step.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_output.h"
#include "core/clock.h"

namespace velmora::testing {

enum class SoundStep { Create, Lock, Unlock, Rewind, Play, Stop, Release };

struct RecordedSound {
  std::size_t bytes = 0;                 // size asked for at creation
  std::vector<SoundStep> steps;          // in call order
  std::vector<std::int16_t> samples;     // the samples handed to unlock (first samplesWritten)
  std::size_t samplesWritten = 0;
  bool played = false;
  std::uint32_t playTick = 0;            // clock tick at play
  std::uint32_t stopTick = 0;            // clock tick at stop
  StopMode stopMode = StopMode::Flush;
  bool released = false;
};

class MemoryAudio final : public AudioOutput {
 public:
  // clock may be null; ticks are then recorded as 0.
  explicit MemoryAudio(Clock* clock = nullptr, std::vector<std::string> devices = {kDefaultOutputDevice});

  std::vector<std::string> listDevices() override;
  void openDevice(int index) override;
  void closeDevice() override;
  bool isOpen() override;
  std::unique_ptr<SoundBuffer> createSoundBuffer(std::size_t bytes) override;
  void setOutputLevel(int decibels) override { level_ = decibels; }
  int outputLevel() const { return level_; }

  // Make `step` fail for the sound with this index (0 = the first sound created from
  // now on counts as 0 too, i.e. indices count every createSoundBuffer call); -1: every sound.
  void failStep(SoundStep step, int soundIndex = -1);
  void failOpen(bool fail);

  std::vector<RecordedSound> sounds() const;
  int openedIndex() const;   // the index of the last openDevice call that succeeded, or -2
  int liveBuffers() const;   // buffers created and not yet released

 private:
  friend class MemorySoundBuffer;
  struct Failure {
    SoundStep step;
    int soundIndex;
  };
  bool shouldFail(SoundStep step, int soundIndex) const;
  void record(int soundIndex, const std::function<void(RecordedSound&)>& change);
  std::uint32_t ticks() const;

  Clock* clock_;
  std::vector<std::string> devices_;
  mutable std::mutex mutex_;
  std::vector<Failure> failures_;
  bool failOpen_ = false;
  bool open_ = false;
  int openedIndex_ = -2;
  int live_ = 0;
  std::atomic<int> level_{0};
  std::vector<RecordedSound> sounds_;
};

}  // namespace velmora::testing
