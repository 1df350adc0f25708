#include "core/controls.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "core/control_states.h"
#include "support/memory_controls.h"
#include "support/recording_message_box.h"

namespace velmora {
namespace {

using testing::MemoryControls;
using testing::RecordingMessageBox;

struct UnsignedCase {
  std::string text;
  std::uint32_t expected;
};

class ReadUnsigned : public ::testing::TestWithParam<UnsignedCase> {};

TEST_P(ReadUnsigned, ReadsDigitsOnlyAndZeroForAnythingElse) {
  MemoryControls controls;
  controls.setText(ControlId::Interval, GetParam().text);
  EXPECT_EQ(readUnsigned(controls, ControlId::Interval), GetParam().expected)
      << "'" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadUnsigned,
    ::testing::Values(UnsignedCase{"", 0}, UnsignedCase{"   ", 0}, UnsignedCase{"1000", 1000},
                      UnsignedCase{"0007", 7}, UnsignedCase{"  42", 42}, UnsignedCase{"abc", 0},
                      UnsignedCase{"12a", 0}, UnsignedCase{"-5", 0}, UnsignedCase{"+5", 0},
                      UnsignedCase{"1 2", 0}, UnsignedCase{"4294967295", 4294967295u},
                      UnsignedCase{"4294967296", 0}, UnsignedCase{"99999999999999999999999", 0},
                      UnsignedCase{"\xc3\xbc", 0}));

TEST(WriteUnsigned, WritesPlainDecimals) {
  MemoryControls controls;
  writeUnsigned(controls, ControlId::TextLength, 0);
  EXPECT_EQ(controls.text(ControlId::TextLength), "0");
  writeUnsigned(controls, ControlId::TextLength, 4294967295u);
  EXPECT_EQ(controls.text(ControlId::TextLength), "4294967295");
}

std::string repeated(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

struct TextCase {
  std::string name;
  std::string text;
  std::string expected;
  std::size_t expectedCount;
};

class ReadTextLimit : public ::testing::TestWithParam<TextCase> {};

TEST_P(ReadTextLimit, KeepsAtMost1023CharactersNeverSplittingOne) {
  MemoryControls controls;
  controls.setText(ControlId::TextToSend, GetParam().text);
  const std::string read = readText(controls, ControlId::TextToSend, kMaxTextChars);
  EXPECT_EQ(read, GetParam().expected);
  EXPECT_EQ(codePointCount(read), GetParam().expectedCount);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadTextLimit,
    ::testing::Values(TextCase{"Empty", "", "", 0}, TextCase{"Short", "CQ DL1ABC", "CQ DL1ABC", 9},
                      TextCase{"Exactly", std::string(1023, 'a'), std::string(1023, 'a'), 1023},
                      TextCase{"LongAscii", std::string(1500, 'a'), std::string(1023, 'a'), 1023},
                      TextCase{"TwoByteChars", repeated("\xc3\xbc", 1100), repeated("\xc3\xbc", 1023), 1023},
                      TextCase{"ThreeByteChars", repeated("\xe2\x82\xac", 1024),
                               repeated("\xe2\x82\xac", 1023), 1023},
                      TextCase{"MixedAtTheCut", std::string(1022, 'a') + "\xf0\x9f\x93\xbb" + "b",
                               std::string(1022, 'a') + "\xf0\x9f\x93\xbb", 1023},
                      TextCase{"BrokenSequence",
                               "a\xc3"
                               "b",
                               "a\xc3"
                               "b",
                               3}),
    [](const ::testing::TestParamInfo<TextCase>& param) { return param.param.name; });

TEST(FirstCodePoints, CountsCharactersNotBytes) {
  EXPECT_EQ(firstCodePoints("Gr\xc3\xbc\xc3\x9f", 3), "Gr\xc3\xbc");
  EXPECT_EQ(firstCodePoints("Gr\xc3\xbc\xc3\x9f", 0), "");
  EXPECT_EQ(firstCodePoints("ab", 5), "ab");
  EXPECT_EQ(codePointCount("Gr\xc3\xbc\xc3\x9f \xe2\x82\xac"), 6u);
  EXPECT_EQ(codePointCount("\xc3"), 1u);  // a lone lead byte still counts once
}

// "Transmit", "Tune" and the setting controls; "Stop" goes the other way.
constexpr std::array kFollowIdle = {
    ControlId::Transmit,    ControlId::Tune,       ControlId::TextToSend,   ControlId::CenterFrequency,
    ControlId::PixelOffset, ControlId::Duration,   ControlId::OutputDevice, ControlId::SkipDark,
    ControlId::MaxAvgPower, ControlId::Concurrent, ControlId::Sequential,   ControlId::PilotTone};
// Read live by a running worker, so never touched.
constexpr std::array kUntouched = {ControlId::Loop, ControlId::Interval, ControlId::Reverse,
                                   ControlId::SinglePixel, ControlId::FullScale};

class SetControlsIdle : public ::testing::TestWithParam<bool> {};

TEST_P(SetControlsIdle, SwitchesEveryListedControlAndNothingElse) {
  const bool idle = GetParam();
  MemoryControls controls;
  for (ControlId id : kFollowIdle) controls.setEnabled(id, !idle);
  controls.setEnabled(ControlId::Stop, idle);
  // The untouched ones start in a state that neither idle nor busy would give them.
  controls.setEnabled(ControlId::Loop, false);
  controls.setEnabled(ControlId::Interval, true);
  controls.setEnabled(ControlId::Reverse, false);
  controls.setEnabled(ControlId::SinglePixel, true);
  controls.setEnabled(ControlId::FullScale, false);
  controls.setChecked(ControlId::Loop, true);
  controls.setChecked(ControlId::FullScale, true);
  controls.setText(ControlId::Interval, "60");
  controls.setText(ControlId::SentText, "CQ CQ");

  setControlsIdle(controls, idle);

  for (ControlId id : kFollowIdle) EXPECT_EQ(controls.isEnabled(id), idle) << static_cast<int>(id);
  EXPECT_EQ(controls.isEnabled(ControlId::Stop), !idle);
  EXPECT_EQ(controls.text(ControlId::SentText), "");
  EXPECT_FALSE(controls.isEnabled(ControlId::Loop));
  EXPECT_TRUE(controls.isEnabled(ControlId::Interval));
  EXPECT_FALSE(controls.isEnabled(ControlId::Reverse));
  EXPECT_TRUE(controls.isEnabled(ControlId::SinglePixel));
  EXPECT_FALSE(controls.isEnabled(ControlId::FullScale));
  EXPECT_TRUE(controls.isChecked(ControlId::Loop));
  EXPECT_TRUE(controls.isChecked(ControlId::FullScale));
  EXPECT_EQ(controls.text(ControlId::Interval), "60");
  for (ControlId id : kUntouched)
    EXPECT_EQ(controls.textHistory(id).size(), id == ControlId::Interval ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(States, SetControlsIdle, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "Idle" : "Busy";
                         });

TEST(SetControlsIdleAfterSequential, EnablesMaximizeAveragePowerAnyway) {
  MemoryControls controls;
  controls.setChecked(ControlId::Sequential, true);
  controls.setEnabled(ControlId::MaxAvgPower, false);
  setControlsIdle(controls, false);
  setControlsIdle(controls, true);
  EXPECT_TRUE(controls.isChecked(ControlId::Sequential));
  EXPECT_TRUE(controls.isEnabled(ControlId::MaxAvgPower));
  EXPECT_TRUE(controls.isEnabled(ControlId::SkipDark));
}

struct RangeCase {
  std::string text;
  std::int32_t minimum;
  std::int32_t maximum;
  bool passes;
};

class CheckFieldRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(CheckFieldRange, ComparesAsSigned32BitsAndExplainsAFailure) {
  const RangeCase& c = GetParam();
  MemoryControls controls;
  RecordingMessageBox box;
  controls.setText(ControlId::CenterFrequency, c.text);
  EXPECT_EQ(checkFieldRange(controls, box, ControlId::CenterFrequency, "Audio center frequency", c.minimum,
                            c.maximum),
            c.passes)
      << "'" << c.text << "' in " << c.minimum << ".." << c.maximum;
  const auto messages = box.messages();
  if (c.passes) {
    EXPECT_TRUE(messages.empty());
    return;
  }
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Velmora");
  EXPECT_EQ(messages[0].icon, MessageIcon::None);
  EXPECT_EQ(messages[0].text, "Audio center frequency out of valid range (" + std::to_string(c.minimum) +
                                  ".." + std::to_string(c.maximum) + ")");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CheckFieldRange,
    ::testing::Values(RangeCase{"", 0, 86400, true}, RangeCase{"", 100, 3000, false},
                      RangeCase{"99", 100, 3000, false}, RangeCase{"100", 100, 3000, true},
                      RangeCase{"3000", 100, 3000, true}, RangeCase{"3001", 100, 3000, false},
                      RangeCase{"abc", 1, 10, false}, RangeCase{"86400", 0, 86400, true},
                      RangeCase{"2147483647", 0, 2147483647, true},
                      RangeCase{"2147483648", 0, 86400, false},  // above 2^31: negative as signed
                      RangeCase{"4294967295", 0, 86400, false},
                      RangeCase{"3000000000", -2147483647 - 1, 0, true},
                      RangeCase{"4294967295", -5, 5, true},       // reads as -1
                      RangeCase{"4294967296", 0, 86400, true}));  // too big to read: 0

TEST(CheckFieldRangeMessage, NamesTheFieldAsGiven) {
  MemoryControls controls;
  RecordingMessageBox box;
  controls.setText(ControlId::PixelOffset, "11");
  EXPECT_FALSE(checkFieldRange(controls, box, ControlId::PixelOffset, "Pixel offset", 1, 10));
  ASSERT_EQ(box.texts().size(), 1u);
  EXPECT_EQ(box.texts()[0], "Pixel offset out of valid range (1..10)");
}

}  // namespace
}  // namespace velmora
