#pragma once
// The program's own view of the sound system: a short list of output devices, one open
// device, and play-once sound buffers (create, lock, fill, unlock, rewind, play, wait,
// stop, release). Backends: libpulse for the program, an in-memory one for tests.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// 16-bit signed little-endian mono PCM.
inline constexpr std::uint32_t kSampleRate = 11025;
inline constexpr std::uint32_t kBytesPerSample = 2;
// At most this many entries in the "Output sound device" list.
inline constexpr std::size_t kMaxOutputDevices = 10;
inline constexpr const char* kDefaultOutputDevice = "Default output device";

enum class StopMode {
  Drain,  // the sound ended by its limit: let what was written play out (bounded)
  Flush,  // a stop was requested or a step failed: silence at once
};

// One sound. Destroying it releases it.
class SoundBuffer {
 public:
  virtual ~SoundBuffer() = default;
  // The whole buffer as one region of floor(bytes / 2) samples, all zero; nullopt when
  // the lock fails.
  virtual std::optional<std::span<std::int16_t>> lock() = 0;
  // Ends the fill; only the first samplesWritten samples will ever be heard.
  virtual bool unlock(std::size_t samplesWritten) = 0;
  virtual bool rewind() = 0;
  // Plays once from the start, never looping.
  virtual bool play() = 0;
  virtual void stop(StopMode mode) = 0;
};

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // The list's entries: "Default output device" first, then the server's sinks by
  // description, at most kMaxOutputDevices in all. Without a sound server, only the first.
  virtual std::vector<std::string> listDevices() = 0;
  // Releases the open device (if any) and opens list entry `index` from the last
  // listDevices(); -1 (no selection) opens the default. Fails silently.
  virtual void openDevice(int index) = 0;
  virtual void closeDevice() = 0;
  virtual bool isOpen() = 0;
  // A new silent buffer of `bytes` bytes; nullptr when it cannot be made (no device open,
  // server gone, ...).
  virtual std::unique_ptr<SoundBuffer> createSoundBuffer(std::size_t bytes) = 0;
  // A sound's normal end returns once the sound system has the whole sound, so that the
  // next one follows closely; its end may still be on the way to the device. This waits
  // (bounded) until it has been heard: the transmitter stays keyed until then.
  virtual void waitUntilHeard() {}
  // The drive level, 0 down to -30 dB, applied by the sound server as the volume of the
  // sounds that follow: the samples written stay exact.
  virtual void setOutputLevel(int decibels) { (void)decibels; }
};

inline constexpr int kMinOutputLevelDb = -30;
inline constexpr int kMaxOutputLevelDb = 0;

}  // namespace velmora
