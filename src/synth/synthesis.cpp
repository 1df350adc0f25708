#include "synth/synthesis.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "synth/column_envelope.h"
#include "synth/tone_plan.h"

namespace velmora {

namespace {

constexpr double kFullScale = 32768.0;
constexpr double kInverseFullScale = 1.0 / 32768.0;  // 2^-15, exact
constexpr double kSinglePixelAmplitude = 4681.0;     // seven tones add up to at most 32767
constexpr int kRowCount = 7;

class PowerMeter {
 public:
  void add(double value) {
    const double x = value * kInverseFullScale;
    const double p = x * x;
    if (peak_ < p) peak_ = p;
    sum_ = p + sum_;
  }
  double sum() const { return sum_; }
  double peak() const { return peak_; }

 private:
  double sum_ = 0.0;
  double peak_ = 0.0;
};

void requireRoom(std::span<std::int16_t> out, std::size_t samples) {
  if (out.size() < samples) throw std::length_error("sample buffer too small for the sound");
}

// One burst of `out.size()` samples of `Tones` tones summed in the given order. The tone
// count is a template parameter so that the phases live in registers.
template <int Tones>
void synthesizeBurstOf(const std::array<double, 8>& increments, double amplitude, std::span<std::int16_t> out,
                       PowerMeter& meter) {
  std::array<double, Tones> phase{};
  const std::int64_t length = static_cast<std::int64_t>(out.size());
  ColumnEnvelope envelope(length);
  for (std::int64_t j = 0; j < length; ++j) {
    double s = 0.0;
    for (int t = 0; t < Tones; ++t) {
      s = std::sin(phase[t]) * amplitude + s;
      phase[t] = increments[t] + phase[t];
    }
    const double value = (envelope.factor(j) * s) * 0.5;
    out[static_cast<std::size_t>(j)] = sampleFromValue(value);
    meter.add(value);
  }
}

void synthesizeBurst(const std::array<double, 8>& increments, int tones, double amplitude,
                     std::span<std::int16_t> out, PowerMeter& meter) {
  switch (tones) {
    case 0:
      // Nothing sounds: every value is exactly 0 and adds nothing to the figures.
      std::fill(out.begin(), out.end(), std::int16_t{0});
      return;
    case 1:
      return synthesizeBurstOf<1>(increments, amplitude, out, meter);
    case 2:
      return synthesizeBurstOf<2>(increments, amplitude, out, meter);
    case 3:
      return synthesizeBurstOf<3>(increments, amplitude, out, meter);
    case 4:
      return synthesizeBurstOf<4>(increments, amplitude, out, meter);
    case 5:
      return synthesizeBurstOf<5>(increments, amplitude, out, meter);
    case 6:
      return synthesizeBurstOf<6>(increments, amplitude, out, meter);
    default:
      return synthesizeBurstOf<7>(increments, amplitude, out, meter);
  }
}

// One S/MT tone slot: a single full-scale tone, its own envelope, phase from 0.
void synthesizeToneSlot(double increment, std::span<std::int16_t> out, PowerMeter& meter) {
  const std::int64_t length = static_cast<std::int64_t>(out.size());
  ColumnEnvelope envelope(length);
  double tonePhase = 0.0;
  for (std::int64_t n = 0; n < length; ++n) {
    const double factor = envelope.factor(n);
    const double value = std::sin(tonePhase) * kFullScale * factor * 0.5;
    out[static_cast<std::size_t>(n)] = sampleFromValue(value);
    tonePhase = tonePhase + increment;
    meter.add(value);
  }
}

bool rowLit(std::uint8_t mask, int row) { return ((mask >> row) & 1U) != 0; }

}  // namespace

SlotKind sequentialSlotKind(const ColumnParameters& column, int row) {
  if (rowLit(column.mask, row)) return SlotKind::Row;
  if (column.pilotTone) return SlotKind::Pilot;
  if (column.mask != 0 && column.skipDarkPixels) return SlotKind::Skipped;
  return SlotKind::Silence;
}

// The arithmetic keeps |value| below 32768; the clamp only guards the conversion
// against inputs outside the checked ranges.
std::int16_t sampleFromValue(double value) {
  const double bounded = std::clamp(value, -32768.0, 32767.0);
  return static_cast<std::int16_t>(bounded);
}

std::string formatPowerPercent(double fraction) {
  // Same digits as printf("%1.1f"), but independent of the process's locale.
  std::array<char, 64> text{};
  const auto result =
      std::to_chars(text.data(), text.data() + text.size(), fraction * 100.0, std::chars_format::fixed, 1);
  return std::string(text.data(), result.ptr);
}

// Computed in 64 bits: the same values as 32-bit arithmetic for every checked duration,
// and no overflow for larger ones.
std::size_t concurrentSampleCount(std::uint32_t durationMs) {
  return static_cast<std::size_t>(std::uint64_t{durationMs} * 11025U / 1000U);
}

std::int32_t sequentialSlotLength(std::uint32_t durationMs) {
  return static_cast<std::int32_t>(std::uint64_t{durationMs} * 11025U / 7000U);
}

std::size_t columnBufferBytes(std::uint32_t durationMs) {
  return static_cast<std::size_t>(std::uint64_t{durationMs} * 22050U / 1000U);
}

std::uint32_t sequentialWaitLimitMs(std::size_t samplesWritten) {
  return static_cast<std::uint32_t>(std::uint64_t{samplesWritten} * 1000U / 11025U);
}

double concurrentToneAmplitude(bool maximizeAveragePower, int litRows) {
  if (!maximizeAveragePower) return kSinglePixelAmplitude;
  if (litRows <= 1) return kFullScale;
  return static_cast<double>(32768 / litRows);
}

std::size_t sequentialSamplesWritten(const ColumnParameters& column) {
  const auto slotLength = static_cast<std::size_t>(sequentialSlotLength(column.durationMs));
  std::size_t written = 0;
  for (int row = 0; row < kRowCount; ++row) {
    if (sequentialSlotKind(column, row) != SlotKind::Skipped) written += slotLength;
  }
  return written;
}

SynthesizedSound synthesizeConcurrentColumn(const ColumnParameters& column, std::span<std::int16_t> out) {
  const std::size_t length = concurrentSampleCount(column.durationMs);
  requireRoom(out, length);
  const TonePlan plan = makeTonePlan(column.center, column.offset, column.reverse);

  std::array<double, 8> increments{};
  int tones = 0;
  for (int row = 0; row < kRowCount; ++row) {
    if (rowLit(column.mask, row)) increments[static_cast<std::size_t>(tones++)] = plan.increment[row];
  }
  const int litRows = tones;
  // The pilot fills exactly the columns without a lit row.
  if (litRows == 0 && column.pilotTone)
    increments[static_cast<std::size_t>(tones++)] = plan.increment[kPilotEntry];

  PowerMeter meter;
  synthesizeBurst(increments, tones, concurrentToneAmplitude(column.maximizeAveragePower, litRows),
                  out.first(length), meter);

  SynthesizedSound sound;
  sound.samplesWritten = length;
  sound.pixelCount = static_cast<std::uint32_t>(litRows);
  if (length > 0) sound.power.average = (meter.sum() / static_cast<double>(length)) * 2.0;
  sound.power.peak = meter.peak();
  return sound;
}

SynthesizedSound synthesizeSequentialColumn(const ColumnParameters& column, std::span<std::int16_t> out) {
  const auto slotLength = static_cast<std::size_t>(sequentialSlotLength(column.durationMs));
  requireRoom(out, kRowCount * slotLength);
  const TonePlan plan = makeTonePlan(column.center, column.offset, column.reverse);

  PowerMeter meter;
  SynthesizedSound sound;
  std::size_t written = 0;
  for (int row = 0; row < kRowCount; ++row) {
    const SlotKind kind = sequentialSlotKind(column, row);
    if (kind == SlotKind::Skipped) continue;
    const std::span<std::int16_t> slot = out.subspan(written, slotLength);
    if (kind == SlotKind::Silence) {
      std::fill(slot.begin(), slot.end(), std::int16_t{0});
    } else {
      const std::size_t entry = kind == SlotKind::Row ? static_cast<std::size_t>(row) : kPilotEntry;
      synthesizeToneSlot(plan.increment[entry], slot, meter);
      ++sound.pixelCount;
    }
    written += slotLength;
  }

  sound.samplesWritten = written;
  // P is 0 only for durations too short to hold a sample; the figures then stay 0.
  if (written > 0) sound.power.average = 2.0 * meter.sum() / static_cast<double>(written);
  sound.power.peak = meter.peak();
  return sound;
}

double tuningToneAmplitude(bool singlePixel) { return singlePixel ? kSinglePixelAmplitude : kFullScale; }

PowerFigures synthesizeTuningTone(std::int32_t center, bool singlePixel, std::span<std::int16_t> out) {
  requireRoom(out, kTuningToneSamples);
  const std::array<double, 8> increments = {phaseIncrement(center)};
  const double amplitude = tuningToneAmplitude(singlePixel);
  PowerMeter meter;
  synthesizeBurst(increments, 1, amplitude, out.first(kTuningToneSamples), meter);
  return {(meter.sum() / static_cast<double>(kTuningToneSamples)) * 2.0, meter.peak()};
}

}  // namespace velmora
