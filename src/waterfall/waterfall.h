#pragma once
// A receiver's waterfall of what the program sends: a short-time Fourier transform of the
// sound of a text (or of the tuning tone), computed from the synthesis rules (tone plan,
// envelope, amplitudes, S/MT slots) and drawn as an image with a frequency scale in Hz.
// Plain C++, no Qt; a QImage can wrap the pixels as QImage::Format_ARGB32.
//
// The transform: a Hann window whose bins are half a "Pixel row offset" wide, so that
// neighbouring rows stay apart; levels in dB relative to a full-scale sine, drawn with a
// black-blue-cyan-yellow-red-white colour map. Only the band around the tones is shown:
// the center frequency +- 7 row offsets, which holds the pilot on either side.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::waterfall {

// The settings that shape the sound, with the ranges the "Transmit" command accepts.
// Values outside them are clamped into them for the picture.
struct SoundSettings {
  std::int32_t center = 1000;      // "Audio center frequency", Hz, 100..3000
  std::int32_t offset = 10;        // "Pixel row offset", Hz, 1..10
  std::uint32_t durationMs = 300;  // column duration, 300..60000 ms
  bool concurrent = true;          // C/MT; false: S/MT
  bool pilotTone = false;
  bool reverse = false;
  bool maximizeAveragePower = false;  // C/MT only
  bool skipDarkPixels = false;        // S/MT only
};

// What goes on the air.
struct Sending {
  SoundSettings settings;
  // Column masks in sending order, as a transmission sends them: the five columns of each
  // character with one dark gap column (mask 0) between characters and none after the
  // last. Bit k lights pixel row k (row 0 is the glyph's top row and the lowest tone).
  std::vector<std::uint8_t> columns;
  // The 10-second tuning tone at settings.center instead of the columns (drawn with the
  // bins of settings.offset, like a text).
  bool tuningTone = false;
  bool tuneSinglePixel = true;  // its level: "Single pixel"; false: "Full scale"
};

enum class Layout {
  // "Frequency across, newest line on top": frequency rises to the right, the first column
  // is at the bottom and time runs upward. Turned a quarter turn clockwise, an upright
  // text reads left to right.
  FrequencyAcross,
  // "Time across, frequency upward": time runs to the right, frequency rises upward.
  TimeAcross,
};

struct DrawOptions {
  Layout layout = Layout::FrequencyAcross;
  // The time axis never grows past this many pixels: a long sending is squeezed into it
  // (fewer time lines per column, down to several columns per line), which bounds the
  // picture's memory and the time to compute it. At least 16.
  int maxTimePixels = 8192;
};

// Which way time runs in the picture.
enum class TimeDirection {
  Upward,     // FrequencyAcross: later is higher up (smaller y)
  Rightward,  // TimeAcross: later is further right (larger x)
};

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Pixels [low, high) along the time axis (y for Upward, x for Rightward), in picture
// coordinates; high > low always, so even a squeezed column has a pixel to mark.
struct PixelSpan {
  int low = 0;
  int high = 0;
};

struct Picture {
  int width = 0;
  int height = 0;
  // width * height pixels, 0xAARRGGBB (alpha always 0xFF), row-major, top row first.
  std::vector<std::uint32_t> pixels;

  Layout layout = Layout::FrequencyAcross;
  TimeDirection time = TimeDirection::Upward;
  // The spectrogram itself; the frequency scale lies outside it (above it for
  // FrequencyAcross, left of it for TimeAcross). Empty along the time axis when nothing
  // is sent (no columns).
  PixelRect plot;
  // The frequencies at the plot's edges along the frequency axis: the left and right edge
  // for FrequencyAcross, the bottom and top edge for TimeAcross.
  double lowHz = 0.0;
  double highHz = 0.0;
  // Where each column's time lies, in sending order: one entry per column of the
  // Sending, or a single entry for the tuning tone.
  std::vector<PixelSpan> columnSpans;
};

// The waterfall of `sending`. Cost: well under 100 ms for 1023 characters at any
// duration, a few ms for a short text, on one core; safe to call from any thread (no
// shared state; FFTW's planner is serialized inside).
Picture drawWaterfall(const Sending& sending, const DrawOptions& options = {});

// For a marker: the plot area of column `column` (its time span across the whole band),
// and the plot area of everything sent before that column began (empty for column 0).
// A column index past the end gives an empty rectangle.
PixelRect columnArea(const Picture& picture, std::size_t column);
PixelRect sentArea(const Picture& picture, std::size_t column);

}  // namespace velmora::waterfall
