// The WAV file and the --report lines.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <span>

#include "render/render_internal.h"

namespace velmora::render {

namespace {

constexpr std::size_t kWavHeaderBytes = 44;
// RIFF sizes are 32-bit: the data chunk can hold at most this many samples.
constexpr std::uint64_t kMaxWavSamples =
    (std::numeric_limits<std::uint32_t>::max() - (kWavHeaderBytes - 8)) / 2;

void appendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value, int byteCount) {
  for (int i = 0; i < byteCount; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

bool writeSamples(std::ostream& stream, std::span<const std::int16_t> samples) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(samples.size() * 2);
  for (const std::int16_t sample : samples) {
    appendLittleEndian(bytes, static_cast<std::uint16_t>(sample), 2);
  }
  stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(stream);
}

}  // namespace

bool Report::open(const std::optional<std::string>& path) {
  if (!path) return true;
  stream_.open(*path, std::ios::binary | std::ios::trunc);
  return stream_.is_open();
}

void Report::add(const std::string& line) {
  if (stream_.is_open()) stream_ << line << '\n';
}

bool Report::finish() {
  if (!stream_.is_open()) return true;
  stream_.close();
  return !stream_.fail();
}

int writeWav(const Rendering& rendering, const std::string& path, Report& report, Environment& env) {
  const std::uint64_t samples = totalSamples(rendering);
  if (samples > kMaxWavSamples) {
    env.err << "The rendering is too long for a WAV file\n";
    return kExitBadInput;
  }
  std::ofstream wav(path, std::ios::binary | std::ios::trunc);
  const auto failWrite = [&] {
    wav.close();
    std::filesystem::remove(path);
    env.err << "Cannot write '" << path << "'\n";
    return kExitBadInput;
  };
  if (!wav.is_open()) {
    env.err << "Cannot write '" << path << "'\n";
    return kExitBadInput;
  }
  const std::vector<std::uint8_t> header = wavHeader(static_cast<std::uint32_t>(samples));
  wav.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));

  std::vector<std::int16_t> buffer(largestSoundSamples(rendering));
  if (rendering.tune) {
    const PowerFigures figures =
        synthesizeTuningTone(rendering.settings.frequency, rendering.settings.concurrent, buffer);
    if (!writeSamples(wav, buffer)) return failWrite();
    report.add(tuneReportLine(figures));
  }
  for (std::size_t index = 0; index < rendering.columns.size(); ++index) {
    if (env.stopFlag.load() != 0) {
      wav.close();
      std::filesystem::remove(path);
      return kExitInterrupted;
    }
    const std::uint8_t mask = rendering.columns[index];
    const SynthesizedSound sound = synthesizeColumn(rendering.settings, mask, buffer);
    if (!writeSamples(wav, std::span(buffer).first(sound.samplesWritten))) return failWrite();
    report.add(reportLine(index, mask, sound));
  }
  wav.close();
  if (wav.fail()) return failWrite();
  return kExitOk;
}

std::string reportLine(std::size_t index, std::uint8_t mask, const SynthesizedSound& sound) {
  char maskText[3];
  std::snprintf(maskText, sizeof maskText, "%02x", static_cast<unsigned>(mask));
  return std::to_string(index) + ' ' + maskText + ' ' + std::to_string(sound.pixelCount) + ' ' +
         formatPowerPercent(sound.power.average) + ' ' + formatPowerPercent(sound.power.peak);
}

std::string tuneReportLine(const PowerFigures& figures) {
  return "tune " + formatPowerPercent(figures.average) + ' ' + formatPowerPercent(figures.peak);
}

std::vector<std::uint8_t> wavHeader(std::uint32_t sampleCount) {
  const std::uint32_t dataBytes = sampleCount * kBytesPerSample;
  std::vector<std::uint8_t> header;
  header.reserve(kWavHeaderBytes);
  const auto tag = [&](const char* text) { header.insert(header.end(), text, text + 4); };
  tag("RIFF");
  appendLittleEndian(header, static_cast<std::uint32_t>(kWavHeaderBytes - 8) + dataBytes, 4);
  tag("WAVE");
  tag("fmt ");
  appendLittleEndian(header, 16, 4);  // size of the format chunk
  appendLittleEndian(header, 1, 2);   // PCM
  appendLittleEndian(header, 1, 2);   // mono
  appendLittleEndian(header, kSampleRate, 4);
  appendLittleEndian(header, kSampleRate * kBytesPerSample, 4);
  appendLittleEndian(header, kBytesPerSample, 2);
  appendLittleEndian(header, 16, 2);
  tag("data");
  appendLittleEndian(header, dataBytes, 4);
  return header;
}

}  // namespace velmora::render
