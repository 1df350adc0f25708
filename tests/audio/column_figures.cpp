// velmora_column_figures: plays a text with velmora-render --play on the "Test Radio" sink
// of a sound server several times, captures the sink's monitor each time, and prints per
// run and in all: columns missing or cut, columns with a dropout, and the silence between
// columns. Not a test: the figures depend on the machine and its load.
//   velmora_column_figures SERVER RENDER_BINARY [RUNS] [TEXT]
// SERVER as libpulse names it (unix:/path/to/socket). C/MT, 300 ms columns with the pilot
// tone, so that every column (a dark one too) can be found by its envelope.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "column_envelope.h"
#include "pulse_rig.h"

namespace fs = std::filesystem;
using velmora::testing::findSounds;
using velmora::testing::spread;

namespace {

constexpr int kDurationMs = 300;
constexpr double kCenterHz = 1500;
constexpr double kOffsetHz = 10;
constexpr std::size_t kColumnSamples = kDurationMs * 11025 / 1000;
constexpr std::size_t kWavHeader = 44;
// A wait that ends one 100 ms poll later than the sound: the playback wait's own rule.
constexpr double kOnePollLaterMs = 75;

std::string quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string run(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe)) output += chunk;
    pclose(pipe);
  }
  return output;
}

std::vector<std::vector<std::int16_t>> writtenColumns(const fs::path& wav) {
  std::ifstream in(wav, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::int16_t> samples;
  for (std::size_t at = kWavHeader; at + 1 < bytes.size(); at += 2)
    samples.push_back(static_cast<std::int16_t>(static_cast<unsigned char>(bytes[at]) |
                                                (static_cast<unsigned char>(bytes[at + 1]) << 8)));
  std::vector<std::vector<std::int16_t>> columns;
  for (std::size_t at = 0; at + kColumnSamples <= samples.size(); at += kColumnSamples)
    columns.emplace_back(samples.begin() + static_cast<std::ptrdiff_t>(at),
                         samples.begin() + static_cast<std::ptrdiff_t>(at + kColumnSamples));
  return columns;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SERVER RENDER_BINARY [RUNS] [TEXT]\n", argv[0]);
    return 2;
  }
  const std::string server = argv[1];
  const std::string render = fs::absolute(argv[2]).string();
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  const std::string text = argc > 4 ? argv[4] : "CQ CQ DE";

  const fs::path dir = fs::temp_directory_path() / ("velmora-figures-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "Velmora.ini") << "[Velmora]\nConcurrent=1\nFrequency=" << kCenterHz
                                     << "\nOffset=" << kOffsetHz << "\nDuration=" << kDurationMs
                                     << "\nPilotTone=1\n";
  const std::string renderIn = "cd " + quote(dir.string()) + " && PULSE_SERVER=" + quote(server) + " " +
                               quote(render) + " --settings Velmora.ini --text " + quote(text);
  run(renderIn + " out.wav");
  const auto written = writtenColumns(dir / "out.wav");
  std::istringstream devices(run(renderIn + " --devices"));
  int radio = -1;
  for (std::string line; std::getline(devices, line);)
    if (line.ends_with("  Test Radio")) radio = std::stoi(line);
  if (written.empty() || radio < 0) {
    std::fprintf(stderr, "no columns rendered, or no 'Test Radio' on %s\n", server.c_str());
    return 1;
  }
  std::vector<double> tones;
  for (int row = -5; row <= 3; ++row) tones.push_back(kCenterHz + row * kOffsetHz);

  std::vector<double> allGaps, allLater;
  int allMissing = 0, allCut = 0, allDropped = 0;
  for (int r = 0; r < runs; ++r) {
    // parec asks for a long latency, so that the capture does not itself drive PipeWire's
    // graph in shorter cycles than the program does.
    velmora::testing::MonitorCapture capture("radio.monitor", server, 50);
    if (!capture.start()) {
      std::fprintf(stderr, "parec did not start on %s\n", server.c_str());
      return 1;
    }
    run(renderIn + " --play " + std::to_string(radio));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto captured = capture.stop();
    const auto heard = findSounds(captured, written, tones);
    std::vector<double> gaps, later;
    int missing = 0, cut = 0, dropped = 0;
    double longest = 0;
    for (std::size_t k = 0; k < heard.size(); ++k) {
      const auto& column = heard[k];
      if (!column.found || !column.tonesMatch) {
        ++missing;
        continue;
      }
      cut += column.shortByMs >= velmora::testing::kCutMs ? 1 : 0;
      dropped += column.dropouts > 0 ? 1 : 0;
      longest = std::max(longest, column.longestDropoutMs);
      if (k > 0 && heard[k - 1].found)
        (column.silenceBeforeMs < kOnePollLaterMs ? gaps : later).push_back(column.silenceBeforeMs);
    }
    if (missing + cut > 0) {
      // Kept for a look with any sound editor: raw 16-bit mono at 11025 Hz.
      const fs::path kept =
          fs::temp_directory_path() / ("velmora-figures-run" + std::to_string(r + 1) + ".raw");
      std::ofstream(kept, std::ios::binary)
          .write(reinterpret_cast<const char*>(captured.data()),
                 static_cast<std::streamsize>(captured.size() * sizeof(std::int16_t)));
      for (std::size_t k = 0; k < heard.size(); ++k)
        std::printf("  column %zu: %s at %.1f ms, silence before %.1f ms, %.1f ms short, %d dropouts\n", k,
                    !heard[k].found       ? "missing"
                    : heard[k].tonesMatch ? "found"
                                          : "other tones",
                    1000.0 * static_cast<double>(heard[k].start) / 11025, heard[k].silenceBeforeMs,
                    heard[k].shortByMs, heard[k].dropouts);
      std::printf("  capture kept in %s\n", kept.c_str());
    }
    std::printf(
        "run %d: %zu columns, %d missing or wrong, %d cut, %d with a dropout (longest %.0f ms); "
        "silence between columns min/median/max %s ms (%zu), one poll later %s ms (%zu)\n",
        r + 1, heard.size(), missing, cut, dropped, longest, spread(gaps).c_str(), gaps.size(),
        spread(later).c_str(), later.size());
    allMissing += missing;
    allCut += cut;
    allDropped += dropped;
    allGaps.insert(allGaps.end(), gaps.begin(), gaps.end());
    allLater.insert(allLater.end(), later.begin(), later.end());
  }
  std::printf(
      "all %d runs of %zu columns: %d missing or wrong, %d cut, %d with a dropout; silence between columns "
      "min/median/max %s ms, one poll later %s ms\n",
      runs, written.size(), allMissing, allCut, allDropped, spread(allGaps).c_str(),
      spread(allLater).c_str());
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return allMissing + allCut > 0 ? 1 : 0;
}
