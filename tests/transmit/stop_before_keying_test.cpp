// "Stop" pressed in the short time before a worker keys: nothing is keyed, nothing sounds
// after it, and the run ends as a stopped run ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "support/hooked_controls.h"
#include "transmit/transmit_worker.h"
#include "transmit/tune_worker.h"
#include "transmit/worker_rig.h"

namespace velmora {
namespace {

using enum testing::ControlAccess;
const std::string kStart = "Starting text transmission (A, C/MT, 1000/10 Hz, 300ms, no pilot tone)";
const std::string kNothingSent = "Terminating text transmission (sent text: )";
const std::string kStopped = "Transmission stopped.";

struct StopCase {
  const char* name;
  bool tune, loop;
  testing::ControlAccess access;  // "Stop" comes right after the nth such access of id
  ControlId id;
  int nth;
  std::vector<std::string> log, portWrites = {};
  long soundsPlayed = 0;
};

class StopBeforeKeyingTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopBeforeKeyingTest, KeysNothingPlaysNothingAndEndsStopped) {
  const StopCase& c = GetParam();
  testing::WorkerRig rig;
  rig.useCatKeying();
  rig.controls.setText(ControlId::TextToSend, "A");
  rig.controls.setChecked(ControlId::Loop, c.loop);
  int seen = 0;
  testing::HookedControls controls(rig.controls, [&](testing::ControlAccess access, ControlId id) {
    if (access == c.access && id == c.id && ++seen == c.nth) rig.shared.stopFlag = 1;
  });
  WorkerContext ctx{controls, rig.messages, rig.shared, rig.audio, rig.ptt, rig.log, rig.clock, rig.glyphs};
  c.tune ? tuneWorker(ctx) : transmitWorker(ctx);

  ASSERT_GE(seen, c.nth) << "the stop was never injected";
  EXPECT_THAT(rig.logMessages(), ::testing::ElementsAreArray(c.log));
  EXPECT_THAT(rig.portWrites(), ::testing::ElementsAreArray(c.portWrites));
  EXPECT_FALSE(rig.ptt.portOpen());
  const auto& sounds = rig.audio.sounds();
  EXPECT_EQ(std::count_if(sounds.begin(), sounds.end(), [](const auto& s) { return s.played; }),
            c.soundsPlayed);
  EXPECT_EQ(rig.audio.liveBuffers(), 0);
  EXPECT_FALSE(rig.controls.isEnabled(ControlId::Stop));
}

// The last step before keying: a pass reads "Reverse" last (for its start line); the second
// look at "Loop", after the pause, starts another pass (the first one keyed, sent and
// unkeyed); the tuning tone's figures are shown.
const std::vector<std::string> kLoopLog = {
    kStart,  "Terminating text transmission (sent text: A)", "Starting pause (-2s)", kStart, kNothingSent,
    kStopped};
const std::vector<std::string> kLoopWrites = {"write A1", "write B2"};
const std::vector<std::string> kTuneLog = {"Tuning started (1000 Hz, Full scale)", "Tuning stopped."};
INSTANTIATE_TEST_SUITE_P(
    Points, StopBeforeKeyingTest,
    ::testing::Values(
        StopCase{"FirstPass", false, false, Read, ControlId::Reverse, 1, {kStart, kNothingSent, kStopped}},
        StopCase{"LoopAfterThePause", false, true, Read, ControlId::Loop, 2, kLoopLog, kLoopWrites, 5},
        StopCase{"TuneAfterTheSynthesis", true, false, Write, ControlId::AveragePower, 1, kTuneLog}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
