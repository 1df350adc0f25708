#pragma once
// Reading a recording for --decode: RIFF WAVE with 8-, 16-, 24- or 32-bit integer or
// 32-bit float samples, any rate, any number of channels (mixed to one).

#include <optional>
#include <string>
#include <vector>

namespace velmora::render {

struct Recording {
  std::vector<float> samples;  // mono, full scale 1
  double sampleRate = 0.0;
};

// nullopt with `error` set when the file cannot be read or is not such a WAV file.
std::optional<Recording> readWav(const std::string& path, std::string& error);

}  // namespace velmora::render
