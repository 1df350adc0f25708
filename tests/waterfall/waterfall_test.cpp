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
#include "synth/synthesis.h"
#include "waterfall/sample_lines.h"
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
  double brightDb = kSinglePixelDb;  // their level; every other tone lies 25 dB below
  bool tune = false;
};

class ColumnEnergy : public ::testing::TestWithParam<EnergyCase> {};

TEST_P(ColumnEnergy, LitTonesBrightAndEveryOtherToneDark) {
  const EnergyCase& c = GetParam();
  const SoundTimeline timeline =
      makeSoundTimeline({.settings = c.settings, .columns = {c.mask}, .tuningTone = c.tune});
  // 1 Hz per pixel: every tone lies on a bin, 10 bins from the next.
  SpectrumLines spectrum(timeline, *findReceiver("fldigi-x4"));
  std::vector<float> levels(static_cast<std::size_t>(spectrum.binCount()));
  spectrum.levels(c.atColumns * static_cast<double>(timeline.fullColumnSamples), levels);
  for (int steps = -kMaxToneSteps; steps <= kMaxToneSteps; ++steps) {
    const float level = levels[static_cast<std::size_t>(spectrum.binCount() / 2 + 10 * steps)];
    const bool lit = c.brightSteps.count(steps) != 0;
    EXPECT_TRUE(lit ? std::abs(level - c.brightDb) < 0.5 : level < c.brightDb - 25.0)
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
  EXPECT_EQ(plot.y + plot.height, picture.height);  // the frequency scale lies above the plot
  EXPECT_GT(plot.x, 0);                              // the time scale left of it
  // 129 bins of 4 Hz: the edges lie half a bin beyond 64 bins either side.
  EXPECT_EQ(picture.lowHz, 1200 - 258);
  EXPECT_EQ(picture.highHz, 1200 + 258);
  // The spans run from the bottom up, each touching (or sharing a line with) the next.
  EXPECT_EQ(picture.columnSpans[0].high, plot.y + plot.height);
  EXPECT_EQ(picture.columnSpans[2].low, plot.y);
  for (int c = 0; c < 2; ++c) EXPECT_NEAR(picture.columnSpans[c].low, picture.columnSpans[c + 1].high, 1);
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
}

// Each receiver's picture of "rows 0 and 6 for five 3 s columns, a gap, one column":
// one pixel per bin and per line, and a letter as tall and wide as that receiver makes it.
class ReceiverScale : public ::testing::TestWithParam<ReceiverProfile> {};

TEST_P(ReceiverScale, SizeAndLetterProportions) {
  const ReceiverProfile& receiver = GetParam();
  const Sending sending{.settings = {.center = 1500, .offset = 10, .durationMs = 3000},
                        .columns = {0x41, 0x41, 0x41, 0x41, 0x41, 0x00, 0x41}};
  const Picture picture =
      drawWaterfall(sending, {.receiver = &receiver, .layout = Layout::FrequencyAcross, .maxLines = 10000});
  // Seven C/MT columns of 3000 ms hold the air 3050 ms each on average (polls of 100 ms).
  const double columnLines = 3.05 * receiver.linesPerSecond;
  EXPECT_EQ(picture.lines, static_cast<int>(std::ceil(7 * columnLines)));
  EXPECT_EQ(picture.plot.height, picture.lines);
  EXPECT_EQ(picture.plot.width, 2 * static_cast<int>(std::ceil(256 / receiver.hzPerPixel)) + 1);
  // Row 0's stripe: as many bright lines as five columns take, and row 6's 60 Hz away.
  const auto bright = [&](int line, double hz) {
    const int x = picture.plot.x + static_cast<int>(std::lround((hz - picture.lowHz) / receiver.hzPerPixel - 0.5));
    const std::uint32_t pixel = picture.pixels[static_cast<std::size_t>((picture.plot.y + picture.lines - 1 - line) * picture.width + x)];
    return ((pixel >> 16) & 0xFF) > 200;  // yellow, red or white: the top third of the range
  };
  int stripeLines = 0;
  for (int line = 0; line < picture.lines; ++line) stripeLines += bright(line, 1470) ? 1 : 0;
  EXPECT_NEAR(stripeLines, 6 * columnLines, 0.1 * columnLines + 2) << "five columns and one more";
  const int middle = static_cast<int>(2.5 * columnLines);
  EXPECT_TRUE(bright(middle, 1470) && bright(middle, 1530) && !bright(middle, 1500));
}

INSTANTIATE_TEST_SUITE_P(Receivers, ReceiverScale, ::testing::ValuesIn(receiverProfiles()),
                         [](const auto& row) {
                           std::string name(row.param.key);
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// A steady tone is as wide as the receiver draws it.
TEST_P(ReceiverScale, SteadyToneWidth) {
  const ReceiverProfile& receiver = GetParam();
  const Sending tone{.settings = {.center = 1500}, .columns = {}, .tuningTone = true, .tuneSinglePixel = false};
  const Picture picture = drawWaterfall(
      tone, {.receiver = &receiver, .layout = std::nullopt, .firstLine = waterfallLineCount(tone, receiver) / 2, .maxLines = 1});
  const int line = picture.time == TimeDirection::Upward ? picture.plot.y : 0;
  int lit = 0;
  const int bins = picture.time == TimeDirection::Upward ? picture.plot.width : picture.plot.height;
  for (int bin = 0; bin < bins; ++bin) {
    const int x = picture.time == TimeDirection::Upward ? picture.plot.x + bin : picture.plot.x;
    const int y = picture.time == TimeDirection::Upward ? line : picture.plot.y + bin;
    lit += picture.pixels[static_cast<std::size_t>(y * picture.width + x)] != 0xFF000000U ? 1 : 0;
  }
  EXPECT_NEAR(lit, receiver.toneWidthHz / receiver.hzPerPixel, 1.5);
}

// S/MT on fldigi: at 1300 ms each slot is a dot of its own, with the dark background
// between dots; at 1000 ms too the band around the dots stays dark (a slot that ended with
// a click would splatter across it).
class SequentialDots : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(SequentialDots, DotsOnADarkBackground) {
  const std::uint32_t durationMs = GetParam();
  const Sending sending{.settings = {.center = 1500, .offset = 10, .durationMs = durationMs, .concurrent = false},
                        .columns = {0x7F}};
  const SoundTimeline timeline = makeSoundTimeline(sending);
  SpectrumLines spectrum(timeline, defaultReceiver());
  std::vector<float> levels(static_cast<std::size_t>(spectrum.binCount()));
  const double slot = sequentialSlotLength(durationMs);
  const float floorDb = -60.0F;  // full-scale tones, 60 dB shown
  for (int k = 0; k < 7; ++k) {
    spectrum.levels((k + 0.5) * slot, levels);
    const auto at = [&](double hz) {
      return levels[static_cast<std::size_t>(spectrum.binCount() / 2 + std::lround(hz / 4))];
    };
    EXPECT_GT(at(10.0 * (k - 3)), -10.0F) << "slot " << k << " shows its dot";
    for (int other = 0; other < 7 && durationMs >= 1300; ++other) {
      if (std::abs(other - k) < 2) continue;
      EXPECT_LT(at(10.0 * (other - 3)), floorDb + 15.0F) << "slot " << k << ", row " << other;
    }
    for (const double far : {-200.0, -100.0, 100.0, 200.0})
      EXPECT_LT(at(far), floorDb) << "slot " << k << " at " << far << " Hz";
  }
}

INSTANTIATE_TEST_SUITE_P(Durations, SequentialDots, ::testing::Values(1000U, 1300U));

// Only the lines asked for are drawn; every column still has its place.
TEST(WaterfallPicture, DrawsOnlyTheLinesAskedFor) {
  Sending sending{.settings = {.durationMs = 60000, .concurrent = false, .skipDarkPixels = true}, .columns = {}};
  for (int i = 0; i < 1023; ++i) {
    if (i > 0) sending.columns.push_back(0);
    sending.columns.insert(sending.columns.end(), {0x7F, 0x01, 0x08, 0x40, 0x7F});
  }
  const Picture picture =
      drawWaterfall(sending, {.receiver = nullptr, .layout = std::nullopt, .firstLine = 100000, .maxLines = 200});
  EXPECT_EQ(picture.totalLines, waterfallLineCount(sending, defaultReceiver()));
  EXPECT_GT(picture.totalLines, 1000000);
  EXPECT_EQ(picture.lines, 200);
  EXPECT_EQ(picture.plot.height, 200);
  ASSERT_EQ(picture.columnSpans.size(), sending.columns.size());
  EXPECT_EQ(picture.columnLines.back().high, picture.totalLines);
}

// Received samples give the lines the sent sound's picture shows: the full-scale tuning
// tone, fed in pieces, at its level and width.
TEST(SampleLines, ASteadyToneAsDrawWaterfallDrawsIt) {
  std::vector<std::int16_t> tone(kTuningToneSamples);
  synthesizeTuningTone(1500, false, tone);
  SampleLines lines(defaultReceiver(), 1500);
  std::vector<std::vector<float>> received;
  for (std::size_t at = 0; at < tone.size(); at += 1000) {
    const std::size_t count = std::min<std::size_t>(1000, tone.size() - at);
    lines.feed(std::span(tone).subspan(at, count), [&](std::span<const float> line) {
      received.emplace_back(line.begin(), line.end());
    });
  }
  ASSERT_GT(received.size(), 70U);  // 10 s at 7.8 lines a second, the last window incomplete
  const std::vector<float>& middle = received[39];
  ASSERT_EQ(middle.size(), 129U);
  EXPECT_NEAR(middle[64], 0.0F, 0.5F);
  int lit = 0;
  for (const float level : middle) lit += level > -60.0F ? 1 : 0;
  EXPECT_NEAR(lit, defaultReceiver().toneWidthHz / defaultReceiver().hzPerPixel, 1.5);
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
