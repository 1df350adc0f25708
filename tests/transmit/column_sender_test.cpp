#include "transmit/column_sender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include "transmit/worker_rig.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::SoundStep;
using testing::WorkerRig;

class ColumnSenderTest : public ::testing::Test {
 protected:
  std::vector<std::string> history(ControlId id) { return rig.controls.textHistory(id); }
  WorkerRig rig;
};

struct ConcurrentCase {
  std::uint8_t mask;
  bool maxAvgPower;
  bool pilot;
  const char* pixelCount;
  const char* average;
  const char* peak;
};

void PrintTo(const ConcurrentCase& c, std::ostream* os) {
  *os << "mask " << int(c.mask) << (c.maxAvgPower ? " max avg pwr" : "") << (c.pilot ? " pilot" : "");
}

class ConcurrentColumnTest : public ColumnSenderTest, public ::testing::WithParamInterface<ConcurrentCase> {};

// 1500 Hz, 10 Hz, 300 ms: the figures are shown while the column plays and cleared after.
TEST_P(ConcurrentColumnTest, ShowsFiguresWhilePlayingThenClears) {
  const ConcurrentCase& c = GetParam();
  rig.shared.pixelRowOffset = 10;
  rig.controls.setChecked(ControlId::MaxAvgPower, c.maxAvgPower);
  rig.controls.setChecked(ControlId::PilotTone, c.pilot);
  double average = -1.0;

  sendConcurrentColumn(rig.ctx, c.mask, 1500, 0, average);

  EXPECT_THAT(history(ControlId::PixelCount), ElementsAre(c.pixelCount, "0"));
  EXPECT_THAT(history(ControlId::AveragePower), ElementsAre(c.average, "0"));
  EXPECT_THAT(history(ControlId::PeakPower), ElementsAre(c.peak, "0"));
  char shown[32];
  std::snprintf(shown, sizeof shown, "%1.1f", average * 100);
  EXPECT_STREQ(shown, c.average) << "the figure handed back is the one shown";
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 1u);
  EXPECT_EQ(sounds[0].bytes, 6615u);
  EXPECT_EQ(sounds[0].samplesWritten, 3307u);
  EXPECT_TRUE(sounds[0].played);
  EXPECT_TRUE(sounds[0].released);
  EXPECT_EQ(sounds[0].stopTick - sounds[0].playTick, 400u);
  EXPECT_THAT(rig.clock.sleeps(), ElementsAre(100u, 100u, 100u, 100u));
}

INSTANTIATE_TEST_SUITE_P(Masks, ConcurrentColumnTest,
                         ::testing::Values(ConcurrentCase{0x7F, false, false, "7", "9.5", "99.6"},
                                           ConcurrentCase{0x7F, true, false, "7", "9.5", "99.6"},
                                           ConcurrentCase{0x01, false, false, "1", "1.3", "2.0"},
                                           ConcurrentCase{0x01, true, false, "1", "62.2", "98.9"},
                                           ConcurrentCase{0x11, true, false, "2", "31.1", "99.4"},
                                           ConcurrentCase{0x00, false, true, "0", "1.3", "2.0"},
                                           ConcurrentCase{0x00, true, true, "0", "62.2", "100.0"},
                                           ConcurrentCase{0x00, false, false, "0", "0.0", "0.0"},
                                           // The pilot fills only columns without a lit row.
                                           ConcurrentCase{0x01, false, true, "1", "1.3", "2.0"}));

TEST_F(ColumnSenderTest, ConcurrentColumnReturnsItsAveragePowerAsAFraction) {
  double average = 0.0;
  sendConcurrentColumn(rig.ctx, 0x7F, 1500, 0, average);
  EXPECT_NEAR(average, 0.0946, 0.00005);
}

TEST_F(ColumnSenderTest, DurationIsReadFromTheFieldAtEveryCall) {
  double average = 0.0;
  rig.shared.columnDuration = 300;  // the caller's copy is not what counts
  rig.controls.setText(ControlId::Duration, "1400");
  sendConcurrentColumn(rig.ctx, 0x01, 1000, 0, average);
  rig.controls.setText(ControlId::Duration, "301");
  sendConcurrentColumn(rig.ctx, 0x01, 1000, 0, average);
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 2u);
  EXPECT_EQ(sounds[0].bytes, 30870u);
  EXPECT_EQ(sounds[0].samplesWritten, 15435u);
  EXPECT_EQ(sounds[0].stopTick - sounds[0].playTick, 1500u);
  EXPECT_EQ(sounds[1].bytes, 6637u);
  EXPECT_EQ(sounds[1].samplesWritten, 3318u);
  EXPECT_EQ(sounds[1].stopTick - sounds[1].playTick, 400u);
}

TEST_F(ColumnSenderTest, ReverseMirrorsTheRows) {
  double average = 0.0;
  sendConcurrentColumn(rig.ctx, 0x01, 1500, 0, average);
  sendConcurrentColumn(rig.ctx, 0x40, 1500, 1, average);  // row 6 reversed sits where row 0 was
  sendConcurrentColumn(rig.ctx, 0x01, 1500, 1, average);
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 3u);
  EXPECT_EQ(sounds[0].samples, sounds[1].samples);
  EXPECT_NE(sounds[0].samples, sounds[2].samples);
}

struct SequentialCase {
  std::uint8_t mask;
  bool skip;
  bool pilot;
  const char* duration;
  std::size_t samplesWritten;
  std::uint32_t playedMs;  // first 10 ms poll past the limit floor(P * 1000 / 11025)
  const char* pixelCount;
  const char* average;  // nullptr: no figure given for this column
  const char* peak;
};

void PrintTo(const SequentialCase& c, std::ostream* os) {
  *os << "mask " << int(c.mask) << (c.skip ? " skip" : "") << (c.pilot ? " pilot" : "") << " " << c.duration << " ms";
}

class SequentialColumnTest : public ColumnSenderTest, public ::testing::WithParamInterface<SequentialCase> {};

// 1000 Hz, 10 Hz.
TEST_P(SequentialColumnTest, WaitsForTheSamplesWritten) {
  const SequentialCase& c = GetParam();
  rig.controls.setChecked(ControlId::Sequential, true);
  rig.controls.setChecked(ControlId::SkipDark, c.skip);
  rig.controls.setChecked(ControlId::PilotTone, c.pilot);
  rig.controls.setText(ControlId::Duration, c.duration);
  double average = -1.0;

  sendSequentialColumn(rig.ctx, c.mask, 1000, 0, average);

  EXPECT_THAT(history(ControlId::PixelCount), ElementsAre(c.pixelCount, "0"));
  if (c.average != nullptr) {
    EXPECT_THAT(history(ControlId::AveragePower), ElementsAre(c.average, "0"));
    EXPECT_THAT(history(ControlId::PeakPower), ElementsAre(c.peak, "0"));
  }
  EXPECT_GE(average, 0.0);
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 1u);
  EXPECT_EQ(sounds[0].samplesWritten, c.samplesWritten);
  EXPECT_EQ(sounds[0].stopTick - sounds[0].playTick, c.playedMs);
  for (auto sleep : rig.clock.sleeps()) EXPECT_EQ(sleep, 10u);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, SequentialColumnTest,
    ::testing::Values(SequentialCase{0x7F, false, false, "1000", 11025, 1010, "7", "37.5", "100.0"},
                      SequentialCase{0x01, false, false, "1000", 11025, 1010, "1", "5.4", "99.7"},
                      SequentialCase{0x41, true, false, "1000", 3150, 290, "2", "37.5", "99.9"},
                      SequentialCase{0x41, false, false, "1000", 11025, 1010, "2", "10.7", "99.9"},
                      SequentialCase{0x00, true, false, "1000", 11025, 1010, "0", "0.0", "0.0"},
                      SequentialCase{0x00, false, true, "1000", 11025, 1010, "7", nullptr, nullptr},
                      SequentialCase{0x7F, false, false, "300", 3304, 300, "7", "37.5", "99.9"},
                      SequentialCase{0x7F, false, false, "2000", 22050, 2010, "7", "60.3", "100.0"}));

struct FailureCase {
  SoundStep step;
  bool figureWritten;
  std::vector<std::string> pixelCountHistory;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << "failing step " << int(c.step); }

class ColumnFailureTest : public ColumnSenderTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ColumnFailureTest, FailedStepSkipsTheSoundAndLeavesNothingBehind) {
  const FailureCase& c = GetParam();
  for (bool sequential : {false, true}) {
    SCOPED_TRACE(sequential ? "S/MT" : "C/MT");
    WorkerRig fresh;
    fresh.audio.failStep(c.step);
    double average = 0.25;
    if (sequential) {
      sendSequentialColumn(fresh.ctx, 0x7F, 1000, 0, average);
    } else {
      sendConcurrentColumn(fresh.ctx, 0x7F, 1000, 0, average);
    }
    EXPECT_EQ(average != 0.25, c.figureWritten);
    EXPECT_THAT(fresh.controls.textHistory(ControlId::PixelCount), ::testing::ElementsAreArray(c.pixelCountHistory));
    EXPECT_THAT(fresh.clock.sleeps(), IsEmpty()) << "no wait after a failure";
    const auto sounds = fresh.audio.sounds();
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_FALSE(sounds[0].played);
    EXPECT_EQ(fresh.audio.liveBuffers(), 0);
    if (c.step != SoundStep::Create) {
      EXPECT_EQ(sounds[0].steps.back(), SoundStep::Release);
      EXPECT_NE(std::find(sounds[0].steps.begin(), sounds[0].steps.end(), SoundStep::Stop), sounds[0].steps.end());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Steps, ColumnFailureTest,
                         ::testing::Values(FailureCase{SoundStep::Create, false, {}},
                                           FailureCase{SoundStep::Lock, false, {"0"}},
                                           FailureCase{SoundStep::Unlock, true, {"7", "0"}},
                                           FailureCase{SoundStep::Rewind, true, {"7", "0"}},
                                           FailureCase{SoundStep::Play, true, {"7", "0"}}));

// A sound system whose lock hands back fewer samples than the buffer was made for.
class ShortLockAudio final : public AudioOutput {
 public:
  class Buffer final : public SoundBuffer {
   public:
    explicit Buffer(ShortLockAudio& owner) : owner_(owner) {}
    ~Buffer() override { ++owner_.released; }
    std::optional<std::span<std::int16_t>> lock() override { return std::span<std::int16_t>(samples_); }
    bool unlock(std::size_t) override {
      ++owner_.unlocked;
      return true;
    }
    bool rewind() override { return true; }
    bool play() override {
      ++owner_.played;
      return true;
    }
    void stop(StopMode) override { ++owner_.stopped; }

   private:
    ShortLockAudio& owner_;
    std::vector<std::int16_t> samples_ = std::vector<std::int16_t>(100);
  };

  std::vector<std::string> listDevices() override { return {kDefaultOutputDevice}; }
  void openDevice(int) override {}
  void closeDevice() override {}
  bool isOpen() override { return true; }
  std::unique_ptr<SoundBuffer> createSoundBuffer(std::size_t) override { return std::make_unique<Buffer>(*this); }

  int unlocked = 0, played = 0, stopped = 0, released = 0;
};

TEST_F(ColumnSenderTest, RegionSmallerThanTheColumnCountsAsFailedLock) {
  ShortLockAudio audio;
  WorkerContext ctx{rig.controls, rig.messages, rig.shared, audio, rig.ptt, rig.log, rig.clock, rig.glyphs};
  double average = 0.25;
  sendConcurrentColumn(ctx, 0x7F, 1000, 0, average);
  sendSequentialColumn(ctx, 0x7F, 1000, 0, average);
  EXPECT_EQ(average, 0.25);
  EXPECT_EQ(audio.played, 0);
  EXPECT_EQ(audio.unlocked, 0);
  EXPECT_EQ(audio.stopped, 2);
  EXPECT_EQ(audio.released, 2);
  EXPECT_THAT(history(ControlId::PixelCount), ElementsAre("0", "0"));
}

TEST_F(ColumnSenderTest, StopDuringTheWaitEndsTheColumnAtTheNextPoll) {
  rig.controls.setText(ControlId::Duration, "1000");
  rig.clock.onSleep([this] {
    if (rig.clock.totalSlept() >= 300) rig.shared.stopFlag = 1;
  });
  double average = 0.0;
  sendConcurrentColumn(rig.ctx, 0x01, 1000, 0, average);
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 1u);
  EXPECT_EQ(sounds[0].stopTick - sounds[0].playTick, 300u);
  EXPECT_GT(average, 0.0) << "the figure is delivered before the wait";
  EXPECT_THAT(history(ControlId::PixelCount), ElementsAre("1", "0"));
}

}  // namespace
}  // namespace velmora
