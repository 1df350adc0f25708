#pragma once
// The samples of every sound the program makes, bit-exact to the long-standing
// arithmetic: IEEE doubles in a fixed order, values truncated toward zero.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velmora {

struct PowerFigures {
  double average = 0.0;  // fraction of a full-scale sine
  double peak = 0.0;
};

// A computed value as a stored sample: truncated toward zero.
std::int16_t sampleFromValue(double value);

// "%1.1f" of fraction * 100, as the status fields show it.
std::string formatPowerPercent(double fraction);

// Samples of a C/MT column of durationMs: floor(d * 11025 / 1000).
std::size_t concurrentSampleCount(std::uint32_t durationMs);
// Slot length of an S/MT column: floor(d * 11025 / 7000).
std::int32_t sequentialSlotLength(std::uint32_t durationMs);
// Bytes of a column's sound buffer: floor(d * 22050 / 1000) (may be odd).
std::size_t columnBufferBytes(std::uint32_t durationMs);
// Playback limit of an S/MT column that wrote `samplesWritten` samples:
// floor(P * 1000 / 11025) ms.
std::uint32_t sequentialWaitLimitMs(std::size_t samplesWritten);
inline constexpr std::size_t kTuningToneSamples = 110250;
inline constexpr std::size_t kTuningToneBytes = 220500;

struct ColumnParameters {
  std::uint8_t mask = 0;  // bit k lights pixel row k
  std::int32_t center = 1000;
  std::int32_t offset = 10;
  bool reverse = false;
  std::uint32_t durationMs = 300;
  bool pilotTone = false;
  bool maximizeAveragePower = false;  // C/MT only
  bool skipDarkPixels = false;        // S/MT only
};

struct SynthesizedSound {
  std::size_t samplesWritten = 0;  // C/MT: N; S/MT: P
  std::uint32_t pixelCount = 0;    // C/MT: lit rows; S/MT: tone slots
  PowerFigures power;
};

// Amplitude of each sounding C/MT tone: 4681, or with "Maximize average power"
// 32768 / litRows (32768 for a pilot-only column).
double concurrentToneAmplitude(bool maximizeAveragePower, int litRows);

// What an S/MT column's slot for pixel row `row` (0..6) holds: the row's tone when it is
// lit, else the pilot when it is on, else nothing: skipped (not written) when "Skip dark
// pixels" is on and the column has a lit row, silence otherwise.
enum class SlotKind { Row, Pilot, Skipped, Silence };
SlotKind sequentialSlotKind(const ColumnParameters& column, int row);

// P of an S/MT column without synthesizing it: the slot length times the slots that
// are not skipped. (A C/MT column always writes concurrentSampleCount(durationMs).)
std::size_t sequentialSamplesWritten(const ColumnParameters& column);

// `out` must hold at least concurrentSampleCount(durationMs) samples (C/MT), or
// 7 * sequentialSlotLength(durationMs) (S/MT), or kTuningToneSamples (tuning tone);
// a shorter one throws std::length_error. Samples past the written ones are not touched.
SynthesizedSound synthesizeConcurrentColumn(const ColumnParameters& column, std::span<std::int16_t> out);
SynthesizedSound synthesizeSequentialColumn(const ColumnParameters& column, std::span<std::int16_t> out);
// The tuning tone's amplitude: 4681 ("Single pixel") or 32768 ("Full scale").
double tuningToneAmplitude(bool singlePixel);
// The 10-second tuning tone at `center`, at tuningToneAmplitude(singlePixel).
PowerFigures synthesizeTuningTone(std::int32_t center, bool singlePixel, std::span<std::int16_t> out);

}  // namespace velmora
