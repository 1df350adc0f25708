#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>
#include <variant>

#include "support/memory_controls.h"
#include "transmit/waterfall_marker.h"
#include "transmit/waterfall_sending.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using testing::MemoryControls;

constexpr GlyphColumns kGlyphA = {0x7E, 0x09, 0x09, 0x09, 0x7E};
constexpr GlyphColumns kGlyphB = {0x7F, 0x49, 0x49, 0x49, 0x36};

class WaterfallSendingTest : public ::testing::Test {
 protected:
  WaterfallSendingTest() {
    glyphs.setColumns('A', kGlyphA);
    glyphs.setColumns('B', kGlyphB);
    controls.setText(ControlId::CenterFrequency, "1500");
    controls.setText(ControlId::PixelOffset, "10");
    controls.setText(ControlId::Duration, "300");
    controls.setText(ControlId::Interval, "99999");  // shapes no sound
    controls.setChecked(ControlId::Concurrent, true);
  }
  MemoryControls controls;
  GlyphTable glyphs;
};

TEST_F(WaterfallSendingTest, TheTextBecomesTheColumnsATransmissionSends) {
  controls.setText(ControlId::TextToSend, "AB");
  controls.setChecked(ControlId::Sequential, true);
  controls.setChecked(ControlId::SkipDark, true);
  controls.setChecked(ControlId::Reverse, true);
  const auto sending = std::get<waterfall::Sending>(textSendingFromControls(controls, glyphs));
  EXPECT_THAT(sending.columns, ElementsAre(0x7E, 0x09, 0x09, 0x09, 0x7E, 0, 0x7F, 0x49, 0x49, 0x49, 0x36));
  EXPECT_FALSE(sending.tuningTone);
  const waterfall::SoundSettings& set = sending.settings;
  EXPECT_EQ(std::tuple(set.center, set.offset, set.durationMs, set.concurrent, set.skipDarkPixels,
                       set.reverse, set.pilotTone),
            std::tuple(1500, 10, 300u, false, true, true, false));
}

struct RangeCase {
  ControlId field;
  const char* value;
  const char* message;  // of the text's picture; empty: a picture
};

class WaterfallRangeTest : public WaterfallSendingTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(WaterfallRangeTest, AFieldOutOfTheRangeOfTransmitGivesItsMessage) {
  controls.setText(GetParam().field, GetParam().value);
  const auto result = textSendingFromControls(controls, glyphs);
  const auto* message = std::get_if<std::string>(&result);
  EXPECT_EQ(message ? *message : std::string(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, WaterfallRangeTest,
    ::testing::Values(
        RangeCase{ControlId::CenterFrequency, "99", "Audio center frequency out of valid range (100..3000)"},
        RangeCase{ControlId::CenterFrequency, "", "Audio center frequency out of valid range (100..3000)"},
        RangeCase{ControlId::PixelOffset, "11", "Pixel offset out of valid range (1..10)"},
        RangeCase{ControlId::Duration, "299", "Duration out of valid range (300..60000)"},
        RangeCase{ControlId::Duration, "60000", ""}, RangeCase{ControlId::TextToSend, "", ""}));

TEST_F(WaterfallSendingTest, TheToneNeedsOnlyTheCenterFrequency) {
  controls.setText(ControlId::Duration, "5");
  controls.setChecked(ControlId::FullScale, true);
  const auto tone = std::get<waterfall::Sending>(tuneSendingFromControls(controls));
  EXPECT_TRUE(tone.tuningTone);
  EXPECT_FALSE(tone.tuneSinglePixel);
  controls.setText(ControlId::CenterFrequency, "3001");
  EXPECT_EQ(std::get<std::string>(tuneSendingFromControls(controls)),
            "Audio center frequency out of valid range (100..3000)");
}

class WaterfallMarkerTest : public ::testing::TestWithParam<waterfall::Layout> {};

TEST_P(WaterfallMarkerTest, MarksTheColumnOnTheAirAndDimsWhatCameBefore) {
  waterfall::Sending sending;
  sending.columns = {0x7F, 0x41, 0, 0x7F};
  const waterfall::Picture picture = waterfall::drawWaterfall(sending, {nullptr, GetParam()});
  const MarkerAreas third = markerAreas(picture, false, {OnAir::Sound::Text, 2, 0}, 0);
  ASSERT_TRUE(third.shown);
  const auto column = waterfall::columnArea(picture, 2);
  EXPECT_EQ(std::pair(third.now.x, third.now.y), std::pair(column.x, column.y));
  EXPECT_GT(third.sent.width * third.sent.height, 0);
  // Nothing on the air, a column past the text, or the tone over a picture of the text.
  EXPECT_FALSE(markerAreas(picture, false, {}, 0).shown);
  EXPECT_FALSE(markerAreas(picture, false, {OnAir::Sound::Text, 4, 0}, 0).shown);
  EXPECT_FALSE(markerAreas(picture, false, {OnAir::Sound::Tune, -1, 0}, 0).shown);
}

TEST_P(WaterfallMarkerTest, MovesThroughTheToneWithTheTimePlayed) {
  waterfall::Sending sending;
  sending.tuningTone = true;
  const waterfall::Picture picture = waterfall::drawWaterfall(sending, {nullptr, GetParam()});
  const bool upward = picture.time == waterfall::TimeDirection::Upward;
  const auto position = [&](std::uint32_t elapsedMs) {
    // A start just before the tick count wraps: the elapsed time still counts.
    const MarkerAreas areas =
        markerAreas(picture, true, {OnAir::Sound::Tune, -1, 0xFFFFF000u}, 0xFFFFF000u + elapsedMs);
    EXPECT_TRUE(areas.shown);
    return upward ? -areas.now.y : areas.now.x;  // grows as time goes on
  };
  const waterfall::PixelSpan span = picture.columnSpans.at(0);
  EXPECT_LT(position(0), position(5000));
  EXPECT_LT(position(5000), position(10000));
  EXPECT_EQ(position(10000), position(60000)) << "the marker stays at the tone's end";
  EXPECT_NEAR(std::abs(position(5000)), (span.low + span.high) / 2.0, 2.0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WaterfallMarkerTest,
                         ::testing::Values(waterfall::Layout::FrequencyAcross,
                                           waterfall::Layout::TimeAcross));

}  // namespace
}  // namespace velmora
