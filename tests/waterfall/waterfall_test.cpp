// Known columns through the waterfall: where their energy lands in frequency and time, and
// where the picture puts it in either layout.
#include "waterfall/waterfall.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "waterfall/sound_timeline.h"
#include "waterfall/spectrum_lines.h"

namespace velmora::waterfall {
namespace {

const double kSinglePixelDb = 20.0 * std::log10(4681.0 / 32768.0);
const double kMaxAverageDb = 20.0 * std::log10(10922.0 / 32768.0);

SoundSettings cmt(bool reverse = false, bool pilot = false, bool maxAvg = false) {
  return {.durationMs = 3000, .pilotTone = pilot, .reverse = reverse, .maximizeAveragePower = maxAvg};
}
SoundSettings smt(bool pilot = false, bool skip = false) {
  return {.durationMs = 7000, .concurrent = false, .pilotTone = pilot, .skipDarkPixels = skip};
}

// One column's spectrum in the middle of its tones' time (the window lies inside them).
struct EnergyCase {
  const char* name;
  SoundSettings settings;
  std::uint8_t mask;
  double atColumns;                  // time, in full column lengths from the start
  std::set<int> brightSteps;         // tones that sound, in row offsets from the center
  double brightDb = kSinglePixelDb;  // their level; every other tone lies 30 dB below
  bool tune = false;
};

class ColumnEnergy : public ::testing::TestWithParam<EnergyCase> {};

TEST_P(ColumnEnergy, LitTonesBrightAndEveryOtherToneDark) {
  const EnergyCase& c = GetParam();
  const SoundTimeline timeline =
      makeSoundTimeline({.settings = c.settings, .columns = {c.mask}, .tuningTone = c.tune});
  std::array<float, kShownBins> levels{};
  SpectrumLines(timeline).levels(c.atColumns * static_cast<double>(timeline.fullColumnSamples), levels);
  for (int steps = -kMaxToneSteps; steps <= kMaxToneSteps; ++steps) {
    const float level = levels[static_cast<std::size_t>(kShownBins / 2 + kBinsPerOffset * steps)];
    const bool lit = c.brightSteps.count(steps) != 0;
    EXPECT_TRUE(lit ? std::abs(level - c.brightDb) < 0.5 : level < c.brightDb - 30.0)
        << level << " dB at " << steps << " offsets, " << (lit ? "lit" : "dark");
  }
}

// C/MT: rows 0, 2, 4, 6 at -3, -1, +1, +3 offsets. S/MT: one full-scale tone per 1 s slot.
INSTANTIATE_TEST_SUITE_P(
    Columns, ColumnEnergy,
    ::testing::Values(EnergyCase{"ConcurrentRows", cmt(), 0x55, 0.5, {-3, -1, 1, 3}},
                      EnergyCase{"ConcurrentRowsOneSided", cmt(), 0x0B, 0.5, {-3, -2, 0}},
                      EnergyCase{"ReverseMirrors", cmt(true), 0x0B, 0.5, {3, 2, 0}},
                      EnergyCase{
                          "MaxAveragePower", cmt(false, false, true), 0x0B, 0.5, {-3, -2, 0}, kMaxAverageDb},
                      EnergyCase{"PilotFillsADarkColumn", cmt(false, true), 0x00, 0.5, {-5}},
                      EnergyCase{"PilotReversed", cmt(true, true), 0x00, 0.5, {5}},
                      EnergyCase{"NoPilotBesideLitRows", cmt(false, true), 0x08, 0.5, {0}},
                      EnergyCase{"SequentialFirstSlot", smt(), 0x41, 0.5 / 7, {-3}, 0.0},
                      EnergyCase{"SequentialLastSlot", smt(), 0x41, 6.5 / 7, {3}, 0.0},
                      EnergyCase{"SequentialDarkSlotSilent", smt(), 0x41, 3.5 / 7, {}, 0.0},
                      EnergyCase{"SequentialDarkSlotHoldsPilot", smt(true), 0x41, 3.5 / 7, {-5}, 0.0},
                      EnergyCase{"SkippedSlotsTakeNoTime", smt(false, true), 0x41, 1.5 / 7, {3}, 0.0},
                      EnergyCase{"TuningToneSinglePixel", cmt(), 0x00, 0.5, {0}, kSinglePixelDb, true}),
    [](const auto& row) { return std::string(row.param.name); });

// Row 0 (the lowest tone), a dark gap, row 6 (the highest). Which pixels are bright:
// render_waterfall_test, through the PNG.
const Sending kTwoColumnsWithAGap{.settings = {.center = 1200, .durationMs = 2000},
                                  .columns = {0x01, 0x00, 0x40}};

TEST(WaterfallPicture, FrequencyAcrossPutsTheFirstColumnAtTheBottom) {
  const Picture picture = drawWaterfall(kTwoColumnsWithAGap);
  ASSERT_EQ(picture.columnSpans.size(), 3U);
  const PixelRect plot = picture.plot;
  EXPECT_EQ(plot.y + plot.height, picture.height);  // the scale lies above the plot
  // 29 bins of 5 Hz, the outer ones 7 row offsets out: the edges lie half a bin beyond.
  EXPECT_EQ(picture.lowHz, 1200 - 72.5);
  EXPECT_EQ(picture.highHz, 1200 + 72.5);
  // The spans run from the bottom up, each touching the next.
  EXPECT_EQ(picture.columnSpans[0].high, plot.y + plot.height);
  EXPECT_EQ(picture.columnSpans[2].low, plot.y);
  for (int c = 0; c < 2; ++c) EXPECT_EQ(picture.columnSpans[c].low, picture.columnSpans[c + 1].high);
  // The marker spans the band; what was sent lies below it.
  const PixelRect now = columnArea(picture, 2), sent = sentArea(picture, 2);
  EXPECT_EQ(now.width, plot.width);
  EXPECT_EQ(sent.y, now.y + now.height);
  EXPECT_EQ(sent.y + sent.height, plot.y + plot.height);
  EXPECT_EQ(sentArea(picture, 0).height, 0);
  EXPECT_EQ(columnArea(picture, 3).width, 0);  // past the last column
}

TEST(WaterfallPicture, TimeAcrossIsTheSameSpectrumTurned) {
  const Picture across = drawWaterfall(kTwoColumnsWithAGap);
  const Picture upward = drawWaterfall(kTwoColumnsWithAGap, {.layout = Layout::TimeAcross});
  ASSERT_EQ(upward.plot.width, across.plot.height);
  ASSERT_EQ(upward.plot.height, across.plot.width);
  EXPECT_EQ(upward.plot.x + upward.plot.width, upward.width);  // the scale lies left of the plot
  // Time line t and frequency pixel f: from the bottom and the left across, from the left
  // and the bottom upward.
  int differing = 0;
  for (int t = 0; t < across.plot.height; ++t) {
    for (int f = 0; f < across.plot.width; ++f) {
      const auto a =
          across.pixels[(across.plot.y + across.plot.height - 1 - t) * across.width + across.plot.x + f];
      const auto u =
          upward.pixels[(upward.plot.y + upward.plot.height - 1 - f) * upward.width + upward.plot.x + t];
      differing += a != u ? 1 : 0;
    }
  }
  EXPECT_EQ(differing, 0);
  for (std::size_t c = 0; c < 3; ++c) {
    const PixelSpan a = across.columnSpans[c], u = upward.columnSpans[c];
    EXPECT_EQ(u.high - u.low, a.high - a.low);
    EXPECT_EQ(u.low - upward.plot.x, across.plot.y + across.plot.height - a.high);
  }
  // The marker spans the band; what was sent lies left of it.
  const PixelRect now = columnArea(upward, 2), sent = sentArea(upward, 2);
  EXPECT_EQ(now.height, upward.plot.height);
  EXPECT_EQ(sent.x, upward.plot.x);
  EXPECT_EQ(sent.x + sent.width, now.x);
  EXPECT_EQ(sentArea(upward, 0).width, 0);
}

TEST(WaterfallPicture, LongestTextIsSqueezedIntoTheTimeLimit) {
  Sending sending{.settings = {.durationMs = 60000, .concurrent = false, .skipDarkPixels = true},
                  .columns = {}};
  for (int i = 0; i < 1023; ++i) {
    if (i > 0) sending.columns.push_back(0);
    sending.columns.insert(sending.columns.end(), {0x7F, 0x01, 0x08, 0x40, 0x7F});
  }
  for (const int limit : {8192, 100}) {
    const Picture picture = drawWaterfall(sending, {.maxTimePixels = limit});
    EXPECT_EQ(picture.plot.height, limit);
    ASSERT_EQ(picture.columnSpans.size(), sending.columns.size());
    int previousLow = picture.plot.y + picture.plot.height;
    for (const PixelSpan span : picture.columnSpans) {
      ASSERT_GT(span.high, span.low);
      ASSERT_LE(span.high, previousLow + 1);  // squeezed columns may share a line
      ASSERT_GE(span.low, picture.plot.y);
      previousLow = span.low;
    }
  }
}

// The window draws on a thread of its own while another picture may be drawn elsewhere.
TEST(WaterfallPicture, PicturesDrawnOnTwoThreadsAtOnceAreTheSame) {
  const Picture expected = drawWaterfall(kTwoColumnsWithAGap);
  std::vector<std::uint32_t> drawn[2];
  const auto draw = [](std::vector<std::uint32_t>& out) {
    for (int i = 0; i < 20; ++i) out = drawWaterfall(kTwoColumnsWithAGap).pixels;
  };
  std::jthread other(draw, std::ref(drawn[1]));
  draw(drawn[0]);
  other.join();
  EXPECT_EQ(drawn[0], expected.pixels);
  EXPECT_EQ(drawn[1], expected.pixels);
}

TEST(WaterfallPicture, NothingToSendLeavesOnlyTheScale) {
  const Picture picture = drawWaterfall(Sending{});
  EXPECT_EQ(picture.plot.height, 0);
  EXPECT_GT(picture.height, 0);
  EXPECT_TRUE(picture.columnSpans.empty());
  EXPECT_EQ(picture.pixels.size(), static_cast<std::size_t>(picture.width) * picture.height);
}

}  // namespace
}  // namespace velmora::waterfall
