// "Stop" pressed in the short time before a worker keys: nothing is keyed and nothing
// sounds after it, and the run ends as a stopped run ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/hooked_controls.h"
#include "transmit/transmit_worker.h"
#include "transmit/tune_worker.h"
#include "transmit/worker_rig.h"

namespace velmora {
namespace {

using testing::ControlAccess;

const std::string kStart = "Starting text transmission (A, C/MT, 1000/10 Hz, 300ms, no pilot tone)";
const std::string kNothingSent = "Terminating text transmission (sent text: )";

struct StopCase {
  const char* name;
  bool tune, loop;
  // "Stop" comes right after the nth such access: the worker's last step before keying.
  ControlAccess access;
  ControlId id;
  int nth;
  std::vector<std::string> log, portWrites;
  std::size_t soundsPlayed;
};

class StopBeforeKeyingTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopBeforeKeyingTest, KeysNothingPlaysNothingAndEndsStopped) {
  const StopCase& c = GetParam();
  testing::WorkerRig rig;
  rig.useCatKeying();
  rig.controls.setText(ControlId::TextToSend, "A");
  rig.controls.setChecked(ControlId::Loop, c.loop);
  int seen = 0;
  testing::HookedControls controls(rig.controls, [&](ControlAccess access, ControlId id) {
    if (access == c.access && id == c.id && ++seen == c.nth) rig.shared.stopFlag = 1;
  });
  WorkerContext ctx{controls, rig.messages, rig.shared, rig.audio, rig.ptt, rig.log, rig.clock, rig.glyphs};
  c.tune ? tuneWorker(ctx) : transmitWorker(ctx);

  ASSERT_GE(seen, c.nth) << "the stop was never injected";
  EXPECT_THAT(rig.logMessages(), ::testing::ElementsAreArray(c.log));
  EXPECT_THAT(rig.portWrites(), ::testing::ElementsAreArray(c.portWrites));
  EXPECT_FALSE(rig.ptt.portOpen());
  std::size_t played = 0;
  for (const auto& sound : rig.audio.sounds()) played += sound.played ? 1 : 0;
  EXPECT_EQ(played, c.soundsPlayed);
  EXPECT_EQ(rig.audio.liveBuffers(), 0);
  EXPECT_FALSE(rig.controls.isEnabled(ControlId::Stop));
}

INSTANTIATE_TEST_SUITE_P(Points, StopBeforeKeyingTest,
                         ::testing::Values(
                             // "Reverse" is the last field a pass reads (for its start line) before it keys.
                             StopCase{"FirstPass",
                                      false,
                                      false,
                                      ControlAccess::Read,
                                      ControlId::Reverse,
                                      1,
                                      {kStart, kNothingSent, "Transmission stopped."},
                                      {},
                                      0},
                             // The second look at "Loop" decides, after the pause, that another pass follows.
                             StopCase{"LoopAfterThePause",
                                      false,
                                      true,
                                      ControlAccess::Read,
                                      ControlId::Loop,
                                      2,
                                      {kStart, "Terminating text transmission (sent text: A)",
                                       "Starting pause (-2s)", kStart, kNothingSent, "Transmission stopped."},
                                      {"write A1", "write B2"},
                                      5},
                             // The average power field shows the figures of the tone just computed.
                             StopCase{"TuneAfterTheSynthesis",
                                      true,
                                      false,
                                      ControlAccess::Write,
                                      ControlId::AveragePower,
                                      1,
                                      {"Tuning started (1000 Hz, Full scale)", "Tuning stopped."},
                                      {},
                                      0}),
                         [](const ::testing::TestParamInfo<StopCase>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
}  // namespace velmora
