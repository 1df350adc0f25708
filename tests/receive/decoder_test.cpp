#include "receive/decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "receive/reading_fit.h"
#include "synth/synthesis.h"
#include "transmit/message_sound.h"

namespace velmora::receive {
namespace {

const GlyphTable& font() {
  static const GlyphTable table = [] {
    GlyphTable t;
    loadGlyphFont(std::string(VELMORA_DATA_DIR) + "/" + kFontFileName, t);
    return t;
  }();
  return table;
}

struct Sending {
  bool concurrent;
  std::uint32_t durationMs;
  bool pilot;
  bool reverse;
};

constexpr std::size_t kLead = 7000;

// The text as sent at 1530 Hz (30 Hz off the receiver's hint), after kLead samples of
// silence, with `gap` silent samples after every column as a real transmission has.
std::vector<float> received(const std::string& text, const Sending& s, std::size_t gap = 0, std::int32_t offset = 10) {
  ColumnParameters c;
  c.center = 1530;
  c.offset = offset;
  c.durationMs = s.durationMs;
  c.pilotTone = s.pilot;
  c.reverse = s.reverse;
  std::vector<float> out(kLead, 0.0f);
  for (std::int16_t v : messageSound(text, font(), s.concurrent, c, [gap](std::size_t) { return gap; }))
    out.push_back(static_cast<float>(v) / 32768.0f);
  out.insert(out.end(), kLead, 0.0f);
  return out;
}

Hints hintsFor(const Sending& s) {
  Hints h;
  h.centerHz = 1500;
  h.offsetHz = 10;
  h.durationMs = s.durationMs;
  h.mode = s.concurrent ? Mode::Concurrent : Mode::Sequential;
  return h;
}

// White noise at `snrDb` in 2500 Hz against the message's mean power, gaps included.
void addNoise(std::vector<float>& x, double snrDb, unsigned seed) {
  double power = 0.0;
  for (std::size_t i = kLead; i < x.size() - kLead; ++i) power += static_cast<double>(x[i]) * x[i];
  power /= static_cast<double>(x.size() - 2 * kLead);
  std::mt19937 rng(seed);
  std::normal_distribution<double> normal(0.0, std::sqrt(power / std::pow(10.0, snrDb / 10.0) * 5512.5 / 2500.0));
  for (float& v : x) v += static_cast<float>(normal(rng));
}

TEST(Decoder, CleanRenderingsReadExactlyWithTheirModeCenterAndStart) {
  const Sending table[] = {
      {true, 300, false, false},  {true, 300, true, true},  {true, 500, false, true},
      {false, 1000, false, false}, {false, 1000, true, false}, {false, 300, false, false}, {false, 1300, false, true},
  };
  const std::string text = "CQ VELMORA 73!";
  for (const Sending& s : table) {
    SCOPED_TRACE(testing::Message() << (s.concurrent ? "C/MT " : "S/MT ") << s.durationMs << " pilot " << s.pilot
                                    << " reverse " << s.reverse);
    const Decoding d = decodeRecording(received(text, s), 11025.0, hintsFor(s), font());
    EXPECT_EQ(d.codes(), text);
    EXPECT_EQ(d.reverse, s.reverse);
    // S/MT slots are short: their tone is known only to a part of the offset.
    EXPECT_NEAR(d.centerHz, 1530.0, s.concurrent ? 1.0 : 5.0);
    ASSERT_FALSE(d.characters.empty());
    EXPECT_NEAR(d.characters.front().timeS, kLead / 11025.0, 0.03);
  }
}

// The figures' targets, at their SNR, with gaps between columns as on the air.
TEST(Decoder, ReadsWithinTheTargetErrorRateAtTheTargetSnr) {
  const struct {
    Sending sending;
    double snrDb;
    std::size_t gap;
  } table[] = {{{true, 300, false, false}, -16.0, 60}, {{false, 1300, false, false}, -20.0, 111}};
  const std::string text = "CQ CQ DE DL1ABC K";
  for (const auto& row : table) {
    std::size_t wrong = 0;
    for (unsigned seed = 1; seed <= 2; ++seed) {
      std::vector<float> x = received(text, row.sending, row.gap);
      addNoise(x, row.snrDb, seed);
      const std::string read = decodeRecording(x, 11025.0, hintsFor(row.sending), font()).codes();
      for (std::size_t i = 0; i < text.size(); ++i) wrong += i < read.size() && read[i] == text[i] ? 0 : 1;
      wrong += read.size() > text.size() ? read.size() - text.size() : 0;
    }
    EXPECT_EQ(wrong, 0u) << row.snrDb << " dB";  // at most 2 % of 34 characters
  }
}

// Told only roughly where to listen: the mode, duration, offset and Reverse are found.
TEST(Decoder, FindsModeDurationOffsetAndReverseUnaided) {
  const struct {
    Sending sending;
    std::int32_t offset;
    std::size_t gap;
  } table[] = {{{true, 300, true, false}, 10, 60},
               {{true, 500, false, true}, 5, 0},
               {{false, 500, false, false}, 10, 56},
               {{false, 1000, true, true}, 5, 111}};
  const std::string text = "TEST 73";
  for (const auto& row : table) {
    const Sending& s = row.sending;
    SCOPED_TRACE(testing::Message() << (s.concurrent ? "C/MT " : "S/MT ") << s.durationMs << " offset " << row.offset);
    Hints h;
    h.centerHz = 1500;
    const Decoding d = decodeRecording(received(text, s, row.gap, row.offset), 11025.0, h, font());
    EXPECT_EQ(d.codes(), text);
    EXPECT_EQ(d.mode, s.concurrent ? Mode::Concurrent : Mode::Sequential);
    EXPECT_NEAR(d.durationMs, s.durationMs, 20.0);
    EXPECT_NEAR(d.offsetHz, row.offset, s.concurrent ? 0 : 1);  // an S/MT slot blurs its row
    EXPECT_EQ(d.reverse, s.reverse);
  }
}

// Any rate a sound server or a file gives; a receiver drifting by 1 Hz a minute, which
// would leave the outer minutes' rows out of a 2 s column's matched filter.
TEST(Decoder, ReadsAtAnyRateAndFollowsADrift) {
  const struct {
    double rate;
    double driftHzPerMin;
    std::uint32_t durationMs;
    std::int32_t offset;
  } table[] = {{48000.0, 0.0, 300, 10}, {8000.0, 1.0, 2000, 5}, {22050.0, -1.0, 2000, 5}};
  const std::string text = "CQ DE DL1AB";
  for (const auto& row : table) {
    SCOPED_TRACE(testing::Message() << row.rate << " samples/s, " << row.driftHzPerMin << " Hz/min");
    RowPlan plan;
    plan.centerHz = 1520.0;
    plan.offsetHz = row.offset;
    plan.columnSamples = concurrentSampleCount(row.durationMs) * static_cast<std::size_t>(row.rate) / 11025;
    std::vector<int> masks;
    std::vector<std::size_t> starts;
    const auto lead = static_cast<std::size_t>(row.rate);
    for (char code : text) {
      const GlyphColumns& g = font().columns(static_cast<std::uint8_t>(code));
      for (int c = 0; c < 6; ++c) {
        masks.push_back(c < 5 ? g[static_cast<std::size_t>(c)] : 0);
        starts.push_back(lead + masks.size() * plan.columnSamples);
      }
    }
    const std::size_t length = starts.back() + plan.columnSamples + lead;
    plan.middleS = static_cast<double>(length) / row.rate / 2.0;
    plan.driftHzPerS = row.driftHzPerMin / 60.0;
    Hints h;
    h.centerHz = 1500;
    h.offsetHz = row.offset;
    h.durationMs = row.durationMs;
    h.mode = Mode::Concurrent;
    const Decoding d =
        decodeRecording(resound(masks, starts, plan, false, std::nullopt, row.rate, length), row.rate, h, font());
    EXPECT_EQ(d.codes(), text);
    EXPECT_NEAR(d.driftHzPerMin, row.driftHzPerMin, 0.3);
  }
}

TEST(Decoder, NoiseAloneReadsAsNothing) {
  std::vector<float> x(11025 * 30, 0.0f);
  std::mt19937 rng(7);
  std::normal_distribution<float> normal(0.0f, 0.1f);
  for (float& v : x) v += normal(rng);
  for (const Sending& s : {Sending{true, 300, false, false}, Sending{false, 1300, false, false}})
    EXPECT_TRUE(decodeRecording(x, 11025.0, hintsFor(s), font()).characters.empty());
  EXPECT_TRUE(decodeRecording(std::vector<float>(11025 * 5, 0.0f), 11025.0, Hints{}, font()).characters.empty());
}

}  // namespace
}  // namespace velmora::receive
