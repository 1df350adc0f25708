// The real velmora-render binary against the private test sound server: the devices it
// lists, and the sounds it plays on "Test Radio", sample for sample as it renders them.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/pulse_rig.h"
#include "support/rigctld_server.h"
#include "render/render.h"
#include "transmit/glyph_font.h"
#include "transmit/message_columns.h"

namespace velmora::render {
namespace {

namespace fs = std::filesystem;
using velmora::testing::alignment;
using velmora::testing::MonitorCapture;

constexpr std::size_t kWavHeaderBytes = 44;

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char ch : text) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> linesOf(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The samples after the canonical header; the header itself is render_test's concern.
std::vector<std::int16_t> wavSamples(const fs::path& path) {
  const std::string bytes = readFile(path);
  std::vector<std::int16_t> samples;
  for (std::size_t at = kWavHeaderBytes; at + 1 < bytes.size(); at += 2) {
    const auto low = static_cast<unsigned char>(bytes[at]);
    const auto high = static_cast<unsigned char>(bytes[at + 1]);
    samples.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8))));
  }
  return samples;
}

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class RenderPulseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "velmora-render-pulse-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Runs the binary in the test's own directory, so that no stray Velmora.ini or font
  // of the caller's working directory takes part.
  RunResult runRender(const std::vector<std::string>& arguments) const {
    std::string command = "cd " + shellQuote(dir_.string()) + " && " + shellQuote(VELMORA_RENDER_BINARY);
    for (const std::string& argument : arguments) command += " " + shellQuote(argument);
    command += " >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    RunResult result;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = readFile(dir_ / "stdout.txt");
    result.err = readFile(dir_ / "stderr.txt");
    return result;
  }

  // Starts the binary in the test's directory without waiting for it.
  pid_t startRender(const std::vector<std::string>& arguments) const {
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0 || !freopen("stdout.txt", "w", stdout) || !freopen("stderr.txt", "w", stderr)) {
        _exit(127);
      }
      std::vector<char*> argv{const_cast<char*>(VELMORA_RENDER_BINARY)};
      for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      execv(VELMORA_RENDER_BINARY, argv.data());
      _exit(127);
    }
    return pid;
  }

  // Settings that key rigctld's dummy rig through Hamlib.
  void writeHamlibSettings(const std::string& text, const testing::RigctldServer& rigctld) const {
    writeSettings("Text=" + text + "\nDuration=300\nOffset=5\nInterval=1\nUsePTTControl=1\nHamlib=1\n" +
                  "HamlibModel=2\nHamlibPort=" + rigctld.address() + "\n");
  }

  fs::path writeSettings(const std::string& body) const {
    const fs::path path = dir_ / "Velmora.ini";
    std::ofstream(path) << "[Velmora]\n" << body;
    return path;
  }

  fs::path dir_;
};

TEST_F(RenderPulseTest, DevicesListsTheDefaultThenEverySinkInTheServersOrder) {
  VELMORA_NEED_TEST_SERVER();
  const RunResult run = runRender({"--devices"});
  EXPECT_EQ(run.exitCode, kExitOk);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(linesOf(run.out),
            (std::vector<std::string>{"0  Default output device", "1  Test Speaker", "2  Test Radio"}));
}

// The text's columns cut out of the WAV, each with the mask it was rendered from.
struct Column {
  std::uint8_t mask = 0;
  std::vector<std::int16_t> samples;
};

std::vector<Column> splitIntoColumns(const std::vector<std::int16_t>& wav, const RenderSettings& settings,
                                     const std::string& text) {
  GlyphTable glyphs;
  if (!loadGlyphFont(std::string(VELMORA_SOURCE_DATA_DIR) + "/5x7 (International).txt", glyphs)) return {};
  std::vector<Column> columns;
  std::size_t at = 0;
  for (const std::uint8_t mask : messageColumns(sendableText(text), glyphs)) {
    const std::size_t length = columnSamplesWritten(settings, mask);
    if (at + length > wav.size()) return {};
    columns.push_back({mask, std::vector<std::int16_t>(wav.begin() + static_cast<std::ptrdiff_t>(at),
                                                       wav.begin() + static_cast<std::ptrdiff_t>(at + length))});
    at += length;
  }
  if (at != wav.size()) return {};
  return columns;
}

std::size_t nonZeroCount(const std::vector<std::int16_t>& samples) {
  std::size_t count = 0;
  for (const std::int16_t sample : samples) count += sample != 0 ? 1 : 0;
  return count;
}

TEST_F(RenderPulseTest, PlayPutsEveryLitColumnOnTheDeviceSampleForSample) {
  VELMORA_NEED_TEST_SERVER();
  const std::string text = "E";
  const fs::path settingsPath = writeSettings("Concurrent=1\nFrequency=1000\nOffset=10\nDuration=300\n");
  RenderSettings settings;
  settings.concurrent = true;
  settings.frequency = 1000;
  settings.offset = 10;
  settings.durationMs = 300;

  const RunResult rendered = runRender({"--settings", settingsPath.string(), "--text", text, "out.wav"});
  ASSERT_EQ(rendered.exitCode, kExitOk) << rendered.err;
  const std::vector<Column> columns = splitIntoColumns(wavSamples(dir_ / "out.wav"), settings, text);
  ASSERT_EQ(columns.size(), 5U) << "the WAV does not split into the columns of '" << text << "'";

  const RunResult devices = runRender({"--devices"});
  const int radio = velmora::testing::entryIndex(linesOf(devices.out), "2  Test Radio") < 0 ? -1 : 2;
  ASSERT_GE(radio, 0) << devices.out;

  MonitorCapture capture("radio.monitor");
  ASSERT_TRUE(capture.start()) << "parec did not start recording radio.monitor";
  const RunResult played =
      runRender({"--settings", settingsPath.string(), "--text", text, "--play", std::to_string(radio)});
  // The last column is drained before the program exits; give the recorder time to receive it.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const std::vector<std::int16_t> captured = capture.stop();

  EXPECT_EQ(played.exitCode, kExitOk);
  // Without a terminal, one progress line per character.
  EXPECT_EQ(played.err, "Sending \"E\" (1/1), column 1/5, (0h:00m:01s) left, message power -\n");
  std::size_t searchFrom = 0;
  std::size_t litSamples = 0;
  for (std::size_t index = 0; index < columns.size(); ++index) {
    const Column& column = columns[index];
    if (column.mask == 0) continue;
    SCOPED_TRACE("column " + std::to_string(index));
    const auto offset = alignment(captured, column.samples, searchFrom);
    ASSERT_TRUE(offset.has_value()) << "the column never reached the sink";
    ASSERT_LE(*offset + column.samples.size(), captured.size()) << "the capture ends inside the column";
    const std::vector<std::int16_t> got(captured.begin() + static_cast<std::ptrdiff_t>(*offset),
                                        captured.begin() + static_cast<std::ptrdiff_t>(*offset + column.samples.size()));
    ASSERT_EQ(got, column.samples);
    searchFrom = *offset + column.samples.size();
    litSamples += nonZeroCount(column.samples);
  }
  EXPECT_GT(litSamples, 0U) << "no lit column: nothing was compared";
  // Between and around the columns the sink heard silence: no column twice, nothing extra.
  EXPECT_EQ(nonZeroCount(captured), litSamples);
}

// Keyed through rigctld with the dummy rig: on while the columns play, off after the last.
TEST_F(RenderPulseTest, KeyKeysRigctldWhileTheTextPlaysAndUnkeysAfterTheLastColumn) {
  VELMORA_NEED_TEST_SERVER();
  testing::RigctldServer rigctld;
  ASSERT_TRUE(rigctld.running()) << "rigctld (libhamlib-utils) could not be started";
  writeHamlibSettings("EE", rigctld);

  auto run = std::async(std::launch::async, [&] { return runRender({"--play", "--key"}); });
  bool keyedWhilePlaying = false;
  while (run.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
    keyedWhilePlaying = keyedWhilePlaying || rigctld.ptt() == "1";
  }
  const RunResult played = run.get();
  EXPECT_EQ(played.exitCode, kExitOk) << played.err;
  EXPECT_TRUE(keyedWhilePlaying);
  EXPECT_EQ(rigctld.ptt(), "0");
  const std::string log = readFile(dir_ / "Logfile.txt");
  EXPECT_NE(log.find("z Starting text transmission (EE, C/MT, 1000/5 Hz, 300ms, no pilot tone)\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("z Terminating text transmission (sent text: EE)\r\n"), std::string::npos) << log;
}

TEST_F(RenderPulseTest, LoopStoppedBySigtermUnkeysAtOnceLogsTheStopAndExits130) {
  VELMORA_NEED_TEST_SERVER();
  testing::RigctldServer rigctld;
  ASSERT_TRUE(rigctld.running()) << "rigctld (libhamlib-utils) could not be started";
  writeHamlibSettings("EEEEEE", rigctld);
  const pid_t render = startRender({"--play", "--key", "--loop"});
  ASSERT_GT(render, 0);
  bool keyed = false;
  for (int attempt = 0; attempt < 50 && !keyed; ++attempt) {
    keyed = rigctld.ptt() == "1";
    if (!keyed) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const auto stopped = std::chrono::steady_clock::now();
  kill(render, SIGTERM);
  int status = 0;
  waitpid(render, &status, 0);
  const auto exitedAfter = std::chrono::steady_clock::now() - stopped;

  EXPECT_TRUE(keyed);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kExitInterrupted);
  EXPECT_LT(exitedAfter, std::chrono::seconds(1));
  EXPECT_EQ(rigctld.ptt(), "0");
  const std::string log = readFile(dir_ / "Logfile.txt");
  EXPECT_NE(log.find("z Transmission stopped.\r\n"), std::string::npos) << log;
}

// The sound of a real play, gaps between columns and all, reads back exactly, and the
// inputs it can be heard on are listed.
TEST_F(RenderPulseTest, DecodeReadsACaptureOfARealPlayExactly) {
  VELMORA_NEED_TEST_SERVER();
  const fs::path settings = writeSettings("Concurrent=1\nFrequency=1200\nOffset=10\nDuration=300\n");
  const RunResult devices = runRender({"--devices"});
  const int radio = velmora::testing::entryIndex(linesOf(devices.out), "2  Test Radio") < 0 ? -1 : 2;
  ASSERT_GE(radio, 0) << devices.out;
  MonitorCapture capture("radio.monitor");
  ASSERT_TRUE(capture.start());
  const RunResult played = runRender({"--settings", settings.string(), "--text", "CQ 73", "--play", std::to_string(radio)});
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const std::vector<std::int16_t> captured = capture.stop();
  ASSERT_EQ(played.exitCode, kExitOk) << played.err;

  std::ofstream wav(dir_ / "capture.wav", std::ios::binary);
  const std::vector<std::uint8_t> header = wavHeader(static_cast<std::uint32_t>(captured.size()));
  wav.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
  wav.write(reinterpret_cast<const char*>(captured.data()), static_cast<std::streamsize>(2 * captured.size()));
  wav.close();
  const RunResult decoded = runRender({"--settings", settings.string(), "--decode", "capture.wav"});
  EXPECT_EQ(decoded.exitCode, kExitOk) << decoded.err;
  EXPECT_EQ(decoded.out, "CQ 73\n");

  const RunResult sources = runRender({"--sources"});
  EXPECT_NE(sources.out.find("  Monitor of Test Radio (radio.monitor)\n"), std::string::npos) << sources.out;
}

TEST_F(RenderPulseTest, ListenPrintsTheTextPlayedIntoTheChosenInput) {
  VELMORA_NEED_TEST_SERVER();
  const fs::path settings = writeSettings("Concurrent=1\nFrequency=1200\nOffset=10\nDuration=300\n");
  const int radio = velmora::testing::entryIndex(linesOf(runRender({"--devices"}).out), "2  Test Radio") < 0 ? -1 : 2;
  ASSERT_GE(radio, 0);
  const pid_t listener = startRender({"--settings", settings.string(), "--listen", "radio.monitor"});
  ASSERT_GT(listener, 0);
  const RunResult played = runRender({"--settings", settings.string(), "--text", "TEST", "--play", std::to_string(radio)});
  EXPECT_EQ(played.exitCode, kExitOk) << played.err;
  // A character is printed once the decoder has heard a little past it.
  std::this_thread::sleep_for(std::chrono::seconds(8));
  kill(listener, SIGTERM);
  int status = 0;
  waitpid(listener, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kExitOk) << readFile(dir_ / "stderr.txt");
  EXPECT_EQ(readFile(dir_ / "stdout.txt"), "TEST\n");
}

}  // namespace
}  // namespace velmora::render
