// One character count everywhere (text length field, 1023-character cut, columns sent,
// sent text field, log lines, velmora-render), and a character without a code of its own
// shown everywhere as the "?" that goes out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "app/commands.h"
#include "render/render.h"
#include "transmit/text_codec.h"
#include "transmit/transmit_worker.h"
#include "transmit/worker_rig.h"

namespace velmora {
namespace {

std::string repeated(const std::string& piece, std::size_t times) {
  std::string text;
  while (times-- > 0) text += piece;
  return text;
}

struct CountCase {
  const char* name;
  std::string text;
  std::size_t characters;
  std::string shown;  // in the sent text field and the log lines
};

class CharacterCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(CharacterCountTest, EveryPlaceCountsAndShowsTheTextAsItIsSent) {
  const CountCase& c = GetParam();
  testing::WorkerRig rig;
  rig.controls.setText(ControlId::TextToSend, c.text);
  handleTextEdit(rig.controls, rig.shared);
  EXPECT_EQ(rig.controls.text(ControlId::TextLength), std::to_string(c.characters));

  rig.audio.failStep(testing::SoundStep::Create);  // a pass through every column without waits
  transmitWorker(rig.ctx);
  EXPECT_EQ(rig.audio.sounds().size(), 6 * c.characters - 1) << "columns sent";
  // One more character after each; the end empties the field.
  const auto sent = rig.controls.textHistory(ControlId::SentText);
  ASSERT_EQ(sent.size(), c.characters + 1);
  for (std::size_t i = 0; i < c.characters; ++i) ASSERT_EQ(sent[i], firstCodePoints(c.shown, i + 1)) << i;
  EXPECT_THAT(rig.logMessages(),
              ::testing::ElementsAre(
                  "Starting text transmission (" + c.shown + ", C/MT, 1000/10 Hz, 300ms, no pilot tone)",
                  "Terminating text transmission (sent text: " + c.shown + ")"));
  EXPECT_EQ(windows1252ToUtf8(render::sendableText(c.text)), c.shown) << "velmora-render";
}

// Broken, truncated and overlong sequences and stray continuation bytes: a character per
// byte that cannot go on a sequence. Omega and the emoji have no Windows-1252 code; the euro sign has.
const std::string kAe = "\xc3\xa4";
INSTANTIATE_TEST_SUITE_P(
    Texts, CharacterCountTest,
    ::testing::Values(
        CountCase{"Plain", "CQ", 2, "CQ"}, CountCase{"BrokenSequence", "a\303b", 3, "a?b"},
        CountCase{"TruncatedAtTheEnd", "Z\xe2\x82", 2, "Z?"},
        CountCase{"StrayContinuationBytes", "\200\200A", 3, "??A"},
        CountCase{"OverlongSequence", "\xc0\xaf", 2, "??"},
        CountCase{"OutsideWindows1252", "\xce\xa9\xe2\x82\xac\xf0\x9f\x98\x80", 3, "?\xe2\x82\xac?"},
        CountCase{"Exactly1023", repeated(kAe, 1023), 1023, repeated(kAe, 1023)},
        CountCase{"Cut1024", repeated(kAe, 1024), 1023, repeated(kAe, 1023)},
        CountCase{"Cut1024StrayBytes", std::string(1024, '\x80'), 1023, std::string(1023, '?')}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
