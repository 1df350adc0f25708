// velmora-render end to end: the WAV and report it writes for a settings file, the sounds
// it plays on the in-memory sound system, and every way it refuses bad input.
#include "render/render.h"
#include "support/fake_rig_control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ptt/pseudo_terminal.h"
#include "settings/ini_file.h"
#include "support/fake_clock.h"
#include "support/memory_audio.h"
#include "synth/synthesis.h"
#include "transmit/glyph_font.h"

namespace velmora::render {
namespace {

namespace fs = std::filesystem;
using velmora::testing::FakeClock;
using velmora::testing::MemoryAudio;
using velmora::testing::SoundStep;

// The test font's column byte for code `code`, column `column`: every glyph different.
unsigned testColumnByte(unsigned code, unsigned column) { return ((code * 5 + column) * 37 + 11) % 256; }
std::uint8_t testMask(unsigned char code, unsigned column) {
  return static_cast<std::uint8_t>(testColumnByte(code, column) >> 1);
}

std::vector<std::uint8_t> testMasksOf(const std::string& codes) {
  std::vector<std::uint8_t> masks;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    if (i > 0) masks.push_back(0);
    for (unsigned c = 0; c < 5; ++c) masks.push_back(testMask(static_cast<unsigned char>(codes[i]), c));
  }
  return masks;
}

struct Wav {
  std::string riff, wave, fmt, data;
  std::uint32_t riffSize = 0, fmtSize = 0, sampleRate = 0, byteRate = 0, dataSize = 0;
  std::uint16_t format = 0, channels = 0, blockAlign = 0, bits = 0;
  std::vector<std::int16_t> samples;
  std::size_t fileSize = 0;
};

std::uint32_t readLe(const std::string& bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

Wav readWav(const fs::path& path) {
  const std::string bytes = readFile(path);
  Wav wav;
  wav.fileSize = bytes.size();
  if (bytes.size() < 44) return wav;
  wav.riff = bytes.substr(0, 4);
  wav.riffSize = readLe(bytes, 4, 4);
  wav.wave = bytes.substr(8, 4);
  wav.fmt = bytes.substr(12, 4);
  wav.fmtSize = readLe(bytes, 16, 4);
  wav.format = static_cast<std::uint16_t>(readLe(bytes, 20, 2));
  wav.channels = static_cast<std::uint16_t>(readLe(bytes, 22, 2));
  wav.sampleRate = readLe(bytes, 24, 4);
  wav.byteRate = readLe(bytes, 28, 4);
  wav.blockAlign = static_cast<std::uint16_t>(readLe(bytes, 32, 2));
  wav.bits = static_cast<std::uint16_t>(readLe(bytes, 34, 2));
  wav.data = bytes.substr(36, 4);
  wav.dataSize = readLe(bytes, 40, 4);
  for (std::size_t at = 44; at + 1 < bytes.size(); at += 2) {
    wav.samples.push_back(static_cast<std::int16_t>(readLe(bytes, at, 2)));
  }
  return wav;
}

void expectCanonicalHeader(const Wav& wav) {
  EXPECT_EQ(wav.riff, "RIFF");
  EXPECT_EQ(wav.wave, "WAVE");
  EXPECT_EQ(wav.fmt, "fmt ");
  EXPECT_EQ(wav.fmtSize, 16U);
  EXPECT_EQ(wav.format, 1);
  EXPECT_EQ(wav.channels, 1);
  EXPECT_EQ(wav.sampleRate, 11025U);
  EXPECT_EQ(wav.byteRate, 22050U);
  EXPECT_EQ(wav.blockAlign, 2);
  EXPECT_EQ(wav.bits, 16);
  EXPECT_EQ(wav.data, "data");
  EXPECT_EQ(wav.dataSize, 2 * wav.samples.size());
  EXPECT_EQ(wav.riffSize, 36 + wav.dataSize);
  EXPECT_EQ(wav.fileSize, 44 + wav.dataSize);
}

std::vector<std::string> readLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The settings a test renders with; written as a Velmora.ini.
struct Settings {
  int concurrent = 1, skip = 0, maxAvgPwr = 0, frequency = 1500, offset = 10, duration = 300;
  std::string text = "Ab";
  std::string pilotTone = "0", reverse = "0";
};

struct ExpectedSound {
  std::vector<std::int16_t> samples;
  std::vector<std::string> reportLines;
  std::vector<std::vector<std::int16_t>> columns;
};

ExpectedSound expectedColumns(const Settings& s, const std::vector<std::uint8_t>& masks) {
  ExpectedSound expected;
  for (std::size_t i = 0; i < masks.size(); ++i) {
    ColumnParameters column;
    column.mask = masks[i];
    column.center = s.frequency;
    column.offset = s.offset;
    column.reverse = s.reverse == "1";
    column.durationMs = static_cast<std::uint32_t>(s.duration);
    column.pilotTone = s.pilotTone == "1";
    column.maximizeAveragePower = s.maxAvgPwr != 0;
    column.skipDarkPixels = s.skip != 0;
    std::vector<std::int16_t> out(columnBufferBytes(column.durationMs) / 2);
    const SynthesizedSound sound =
        s.concurrent != 0 ? synthesizeConcurrentColumn(column, out) : synthesizeSequentialColumn(column, out);
    out.resize(sound.samplesWritten);
    expected.samples.insert(expected.samples.end(), out.begin(), out.end());
    expected.columns.push_back(out);
    char line[80];
    std::snprintf(line, sizeof line, "%zu %02x %u %s %s", i, static_cast<unsigned>(masks[i]),
                  sound.pixelCount, formatPowerPercent(sound.power.average).c_str(),
                  formatPowerPercent(sound.power.peak).c_str());
    expected.reportLines.emplace_back(line);
  }
  return expected;
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velmora-render-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fontPath_ = dir_ / "font.txt";
    std::ofstream font(fontPath_, std::ios::binary);
    char record[8];
    for (unsigned code = 0; code < 255; ++code) {
      for (unsigned column = 0; column < 5; ++column) {
        std::snprintf(record, sizeof record, "0x%02X\r\n", testColumnByte(code, column));
        font << record;
      }
    }
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path writeSettings(const Settings& s, const std::string& name = "Velmora.ini") {
    const fs::path path = dir_ / name;
    std::ofstream ini(path, std::ios::binary);
    ini << "[Velmora]\nConcurrent=" << s.concurrent << "\nSkip=" << s.skip << "\nMaxAvgPwr=" << s.maxAvgPwr
        << "\nFrequency=" << s.frequency << "\nOffset=" << s.offset << "\nDuration=" << s.duration
        << "\nText=" << s.text << "\nPilotTone=" << s.pilotTone << "\nReverse=" << s.reverse << "\n";
    return path;
  }

  // Runs the tool in this process with the test's directory as the current one.
  int runTool(std::vector<std::string> arguments, MemoryAudio* audio = nullptr) {
    out_.str("");
    err_.str("");
    Environment env{dir_.string(), "", out_, err_, clock_, stop_, [audio]() -> std::unique_ptr<AudioOutput> {
                      return std::make_unique<ForwardingAudio>(*audio);
                    }};
    env.portPath = portPath_;
    if (rigs_) env.makeRigs = [rigs = rigs_] { return rigs; };
    return run(arguments, env);
  }

  // Hands the test's MemoryAudio to the tool without giving up its ownership.
  class ForwardingAudio final : public AudioOutput {
   public:
    explicit ForwardingAudio(MemoryAudio& audio) : audio_(audio) {}
    std::vector<std::string> listDevices() override { return audio_.listDevices(); }
    void openDevice(int index) override { audio_.openDevice(index); }
    void closeDevice() override { audio_.closeDevice(); }
    bool isOpen() override { return audio_.isOpen(); }
    std::unique_ptr<SoundBuffer> createSoundBuffer(std::size_t bytes) override {
      return audio_.createSoundBuffer(bytes);
    }

   private:
    MemoryAudio& audio_;
  };

  fs::path dir_;
  fs::path fontPath_;
  std::ostringstream out_, err_;
  FakeClock clock_;
  std::atomic<int> stop_{0};
  PortPathResolver portPath_;
  std::shared_ptr<velmora::testing::FakeRigControl> rigs_;
};

// ---------------------------------------------------------------------------------------
// The WAV and the report for a text, in every mode and option.

struct ModeCase {
  const char* name;
  Settings settings;
};

class RenderModes : public RenderTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(RenderModes, WavAndReportAreTheSynthesizedColumns) {
  const Settings& s = GetParam().settings;
  const fs::path ini = writeSettings(s, "modes.ini");
  const fs::path wavPath = dir_ / "out.wav";
  const fs::path reportPath = dir_ / "report.txt";
  ASSERT_EQ(runTool({"--settings", ini.string(), "--font", fontPath_.string(), "--report",
                     reportPath.string(), wavPath.string()}),
            kExitOk)
      << err_.str();
  EXPECT_EQ(err_.str(), "");

  const ExpectedSound expected = expectedColumns(s, testMasksOf(s.text));
  const Wav wav = readWav(wavPath);
  expectCanonicalHeader(wav);
  EXPECT_EQ(wav.samples.size(), expected.samples.size());
  EXPECT_TRUE(wav.samples == expected.samples);
  EXPECT_EQ(readLines(reportPath), expected.reportLines);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RenderModes,
    ::testing::Values(ModeCase{"ConcurrentPlain", {}},
                      ModeCase{"ConcurrentMaxPilotReverse",
                               {.maxAvgPwr = 1, .pilotTone = "1", .reverse = "1"}},
                      ModeCase{"ConcurrentOddDuration", {.frequency = 2999, .offset = 3, .duration = 301}},
                      ModeCase{"SequentialSkip", {.concurrent = 0, .skip = 1}},
                      ModeCase{"SequentialPilotReverse", {.concurrent = 0, .pilotTone = "1", .reverse = "1"}},
                      ModeCase{"SequentialNoSkip", {.concurrent = 0, .duration = 1000}}),
    [](const ::testing::TestParamInfo<ModeCase>& row) { return std::string(row.param.name); });

TEST_F(RenderTest, TextOptionOverridesTheSettingsAndIsSentAsWindows1252) {
  const fs::path ini = writeSettings({.text = "ignored"}, "text.ini");
  const fs::path wavPath = dir_ / "out.wav";
  const fs::path reportPath = dir_ / "report.txt";
  // "é" is one character, code 0xE9.
  ASSERT_EQ(runTool({"--settings", ini.string(), "--font", fontPath_.string(), "--text", "x\xC3\xA9",
                     "--report", reportPath.string(), wavPath.string()}),
            kExitOk);
  const ExpectedSound expected = expectedColumns({}, testMasksOf("x\xE9"));
  EXPECT_EQ(readLines(reportPath), expected.reportLines);
  EXPECT_TRUE(readWav(wavPath).samples == expected.samples);
}

TEST_F(RenderTest, TextIsCutTo1023Characters) {
  const fs::path ini = writeSettings({}, "long.ini");
  const fs::path reportPath = dir_ / "report.txt";
  ASSERT_EQ(runTool({"--settings", ini.string(), "--font", fontPath_.string(), "--text",
                     std::string(1100, 'W'), "--report", reportPath.string(), (dir_ / "out.wav").string()}),
            kExitOk);
  EXPECT_EQ(readLines(reportPath).size(), 6U * 1023U - 1U);
}

TEST_F(RenderTest, EmptyTextGivesAnEmptyWav) {
  const fs::path ini = writeSettings({.text = ""}, "empty.ini");
  const fs::path wavPath = dir_ / "out.wav";
  const fs::path reportPath = dir_ / "report.txt";
  ASSERT_EQ(runTool({"--settings", ini.string(), "--font", fontPath_.string(), "--report",
                     reportPath.string(), wavPath.string()}),
            kExitOk);
  const Wav wav = readWav(wavPath);
  expectCanonicalHeader(wav);
  EXPECT_EQ(wav.dataSize, 0U);
  EXPECT_TRUE(readLines(reportPath).empty());
}

TEST_F(RenderTest, MissingFontIsReportedAndEveryColumnIsDark) {
  const fs::path ini = writeSettings({.text = "AB"}, "nofont.ini");
  const fs::path wavPath = dir_ / "out.wav";
  ASSERT_EQ(
      runTool({"--settings", ini.string(), "--font", (dir_ / "missing.txt").string(), wavPath.string()}),
      kExitOk);
  EXPECT_EQ(err_.str(), "Font file '5x7 (International).txt' not found. Velmora is unable to transmit.\n");
  const Wav wav = readWav(wavPath);
  EXPECT_EQ(wav.samples.size(), 11U * 3307U);
  EXPECT_TRUE(std::all_of(wav.samples.begin(), wav.samples.end(), [](std::int16_t s) { return s == 0; }));
}

// ---------------------------------------------------------------------------------------
// The tuning tone.

struct TuneCase {
  int concurrent;
  int frequency;
  bool singlePixel;
  const char* reportLine;
};

class RenderTune : public RenderTest, public ::testing::WithParamInterface<TuneCase> {};

TEST_P(RenderTune, TenSecondsAtTheCenterFrequency) {
  const TuneCase& c = GetParam();
  // Only the frequency is checked: the default duration of 10 ms does not stop the tone.
  const fs::path ini =
      writeSettings({.concurrent = c.concurrent, .frequency = c.frequency, .offset = 0, .duration = 10});
  const fs::path wavPath = dir_ / "tune.wav";
  const fs::path reportPath = dir_ / "tune.txt";
  ASSERT_EQ(runTool({"--tune", "--report", reportPath.string(), wavPath.string()}), kExitOk) << err_.str();
  std::vector<std::int16_t> expected(kTuningToneSamples);
  synthesizeTuningTone(c.frequency, c.singlePixel, expected);
  const Wav wav = readWav(wavPath);
  expectCanonicalHeader(wav);
  EXPECT_TRUE(wav.samples == expected);
  EXPECT_EQ(readLines(reportPath), std::vector<std::string>{c.reportLine});
}

INSTANTIATE_TEST_SUITE_P(Levels, RenderTune,
                         ::testing::Values(TuneCase{1, 1000, true, "tune 2.0 2.0"},
                                           TuneCase{0, 1000, false, "tune 98.9 100.0"},
                                           TuneCase{5, 3000, true, "tune 2.0 2.0"}));

// ---------------------------------------------------------------------------------------
// Settings: defaults and the read rules of each key.

TEST_F(RenderTest, AbsentKeysTakeTheirDefaults) {
  std::ofstream(dir_ / "bare.ini") << "[Velmora]\nLoop=1\n";
  IniFile ini;
  ASSERT_TRUE(ini.load((dir_ / "bare.ini").string()));
  const RenderSettings settings = readRenderSettings(ini);
  const RenderSettings defaults;
  EXPECT_TRUE(settings.concurrent);
  EXPECT_FALSE(settings.skipDarkPixels);
  EXPECT_FALSE(settings.maximizeAveragePower);
  EXPECT_EQ(settings.frequency, 1000);
  EXPECT_EQ(settings.offset, 1);
  EXPECT_EQ(settings.durationMs, 10);
  EXPECT_EQ(settings.text, "");
  EXPECT_FALSE(settings.pilotTone);
  EXPECT_FALSE(settings.reverse);
  EXPECT_EQ(defaults.durationMs, settings.durationMs);
}

TEST_F(RenderTest, IntegerKeysCountAnyNonzeroFlagTextOnlyOne) {
  std::ofstream(dir_ / "flags.ini")
      << "[Velmora]\nConcurrent=0\nSkip=2\nMaxAvgPwr=-1\nPilotTone=2\nReverse=1\n"
         "Text=Hello there\n";
  IniFile ini;
  ASSERT_TRUE(ini.load((dir_ / "flags.ini").string()));
  const RenderSettings settings = readRenderSettings(ini);
  EXPECT_FALSE(settings.concurrent);
  EXPECT_TRUE(settings.skipDarkPixels);
  EXPECT_TRUE(settings.maximizeAveragePower);
  EXPECT_FALSE(settings.pilotTone);
  EXPECT_TRUE(settings.reverse);
  EXPECT_EQ(settings.text, "Hello there");
}

TEST_F(RenderTest, MissingDefaultSettingsFileMeansDefaults) {
  // No Velmora.ini in the current directory: the default duration of 10 ms is refused.
  EXPECT_EQ(runTool({"--text", "CQ", (dir_ / "out.wav").string()}), kExitBadInput);
  EXPECT_EQ(err_.str(), "Duration out of valid range (300..60000)\n");
}

TEST_F(RenderTest, DefaultSettingsFileIsReadFromTheCurrentDirectory) {
  writeSettings({.text = "Q"});
  const fs::path reportPath = dir_ / "report.txt";
  ASSERT_EQ(
      runTool({"--font", fontPath_.string(), "--report", reportPath.string(), (dir_ / "out.wav").string()}),
      kExitOk);
  EXPECT_EQ(readLines(reportPath), expectedColumns({}, testMasksOf("Q")).reportLines);
}

// ---------------------------------------------------------------------------------------
// Bad input, through the real binary: one line on stderr, exit code 2, no WAV.

struct ErrorCase {
  const char* name;
  std::string settings;                // written as <dir>/bad.ini and passed with --settings; "" for none
  std::vector<std::string> arguments;  // "@" stands for the test's directory
  std::string message;                 // "@" likewise
};

class RenderErrors : public RenderTest, public ::testing::WithParamInterface<ErrorCase> {};

std::string expandDir(std::string text, const fs::path& dir) {
  for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir.string());
  return text;
}

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char ch : text) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

TEST_P(RenderErrors, OneLineAndExitCodeTwo) {
  const ErrorCase& c = GetParam();
  std::string command = "cd " + shellQuote(dir_.string()) + " && " + shellQuote(VELMORA_RENDER_BINARY);
  if (!c.settings.empty()) {
    std::ofstream(dir_ / "bad.ini") << "[Velmora]\n" << c.settings;
    command += " --settings bad.ini";
  }
  for (const std::string& argument : c.arguments) command += " " + shellQuote(expandDir(argument, dir_));
  command +=
      " >" + shellQuote((dir_ / "stdout.txt").string()) + " 2>" + shellQuote((dir_ / "stderr.txt").string());

  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(readFile(dir_ / "stderr.txt"), expandDir(c.message, dir_) + "\n");
  EXPECT_EQ(readFile(dir_ / "stdout.txt"), "");
  EXPECT_FALSE(fs::exists(dir_ / "out.wav"));
}

const std::string kValid = "Offset=10\nDuration=300\nText=CQ\n";

INSTANTIATE_TEST_SUITE_P(
    Input, RenderErrors,
    ::testing::Values(
        ErrorCase{"UnknownOption", kValid, {"--loud", "out.wav"}, "Unknown option '--loud'"},
        ErrorCase{"MissingValue", kValid, {"out.wav", "--text"}, "Option '--text' needs a value"},
        ErrorCase{"NoOutputFile", kValid, {}, "No output file given (see --help)"},
        ErrorCase{"TwoOutputFiles", kValid, {"out.wav", "more.wav"}, "Unexpected argument 'more.wav'"},
        ErrorCase{"KeyWithoutPlay", kValid, {"--key", "out.wav"}, "Option '--key' needs --play"},
        ErrorCase{"LoopWithTune", kValid, {"--tune", "--loop", "--play"}, "Option '--loop' cannot be used with --tune"},
        ErrorCase{"UnreadableSettings",
                  "",
                  {"--settings", "@/none.ini", "out.wav"},
                  "Cannot read settings file '@/none.ini'"},
        ErrorCase{"FrequencyLow",
                  kValid + "Frequency=99\n",
                  {"out.wav"},
                  "Audio center frequency out of valid range (100..3000)"},
        ErrorCase{"FrequencyHigh",
                  kValid + "Frequency=3001\n",
                  {"out.wav"},
                  "Audio center frequency out of valid range (100..3000)"},
        ErrorCase{"FrequencyNegative",
                  kValid + "Frequency=-1500\n",
                  {"out.wav"},
                  "Audio center frequency out of valid range (100..3000)"},
        ErrorCase{
            "OffsetLow", "Offset=0\nDuration=300\n", {"out.wav"}, "Pixel offset out of valid range (1..10)"},
        ErrorCase{"OffsetHigh",
                  "Offset=11\nDuration=300\n",
                  {"out.wav"},
                  "Pixel offset out of valid range (1..10)"},
        ErrorCase{"DurationLow",
                  "Offset=10\nDuration=299\n",
                  {"out.wav"},
                  "Duration out of valid range (300..60000)"},
        ErrorCase{"DurationHigh",
                  "Offset=10\nDuration=60001\n",
                  {"out.wav"},
                  "Duration out of valid range (300..60000)"},
        // The first field out of range is named, in the order of the "Transmit" checks.
        ErrorCase{"FrequencyBeforeOthers",
                  "Frequency=5000\nOffset=0\nDuration=1\n",
                  {"out.wav"},
                  "Audio center frequency out of valid range (100..3000)"},
        ErrorCase{"TuneChecksFrequency",
                  "Frequency=3001\n",
                  {"--tune", "out.wav"},
                  "Audio center frequency out of valid range (100..3000)"},
        ErrorCase{
            "UnwritableOutput", kValid, {"@/no/such/folder/x.wav"}, "Cannot write '@/no/such/folder/x.wav'"},
        ErrorCase{"UnwritableReport",
                  kValid,
                  {"--report", "@/no/such/folder/r.txt", "out.wav"},
                  "Cannot write '@/no/such/folder/r.txt'"}),
    [](const ::testing::TestParamInfo<ErrorCase>& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------------------
// The shipped font.

class ShippedFont : public RenderTest, public ::testing::WithParamInterface<int> {};

TEST_P(ShippedFont, CallsignTextRendersFromTheFontFoundBesideTheSources) {
  const Settings s{.concurrent = GetParam(), .text = "CQ CQ DE VELMORA"};
  writeSettings(s);
  const fs::path wavPath = dir_ / "cq.wav";
  const fs::path reportPath = dir_ / "cq.txt";
  // No --font: the tool looks in the current directory (empty here), then finds the
  // source tree's copy.
  ASSERT_EQ(runTool({"--report", reportPath.string(), wavPath.string()}), kExitOk) << err_.str();
  EXPECT_EQ(err_.str(), "");

  GlyphTable glyphs;
  ASSERT_TRUE(loadGlyphFont(std::string(VELMORA_SOURCE_DATA_DIR) + "/" + kFontFileName, glyphs));
  std::vector<std::uint8_t> masks;
  for (std::size_t i = 0; i < s.text.size(); ++i) {
    if (i > 0) masks.push_back(0);
    const GlyphColumns& glyph = glyphs.columns(static_cast<std::uint8_t>(s.text[i]));
    masks.insert(masks.end(), glyph.begin(), glyph.end());
  }
  ASSERT_EQ(masks.size(), 95U);
  EXPECT_GT(std::count_if(masks.begin(), masks.end(), [](std::uint8_t m) { return m != 0; }), 40);

  const ExpectedSound expected = expectedColumns(s, masks);
  const Wav wav = readWav(wavPath);
  expectCanonicalHeader(wav);
  EXPECT_TRUE(wav.samples == expected.samples);
  EXPECT_EQ(readLines(reportPath), expected.reportLines);
  if (s.concurrent != 0) {
    EXPECT_EQ(wav.samples.size(), 95U * 3307U);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, ShippedFont, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& row) {
                           return std::string(row.param != 0 ? "Concurrent" : "Sequential");
                         });

// ---------------------------------------------------------------------------------------
// Playing on a sound system (the in-memory one).

struct PlayCase {
  const char* name;
  Settings settings;
  std::uint32_t pollMs;
};

class RenderPlay : public RenderTest, public ::testing::WithParamInterface<PlayCase> {};

TEST_P(RenderPlay, OneSoundPerColumnWithTheProgramsWait) {
  const PlayCase& c = GetParam();
  writeSettings(c.settings);
  MemoryAudio audio(&clock_, {kDefaultOutputDevice, "Speaker", "Radio"});
  const fs::path reportPath = dir_ / "play.txt";
  ASSERT_EQ(runTool({"--font", fontPath_.string(), "--report", reportPath.string(), "--play", "2"}, &audio),
            kExitOk)
      << err_.str();

  EXPECT_EQ(audio.openedIndex(), 2);
  EXPECT_EQ(audio.liveBuffers(), 0);
  const ExpectedSound expected = expectedColumns(c.settings, testMasksOf(c.settings.text));
  const auto sounds = audio.sounds();
  ASSERT_EQ(sounds.size(), expected.columns.size());
  const std::vector<SoundStep> lifeCycle = {SoundStep::Create, SoundStep::Lock, SoundStep::Unlock,
                                            SoundStep::Rewind, SoundStep::Play, SoundStep::Stop,
                                            SoundStep::Release};
  for (std::size_t i = 0; i < sounds.size(); ++i) {
    EXPECT_EQ(sounds[i].bytes, columnBufferBytes(static_cast<std::uint32_t>(c.settings.duration))) << i;
    EXPECT_EQ(sounds[i].steps, lifeCycle) << i;
    EXPECT_TRUE(sounds[i].samples == expected.columns[i]) << i;
    EXPECT_EQ(sounds[i].stopMode, StopMode::Drain) << i;
    // The wait ends at the first poll past the limit: d in C/MT, P's duration in S/MT.
    const std::uint32_t limit = c.settings.concurrent != 0
                                    ? static_cast<std::uint32_t>(c.settings.duration)
                                    : sequentialWaitLimitMs(expected.columns[i].size());
    EXPECT_EQ(sounds[i].stopTick - sounds[i].playTick, (limit / c.pollMs + 1) * c.pollMs) << i;
  }
  const auto sleeps = clock_.sleeps();
  EXPECT_TRUE(std::all_of(sleeps.begin(), sleeps.end(), [&](std::uint32_t ms) { return ms == c.pollMs; }));
  EXPECT_EQ(readLines(reportPath), expected.reportLines);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RenderPlay,
    ::testing::Values(PlayCase{"Concurrent", {}, 100},
                      PlayCase{"SequentialSkip", {.concurrent = 0, .skip = 1, .duration = 1000}, 10}),
    [](const ::testing::TestParamInfo<PlayCase>& row) { return std::string(row.param.name); });

TEST_F(RenderTest, PlayedTuneToneWaitsTenSeconds) {
  for (const int concurrent : {1, 0}) {
    SCOPED_TRACE(concurrent);
    writeSettings({.concurrent = concurrent, .frequency = 1000});
    MemoryAudio audio(&clock_);
    ASSERT_EQ(runTool({"--tune", "--play"}, &audio), kExitOk);
    EXPECT_EQ(audio.openedIndex(), 0);
    const auto sounds = audio.sounds();
    ASSERT_EQ(sounds.size(), 1U);
    EXPECT_EQ(sounds[0].bytes, kTuningToneBytes);
    // "Single pixel" in C/MT, full scale in S/MT.
    std::vector<std::int16_t> expected(kTuningToneSamples);
    synthesizeTuningTone(1000, concurrent != 0, expected);
    EXPECT_TRUE(sounds[0].samples == expected);
    EXPECT_EQ(sounds[0].stopTick - sounds[0].playTick, 10100U);
  }
}

// The window skips a failed sound in silence; the tool goes on too, but says so at the end.
TEST_F(RenderTest, FailedSoundsAreSkippedAndMakeTheRunFail) {
  writeSettings({.text = "Ab"});
  MemoryAudio audio(&clock_);
  audio.failStep(SoundStep::Create, 1);
  audio.failStep(SoundStep::Lock, 3);
  audio.failStep(SoundStep::Play, 5);
  const fs::path reportPath = dir_ / "play.txt";
  ASSERT_EQ(runTool({"--font", fontPath_.string(), "--report", reportPath.string(), "--play"}, &audio),
            kExitNotPlayed);
  // After the progress lines, one for the failure.
  EXPECT_EQ(linesOf(err_.str()).back(), "Could not play 3 of 11 sounds on output device 0");
  const auto sounds = audio.sounds();
  ASSERT_EQ(sounds.size(), 11U);
  EXPECT_EQ(sounds[1].steps, std::vector<SoundStep>{SoundStep::Create});
  EXPECT_EQ(sounds[3].steps, (std::vector<SoundStep>{SoundStep::Create, SoundStep::Lock, SoundStep::Stop,
                                                     SoundStep::Release}));
  EXPECT_FALSE(sounds[3].played);
  EXPECT_TRUE(sounds[4].played);
  std::vector<std::string> lines = expectedColumns({.text = "Ab"}, testMasksOf("Ab")).reportLines;
  lines.erase(lines.begin() + 5);
  lines.erase(lines.begin() + 3);
  lines.erase(lines.begin() + 1);
  EXPECT_EQ(readLines(reportPath), lines);
}

// The real binary with a sound server that is not there: one line, a distinct exit code.
TEST_F(RenderTest, PlayWithoutASoundServerFails) {
  writeSettings({.text = "Ab"});
  for (const char* tune : {"", "--tune"}) {
    SCOPED_TRACE(tune);
    const std::string command = "cd " + shellQuote(dir_.string()) +
                                " && PULSE_SERVER=" + shellQuote("unix:" + (dir_ / "no-server").string()) +
                                " timeout 60 " + shellQuote(VELMORA_RENDER_BINARY) + " --font " +
                                shellQuote(fontPath_.string()) + " " + tune +
                                " --play >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kExitNotPlayed);
    EXPECT_EQ(readFile(dir_ / "stderr.txt"), "Cannot open output device 0 (is a sound server running?)\n");
    EXPECT_EQ(readFile(dir_ / "stdout.txt"), "");
  }
}

TEST_F(RenderTest, StopRequestEndsPlayingAtOnce) {
  writeSettings({.text = "Ab"});
  MemoryAudio audio(&clock_);
  // The request comes during the second column's wait.
  clock_.onSleep([&] {
    if (audio.sounds().size() == 2) stop_ = 1;
  });
  EXPECT_EQ(runTool({"--font", fontPath_.string(), "--play"}, &audio), kExitInterrupted);
  const auto sounds = audio.sounds();
  ASSERT_EQ(sounds.size(), 2U);
  EXPECT_EQ(sounds[1].stopMode, StopMode::Flush);
  EXPECT_EQ(sounds[1].stopTick - sounds[1].playTick, 100U);
  EXPECT_EQ(audio.liveBuffers(), 0);
}

// --key on a pseudo-terminal: the CAT commands around the columns, the TX delay before the
// first, the window's log lines, and one progress line per character.
TEST_F(RenderTest, KeyWithPlaySendsTheCatCommandsAroundTheColumnsAsTheWindowDoes) {
  velmora::testing::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  portPath_ = [&](int number) { return number == 1 ? pty.slavePath() : std::string(); };
  std::ofstream(dir_ / "Velmora.ini") << "[Velmora]\nText=Ab\nDuration=300\nOffset=5\nUsePTTControl=1\nCAT=1\n"
                                         "Baudrate=2\nDatabits=1\nParity=2\nTXCommand=fe01\nRXCommand=FE00\nTXDelay=40\n";
  MemoryAudio audio(&clock_);
  ASSERT_EQ(runTool({"--font", fontPath_.string(), "--play", "--key"}, &audio), kExitOk) << err_.str();

  EXPECT_EQ(pty.readAvailable(), (std::vector<std::uint8_t>{0xFE, 0x01, 0xFE, 0x00}));
  EXPECT_EQ(audio.sounds().size(), 11U);
  const auto sleeps = clock_.sleeps();
  ASSERT_GE(sleeps.size(), 5U);
  EXPECT_EQ(std::vector<std::uint32_t>(sleeps.begin(), sleeps.begin() + 5),
            (std::vector<std::uint32_t>{10, 10, 10, 10, 100}))
      << "the TX delay comes before the first column";
  const std::vector<std::string> log = readLines(dir_ / "Logfile.txt");
  ASSERT_EQ(log.size(), 2U);
  EXPECT_NE(log[0].find("z Starting text transmission (Ab, C/MT, 1000/5 Hz, 300ms, no pilot tone)"),
            std::string::npos);
  EXPECT_NE(log[1].find("z Terminating text transmission (sent text: Ab)"), std::string::npos);
  const std::vector<std::string> progress = linesOf(err_.str());
  ASSERT_EQ(progress.size(), 2U) << err_.str();
  EXPECT_EQ(progress[0], "Sending \"A\" (1/2), column 1/11, (0h:00m:03s) left, message power -");
  EXPECT_TRUE(progress[1].starts_with("Sending \"b\" (2/2), column 7/11, (0h:00m:01s) left, message power "))
      << progress[1];
}

TEST_F(RenderTest, AKeyingErrorIsPrintedAndLoggedAndTheRunGoesOnUnkeyed) {
  portPath_ = [&](int) { return (dir_ / "no-such-tty").string(); };
  std::ofstream(dir_ / "Velmora.ini") << "[Velmora]\nText=A\nDuration=300\nUsePTTControl=1\nTXDelay=40\n";
  MemoryAudio audio(&clock_);
  ASSERT_EQ(runTool({"--font", fontPath_.string(), "--play", "--key"}, &audio), kExitOk);
  EXPECT_EQ(audio.sounds().size(), 5U);
  EXPECT_NE(err_.str().find("Error opening com port for PTT.\n"), std::string::npos) << err_.str();
  EXPECT_NE(readFile(dir_ / "Logfile.txt").find("PTT port " + (dir_ / "no-such-tty").string()),
            std::string::npos);
}

// A beacon script must learn that the rig may still be keyed.
TEST_F(RenderTest, AFailedUnkeyingEndsTheRunWithACodeOfItsOwn) {
  rigs_ = std::make_shared<velmora::testing::FakeRigControl>();
  rigs_->fail("ptt off", "Communication timed out");
  std::ofstream(dir_ / "Velmora.ini") << "[Velmora]\nText=A\nDuration=300\nUsePTTControl=1\nHamlib=1\n"
                                         "HamlibModel=2\nHamlibPort=localhost:4532\n";
  MemoryAudio audio(&clock_);
  EXPECT_EQ(runTool({"--font", fontPath_.string(), "--play", "--key"}, &audio), kExitNotUnkeyed);
  EXPECT_NE(err_.str().find("Error unkeying the transmitter through Hamlib"), std::string::npos) << err_.str();
}

TEST_F(RenderTest, StopRequestWhileWritingRemovesTheWav) {
  writeSettings({.text = "Ab"});
  stop_ = 1;
  EXPECT_EQ(runTool({"--font", fontPath_.string(), (dir_ / "out.wav").string()}), kExitInterrupted);
  EXPECT_FALSE(fs::exists(dir_ / "out.wav"));
}

TEST_F(RenderTest, DeviceListAndUnknownDevice) {
  MemoryAudio audio(&clock_, {kDefaultOutputDevice, "Test Speaker", "Test Radio"});
  EXPECT_EQ(runTool({"--devices"}, &audio), kExitOk);
  EXPECT_EQ(out_.str(), "0  Default output device\n1  Test Speaker\n2  Test Radio\n");

  writeSettings({});
  EXPECT_EQ(runTool({"--font", fontPath_.string(), "--play", "3"}, &audio), kExitBadInput);
  EXPECT_EQ(err_.str(), "No output device 3 (see --devices)\n");
  EXPECT_TRUE(audio.sounds().empty());
}

TEST_F(RenderTest, VersionNeedsNoSettingsOrOutputFile) {
  // No Velmora.ini here: its defaults would fail the range checks of a text.
  EXPECT_EQ(runTool({"--version"}), kExitOk);
  EXPECT_THAT(out_.str(), ::testing::MatchesRegex("velmora-render [0-9]+(\\.[0-9]+)+\n"));
  EXPECT_EQ(err_.str(), "");
}

}  // namespace
}  // namespace velmora::render
