#include "render/wav_reader.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace velmora::render {

namespace {

std::uint32_t little(const std::vector<unsigned char>& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(b[at + static_cast<std::size_t>(i)]) << (8 * i);
  return v;
}

float sampleAt(const std::vector<unsigned char>& b, std::size_t at, int bits, bool isFloat) {
  if (isFloat) {
    const std::uint32_t raw = little(b, at, 4);
    float f = 0.0f;
    std::memcpy(&f, &raw, sizeof f);
    return f;
  }
  if (bits == 8) return (static_cast<float>(b[at]) - 128.0f) / 128.0f;
  const std::uint32_t raw = little(b, at, bits / 8);
  // Sign-extend from the sample's own width.
  const auto value = static_cast<std::int32_t>(raw << (32 - bits)) >> (32 - bits);
  return static_cast<float>(static_cast<double>(value) / static_cast<double>(1u << (bits - 1)));
}

}  // namespace

std::optional<Recording> readWav(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "Cannot read '" + path + "'";
    return std::nullopt;
  }
  const std::vector<unsigned char> b((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  error = "'" + path + "' is not a WAV file of PCM or float samples";
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
    return std::nullopt;
  int format = 0, channels = 0, bits = 0;
  std::uint32_t rate = 0;
  for (std::size_t at = 12; at + 8 <= b.size();) {
    const std::uint32_t size = little(b, at + 4, 4);
    const std::size_t body = at + 8;
    const std::size_t available = std::min<std::size_t>(size, b.size() - body);
    if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && available >= 16) {
      format = static_cast<int>(little(b, body, 2));
      channels = static_cast<int>(little(b, body + 2, 2));
      rate = little(b, body + 4, 4);
      bits = static_cast<int>(little(b, body + 14, 2));
      if (format == 0xFFFE && available >= 26) format = static_cast<int>(little(b, body + 24, 2));
    } else if (std::memcmp(b.data() + at, "data", 4) == 0) {
      const bool isFloat = format == 3 && bits == 32;
      const bool isPcm = format == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
      if ((!isFloat && !isPcm) || channels < 1 || rate == 0) return std::nullopt;
      const std::size_t frameBytes = static_cast<std::size_t>(channels) * static_cast<std::size_t>(bits / 8);
      Recording recording;
      recording.sampleRate = rate;
      for (std::size_t frame = body; frame + frameBytes <= body + available; frame += frameBytes) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c) sum += sampleAt(b, frame + static_cast<std::size_t>(c * bits / 8), bits, isFloat);
        recording.samples.push_back(sum / static_cast<float>(channels));
      }
      error.clear();
      return recording;
    }
    at = body + size + (size & 1u);
  }
  return std::nullopt;
}

}  // namespace velmora::render
