// The synthesis figures the program has always shown, and its samples checked against a
// plain, line-by-line evaluation of the arithmetic written here in the test.
#include "synth/synthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "synth/column_envelope.h"
#include "synth/tone_plan.h"

namespace velmora {
namespace {

constexpr double kPi = 3.141592653589793;

// ---------------------------------------------------------------------------------------
// Independent evaluation of the arithmetic, sample by sample, with no shortcuts.

struct Reference {
  std::vector<std::int16_t> samples;
  double average = 0.0;
  double peak = 0.0;
  std::uint32_t pixelCount = 0;
};

double referenceIncrement(int frequency) { return (static_cast<double>(2 * frequency) * kPi) / 11025.0; }

int referenceFrequency(int entry, int center, int offset, bool reverse) {
  const int direction = reverse ? -1 : 1;
  return entry == 7 ? center - 5 * offset * direction : center + (entry - 3) * offset * direction;
}

void addPower(double v, double& peak, double& sum) {
  const double x = v * 0.000030517578125;  // 2^-15
  const double p = x * x;
  if (peak < p) peak = p;
  sum = p + sum;
}

Reference referenceConcurrent(const ColumnParameters& c) {
  const int n = static_cast<int>(c.durationMs) * 11025 / 1000;
  double increment[8];
  for (int k = 0; k < 8; ++k)
    increment[k] = referenceIncrement(referenceFrequency(k, c.center, c.offset, c.reverse));
  const int count = std::popcount(static_cast<unsigned>(c.mask));
  double amplitude = 4681.0;
  if (c.maximizeAveragePower) amplitude = count == 0 ? 32768.0 : static_cast<double>(32768 / count);

  Reference ref;
  double phase[8] = {};
  double theta = -kPi;
  double sum = 0.0;
  unsigned lit = 0;
  for (int j = 0; j < n; ++j) {
    double s = 0.0;
    lit = 0;
    for (int k = 0; k < 7; ++k) {
      if ((c.mask >> k) & 1) {
        ++lit;
        s = std::sin(phase[k]) * amplitude + s;
        phase[k] = increment[k] + phase[k];
      }
    }
    if (c.pilotTone && lit == 0) {
      s = std::sin(phase[7]) * amplitude + s;
      phase[7] = increment[7] + phase[7];
    }
    if (j < 1000 || j > n - 1000) theta = theta + 0.0031415926535897933;
    const double v = ((1 + std::cos(theta)) * s) * 0.5;
    ref.samples.push_back(static_cast<std::int16_t>(std::trunc(v)));
    addPower(v, ref.peak, sum);
  }
  ref.average = (sum / n) * 2;
  ref.pixelCount = lit;
  return ref;
}

Reference referenceSequential(const ColumnParameters& c) {
  const int slot = static_cast<int>(c.durationMs) * 11025 / 7000;
  Reference ref;
  double sum = 0.0;
  for (int k = 0; k < 7; ++k) {
    int entry = -1;
    if ((c.mask >> k) & 1) {
      entry = k;
    } else if (c.pilotTone) {
      entry = 7;
    } else if (c.mask != 0 && c.skipDarkPixels) {
      continue;
    }
    if (entry < 0) {
      ref.samples.insert(ref.samples.end(), static_cast<std::size_t>(slot), 0);
      continue;
    }
    ++ref.pixelCount;
    const double w = referenceIncrement(referenceFrequency(entry, c.center, c.offset, c.reverse));
    double tonePhase = 0;
    double envelopePhase = -kPi;
    // A slot shorter than two ramps rises and falls within itself.
    const double step = slot < 2000 ? (2 * 3.141592653589793) / slot : kPi / 1000;
    for (int n = 0; n < slot; ++n) {
      if (n < 1000 || n > slot - 1000) envelopePhase = envelopePhase + step;
      const double v = std::sin(tonePhase) * 32768 * (1 + std::cos(envelopePhase)) * 0.5;
      ref.samples.push_back(static_cast<std::int16_t>(std::trunc(v)));
      tonePhase = tonePhase + w;
      addPower(v, ref.peak, sum);
    }
  }
  ref.average = 2 * sum / static_cast<double>(ref.samples.size());
  return ref;
}

// ---------------------------------------------------------------------------------------
// Tone plans.

struct TonePlanCase {
  int center, offset;
  bool reverse;
  std::array<std::int32_t, 8> frequencies;
};

class TonePlanTable : public ::testing::TestWithParam<TonePlanCase> {};

TEST_P(TonePlanTable, FrequenciesAndIncrements) {
  const TonePlanCase& c = GetParam();
  const TonePlan plan = makeTonePlan(c.center, c.offset, c.reverse);
  EXPECT_EQ(plan.frequency, c.frequencies);
  for (std::size_t k = 0; k < 8; ++k) {
    EXPECT_EQ(plan.increment[k], referenceIncrement(c.frequencies[k])) << "entry " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Plans, TonePlanTable,
    ::testing::Values(TonePlanCase{1500, 10, false, {1470, 1480, 1490, 1500, 1510, 1520, 1530, 1450}},
                      TonePlanCase{1500, 10, true, {1530, 1520, 1510, 1500, 1490, 1480, 1470, 1550}},
                      TonePlanCase{100, 10, false, {70, 80, 90, 100, 110, 120, 130, 50}},
                      TonePlanCase{3000, 10, true, {3030, 3020, 3010, 3000, 2990, 2980, 2970, 3050}},
                      TonePlanCase{1000, 1, false, {997, 998, 999, 1000, 1001, 1002, 1003, 995}}));

TEST(TonePlan, IncrementOf1500HzIsTheKnownDouble) {
  EXPECT_EQ(makeTonePlan(1500, 10, false).increment[3], 0.8548551438339573);
  EXPECT_EQ(phaseIncrement(1500), 0.8548551438339573);
}

// ---------------------------------------------------------------------------------------
// Envelope gains, (1 + cos angle) / 2, at the edges of the ramps.

struct EnvelopeGain {
  std::int64_t length;
  std::int64_t index;
  double gain;
  double tolerance;  // 0: exactly
};

class EnvelopeGainTable : public ::testing::TestWithParam<EnvelopeGain> {};

TEST_P(EnvelopeGainTable, GainAtIndex) {
  const EnvelopeGain& c = GetParam();
  ColumnEnvelope envelope(c.length);
  double factor = 0.0;
  for (std::int64_t j = 0; j <= c.index; ++j) factor = envelope.factor(j);
  if (c.tolerance == 0.0) {
    EXPECT_EQ(factor / 2, c.gain);
  } else {
    EXPECT_NEAR(factor / 2, c.gain, c.tolerance);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, EnvelopeGainTable,
    ::testing::Values(EnvelopeGain{3307, 0, 2.4674e-6, 0.00005e-6},
                      EnvelopeGain{3307, 998, 0.99999753, 0.000000005}, EnvelopeGain{3307, 999, 1.0, 0.0},
                      EnvelopeGain{3307, 1500, 1.0, 0.0}, EnvelopeGain{3307, 2307, 1.0, 0.0},
                      EnvelopeGain{3307, 2308, 0.99999753, 0.000000005},
                      EnvelopeGain{3307, 3306, 2.4674e-6, 0.00005e-6},
                      // Bursts under 2000 samples peak at their middle and end at gain 0.
                      EnvelopeGain{1102, 550, 1.0, 1e-12}, EnvelopeGain{1102, 1101, 0.0, 1e-15},
                      EnvelopeGain{472, 0, 4.4301e-5, 0.00005e-5}, EnvelopeGain{472, 471, 0.0, 1e-15},
                      EnvelopeGain{1575, 1574, 0.0, 1e-15}, EnvelopeGain{1999, 1998, 0.0, 1e-15},
                      // From 2000 samples on, the ramps of 1000 samples are unchanged.
                      EnvelopeGain{2000, 0, 2.4674e-6, 0.00005e-6}, EnvelopeGain{2000, 999, 1.0, 0.0}));

// ---------------------------------------------------------------------------------------
// Conversion and formatting.

struct SampleCase {
  double value;
  std::int16_t sample;
};

class SampleConversion : public ::testing::TestWithParam<SampleCase> {};

TEST_P(SampleConversion, TruncatesTowardZero) {
  EXPECT_EQ(sampleFromValue(GetParam().value), GetParam().sample);
}

INSTANTIATE_TEST_SUITE_P(Values, SampleConversion,
                         ::testing::Values(SampleCase{4680.7, 4680}, SampleCase{-4680.7, -4680},
                                           SampleCase{0.99, 0}, SampleCase{-0.99, 0},
                                           SampleCase{32767.9, 32767}, SampleCase{-32767.9, -32767},
                                           SampleCase{1e9, 32767}, SampleCase{-1e9, -32768}));

struct PercentCase {
  double fraction;
  const char* text;
};

class PowerPercent : public ::testing::TestWithParam<PercentCase> {};

TEST_P(PowerPercent, FormatsLikePercentOnePointOneF) {
  EXPECT_EQ(formatPowerPercent(GetParam().fraction), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, PowerPercent,
                         ::testing::Values(PercentCase{0.0, "0.0"}, PercentCase{0.0946, "9.5"},
                                           PercentCase{1.0, "100.0"}, PercentCase{0.99949, "99.9"},
                                           PercentCase{0.0025, "0.2"},  // exact tie: to even, like printf
                                           PercentCase{12.3456, "1234.6"}));

// ---------------------------------------------------------------------------------------
// Sizes, counts and limits.

struct DurationCase {
  std::uint32_t durationMs;
  std::size_t samples;
  std::int32_t slot;
  std::size_t bytes;
};

class DurationTable : public ::testing::TestWithParam<DurationCase> {};

TEST_P(DurationTable, SamplesSlotsAndBytes) {
  const DurationCase& c = GetParam();
  EXPECT_EQ(concurrentSampleCount(c.durationMs), c.samples);
  EXPECT_EQ(sequentialSlotLength(c.durationMs), c.slot);
  EXPECT_EQ(columnBufferBytes(c.durationMs), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Durations, DurationTable,
    ::testing::Values(DurationCase{300, 3307, 472, 6615}, DurationCase{301, 3318, 474, 6637},
                      DurationCase{1000, 11025, 1575, 22050}, DurationCase{1400, 15435, 2205, 30870},
                      DurationCase{2000, 22050, 3150, 44100}, DurationCase{60000, 661500, 94500, 1323000}));

TEST(Sizes, EveryCheckedDurationsBufferHoldsItsSamples) {
  for (std::uint32_t d = 300; d <= 60000; ++d) {
    const std::size_t samplesInBuffer = columnBufferBytes(d) / 2;
    ASSERT_GE(samplesInBuffer, concurrentSampleCount(d)) << d;
    ASSERT_GE(samplesInBuffer, 7 * static_cast<std::size_t>(sequentialSlotLength(d))) << d;
  }
  EXPECT_EQ(kTuningToneBytes, 2 * kTuningToneSamples);
}

TEST(Sizes, ConcurrentAmplitudeTable) {
  const double maximized[] = {32768, 32768, 16384, 10922, 8192, 6553, 5461, 4681};
  for (int lit = 0; lit <= 7; ++lit) {
    EXPECT_EQ(concurrentToneAmplitude(true, lit), maximized[lit]) << lit;
    EXPECT_EQ(concurrentToneAmplitude(false, lit), 4681.0) << lit;
  }
}

// ---------------------------------------------------------------------------------------
// C/MT columns: C = 1500 Hz, D = 10 Hz, 300 ms.

struct ConcurrentCase {
  std::uint8_t mask;
  bool maximize;
  bool pilot;
  std::uint32_t pixelCount;
  const char* average;
  const char* peak;
};

class ConcurrentColumnTable : public ::testing::TestWithParam<ConcurrentCase> {};

TEST_P(ConcurrentColumnTable, FiguresAndSamples) {
  const ConcurrentCase& c = GetParam();
  ColumnParameters column{.mask = c.mask, .center = 1500, .offset = 10, .durationMs = 300};
  column.pilotTone = c.pilot;
  column.maximizeAveragePower = c.maximize;
  std::vector<std::int16_t> out(columnBufferBytes(300) / 2, 0x5555);
  const SynthesizedSound sound = synthesizeConcurrentColumn(column, out);

  EXPECT_EQ(sound.samplesWritten, 3307U);
  EXPECT_EQ(sound.pixelCount, c.pixelCount);
  EXPECT_EQ(formatPowerPercent(sound.power.average), c.average);
  EXPECT_EQ(formatPowerPercent(sound.power.peak), c.peak);

  const Reference ref = referenceConcurrent(column);
  EXPECT_EQ(sound.power.average, ref.average);
  EXPECT_EQ(sound.power.peak, ref.peak);
  EXPECT_EQ(out, ref.samples);
}

INSTANTIATE_TEST_SUITE_P(Masks, ConcurrentColumnTable,
                         ::testing::Values(ConcurrentCase{0x7F, false, false, 7, "9.5", "99.6"},
                                           ConcurrentCase{0x7F, true, false, 7, "9.5", "99.6"},
                                           ConcurrentCase{0x01, false, false, 1, "1.3", "2.0"},
                                           ConcurrentCase{0x01, true, false, 1, "62.2", "98.9"},
                                           ConcurrentCase{0x11, true, false, 2, "31.1", "99.4"},
                                           ConcurrentCase{0x00, false, true, 0, "1.3", "2.0"},
                                           ConcurrentCase{0x00, true, true, 0, "62.2", "100.0"},
                                           ConcurrentCase{0x00, false, false, 0, "0.0", "0.0"},
                                           // A lit row silences the pilot.
                                           ConcurrentCase{0x01, false, true, 1, "1.3", "2.0"}));

TEST(ConcurrentColumn, AllRowsAverageIsAFraction) {
  std::vector<std::int16_t> out(3307);
  const auto sound =
      synthesizeConcurrentColumn({.mask = 0x7F, .center = 1500, .offset = 10, .durationMs = 300}, out);
  EXPECT_NEAR(sound.power.average, 0.0946, 0.00005);
}

class ConcurrentMatchesArithmetic : public ::testing::TestWithParam<ColumnParameters> {};

TEST_P(ConcurrentMatchesArithmetic, SampleForSample) {
  const ColumnParameters& column = GetParam();
  std::vector<std::int16_t> out(concurrentSampleCount(column.durationMs));
  const SynthesizedSound sound = synthesizeConcurrentColumn(column, out);
  const Reference ref = referenceConcurrent(column);
  EXPECT_EQ(out, ref.samples);
  EXPECT_EQ(sound.power.average, ref.average);
  EXPECT_EQ(sound.power.peak, ref.peak);
  EXPECT_EQ(sound.pixelCount, ref.pixelCount);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ConcurrentMatchesArithmetic,
    ::testing::Values(
        ColumnParameters{.mask = 0x7F, .center = 3000, .offset = 10, .reverse = true, .durationMs = 2000},
        ColumnParameters{
            .mask = 0x2A, .center = 100, .offset = 1, .durationMs = 1400, .maximizeAveragePower = true},
        ColumnParameters{.mask = 0x00,
                         .center = 700,
                         .offset = 7,
                         .reverse = true,
                         .durationMs = 301,
                         .pilotTone = true,
                         .maximizeAveragePower = true},
        ColumnParameters{
            .mask = 0x3F, .center = 2222, .offset = 3, .durationMs = 1999, .maximizeAveragePower = true}));

TEST(ConcurrentColumn, ReverseMirrorsRowsAroundTheCenter) {
  // Row 0 reversed is row 6's tone: the same samples as row 6 lit alone.
  std::vector<std::int16_t> reversed(3307), mirrored(3307);
  synthesizeConcurrentColumn({.mask = 0x01, .center = 1500, .offset = 10, .reverse = true, .durationMs = 300},
                             reversed);
  synthesizeConcurrentColumn({.mask = 0x40, .center = 1500, .offset = 10, .durationMs = 300}, mirrored);
  EXPECT_EQ(reversed, mirrored);
}

// ---------------------------------------------------------------------------------------
// S/MT columns: C = 1000 Hz, D = 10 Hz.

struct SequentialCase {
  const char* name;
  std::uint8_t mask;
  std::uint32_t durationMs;
  bool pilot;
  bool skip;
  std::size_t written;  // P
  std::uint32_t pixelCount;
  const char* average;  // nullptr: checked against the arithmetic only
  const char* peak;
  std::uint32_t waitLimitMs;
};

class SequentialColumnTable : public ::testing::TestWithParam<SequentialCase> {};

TEST_P(SequentialColumnTable, SlotsFiguresAndSamples) {
  const SequentialCase& c = GetParam();
  ColumnParameters column{.mask = c.mask, .center = 1000, .offset = 10, .durationMs = c.durationMs};
  column.pilotTone = c.pilot;
  column.skipDarkPixels = c.skip;
  const std::int16_t untouched = 0x5555;
  std::vector<std::int16_t> out(columnBufferBytes(c.durationMs) / 2, untouched);
  const SynthesizedSound sound = synthesizeSequentialColumn(column, out);

  EXPECT_EQ(sound.samplesWritten, c.written);
  EXPECT_EQ(sequentialSamplesWritten(column), c.written);
  EXPECT_EQ(sound.pixelCount, c.pixelCount);
  if (c.average != nullptr) {
    EXPECT_EQ(formatPowerPercent(sound.power.average), c.average);
  }
  if (c.peak != nullptr) {
    EXPECT_EQ(formatPowerPercent(sound.power.peak), c.peak);
  }
  EXPECT_EQ(sequentialWaitLimitMs(sound.samplesWritten), c.waitLimitMs);

  const Reference ref = referenceSequential(column);
  ASSERT_EQ(ref.samples.size(), c.written);
  EXPECT_EQ(std::vector<std::int16_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(c.written)),
            ref.samples);
  EXPECT_EQ(sound.power.average, ref.average);
  EXPECT_EQ(sound.power.peak, ref.peak);
  EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(c.written), out.end(),
                          [&](std::int16_t s) { return s == untouched; }))
      << "samples past P were written";
}

INSTANTIATE_TEST_SUITE_P(
    Columns, SequentialColumnTable,
    ::testing::Values(
        SequentialCase{"AllRows1s", 0x7F, 1000, false, false, 11025, 7, "37.5", "100.0", 1000},
        SequentialCase{"Row0Only", 0x01, 1000, false, false, 11025, 1, "5.4", "99.7", 1000},
        SequentialCase{"Rows0And6Skip", 0x41, 1000, false, true, 3150, 2, "37.5", "99.9", 285},
        SequentialCase{"Rows0And6NoSkip", 0x41, 1000, false, false, 11025, 2, "10.7", "99.9", 1000},
        SequentialCase{"EmptyNoPilot", 0x00, 1000, false, false, 11025, 0, "0.0", "0.0", 1000},
        SequentialCase{"EmptyNoPilotSkip", 0x00, 1000, false, true, 11025, 0, "0.0", "0.0", 1000},
        SequentialCase{"EmptyPilot", 0x00, 1000, true, false, 11025, 7, nullptr, nullptr, 1000},
        // The pilot rule comes before the skip rule.
        SequentialCase{"PilotBeatsSkip", 0x01, 1000, true, true, 11025, 7, nullptr, nullptr, 1000},
        SequentialCase{"AllRows300ms", 0x7F, 300, false, false, 3304, 7, "37.5", "99.9", 299},
        // The longest slot with the short fade and the shortest with the long one.
        SequentialCase{"AllRows1269ms", 0x7F, 1269, false, false, 13986, 7, nullptr, nullptr, 1268},
        SequentialCase{"AllRows1270ms", 0x7F, 1270, false, false, 14000, 7, nullptr, nullptr, 1269},
        SequentialCase{"AllRows2s", 0x7F, 2000, false, false, 22050, 7, "60.3", "100.0", 2000}),
    [](const ::testing::TestParamInfo<SequentialCase>& row) { return std::string(row.param.name); });

TEST(SequentialColumn, FirstSampleOfEveryToneSlotIsZero) {
  // Rows 1, 3 and 5 lit with skip: three tone slots back to back.
  const ColumnParameters column{
      .mask = 0x2A, .center = 1000, .offset = 10, .durationMs = 1000, .skipDarkPixels = true};
  std::vector<std::int16_t> out(columnBufferBytes(1000) / 2);
  const SynthesizedSound sound = synthesizeSequentialColumn(column, out);
  ASSERT_EQ(sound.samplesWritten, 3U * 1575U);
  for (std::size_t slot = 0; slot < 3; ++slot) EXPECT_EQ(out[slot * 1575], 0) << slot;
}

TEST(SequentialColumn, ReverseKeepsRowOrderButMirrorsTones) {
  // Reversed, slot 0 (row 0) carries the highest row tone: the tone row 6 has in slot 6
  // without reverse.
  const std::size_t slot = 1575;
  std::vector<std::int16_t> reversed(columnBufferBytes(1000) / 2), plain(columnBufferBytes(1000) / 2);
  synthesizeSequentialColumn(
      {.mask = 0x01, .center = 1000, .offset = 10, .reverse = true, .durationMs = 1000}, reversed);
  synthesizeSequentialColumn({.mask = 0x40, .center = 1000, .offset = 10, .durationMs = 1000}, plain);
  EXPECT_TRUE(std::equal(reversed.begin(), reversed.begin() + slot, plain.begin() + 6 * slot));
  EXPECT_FALSE(std::equal(reversed.begin(), reversed.begin() + slot, plain.begin() + 6 * slot - slot));
}

TEST(SequentialColumn, ReversedPilotAndOddOffsetMatchArithmetic) {
  const ColumnParameters column{
      .mask = 0x14, .center = 2500, .offset = 9, .reverse = true, .durationMs = 2600, .pilotTone = true};
  std::vector<std::int16_t> out(7 * static_cast<std::size_t>(sequentialSlotLength(2600)));
  const SynthesizedSound sound = synthesizeSequentialColumn(column, out);
  const Reference ref = referenceSequential(column);
  EXPECT_EQ(out, ref.samples);
  EXPECT_EQ(sound.power.average, ref.average);
  EXPECT_EQ(sound.power.peak, ref.peak);
}

// ---------------------------------------------------------------------------------------
// The tuning tone.

struct TuningCase {
  std::int32_t center;
  bool singlePixel;
  const char* average;
  const char* peak;
};

class TuningToneTable : public ::testing::TestWithParam<TuningCase> {};

TEST_P(TuningToneTable, FiguresAndSamples) {
  const TuningCase& c = GetParam();
  std::vector<std::int16_t> out(kTuningToneSamples);
  const PowerFigures figures = synthesizeTuningTone(c.center, c.singlePixel, out);
  EXPECT_EQ(formatPowerPercent(figures.average), c.average);
  EXPECT_EQ(formatPowerPercent(figures.peak), c.peak);

  // A one-tone burst of 110250 samples at the center, amplitude by level.
  const double amplitude = c.singlePixel ? 4681.0 : 32768.0;
  const double increment = referenceIncrement(c.center);
  double phase = 0.0, theta = -kPi, peak = 0.0, sum = 0.0;
  std::size_t mismatches = 0;
  for (int i = 0; i < 110250; ++i) {
    const double s = std::sin(phase) * amplitude + 0.0;
    phase = increment + phase;
    if (i < 1000 || i > 109250) theta = theta + 0.0031415926535897933;
    const double v = ((1 + std::cos(theta)) * s) * 0.5;
    if (out[static_cast<std::size_t>(i)] != static_cast<std::int16_t>(std::trunc(v))) ++mismatches;
    addPower(v, peak, sum);
  }
  EXPECT_EQ(mismatches, 0U);
  EXPECT_EQ(figures.average, (sum / 110250) * 2);
  EXPECT_EQ(figures.peak, peak);
}

INSTANTIATE_TEST_SUITE_P(Levels, TuningToneTable,
                         ::testing::Values(TuningCase{1000, false, "98.9", "100.0"},
                                           TuningCase{1000, true, "2.0", "2.0"},
                                           TuningCase{100, true, "2.0", "2.0"},
                                           TuningCase{3000, true, "2.0", "2.0"}));

// ---------------------------------------------------------------------------------------
// Buffers that cannot hold the sound.

TEST(SynthesisBuffers, TooSmallBufferIsRefused) {
  std::vector<std::int16_t> shortBuffer(3306);
  const ColumnParameters column{.mask = 0x7F, .durationMs = 300};
  EXPECT_THROW(synthesizeConcurrentColumn(column, shortBuffer), std::length_error);
  std::vector<std::int16_t> shortSequential(7 * 472 - 1);
  EXPECT_THROW(synthesizeSequentialColumn(column, shortSequential), std::length_error);
  std::vector<std::int16_t> shortTune(kTuningToneSamples - 1);
  EXPECT_THROW(synthesizeTuningTone(1000, true, shortTune), std::length_error);
}

}  // namespace
}  // namespace velmora
