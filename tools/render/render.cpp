#include "render/render.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <ostream>

#include "audio/playback.h"
#include "settings/ini_file.h"
#include "transmit/text_codec.h"

namespace velmora::render {

namespace {

constexpr const char* kSection = "Velmora";
constexpr const char* kSettingsFileName = "Velmora.ini";
constexpr std::size_t kTextBufferChars = 1023;
constexpr std::size_t kFlagTextChars = 255;
constexpr std::size_t kWavHeaderBytes = 44;
// RIFF sizes are 32-bit: the data chunk can hold at most this many samples.
constexpr std::uint64_t kMaxWavSamples =
    (std::numeric_limits<std::uint32_t>::max() - (kWavHeaderBytes - 8)) / 2;

// Poll periods and limits of the playback wait, as the program uses them.
constexpr std::uint32_t kConcurrentPollMs = 100;
constexpr std::uint32_t kSequentialPollMs = 10;
constexpr std::uint32_t kTunePollMs = 100;
constexpr std::uint32_t kTuneLimitMs = 10000;

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

// What is sent: the tuning tone, or the columns of a text.
struct Rendering {
  RenderSettings settings;
  bool tune = false;
  std::vector<std::uint8_t> columns;
};

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

std::string joinPath(const std::string& folder, const std::string& name) {
  return (std::filesystem::path(folder) / name).string();
}

// The glyphs of the font named on the command line, or of the first font found where
// the program looks for it. A missing font is reported and leaves every glyph blank.
GlyphTable loadFont(const Options& options, const Environment& env) {
  std::string path;
  if (options.fontPath) {
    path = *options.fontPath;
  } else {
    path = findFontFile(env.currentDirectory, fontSearchFolders(env.programDirectory));
  }
  GlyphTable glyphs;
  if (path.empty() || !loadGlyphFont(path, glyphs)) env.err << fontMissingMessage() << '\n';
  return glyphs;
}

// The settings file named on the command line must be readable; the default one may
// be missing (its defaults then apply).
std::optional<RenderSettings> loadSettings(const Options& options, const Environment& env) {
  IniFile ini;
  if (options.settingsPath) {
    if (!ini.load(*options.settingsPath)) {
      env.err << "Cannot read settings file '" << *options.settingsPath << "'\n";
      return std::nullopt;
    }
  } else {
    ini.load(joinPath(env.currentDirectory, kSettingsFileName));
  }
  return readRenderSettings(ini);
}

class Report {
 public:
  bool open(const std::optional<std::string>& path) {
    if (!path) return true;
    stream_.open(*path, std::ios::binary | std::ios::trunc);
    return stream_.is_open();
  }
  void add(const std::string& line) {
    if (stream_.is_open()) stream_ << line << '\n';
  }
  bool finish() {
    if (!stream_.is_open()) return true;
    stream_.close();
    return !stream_.fail();
  }

 private:
  std::ofstream stream_;
};

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

struct PlaybackWait {
  std::uint32_t pollMs;
  std::uint32_t limitMs;
};

PlaybackWait columnWait(const RenderSettings& settings, std::size_t samplesWritten) {
  if (settings.concurrent) return {kConcurrentPollMs, static_cast<std::uint32_t>(settings.durationMs)};
  return {kSequentialPollMs, sequentialWaitLimitMs(samplesWritten)};
}

// One sound's life cycle: create, lock, fill, play, wait, stop, release. A buffer that
// cannot be made or locked skips the sound. Returns false when the sound was skipped.
template <typename Fill>
bool playSound(AudioOutput& audio, std::size_t bytes, std::size_t samplesNeeded, Fill fill,
               Environment& env) {
  std::unique_ptr<SoundBuffer> buffer = audio.createSoundBuffer(bytes);
  if (!buffer) return false;
  const std::optional<std::span<std::int16_t>> region = buffer->lock();
  if (!region || region->size() < samplesNeeded) {
    buffer->stop(StopMode::Flush);
    return false;
  }
  const auto [samplesWritten, wait] = fill(*region);
  playFilledBuffer(*buffer, samplesWritten, env.clock, env.stopFlag, wait.pollMs, wait.limitMs);
  return true;
}

int play(const Rendering& rendering, int deviceIndex, Report& report, Environment& env) {
  std::unique_ptr<AudioOutput> audio = env.makeAudioOutput();
  const std::vector<std::string> devices = audio->listDevices();
  if (deviceIndex < 0 || static_cast<std::size_t>(deviceIndex) >= devices.size()) {
    env.err << "No output device " << deviceIndex << " (see --devices)\n";
    return kExitBadInput;
  }
  audio->openDevice(deviceIndex);

  const RenderSettings& settings = rendering.settings;
  if (rendering.tune) {
    PowerFigures figures;
    const bool played = playSound(
        *audio, kTuningToneBytes, kTuningToneSamples,
        [&](std::span<std::int16_t> region) {
          figures = synthesizeTuningTone(settings.frequency, settings.concurrent, region);
          return std::pair{kTuningToneSamples, PlaybackWait{kTunePollMs, kTuneLimitMs}};
        },
        env);
    if (played) report.add(tuneReportLine(figures));
  }
  const auto durationMs = static_cast<std::uint32_t>(settings.durationMs);
  for (std::size_t index = 0; index < rendering.columns.size() && env.stopFlag.load() == 0; ++index) {
    const std::uint8_t mask = rendering.columns[index];
    SynthesizedSound sound;
    const bool played = playSound(
        *audio, columnBufferBytes(durationMs), largestSoundSamples(rendering),
        [&](std::span<std::int16_t> region) {
          sound = synthesizeColumn(settings, mask, region);
          return std::pair{sound.samplesWritten, columnWait(settings, sound.samplesWritten)};
        },
        env);
    if (played) report.add(reportLine(index, mask, sound));
  }
  audio->closeDevice();
  return env.stopFlag.load() != 0 ? kExitInterrupted : kExitOk;
}

int listDevices(Environment& env) {
  std::unique_ptr<AudioOutput> audio = env.makeAudioOutput();
  for (const std::string& device : audio->listDevices()) env.out << device << '\n';
  return kExitOk;
}

bool isDeviceNumber(const std::string& argument) {
  return !argument.empty() && argument.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

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

std::vector<std::uint8_t> textColumns(const std::string& codes, const GlyphTable& glyphs) {
  std::vector<std::uint8_t> columns;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    if (i > 0) columns.push_back(0);  // the gap before every character but the first
    const GlyphColumns& glyph = glyphs.columns(static_cast<std::uint8_t>(codes[i]));
    columns.insert(columns.end(), glyph.begin(), glyph.end());
  }
  return columns;
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

std::variant<Options, std::string> parseArguments(const std::vector<std::string>& arguments) {
  Options options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= arguments.size()) return std::nullopt;
      return arguments[++i];
    };
    const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
    if (!isOption) {
      if (options.outputPath) return "Unexpected argument '" + argument + "'";
      options.outputPath = argument;
      continue;
    }
    std::optional<std::string>* target = nullptr;
    if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--settings") {
      target = &options.settingsPath;
    } else if (argument == "--text") {
      target = &options.text;
    } else if (argument == "--font") {
      target = &options.fontPath;
    } else if (argument == "--report") {
      target = &options.reportPath;
    } else if (argument == "--tune") {
      options.tune = true;
    } else if (argument == "--devices") {
      options.listDevices = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--play") {
      options.playDevice = 0;
      if (i + 1 < arguments.size() && isDeviceNumber(arguments[i + 1])) {
        const std::string& number = arguments[++i];
        int device = 0;
        const auto result = std::from_chars(number.data(), number.data() + number.size(), device);
        if (result.ec != std::errc{}) return "Bad device number '" + number + "'";
        options.playDevice = device;
      }
    } else {
      return "Unknown option '" + argument + "'";
    }
    if (target != nullptr) {
      *target = value();
      if (!*target) return "Option '" + argument + "' needs a value";
    }
  }
  if (!options.help && !options.listDevices && !options.playDevice && !options.outputPath) {
    return std::string("No output file given (see --help)");
  }
  return options;
}

std::string usageText() {
  return "Usage: velmora-render [--settings FILE] [--text TEXT] [--font FILE] [--tune] [--report FILE]\n"
         "                      [--devices] [--play [N]] OUT.wav\n"
         "Renders the text of a Velmora.ini (default ./Velmora.ini) as the program sends it:\n"
         "16-bit mono PCM at 11025 samples/s. The text is cut to 1023 characters.\n"
         "  --settings FILE  settings to use; section [Velmora]\n"
         "  --text TEXT      text to send instead of the settings' text\n"
         "  --font FILE      glyph font instead of '5x7 (International).txt'\n"
         "  --tune           the 10-second tuning tone instead of the text\n"
         "  --report FILE    one line per column: index, mask, pixel count, average %, peak %\n"
         "                   (the tuning tone: 'tune', average %, peak %)\n"
         "  --devices        list the output devices and exit\n"
         "  --play [N]       play on output device N (default 0) instead of writing OUT.wav\n"
         "Exit codes: 0 done, 2 bad input, 130 interrupted.\n";
}

int run(const std::vector<std::string>& arguments, Environment& env) {
  const std::variant<Options, std::string> parsed = parseArguments(arguments);
  if (const auto* message = std::get_if<std::string>(&parsed)) {
    env.err << *message << '\n';
    return kExitBadInput;
  }
  const Options& options = std::get<Options>(parsed);
  if (options.help) {
    env.out << usageText();
    return kExitOk;
  }
  if (options.listDevices) return listDevices(env);

  const std::optional<RenderSettings> settings = loadSettings(options, env);
  if (!settings) return kExitBadInput;
  Rendering rendering{*settings, options.tune, {}};
  const std::optional<std::string> rangeMessage =
      options.tune ? tuneRangeError(rendering.settings) : transmitRangeError(rendering.settings);
  if (rangeMessage) {
    env.err << *rangeMessage << '\n';
    return kExitBadInput;
  }
  if (!options.tune) {
    const std::string codes = sendableText(options.text.value_or(rendering.settings.text));
    rendering.columns = textColumns(codes, loadFont(options, env));
  }

  Report report;
  if (!report.open(options.reportPath)) {
    env.err << "Cannot write '" << *options.reportPath << "'\n";
    return kExitBadInput;
  }
  const int result = options.playDevice ? play(rendering, *options.playDevice, report, env)
                                        : writeWav(rendering, *options.outputPath, report, env);
  if (!report.finish() && result == kExitOk) {
    env.err << "Cannot write '" << *options.reportPath << "'\n";
    return kExitBadInput;
  }
  return result;
}

}  // namespace velmora::render
