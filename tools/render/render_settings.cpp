// The settings of a Velmora.ini that shape the sound, and the columns of a text.
#include <cstdio>

#include "render/render_internal.h"
#include "settings/ini_file.h"
#include "transmit/text_codec.h"

namespace velmora::render {

namespace {

constexpr std::size_t kTextBufferChars = 1023;
constexpr std::size_t kFlagTextChars = 255;

std::optional<std::string> rangeError(std::int32_t value, const char* name, std::int32_t minimum,
                                      std::int32_t maximum) {
  if (value >= minimum && value <= maximum) return std::nullopt;
  char message[160];
  std::snprintf(message, sizeof message, "%s out of valid range (%i..%i)", name, minimum, maximum);
  return std::string(message);
}

bool readFlagText(const IniFile& ini, const char* key) {
  return ini.readText(kSection, key, "0", kFlagTextChars) == "1";
}

}  // namespace

std::size_t largestSoundSamples(const Rendering& rendering) {
  if (rendering.tune) return kTuningToneSamples;
  const auto durationMs = static_cast<std::uint32_t>(rendering.settings.durationMs);
  if (rendering.settings.concurrent) return concurrentSampleCount(durationMs);
  return 7 * static_cast<std::size_t>(sequentialSlotLength(durationMs));
}

std::uint64_t totalSamples(const Rendering& rendering) {
  if (rendering.tune) return kTuningToneSamples;
  std::uint64_t total = 0;
  for (const std::uint8_t mask : rendering.columns) total += columnSamplesWritten(rendering.settings, mask);
  return total;
}

RenderSettings readRenderSettings(const IniFile& ini) {
  const RenderSettings defaults;
  RenderSettings settings;
  settings.concurrent = ini.readInt(kSection, "Concurrent", 1) != 0;
  settings.skipDarkPixels = ini.readInt(kSection, "Skip", 0) != 0;
  settings.maximizeAveragePower = ini.readInt(kSection, "MaxAvgPwr", 0) != 0;
  settings.frequency = ini.readInt(kSection, "Frequency", defaults.frequency);
  settings.offset = ini.readInt(kSection, "Offset", defaults.offset);
  settings.durationMs = ini.readInt(kSection, "Duration", defaults.durationMs);
  settings.text = ini.readText(kSection, "Text", "", kTextBufferChars);
  settings.pilotTone = readFlagText(ini, "PilotTone");
  settings.reverse = readFlagText(ini, "Reverse");
  return settings;
}

std::optional<std::string> transmitRangeError(const RenderSettings& settings) {
  if (auto error = tuneRangeError(settings)) return error;
  if (auto error = rangeError(settings.offset, "Pixel offset", 1, 10)) return error;
  return rangeError(settings.durationMs, "Duration", 300, 60000);
}

std::optional<std::string> tuneRangeError(const RenderSettings& settings) {
  return rangeError(settings.frequency, "Audio center frequency", 100, 3000);
}

std::string sendableText(const std::string& utf8) {
  std::string codes = utf8ToWindows1252(utf8);
  if (codes.size() > kMaxTextCharacters) codes.resize(kMaxTextCharacters);
  return codes;
}

ColumnParameters columnParameters(const RenderSettings& settings, std::uint8_t mask) {
  ColumnParameters column;
  column.mask = mask;
  column.center = settings.frequency;
  column.offset = settings.offset;
  column.reverse = settings.reverse;
  column.durationMs = static_cast<std::uint32_t>(settings.durationMs);
  column.pilotTone = settings.pilotTone;
  column.maximizeAveragePower = settings.maximizeAveragePower;
  column.skipDarkPixels = settings.skipDarkPixels;
  return column;
}

SynthesizedSound synthesizeColumn(const RenderSettings& settings, std::uint8_t mask,
                                  std::span<std::int16_t> out) {
  const ColumnParameters column = columnParameters(settings, mask);
  return settings.concurrent ? synthesizeConcurrentColumn(column, out)
                             : synthesizeSequentialColumn(column, out);
}

std::size_t columnSamplesWritten(const RenderSettings& settings, std::uint8_t mask) {
  const ColumnParameters column = columnParameters(settings, mask);
  return settings.concurrent ? concurrentSampleCount(column.durationMs) : sequentialSamplesWritten(column);
}

}  // namespace velmora::render
