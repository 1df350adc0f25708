#include "transmit/tune_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <span>

#include "core/control_states.h"
#include "transmit/worker_rig.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::SoundStep;
using testing::WorkerRig;

// Delegates to the recording opener and notes what the window showed when the port was
// opened, i.e. at the moment of keying.
class SnapshotOpener final : public SerialPortOpener {
 public:
  SnapshotOpener(SerialPortOpener& inner, Controls& controls) : inner_(inner), controls_(controls) {}
  std::unique_ptr<SerialPort> open(const std::string& path) override {
    averageAtKeying.push_back(controls_.text(ControlId::AveragePower));
    return inner_.open(path);
  }
  std::vector<std::string> averageAtKeying;

 private:
  SerialPortOpener& inner_;
  Controls& controls_;
};

// Delegates to the recording opener and notes, for every block written (the keying and
// the unkeying command), how many sound buffers were alive at that moment.
class BufferWatchingOpener final : public SerialPortOpener {
 public:
  BufferWatchingOpener(SerialPortOpener& inner, testing::MemoryAudio& audio) : inner_(inner), audio_(audio) {}
  std::unique_ptr<SerialPort> open(const std::string& path) override {
    auto port = inner_.open(path);
    if (!port) return nullptr;
    return std::make_unique<Port>(std::move(port), *this);
  }
  std::vector<int> liveBuffersAtWrites;

 private:
  class Port final : public SerialPort {
   public:
    Port(std::unique_ptr<SerialPort> inner, BufferWatchingOpener& owner) : inner_(std::move(inner)), owner_(owner) {}
    bool configure(const SerialLineSettings& settings) override { return inner_->configure(settings); }
    bool write(std::span<const std::uint8_t> bytes) override {
      owner_.liveBuffersAtWrites.push_back(owner_.audio_.liveBuffers());
      return inner_->write(bytes);
    }
    bool setRts(bool active) override { return inner_->setRts(active); }
    bool setDtr(bool active) override { return inner_->setDtr(active); }

   private:
    std::unique_ptr<SerialPort> inner_;
    BufferWatchingOpener& owner_;
  };

  SerialPortOpener& inner_;
  testing::MemoryAudio& audio_;
};

class TuneWorkerTest : public ::testing::Test {
 protected:
  TuneWorkerTest() {
    rig.useCatKeying();
    rig.controls.setText(ControlId::TextToSend, "CQ");  // 11 columns of 300 ms: 3.3 s
    rig.controls.setText(ControlId::PixelCount, "5");
  }
  std::vector<std::string> history(ControlId id) { return rig.controls.textHistory(id); }
  void expectEndState() {
    EXPECT_TRUE(rig.controls.isEnabled(ControlId::Transmit));
    EXPECT_TRUE(rig.controls.isEnabled(ControlId::Tune));
    EXPECT_FALSE(rig.controls.isEnabled(ControlId::Stop));
    EXPECT_EQ(rig.controls.text(ControlId::AveragePower), "0");
    EXPECT_EQ(rig.controls.text(ControlId::PeakPower), "0");
    EXPECT_EQ(rig.controls.text(ControlId::TimeRemaining), "(0h:00m:03s)");
    EXPECT_EQ(rig.controls.text(ControlId::PixelCount), "5") << "the pixel count is not the tone's";
    EXPECT_EQ(rig.audio.liveBuffers(), 0);
  }
  WorkerRig rig;
};

TEST_F(TuneWorkerTest, TimeShownAfterwardsCountsTheCharactersAsSent) {
  // Each stray byte is sent as a character of its own: 3 characters, 17 columns of 300 ms.
  rig.controls.setText(ControlId::TextToSend, "A\x80\x80");
  tuneWorker(rig.ctx);
  EXPECT_EQ(rig.controls.text(ControlId::TimeRemaining), "(0h:00m:05s)");
}

// The tone is one sound on the air from its start while keyed, over before the unkeying.
TEST_F(TuneWorkerTest, ReportsTheToneOnTheAirWhileKeyed) {
  std::vector<std::pair<OnAir, std::size_t>> reports;  // with the port writes made by then
  rig.shared.onAir.setListener(
      [this, &reports] { reports.emplace_back(rig.shared.onAir.now(), rig.portWrites().size()); });
  tuneWorker(rig.ctx);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].first.sound, OnAir::Sound::Tune);
  EXPECT_EQ(reports[0].first.startTick, rig.audio.sounds().at(0).playTick);
  EXPECT_EQ(reports[0].second, 1u) << "reported after the keying";
  EXPECT_EQ(reports[1].first, OnAir{});
  EXPECT_EQ(reports[1].second, 1u) << "reported before the unkeying";
}

struct LevelCase {
  bool singlePixel;
  const char* center;
  const char* label;
  const char* average;
  const char* peak;
};

void PrintTo(const LevelCase& c, std::ostream* os) { *os << c.label << " at " << c.center << " Hz"; }

class TuneLevelTest : public TuneWorkerTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(TuneLevelTest, PlaysTenSecondsKeyedAndShowsTheFigures) {
  const LevelCase& c = GetParam();
  rig.controls.setChecked(c.singlePixel ? ControlId::SinglePixel : ControlId::FullScale, true);
  rig.controls.setText(ControlId::CenterFrequency, c.center);
  SnapshotOpener opener(rig.ports, rig.controls);
  PttKeyer ptt(opener, rig.messages, rig.clock, rig.shared.stopFlag, [](int n) { return "/dev/fake" + std::to_string(n); });
  ptt.setSettings(rig.ptt.settings());
  WorkerContext ctx{rig.controls, rig.messages, rig.shared, rig.audio, ptt, rig.log, rig.clock, rig.glyphs};

  tuneWorker(ctx);

  EXPECT_THAT(rig.logMessages(),
              ElementsAre("Tuning started (" + std::string(c.center) + " Hz, " + c.label + ")", "Tuning stopped."));
  EXPECT_THAT(history(ControlId::TimeRemaining), ElementsAre("Tuning...", "(0h:00m:03s)"));
  EXPECT_THAT(history(ControlId::AveragePower), ElementsAre(c.average, "0"));
  EXPECT_THAT(history(ControlId::PeakPower), ElementsAre("100", c.peak, "0"));
  EXPECT_THAT(opener.averageAtKeying, ElementsAre(c.average)) << "the whole tone is computed before keying";
  EXPECT_THAT(rig.portWrites(), ElementsAre("write A1", "write B2"));
  EXPECT_EQ(rig.shared.centerFrequency.load(), std::stoi(c.center));
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 1u);
  EXPECT_EQ(sounds[0].bytes, 220500u);
  EXPECT_EQ(sounds[0].samplesWritten, 110250u);
  EXPECT_EQ(sounds[0].stopTick - sounds[0].playTick, 10100u) << "first 100 ms poll past 10 s";
  expectEndState();
}

INSTANTIATE_TEST_SUITE_P(Levels, TuneLevelTest,
                         ::testing::Values(LevelCase{false, "1000", "Full scale", "98.9", "100.0"},
                                           LevelCase{true, "1000", "Single pixel", "2.0", "2.0"},
                                           LevelCase{true, "2345", "Single pixel", "2.0", "2.0"}));

// Keyed while the buffer exists, unkeyed only once it has been stopped and released.
TEST_F(TuneWorkerTest, UnkeysAfterTheBufferIsReleased) {
  BufferWatchingOpener opener(rig.ports, rig.audio);
  PttKeyer ptt(opener, rig.messages, rig.clock, rig.shared.stopFlag, [](int n) { return "/dev/fake" + std::to_string(n); });
  ptt.setSettings(rig.ptt.settings());
  WorkerContext ctx{rig.controls, rig.messages, rig.shared, rig.audio, ptt, rig.log, rig.clock, rig.glyphs};

  tuneWorker(ctx);

  EXPECT_THAT(rig.portWrites(), ElementsAre("write A1", "write B2"));
  EXPECT_THAT(opener.liveBuffersAtWrites, ElementsAre(1, 0));
}

TEST_F(TuneWorkerTest, ToneIgnoresOffsetReversePilotAndMode) {
  tuneWorker(rig.ctx);
  rig.controls.setText(ControlId::PixelOffset, "3");
  rig.controls.setChecked(ControlId::Reverse, true);
  rig.controls.setChecked(ControlId::PilotTone, true);
  rig.controls.setChecked(ControlId::Sequential, true);
  tuneWorker(rig.ctx);
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 2u);
  EXPECT_EQ(sounds[0].samples, sounds[1].samples);
}

TEST_F(TuneWorkerTest, StopAfterThreeSecondsEndsTheTone) {
  rig.clock.onSleep([this] {
    if (rig.clock.totalSlept() >= 3000) rig.shared.stopFlag = 1;
  });
  tuneWorker(rig.ctx);
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 1u);
  EXPECT_EQ(sounds[0].stopTick - sounds[0].playTick, 3000u);
  EXPECT_THAT(rig.logMessages(), ElementsAre("Tuning started (1000 Hz, Full scale)", "Tuning stopped."));
  EXPECT_THAT(rig.portWrites(), ElementsAre("write A1", "write B2"));
  expectEndState();
}

TEST_F(TuneWorkerTest, KeyingErrorIsShownAndTheToneStillPlays) {
  rig.ports.setOpenFails(true);
  tuneWorker(rig.ctx);
  EXPECT_THAT(rig.messages.texts(), ElementsAre("Error opening com port for PTT."));
  const auto sounds = rig.audio.sounds();
  ASSERT_EQ(sounds.size(), 1u);
  EXPECT_TRUE(sounds[0].played);
  EXPECT_TRUE(rig.portWrites().empty());
  EXPECT_THAT(rig.logMessages(), ElementsAre("Tuning started (1000 Hz, Full scale)", "Tuning stopped."));
  expectEndState();
}

struct TuneFailureCase {
  SoundStep step;
  bool started;  // start line, figures and keying happened before the failure
};

void PrintTo(const TuneFailureCase& c, std::ostream* os) { *os << "failing step " << int(c.step); }

class TuneFailureTest : public TuneWorkerTest, public ::testing::WithParamInterface<TuneFailureCase> {};

// A failed create ends like a failed lock: the window must not be left busy.
TEST_P(TuneFailureTest, EndsAtOnceAndReturnsTheWindowToIdle) {
  rig.audio.failStep(GetParam().step);
  setControlsIdle(rig.controls, false);  // as the "Tune" command leaves it
  tuneWorker(rig.ctx);

  EXPECT_THAT(rig.clock.sleeps(), IsEmpty());
  EXPECT_FALSE(rig.audio.sounds().at(0).played);
  if (GetParam().started) {
    EXPECT_THAT(rig.logMessages(), ElementsAre("Tuning started (1000 Hz, Full scale)", "Tuning stopped."));
    EXPECT_THAT(rig.portWrites(), ElementsAre("write A1", "write B2")) << "unkeyed at once";
  } else {
    EXPECT_THAT(rig.logMessages(), ElementsAre("Tuning stopped."));
    EXPECT_TRUE(rig.ports.events().empty());
    EXPECT_THAT(history(ControlId::TimeRemaining), ElementsAre("(0h:00m:03s)"));
  }
  expectEndState();
}

INSTANTIATE_TEST_SUITE_P(Steps, TuneFailureTest,
                         ::testing::Values(TuneFailureCase{SoundStep::Create, false},
                                           TuneFailureCase{SoundStep::Lock, false},
                                           TuneFailureCase{SoundStep::Unlock, true},
                                           TuneFailureCase{SoundStep::Rewind, true},
                                           TuneFailureCase{SoundStep::Play, true}));

struct RangeCase {
  const char* center;
  bool allowed;
};

void PrintTo(const RangeCase& c, std::ostream* os) { *os << "center '" << c.center << "'"; }

class TuneCommandTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(TuneCommandTest, ChecksOnlyTheCenterFrequency) {
  testing::MemoryControls controls;
  testing::RecordingMessageBox box;
  controls.setText(ControlId::CenterFrequency, GetParam().center);
  controls.setText(ControlId::PixelOffset, "0");
  controls.setText(ControlId::Duration, "10");
  EXPECT_EQ(tuneCommandAllowed(controls, box), GetParam().allowed);
  if (GetParam().allowed) {
    EXPECT_TRUE(box.messages().empty());
  } else {
    ASSERT_EQ(box.messages().size(), 1u);
    EXPECT_EQ(box.messages()[0].caption, "Velmora");
    EXPECT_EQ(box.messages()[0].text, "Audio center frequency out of valid range (100..3000)");
  }
}

INSTANTIATE_TEST_SUITE_P(Centers, TuneCommandTest,
                         ::testing::Values(RangeCase{"100", true}, RangeCase{"3000", true}, RangeCase{"1500", true},
                                           RangeCase{"99", false}, RangeCase{"3001", false}, RangeCase{"", false}));

}  // namespace
}  // namespace velmora
