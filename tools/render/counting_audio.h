#pragma once
// The tool's sound output: the real one, with a record of which sounds went through
// their whole life cycle, for the --report and for the exit code.

#include <memory>
#include <mutex>
#include <vector>

#include "audio/audio_output.h"

namespace velmora::render {

class CountingAudio final : public AudioOutput {
 public:
  explicit CountingAudio(std::unique_ptr<AudioOutput> audio) : audio_(std::move(audio)) {}

  std::vector<std::string> listDevices() override { return audio_->listDevices(); }
  void openDevice(int index) override { audio_->openDevice(index); }
  void closeDevice() override { audio_->closeDevice(); }
  bool isOpen() override { return audio_->isOpen(); }
  std::unique_ptr<SoundBuffer> createSoundBuffer(std::size_t bytes) override;

  // One entry per sound asked for, in order: true when every step of it succeeded.
  std::vector<bool> outcomes() const;

 private:
  class CountedBuffer;
  void record(std::size_t sound, bool played);
  std::size_t add();

  std::unique_ptr<AudioOutput> audio_;
  mutable std::mutex mutex_;
  std::vector<bool> outcomes_;
};

}  // namespace velmora::render
