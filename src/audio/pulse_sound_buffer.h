#pragma once
// A play-once sound on the sound server: its samples go to the server in one write at
// play, on the stream that the sound before it left running on the same sink, or else on
// a new stream, connected corked and started at play. A normal end waits until the
// server has taken in every sample and leaves the stream running for the next sound; a
// stop or a failure closes the stream.

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_output.h"
#include "audio/pulse_connection.h"
#include "audio/pulse_stream.h"

namespace velmora::pulse {

class PulseSoundBuffer final : public SoundBuffer {
 public:
  // An empty sinkName plays on the server's default sink and follows it; a named sink is
  // kept, and the sound fails with it when it goes away. nullptr when the stream cannot
  // be made. levelDb (0 or less) is the stream's volume.
  static std::unique_ptr<PulseSoundBuffer> create(std::shared_ptr<Connection> connection,
                                                  const std::string& sinkName, std::size_t bytes,
                                                  int levelDb = 0);
  ~PulseSoundBuffer() override;

  std::optional<std::span<std::int16_t>> lock() override;
  bool unlock(std::size_t samplesWritten) override;
  bool rewind() override;
  bool play() override;
  void stop(StopMode mode) override;

 private:
  PulseSoundBuffer(std::shared_ptr<Connection> connection, std::size_t bytes);
  bool connectStream(const std::string& sinkName);
  bool streamReady() const;
  // Waits (bounded) until the server has taken in every written sample.
  bool takenInWhole();
  void release();

  // Keeps the connection alive for as long as this sound exists, whatever the device
  // choice does meanwhile.
  std::shared_ptr<Connection> connection_;
  pa_stream* stream_ = nullptr;
  std::string sinkName_;
  int levelDb_ = 0;
  std::vector<std::int16_t> samples_;
  std::size_t samplesWritten_ = 0;
  std::int64_t end_ = 0;  // the stream index after the sound's last byte
  bool written_ = false;
  bool corked_ = false;  // a new stream, not started yet
  bool playing_ = false;
};

}  // namespace velmora::pulse
