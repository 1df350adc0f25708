// One character count everywhere: the text length field, the 1023-character cut, the
// columns sent, the sent text field, the log lines and velmora-render all count a text
// as the codec sends it, and all show a character without a code of its own as the "?"
// that goes out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/commands.h"
#include "render/render.h"
#include "transmit/text_codec.h"
#include "transmit/transmit_worker.h"
#include "transmit/worker_rig.h"

namespace velmora {
namespace {

std::string repeated(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

struct CountCase {
  const char* name;
  std::string text;
  std::size_t characters;
  std::string shown;  // as the sent text field and the log lines show it
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << c.name; }

class CharacterCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(CharacterCountTest, EveryPlaceCountsAndShowsTheTextAsItIsSent) {
  const CountCase& c = GetParam();
  testing::WorkerRig rig;
  rig.controls.setText(ControlId::TextToSend, c.text);

  handleTextEdit(rig.controls, rig.shared);
  EXPECT_EQ(rig.controls.text(ControlId::TextLength), std::to_string(c.characters));

  // Every sound fails at once: the pass runs through all its column steps without waits.
  rig.audio.failStep(testing::SoundStep::Create);
  transmitWorker(rig.ctx);
  EXPECT_EQ(rig.audio.sounds().size(), 6 * c.characters - 1) << "columns sent";
  // One more character after each; the idle state empties the field at the end.
  const auto sent = rig.controls.textHistory(ControlId::SentText);
  ASSERT_EQ(sent.size(), c.characters + 1);
  for (std::size_t i = 0; i < c.characters; ++i) ASSERT_EQ(sent[i], firstCodePoints(c.shown, i + 1)) << i;
  EXPECT_THAT(rig.logMessages(),
              ::testing::ElementsAre(
                  "Starting text transmission (" + c.shown + ", C/MT, 1000/10 Hz, 300ms, no pilot tone)",
                  "Terminating text transmission (sent text: " + c.shown + ")"));

  EXPECT_EQ(windows1252ToUtf8(render::sendableText(c.text)), c.shown) << "velmora-render";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CharacterCountTest,
    ::testing::Values(CountCase{"Plain", "CQ", 2, "CQ"},
                      // A lead byte whose sequence breaks off: one character, and the byte after it another.
                      CountCase{"BrokenSequence",
                                "a\xc3"
                                "b",
                                3, "a?b"},
                      CountCase{"TruncatedAtTheEnd", "Z\xe2\x82", 2, "Z?"},
                      // Bytes that cannot start a sequence are a character each, continuation or not.
                      CountCase{"StrayContinuationBytes",
                                "\x80\x80"
                                "A",
                                3, "??A"},
                      CountCase{"OverlongSequence", "\xc0\xaf", 2, "??"},
                      // Greek Omega and an emoji have no Windows-1252 code; the euro sign has one.
                      CountCase{"OutsideWindows1252", "\xce\xa9\xe2\x82\xac\xf0\x9f\x98\x80", 3,
                                "?\xe2\x82\xac?"},
                      CountCase{"Exactly1023", repeated("\xc3\xa4", 1023), 1023, repeated("\xc3\xa4", 1023)},
                      CountCase{"Cut1024", repeated("\xc3\xa4", 1024), 1023, repeated("\xc3\xa4", 1023)},
                      CountCase{"Cut1024StrayBytes", repeated("\x80", 1024), 1023, repeated("?", 1023)}),
    [](const ::testing::TestParamInfo<CountCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
