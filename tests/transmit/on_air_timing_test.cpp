// The waterfall places the columns where the sequencer sends them: a whole transmission's
// own waits, on a clock whose sleeps are exact, end where the picture's timeline says.
#include <gtest/gtest.h>

#include <variant>

#include "transmit/transmit_worker.h"
#include "transmit/waterfall_sending.h"
#include "waterfall/sound_timeline.h"
#include "worker_rig.h"

namespace velmora {
namespace {

struct TimingCase {
  const char* name;
  bool concurrent;
  const char* durationMs;
  bool skipDark;
};

class OnAirTiming : public ::testing::TestWithParam<TimingCase> {};

TEST_P(OnAirTiming, TheSequencersWaitsEndWhereThePictureSays) {
  const TimingCase& c = GetParam();
  testing::WorkerRig rig;
  rig.glyphs.setColumns('A', {0x7E, 0x09, 0x09, 0x09, 0x7E});
  rig.glyphs.setColumns('B', {0x7F, 0x49, 0x49, 0x49, 0x36});
  rig.controls.setText(ControlId::TextToSend, "AB A");
  rig.controls.setText(ControlId::Duration, c.durationMs);
  rig.controls.setChecked(c.concurrent ? ControlId::Concurrent : ControlId::Sequential, true);
  rig.controls.setChecked(ControlId::SkipDark, c.skipDark);
  const auto sending = textSendingFromControls(rig.controls, rig.glyphs);
  ASSERT_TRUE(std::holds_alternative<waterfall::Sending>(sending));
  const waterfall::SoundTimeline timeline = waterfall::makeSoundTimeline(std::get<waterfall::Sending>(sending));

  transmitWorker(rig.ctx);
  ASSERT_EQ(timeline.columns.size(), 23U);
  EXPECT_NEAR(static_cast<double>(rig.clock.totalSlept()), static_cast<double>(timeline.totalSamples) * 1000.0 / 11025.0, 0.1);
}

// Durations that are not whole poll periods, where the wait's end does not depend on the
// tick counter's phase: C/MT polls every 100 ms, S/MT every 10 ms for the samples written.
INSTANTIATE_TEST_SUITE_P(Modes, OnAirTiming,
                         ::testing::Values(TimingCase{"Concurrent350", true, "350", false},
                                           TimingCase{"Sequential300", false, "300", false},
                                           TimingCase{"Sequential1300", false, "1300", false},
                                           TimingCase{"Sequential1300Skip", false, "1300", true}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
