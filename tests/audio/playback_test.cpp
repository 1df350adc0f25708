#include "audio/playback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <numeric>
#include <ostream>
#include <vector>

#include "support/fake_clock.h"
#include "support/memory_audio.h"

namespace velmora {
namespace {

using testing::FakeClock;
using testing::MemoryAudio;
using testing::SoundStep;

// A wait that never ends would hang the test run: after this many sleeps the guard sets
// the stop flag, which the assertions then see as a wrong end.
constexpr std::size_t kRunawaySleeps = 200000;

void guardAgainstRunaway(FakeClock& clock, std::atomic<int>& stopFlag) {
  clock.onSleep([&clock, &stopFlag] {
    if (clock.sleeps().size() >= kRunawaySleeps) stopFlag = 1;
  });
}

struct ElapsedCase {
  std::uint32_t start;
  std::uint32_t now;
  std::uint32_t elapsed;
};

void PrintTo(const ElapsedCase& c, std::ostream* os) {
  *os << "start " << c.start << ", now " << c.now;
}

class ElapsedTicks : public ::testing::TestWithParam<ElapsedCase> {};

TEST_P(ElapsedTicks, FollowsTheCounterAndItsWrapRule) {
  const auto& c = GetParam();
  EXPECT_EQ(elapsedTicks(c.start, c.now), c.elapsed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ElapsedTicks,
    ::testing::Values(ElapsedCase{0, 0, 0}, ElapsedCase{1000, 1500, 500},
                      ElapsedCase{0, 0xFFFFFFFFu, 0xFFFFFFFFu},
                      // after a wrap the count is 0xFFFFFFFF - start + now
                      ElapsedCase{0xFFFFFFFAu, 5, 10}, ElapsedCase{0xFFFFFFFFu, 0, 0},
                      ElapsedCase{5, 4, 0xFFFFFFFEu}));

struct WaitCase {
  std::uint32_t startTick;   // clock and start of the wait
  std::uint32_t alreadyMs;   // time that passed between start and the wait's begin
  std::uint32_t pollMs;
  std::uint32_t limitMs;
  std::size_t expectedSleeps;
};

void PrintTo(const WaitCase& c, std::ostream* os) {
  *os << "start " << c.startTick << " +" << c.alreadyMs << ", poll " << c.pollMs << ", limit " << c.limitMs;
}

class WaitLimit : public ::testing::TestWithParam<WaitCase> {};

TEST_P(WaitLimit, EndsAtTheFirstPollPastTheLimit) {
  const auto& c = GetParam();
  FakeClock clock(c.startTick);
  std::atomic<int> stopFlag{0};
  guardAgainstRunaway(clock, stopFlag);
  clock.advance(c.alreadyMs);

  const WaitEnd end = waitForPlayback(clock, stopFlag, c.startTick, c.pollMs, c.limitMs);

  EXPECT_EQ(end, WaitEnd::LimitPassed);
  const auto sleeps = clock.sleeps();
  EXPECT_EQ(sleeps.size(), c.expectedSleeps);
  EXPECT_TRUE(std::all_of(sleeps.begin(), sleeps.end(), [&](auto ms) { return ms == c.pollMs; }));
}

INSTANTIATE_TEST_SUITE_P(
    Table, WaitLimit,
    ::testing::Values(
        // poll 10 / limit 1000: the first poll with at least 1001 ms is at 1010 ms
        WaitCase{1000, 0, 10, 1000, 101},
        // C/MT, 300 ms: 300 is not past 300, 400 is
        WaitCase{1000, 0, 100, 300, 4},
        // S/MT with skipped slots: limit 285 ends at 290
        WaitCase{1000, 0, 10, 285, 29},
        // the tuning tone
        WaitCase{1000, 0, 100, 10000, 101},
        // time spent after the start (between the tick and the wait) counts
        WaitCase{1000, 50, 100, 300, 3},
        // a zero limit still waits one poll
        WaitCase{1000, 0, 10, 0, 1},
        // across the wrap: the rule counts one less, so 1 ms polls need 1002 of them
        WaitCase{0xFFFFFFF0u, 0, 1, 1000, 1002},
        WaitCase{0xFFFFFF00u, 0, 100, 1000, 11}));

TEST(WaitStop, IsNoticedAtThePollAfterTheFlagIsSet) {
  for (std::size_t setAtSleep : {1u, 2u, 7u}) {
    FakeClock clock(5000);
    std::atomic<int> stopFlag{0};
    clock.onSleep([&] {
      if (clock.sleeps().size() == setAtSleep) stopFlag = 1;
      if (clock.sleeps().size() >= kRunawaySleeps) stopFlag = 1;
    });
    EXPECT_EQ(waitForPlayback(clock, stopFlag, 5000, 100, 60000), WaitEnd::Stopped);
    EXPECT_EQ(clock.sleeps().size(), setAtSleep) << "flag set during sleep " << setAtSleep;
  }
}

TEST(WaitStop, FlagSetBeforeTheWaitEndsItWithoutASleep) {
  FakeClock clock(5000);
  std::atomic<int> stopFlag{1};
  EXPECT_EQ(waitForPlayback(clock, stopFlag, 5000, 10, 1000), WaitEnd::Stopped);
  EXPECT_TRUE(clock.sleeps().empty());
}

TEST(WaitStop, ThePollsFlagWinsOverAPassedLimit) {
  FakeClock clock(0);
  std::atomic<int> stopFlag{0};
  clock.onSleep([&] { stopFlag = 1; });
  EXPECT_EQ(waitForPlayback(clock, stopFlag, 0, 100, 50), WaitEnd::Stopped);
}

// A whole life cycle on the in-memory sound system.
class LifeCycle : public ::testing::Test {
 protected:
  LifeCycle() : audio(&clock) { audio.openDevice(0); }

  // Creates a buffer, fills `written` samples with 1, 2, 3, ... and plays it.
  void playColumn(std::size_t bytes, std::size_t written, std::uint32_t pollMs, std::uint32_t limitMs) {
    auto buffer = audio.createSoundBuffer(bytes);
    ASSERT_NE(buffer, nullptr);
    auto region = buffer->lock();
    ASSERT_TRUE(region.has_value());
    std::iota(region->begin(), region->begin() + static_cast<std::ptrdiff_t>(written), std::int16_t{1});
    playFilledBuffer(*buffer, written, clock, stopFlag, pollMs, limitMs);
  }

  FakeClock clock{1000};
  std::atomic<int> stopFlag{0};
  MemoryAudio audio;
};

TEST_F(LifeCycle, RunsEveryStepInOrderAndDrainsAfterTheLimit) {
  playColumn(6615, 3304, 10, 299);

  const auto sounds = audio.sounds();
  ASSERT_EQ(sounds.size(), 1u);
  const auto& sound = sounds[0];
  EXPECT_EQ(sound.steps, (std::vector<SoundStep>{SoundStep::Create, SoundStep::Lock, SoundStep::Unlock,
                                                 SoundStep::Rewind, SoundStep::Play, SoundStep::Stop,
                                                 SoundStep::Release}));
  EXPECT_TRUE(sound.played);
  EXPECT_EQ(sound.playTick, 1000u);
  EXPECT_EQ(sound.stopTick, 1300u);  // first 10 ms poll past 299 ms
  EXPECT_EQ(sound.stopMode, StopMode::Drain);
  EXPECT_EQ(sound.samplesWritten, 3304u);
  ASSERT_EQ(sound.samples.size(), 3304u);
  EXPECT_EQ(sound.samples.front(), 1);
  EXPECT_EQ(sound.samples.back(), 3304);
  EXPECT_EQ(audio.liveBuffers(), 0);
}

TEST_F(LifeCycle, StopFlagEndsTheSoundWithinOnePollAndFlushes) {
  clock.onSleep([&] {
    if (clock.tickCount() >= 1250) stopFlag = 1;
  });
  playColumn(22050, 11025, 100, 1000);

  const auto sound = audio.sounds().at(0);
  EXPECT_EQ(sound.stopMode, StopMode::Flush);
  EXPECT_EQ(sound.stopTick, 1300u);
  EXPECT_TRUE(sound.released);
}

struct FailureCase {
  SoundStep failing;
  std::vector<SoundStep> steps;
  bool played;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << "failing step " << static_cast<int>(c.failing); }

class LifeCycleFailure : public LifeCycle, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LifeCycleFailure, StopsAndReleasesAtOnceWithoutWaiting) {
  const auto& c = GetParam();
  audio.failStep(c.failing);
  playColumn(6615, 3307, 100, 300);

  const auto sound = audio.sounds().at(0);
  EXPECT_EQ(sound.steps, c.steps);
  EXPECT_EQ(sound.played, c.played);
  EXPECT_EQ(sound.stopMode, StopMode::Flush);
  EXPECT_TRUE(clock.sleeps().empty()) << "no wait after a failed step";
  EXPECT_EQ(audio.liveBuffers(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LifeCycleFailure,
    ::testing::Values(
        FailureCase{SoundStep::Unlock,
                    {SoundStep::Create, SoundStep::Lock, SoundStep::Unlock, SoundStep::Stop, SoundStep::Release},
                    false},
        FailureCase{SoundStep::Rewind,
                    {SoundStep::Create, SoundStep::Lock, SoundStep::Unlock, SoundStep::Rewind, SoundStep::Stop,
                     SoundStep::Release},
                    false},
        FailureCase{SoundStep::Play,
                    {SoundStep::Create, SoundStep::Lock, SoundStep::Unlock, SoundStep::Rewind, SoundStep::Play,
                     SoundStep::Stop, SoundStep::Release},
                    false}));

// A buffer whose steps take time on the fake clock, to see which tick the wait counts from.
class SlowBuffer final : public SoundBuffer {
 public:
  explicit SlowBuffer(FakeClock& clock) : clock_(clock) {}
  std::optional<std::span<std::int16_t>> lock() override { return std::nullopt; }
  bool unlock(std::size_t) override {
    clock_.advance(70);
    return true;
  }
  bool rewind() override {
    clock_.advance(70);
    return true;
  }
  bool play() override {
    playTick = clock_.tickCount();
    clock_.advance(30);  // time spent inside play counts
    return true;
  }
  void stop(StopMode) override { stopTick = clock_.tickCount(); }

  std::uint32_t playTick = 0;
  std::uint32_t stopTick = 0;

 private:
  FakeClock& clock_;
};

TEST(PlayFilledBuffer, CountsTheLimitFromTheTickTakenJustBeforePlay) {
  FakeClock clock(0);
  std::atomic<int> stopFlag{0};
  SlowBuffer buffer(clock);
  playFilledBuffer(buffer, 10, clock, stopFlag, 100, 300);
  EXPECT_EQ(buffer.playTick, 140u);
  // 30 ms in play, then polls at 130, 230, 330 (past 300) after the start
  EXPECT_EQ(buffer.stopTick - buffer.playTick, 330u);
}

}  // namespace
}  // namespace velmora
