// Columns on PipeWire's pulse server (scripts/pipewire-test-server.sh, address in
// VELMORA_PIPEWIRE_SERVER): PipeWire resamples to its graph rate, so each column is found
// by its envelope and checked for presence, whole length and tones; dropouts inside
// columns and the silence between them are printed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "audio/playback.h"
#include "audio/pulse_audio_output.h"
#include "column_envelope.h"
#include "pulse_rig.h"
#include "synth/synthesis.h"

namespace velmora::testing {
namespace {

std::string pipewireServer() {
  const char* server = std::getenv("VELMORA_PIPEWIRE_SERVER");
  return server ? server : "";
}

bool pipewireRequired() {
  const char* required = std::getenv("VELMORA_REQUIRE_PIPEWIRE");
  return required && std::string(required) == "1";
}

struct Played {
  ColumnParameters column;
  bool sequential;
};

TEST(PipeWire, ColumnsArriveWholeInOrderWithTheirTones) {
  const std::string server = pipewireServer();
  auto audio = makePulseAudioOutput("velmora-test", server);
  const int radio = server.empty() ? -1 : entryIndex(audio->listDevices(), "Test Radio");
  if (radio < 0) {
    const std::string why = server.empty()
                                ? "VELMORA_PIPEWIRE_SERVER is not set: no PipeWire server to test"
                                : "no PipeWire server with a 'Test Radio' sink answers at " + server;
    if (pipewireRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  audio->openDevice(radio);
  ASSERT_TRUE(audio->isOpen());

  // Every column distinct, and the pilot keeps even a dark one audible.
  std::vector<Played> plan;
  for (int mask : {0x7F, 0x01, 0x40, 0x2A, 0x00, 0x55, 0x1C, 0x63, 0x08, 0x7E, 0x3F, 0x41}) {
    ColumnParameters column;
    column.mask = static_cast<std::uint8_t>(mask);
    column.center = 1500;
    column.durationMs = 300;
    column.pilotTone = true;
    plan.push_back({column, false});
  }
  for (int mask : {0x49, 0x7F, 0x12}) {
    ColumnParameters column;
    column.mask = static_cast<std::uint8_t>(mask);
    column.center = 1500;
    column.durationMs = 700;
    plan.push_back({column, true});
  }
  std::vector<double> tones;
  for (int row = -5; row <= 3; ++row) tones.push_back(1500.0 + row * 10.0);

  // parec asks for a long latency, so that the capture does not itself drive the graph in
  // shorter cycles than the program does.
  MonitorCapture capture("radio.monitor", server, 50);
  ASSERT_TRUE(capture.start()) << "parec did not start recording radio.monitor on PipeWire";
  std::vector<std::vector<std::int16_t>> written;
  SteadyClock clock;
  std::atomic<int> stopFlag{0};
  for (const Played& played : plan) {
    auto buffer = audio->createSoundBuffer(columnBufferBytes(played.column.durationMs));
    ASSERT_NE(buffer, nullptr);
    auto region = buffer->lock();
    ASSERT_TRUE(region.has_value());
    const SynthesizedSound sound = played.sequential ? synthesizeSequentialColumn(played.column, *region)
                                                     : synthesizeConcurrentColumn(played.column, *region);
    written.emplace_back(region->begin(),
                         region->begin() + static_cast<std::ptrdiff_t>(sound.samplesWritten));
    if (played.sequential)
      playFilledBuffer(*buffer, sound.samplesWritten, clock, stopFlag, 10,
                       sequentialWaitLimitMs(sound.samplesWritten));
    else
      playFilledBuffer(*buffer, sound.samplesWritten, clock, stopFlag, 100, played.column.durationMs);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto heard = findSounds(capture.stop(), written, tones);

  std::vector<double> silences;
  int dropouts = 0;
  for (std::size_t k = 0; k < heard.size(); ++k) {
    SCOPED_TRACE("column " + std::to_string(k));
    const HeardSound& column = heard[k];
    ASSERT_TRUE(column.found) << "missing";
    EXPECT_LT(column.shortByMs, kCutMs) << "cut short";
    EXPECT_TRUE(column.tonesMatch) << "other tones than written";
    if (k > 0) silences.push_back(column.silenceBeforeMs);
    dropouts += column.dropouts > 0 ? 1 : 0;
    std::printf("column %zu: silence before %.1f ms, heard %.1f ms short, %d dropouts (longest %.0f ms)\n", k,
                column.silenceBeforeMs, column.shortByMs, column.dropouts, column.longestDropoutMs);
  }
  std::printf("PipeWire: %d of %zu columns with a dropout; silence between columns min/median/max %s ms\n",
              dropouts, heard.size(), spread(silences).c_str());
}

}  // namespace
}  // namespace velmora::testing
