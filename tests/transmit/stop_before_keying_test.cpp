// "Stop" pressed in the short time before a worker keys: nothing is keyed and nothing
// sounds after it, and the run ends as a stopped run ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/hooked_controls.h"
#include "transmit/transmit_worker.h"
#include "transmit/tune_worker.h"
#include "transmit/worker_rig.h"

namespace velmora {
namespace {

using testing::ControlAccess;
using ::testing::ElementsAreArray;

struct StopCase {
  const char* name;
  bool tune;
  bool loop;
  // "Stop" comes right after the nth such access: the worker's last step before keying.
  ControlAccess access;
  ControlId id;
  int nth;
  std::vector<std::string> log;
  std::vector<std::string> portWrites;
  std::size_t soundsPlayed;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

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

  if (c.tune) {
    tuneWorker(ctx);
  } else {
    transmitWorker(ctx);
  }

  ASSERT_GE(seen, c.nth) << "the stop was never injected";
  EXPECT_THAT(rig.logMessages(), ElementsAreArray(c.log));
  EXPECT_THAT(rig.portWrites(), ElementsAreArray(c.portWrites));
  EXPECT_FALSE(rig.ptt.portOpen());
  std::size_t played = 0;
  for (const auto& sound : rig.audio.sounds()) played += sound.played ? 1 : 0;
  EXPECT_EQ(played, c.soundsPlayed);
  EXPECT_EQ(rig.audio.liveBuffers(), 0);
  EXPECT_TRUE(rig.controls.isEnabled(ControlId::Transmit));
  EXPECT_FALSE(rig.controls.isEnabled(ControlId::Stop));
  if (!c.tune) {
    EXPECT_EQ(rig.controls.text(ControlId::MessagePower), "");
  }
}

const std::string kStartLine = "Starting text transmission (A, C/MT, 1000/10 Hz, 300ms, no pilot tone)";

INSTANTIATE_TEST_SUITE_P(
    Points, StopBeforeKeyingTest,
    ::testing::Values(
        // "Reverse" is the last field the pass reads (for its start line) before keying.
        StopCase{"FirstPass",
                 false,
                 false,
                 ControlAccess::Read,
                 ControlId::Reverse,
                 1,
                 {kStartLine, "Terminating text transmission (sent text: )", "Transmission stopped."},
                 {},
                 0},
        // The second look at "Loop" decides, after the pause, that another pass follows.
        StopCase{"LoopAfterThePause",
                 false,
                 true,
                 ControlAccess::Read,
                 ControlId::Loop,
                 2,
                 {kStartLine, "Terminating text transmission (sent text: A)", "Starting pause (-2s)",
                  kStartLine, "Terminating text transmission (sent text: )", "Transmission stopped."},
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
    [](const ::testing::TestParamInfo<StopCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
