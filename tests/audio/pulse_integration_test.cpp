// Sounds on a real sound server: what reaches the sink must be exactly what the program
// wrote, and a server or device that vanishes must never hang or crash the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <ostream>
#include <thread>

#include "audio/playback.h"
#include "audio/pulse_audio_output.h"
#include "pulse_rig.h"
#include "synth/synthesis.h"

namespace velmora::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::int16_t kJunk = 0x1234;

long long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// A real clock that lets a test act during the wait, on the waiting thread.
class HookedClock final : public velmora::Clock {
 public:
  explicit HookedClock(std::function<void(int)> onSleep) : onSleep_(std::move(onSleep)) {}
  std::uint32_t tickCount() override { return real_.tickCount(); }
  void sleepMs(std::uint32_t ms) override {
    real_.sleepMs(ms);
    onSleep_(++sleeps_);
  }

 private:
  SteadyClock real_;
  std::function<void(int)> onSleep_;
  int sleeps_ = 0;
};

class PulseOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    VELMORA_NEED_TEST_SERVER();
    audio = makePulseAudioOutput("velmora-test");
    entries = audio->listDevices();
    radio = entryIndex(entries, "Test Radio");
    speaker = entryIndex(entries, "Test Speaker");
    ASSERT_GT(radio, 0) << "the test server has no 'Test Radio' sink";
    ASSERT_GT(speaker, 0) << "the test server has no 'Test Speaker' sink";
  }

  std::unique_ptr<AudioOutput> audio;
  std::vector<std::string> entries;
  int radio = -1;
  int speaker = -1;
};

TEST_F(PulseOutput, ListsTheDefaultFirstThenTheSinksInServerOrder) {
  ASSERT_GE(entries.size(), 3u);
  EXPECT_LE(entries.size(), kMaxOutputDevices);
  EXPECT_EQ(entries[0], kDefaultOutputDevice);
  EXPECT_LT(speaker, radio) << "the speaker sink was loaded first";
  for (int index : {-1, 0, speaker, radio}) {
    audio->openDevice(index);
    EXPECT_TRUE(audio->isOpen()) << "entry " << index;
  }
  audio->openDevice(static_cast<int>(entries.size()));  // no such entry
  EXPECT_FALSE(audio->isOpen());
  EXPECT_EQ(audio->createSoundBuffer(100), nullptr);
}

struct ColumnCase {
  bool sequential;
  std::uint32_t durationMs;
  std::uint8_t mask;
};

void PrintTo(const ColumnCase& c, std::ostream* os) {
  *os << (c.sequential ? "S/MT " : "C/MT ") << c.durationMs << " ms, mask " << static_cast<int>(c.mask);
}

class ColumnOnTheRadio : public PulseOutput, public ::testing::WithParamInterface<ColumnCase> {};

TEST_P(ColumnOnTheRadio, ArrivesSampleForSampleAndNothingElse) {
  const auto& c = GetParam();
  audio->openDevice(radio);
  ColumnParameters column;
  column.mask = c.mask;
  column.durationMs = c.durationMs;
  column.pilotTone = !c.sequential;  // S/MT: dark slots are skipped, not filled with the pilot
  column.skipDarkPixels = true;

  MonitorCapture capture;
  ASSERT_TRUE(capture.start()) << "parec did not start recording radio.monitor";
  auto buffer = audio->createSoundBuffer(columnBufferBytes(c.durationMs));
  ASSERT_NE(buffer, nullptr);
  auto region = buffer->lock();
  ASSERT_TRUE(region.has_value());
  // Junk everywhere first: whatever the column leaves unwritten must never be heard.
  std::fill(region->begin(), region->end(), kJunk);
  const SynthesizedSound sound =
      c.sequential ? synthesizeSequentialColumn(column, *region) : synthesizeConcurrentColumn(column, *region);
  const std::vector<std::int16_t> expected(region->begin(),
                                           region->begin() + static_cast<std::ptrdiff_t>(sound.samplesWritten));
  std::atomic<int> stopFlag{0};
  SteadyClock clock;
  const auto started = Clock::now();
  if (c.sequential)
    playFilledBuffer(*buffer, sound.samplesWritten, clock, stopFlag, 10, sequentialWaitLimitMs(sound.samplesWritten));
  else
    playFilledBuffer(*buffer, sound.samplesWritten, clock, stopFlag, 100, c.durationMs);
  const long long tookMs = msSince(started);
  buffer.reset();
  std::this_thread::sleep_for(milliseconds(150));
  const auto captured = capture.stop();

  EXPECT_LT(tookMs, static_cast<long long>(c.durationMs) + 100 + 500 + 200) << "wait plus bounded drain";
  const auto offset = alignment(captured, expected);
  ASSERT_TRUE(offset.has_value()) << "nothing arrived at the sink";
  ASSERT_GE(captured.size(), *offset + expected.size() + 100) << "the capture ends inside the sound";
  std::size_t mismatches = 0;
  std::size_t firstMismatch = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (captured[*offset + i] == expected[i]) continue;
    if (mismatches++ == 0) firstMismatch = i;
  }
  EXPECT_EQ(mismatches, 0u) << "first at sample " << firstMismatch << " of " << expected.size();
  const auto after = captured.begin() + static_cast<std::ptrdiff_t>(*offset + expected.size());
  EXPECT_TRUE(std::all_of(after, captured.end(), [](std::int16_t s) { return s == 0; }))
      << "something was heard after the written samples";
}

INSTANTIATE_TEST_SUITE_P(Columns, ColumnOnTheRadio,
                         ::testing::Values(ColumnCase{false, 300, 0x55}, ColumnCase{false, 1000, 0x7F},
                                           ColumnCase{true, 300, 0x41}, ColumnCase{true, 1000, 0x49}));

TEST_F(PulseOutput, StopFlagCutsTheSoundWithinOnePoll) {
  audio->openDevice(radio);
  MonitorCapture capture;
  ASSERT_TRUE(capture.start());
  auto buffer = audio->createSoundBuffer(kTuningToneBytes);
  ASSERT_NE(buffer, nullptr);
  auto region = buffer->lock();
  ASSERT_TRUE(region.has_value());
  synthesizeTuningTone(1000, false, *region);

  std::atomic<int> stopFlag{0};
  Clock::time_point stopAt;
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(300));
    stopAt = Clock::now();
    stopFlag = 1;
  });
  SteadyClock clock;
  playFilledBuffer(*buffer, kTuningToneSamples, clock, stopFlag, 100, 10000);
  const auto returned = Clock::now();
  stopper.join();
  buffer.reset();
  std::this_thread::sleep_for(milliseconds(150));
  const auto captured = capture.stop();

  EXPECT_LE(std::chrono::duration_cast<milliseconds>(returned - stopAt).count(), 100 + 150)
      << "one poll period plus scheduling slack";
  const auto first = std::find_if(captured.begin(), captured.end(), [](std::int16_t s) { return s != 0; });
  const auto last = std::find_if(captured.rbegin(), captured.rend(), [](std::int16_t s) { return s != 0; });
  ASSERT_NE(first, captured.end()) << "nothing was heard";
  const auto heardMs = (std::distance(first, last.base()) * 1000) / 11025;
  // 300 ms until the flag, at most one poll more, then silence at once (no drain).
  EXPECT_LT(heardMs, 300 + 100 + 200);
  EXPECT_GT(heardMs, 250);
}

// The drive level is the stream's volume on the server, read back as pactl shows it.
TEST_F(PulseOutput, TheDriveLevelIsTheVolumeOfTheSoundsStream) {
  audio->openDevice(radio);
  for (const auto& [level, shown] : {std::pair{-12, "-12.00 dB"}, std::pair{0, "0.00 dB"}}) {
    audio->setOutputLevel(level);
    auto buffer = audio->createSoundBuffer(columnBufferBytes(3000));
    ASSERT_NE(buffer, nullptr);
    auto region = buffer->lock();
    ASSERT_TRUE(region.has_value());
    std::fill(region->begin(), region->end(), std::int16_t{1000});
    ASSERT_TRUE(buffer->unlock(region->size()) && buffer->rewind() && buffer->play());
    std::string inputs;
    if (FILE* pactl = popen("pactl list sink-inputs", "r")) {
      char chunk[512];
      while (std::fgets(chunk, sizeof chunk, pactl) != nullptr) inputs += chunk;
      pclose(pactl);
    }
    buffer->stop(StopMode::Flush);
    EXPECT_NE(inputs.find("Velmora sound"), std::string::npos) << inputs;
    EXPECT_NE(inputs.find(shown), std::string::npos) << "level " << level << ":\n" << inputs;
  }
}

TEST_F(PulseOutput, ADeviceChangeDoesNotWaitForOrBreakASoundInProgress) {
  audio->openDevice(radio);
  auto buffer = audio->createSoundBuffer(2000);
  ASSERT_NE(buffer, nullptr);
  auto region = buffer->lock();
  ASSERT_TRUE(region.has_value());
  std::fill(region->begin(), region->end(), std::int16_t{1000});

  const auto started = Clock::now();
  audio->openDevice(speaker);
  EXPECT_LT(msSince(started), 1000);
  ASSERT_TRUE(audio->isOpen());

  // The old sound still lives on the device it was made on.
  EXPECT_TRUE(buffer->unlock(region->size()));
  EXPECT_TRUE(buffer->rewind());
  EXPECT_TRUE(buffer->play());
  buffer->stop(StopMode::Drain);
  buffer.reset();
  EXPECT_NE(audio->createSoundBuffer(2000), nullptr);

  // Closing while a buffer lives: the buffer still ends cleanly, new ones are refused.
  auto late = audio->createSoundBuffer(2000);
  ASSERT_NE(late, nullptr);
  audio->closeDevice();
  EXPECT_EQ(audio->createSoundBuffer(2000), nullptr);
  EXPECT_TRUE(late->unlock(0));
  late->stop(StopMode::Flush);
}

class VanishingServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server.start()) {
      const std::string why = "no private PulseAudio server could be started";
      if (testServerRequired()) FAIL() << why;
      GTEST_SKIP() << why;
    }
    audio = makePulseAudioOutput("velmora-test", server.address());
    radio = entryIndex(audio->listDevices(), "Test Radio");
    ASSERT_GT(radio, 0);
    audio->openDevice(radio);
    ASSERT_TRUE(audio->isOpen());
  }

  // Creates and fills a buffer of 300 ms with a steady value; nullptr when creation fails.
  std::unique_ptr<SoundBuffer> filledBuffer() {
    auto buffer = audio->createSoundBuffer(6615);
    if (!buffer) return nullptr;
    auto region = buffer->lock();
    if (region) std::fill(region->begin(), region->end(), std::int16_t{2000});
    return buffer;
  }

  PrivateServer server;
  std::unique_ptr<AudioOutput> audio;
  int radio = -1;
};

TEST_F(VanishingServer, ASoundCutOffByTheServersEndReturnsOnTimeAndLaterSoundsFailUntilItReturns) {
  auto buffer = filledBuffer();
  ASSERT_NE(buffer, nullptr);
  HookedClock clock([&](int sleep) {
    if (sleep == 1) server.kill();
  });
  std::atomic<int> stopFlag{0};
  auto started = Clock::now();
  playFilledBuffer(*buffer, 3307, clock, stopFlag, 100, 300);
  buffer.reset();
  EXPECT_LT(msSince(started), 300 + 100 + 500 + 200) << "the wait runs its course, nothing hangs";

  started = Clock::now();
  for (int column = 0; column < 3; ++column) EXPECT_EQ(audio->createSoundBuffer(6615), nullptr);
  EXPECT_LT(msSince(started), 3000);

  ASSERT_TRUE(server.start());
  auto again = filledBuffer();
  ASSERT_NE(again, nullptr) << "the returned server is used again";
  EXPECT_TRUE(again->unlock(3307));
  EXPECT_TRUE(again->rewind());
  EXPECT_TRUE(again->play());
}

TEST_F(VanishingServer, AFilledBufferWhoseServerIsGoneFailsAtUnlockOrPlay) {
  auto buffer = filledBuffer();
  ASSERT_NE(buffer, nullptr);
  server.kill();
  const auto started = Clock::now();
  const bool unlocked = buffer->unlock(3307);
  const bool played = unlocked && buffer->rewind() && buffer->play();
  buffer->stop(StopMode::Drain);
  buffer.reset();
  EXPECT_FALSE(played);
  EXPECT_LT(msSince(started), 3000);
}

TEST_F(VanishingServer, AnUnpluggedDeviceEndsItsSoundsUntilAnotherIsChosen) {
  auto buffer = filledBuffer();
  ASSERT_NE(buffer, nullptr);
  HookedClock clock([&](int sleep) {
    if (sleep == 1) {
      EXPECT_TRUE(server.unplug("radio"));
    }
  });
  std::atomic<int> stopFlag{0};
  const auto started = Clock::now();
  playFilledBuffer(*buffer, 3307, clock, stopFlag, 100, 300);
  buffer.reset();
  EXPECT_LT(msSince(started), 300 + 100 + 500 + 200);

  EXPECT_EQ(audio->createSoundBuffer(6615), nullptr) << "the chosen sink is gone: no sound elsewhere";
  audio->openDevice(0);
  EXPECT_NE(filledBuffer(), nullptr) << "the default device still plays";
}

}  // namespace
}  // namespace velmora::testing
