// Known columns through the waterfall: where their energy lands in frequency and time, and
// where the picture puts it in either layout.
#include "waterfall/waterfall.h"

#include <gtest/gtest.h>

#include <algorithm>
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

constexpr int kCenterBin = kShownBins / 2;
const double kSinglePixelDb = 20.0 * std::log10(4681.0 / 32768.0);

// The bin of a tone `steps` row offsets from the center.
int binOf(int steps) { return kCenterBin + kBinsPerOffset * steps; }

// ---------------------------------------------------------------------------------------
// Energy of one column, in the middle of its tones' time (the window lies inside them).

struct EnergyCase {
  const char* name;
  SoundSettings settings;
  std::uint8_t mask;
  bool tune;
  double atColumns;           // time, in full column lengths from the start
  std::set<int> brightSteps;  // tone positions (row offsets from the center) that sound
  double brightDb;            // their level; every other tone position is 30 dB below
};

void PrintTo(const EnergyCase& c, std::ostream* os) { *os << c.name; }

SoundSettings cmt(bool reverse = false, bool pilot = false, bool maxAvg = false) {
  return {.center = 1000,
          .offset = 10,
          .durationMs = 3000,
          .concurrent = true,
          .pilotTone = pilot,
          .reverse = reverse,
          .maximizeAveragePower = maxAvg};
}
SoundSettings smt(bool pilot = false, bool skip = false) {
  return {.center = 1000,
          .offset = 10,
          .durationMs = 7000,
          .concurrent = false,
          .pilotTone = pilot,
          .skipDarkPixels = skip};
}

class ColumnEnergy : public ::testing::TestWithParam<EnergyCase> {};

TEST_P(ColumnEnergy, LitTonesBrightAndEveryOtherToneDark) {
  const EnergyCase& c = GetParam();
  Sending sending{.settings = c.settings, .columns = {c.mask}, .tuningTone = c.tune};
  const SoundTimeline timeline = makeSoundTimeline(sending);
  SpectrumLines spectrum(timeline);
  std::array<float, kShownBins> levels{};
  spectrum.levels(c.atColumns * static_cast<double>(timeline.fullColumnSamples), levels);

  for (int steps = -kMaxToneSteps; steps <= kMaxToneSteps; ++steps) {
    const float level = levels[static_cast<std::size_t>(binOf(steps))];
    if (c.brightSteps.count(steps) != 0) {
      EXPECT_NEAR(level, c.brightDb, 0.5) << "tone at " << steps << " offsets";
    } else {
      EXPECT_LT(level, c.brightDb - 30.0) << "tone at " << steps << " offsets";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ColumnEnergy,
    ::testing::Values(
        // Rows 0, 2, 4, 6 at -3, -1, +1, +3 offsets; the dark rows between them stay dark.
        EnergyCase{"ConcurrentRows", cmt(), 0x55, false, 0.5, {-3, -1, 1, 3}, kSinglePixelDb},
        EnergyCase{"ConcurrentRowsOneSided", cmt(), 0x0B, false, 0.5, {-3, -2, 0}, kSinglePixelDb},
        EnergyCase{"ReverseMirrors", cmt(true), 0x0B, false, 0.5, {3, 2, 0}, kSinglePixelDb},
        EnergyCase{"MaxAveragePower",
                   cmt(false, false, true),
                   0x0B,
                   false,
                   0.5,
                   {-3, -2, 0},
                   20.0 * std::log10(10922.0 / 32768.0)},
        EnergyCase{"PilotFillsADarkColumn", cmt(false, true), 0x00, false, 0.5, {-5}, kSinglePixelDb},
        EnergyCase{"PilotReversed", cmt(true, true), 0x00, false, 0.5, {5}, kSinglePixelDb},
        EnergyCase{"NoPilotBesideLitRows", cmt(false, true), 0x08, false, 0.5, {0}, kSinglePixelDb},
        // S/MT: one full-scale tone per 1-second slot, in row order.
        EnergyCase{"SequentialFirstSlot", smt(), 0x41, false, 0.5 / 7, {-3}, 0.0},
        EnergyCase{"SequentialLastSlot", smt(), 0x41, false, 6.5 / 7, {3}, 0.0},
        EnergyCase{"SequentialDarkSlotSilent", smt(), 0x41, false, 3.5 / 7, {}, 0.0},
        EnergyCase{"SequentialDarkSlotHoldsPilot", smt(true), 0x41, false, 3.5 / 7, {-5}, 0.0},
        EnergyCase{"SkippedSlotsTakeNoTime", smt(false, true), 0x41, false, 1.5 / 7, {3}, 0.0},
        EnergyCase{"TuningToneSinglePixel", cmt(), 0x00, true, 0.5, {0}, kSinglePixelDb}),
    [](const ::testing::TestParamInfo<EnergyCase>& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------------------
// The picture: a lit column, a gap and a lit column, in both layouts.

// Above about -35 dB on the colour map (yellow, red, white).
bool bright(std::uint32_t pixel) { return ((pixel >> 16) & 0xFF) >= 200; }

std::uint32_t at(const Picture& picture, int x, int y) {
  return picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
}

Sending twoColumnsWithAGap() {
  // Row 0 (the lowest tone), a dark gap, row 6 (the highest).
  return {.settings = {.center = 1200, .offset = 10, .durationMs = 2000}, .columns = {0x01, 0x00, 0x40}};
}

TEST(WaterfallPicture, FrequencyAcrossPutsTheFirstColumnAtTheBottomAndLowTonesLeft) {
  const Picture picture = drawWaterfall(twoColumnsWithAGap());
  ASSERT_EQ(picture.time, TimeDirection::Upward);
  ASSERT_EQ(picture.pixels.size(), static_cast<std::size_t>(picture.width) * picture.height);
  ASSERT_EQ(picture.columnSpans.size(), 3U);
  const PixelRect plot = picture.plot;
  EXPECT_EQ(plot.y + plot.height, picture.height);  // the scale lies above the plot

  // Each column's span, from the bottom up, touching the next.
  EXPECT_EQ(picture.columnSpans[0].high, plot.y + plot.height);
  EXPECT_EQ(picture.columnSpans[2].low, plot.y);
  for (int c = 0; c < 2; ++c) EXPECT_EQ(picture.columnSpans[c].low, picture.columnSpans[c + 1].high);

  // Which tone is bright where: the x of a frequency follows from the band's edges.
  const auto xOf = [&](double hz) {
    return plot.x + static_cast<int>((hz - picture.lowHz) / (picture.highHz - picture.lowHz) * plot.width);
  };
  const auto brightAt = [&](int column, double hz) {
    const PixelSpan span = picture.columnSpans[static_cast<std::size_t>(column)];
    return bright(at(picture, xOf(hz), (span.low + span.high) / 2));
  };
  EXPECT_TRUE(brightAt(0, 1170));
  EXPECT_FALSE(brightAt(0, 1230));
  for (const double hz : {1150.0, 1170.0, 1200.0, 1230.0, 1250.0}) EXPECT_FALSE(brightAt(1, hz)) << hz;
  EXPECT_TRUE(brightAt(2, 1230));
  EXPECT_FALSE(brightAt(2, 1170));
}

TEST(WaterfallPicture, TimeAcrossIsTheSameSpectrumTurned) {
  const Picture across = drawWaterfall(twoColumnsWithAGap());
  const Picture upward = drawWaterfall(twoColumnsWithAGap(), {.layout = Layout::TimeAcross});
  ASSERT_EQ(upward.time, TimeDirection::Rightward);
  ASSERT_EQ(upward.plot.width, across.plot.height);
  ASSERT_EQ(upward.plot.height, across.plot.width);
  EXPECT_EQ(upward.plot.x + upward.plot.width, upward.width);  // the scale lies left of the plot
  EXPECT_EQ(upward.lowHz, across.lowHz);
  EXPECT_EQ(upward.highHz, across.highHz);

  // Time line t, frequency pixel f: across counts lines from the bottom and frequency from
  // the left; upward counts lines from the left and frequency from the bottom.
  int differing = 0;
  for (int t = 0; t < across.plot.height; ++t) {
    for (int f = 0; f < across.plot.width; ++f) {
      const std::uint32_t a = at(across, across.plot.x + f, across.plot.y + across.plot.height - 1 - t);
      const std::uint32_t u = at(upward, upward.plot.x + t, upward.plot.y + upward.plot.height - 1 - f);
      differing += a != u ? 1 : 0;
    }
  }
  EXPECT_EQ(differing, 0);
  for (std::size_t c = 0; c < 3; ++c) {
    const PixelSpan a = across.columnSpans[c];
    const PixelSpan u = upward.columnSpans[c];
    EXPECT_EQ(u.high - u.low, a.high - a.low);
    EXPECT_EQ(u.low - upward.plot.x, across.plot.y + across.plot.height - a.high);
  }
}

TEST(WaterfallPicture, MarkerAreasCoverTheColumnAndWhatWasSentBeforeIt) {
  for (const Layout layout : {Layout::FrequencyAcross, Layout::TimeAcross}) {
    const Picture picture = drawWaterfall(twoColumnsWithAGap(), {.layout = layout});
    const PixelRect plot = picture.plot;
    const PixelRect now = columnArea(picture, 2);
    const PixelRect sent = sentArea(picture, 2);
    const PixelRect first = columnArea(picture, 0);
    const PixelRect second = columnArea(picture, 1);
    if (layout == Layout::FrequencyAcross) {
      EXPECT_EQ(now.width, plot.width);
      EXPECT_EQ(sent.y, now.y + now.height);
      EXPECT_EQ(sent.y + sent.height, plot.y + plot.height);
      EXPECT_EQ(sent.height, first.height + second.height);
    } else {
      EXPECT_EQ(now.height, plot.height);
      EXPECT_EQ(sent.x, plot.x);
      EXPECT_EQ(sent.x + sent.width, now.x);
      EXPECT_EQ(sent.width, first.width + second.width);
    }
    EXPECT_EQ(sentArea(picture, 0).width * sentArea(picture, 0).height, 0);
    EXPECT_EQ(columnArea(picture, 3).width, 0);
  }
}

TEST(WaterfallPicture, LongestTextIsSqueezedIntoTheTimeLimit) {
  Sending sending;
  sending.settings = {.durationMs = 60000, .concurrent = false, .skipDarkPixels = true};
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

// The window may draw on a thread of its own while another picture is drawn elsewhere.
TEST(WaterfallPicture, PicturesDrawnOnTwoThreadsAtOnceAreTheSame) {
  const Sending sending = twoColumnsWithAGap();
  const Picture expected = drawWaterfall(sending);
  std::array<std::vector<std::uint32_t>, 2> drawn;
  {
    std::array<std::jthread, 2> threads;
    for (std::size_t t = 0; t < threads.size(); ++t) {
      threads[t] = std::jthread([&sending, &out = drawn[t]] {
        for (int i = 0; i < 20; ++i) out = drawWaterfall(sending).pixels;
      });
    }
  }
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
