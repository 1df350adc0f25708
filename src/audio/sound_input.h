#pragma once
// Sound coming in: a receiver's audio, for reading text back. A small interface so that
// the decoder's callers can be tested with samples of their own.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

struct InputEntry {
  std::string name;         // stable: what a setting stores
  std::string description;  // what the user reads
};

class SoundInput {
 public:
  virtual ~SoundInput() = default;
  // Fills `out` with the next samples (mono, at the rate it was opened with), blocking
  // until they are there. False when the input has failed or gone.
  virtual bool read(std::span<float> out) = 0;
};

}  // namespace velmora
