#pragma once
// A receiver's waterfall of what the program sends: a short-time Fourier transform of the
// sound of a text (or of the tuning tone), computed from the synthesis rules (tone plan,
// envelope, amplitudes, S/MT slots) with the columns placed where the sequencer sends
// them, and drawn as the chosen receiver draws it (receiver_profile.h): one pixel per
// bin and per line, so that its proportions are the receiver's. A frequency scale in Hz
// and a time scale in seconds lie beside the plot. Plain C++, no Qt; a QImage can wrap
// the pixels as QImage::Format_ARGB32.
//
// Levels are drawn from the strongest tone of the sending down by the receiver's range,
// with a black-blue-cyan-yellow-red-white colour map. The band shown is the center
// frequency +- 256 Hz.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "waterfall/receiver_profile.h"

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

// The picture is cut past this many lines (the limit of a PNG's height is far above it,
// a picture viewer's comfort not).
inline constexpr int kMaxPictureLines = 65535;

struct DrawOptions {
  const ReceiverProfile* receiver = nullptr;  // nullptr: defaultReceiver()
  std::optional<Layout> layout;               // instead of the receiver's own
  // The lines drawn: from firstLine, at most maxLines of them (a window draws only what
  // it shows; a whole picture is cut at kMaxPictureLines).
  int firstLine = 0;
  int maxLines = kMaxPictureLines;
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
  // FrequencyAcross, left of it for TimeAcross), the time scale on the other axis (left
  // of it, below it). Empty along the time axis when nothing is sent (no columns).
  PixelRect plot;
  // The lines drawn, of all the sending's lines, and the scale of both axes.
  int totalLines = 0;
  int firstLine = 0;
  int lines = 0;
  double secondsPerLine = 0.0;
  double hzPerPixel = 0.0;
  // The frequencies at the plot's edges along the frequency axis: the left and right edge
  // for FrequencyAcross, the bottom and top edge for TimeAcross.
  double lowHz = 0.0;
  double highHz = 0.0;
  // The lines each column's time on the air touches, [low, high), of all lines.
  std::vector<PixelSpan> columnLines;
  // Where each column's time on the air lies, in sending order: one entry per column of
  // the Sending, or a single entry for the tuning tone. Spans of lines not drawn lie
  // outside the plot.
  std::vector<PixelSpan> columnSpans;
};

// The waterfall of `sending`, lines [firstLine, firstLine + maxLines) of it. Cost: about
// 10 microseconds a line at the default receiver, on one core, whatever the text;
// safe to call from any thread (no shared state; FFTW's planner is serialized inside).
Picture drawWaterfall(const Sending& sending, const DrawOptions& options = {});

// The lines the whole sending takes on that receiver, without computing any spectrum.
int waterfallLineCount(const Sending& sending, const ReceiverProfile& receiver);

// For a marker: the plot area of column `column` (its time span across the whole band),
// and the plot area of everything sent before that column began (empty for column 0).
// A column index past the end gives an empty rectangle.
PixelRect columnArea(const Picture& picture, std::size_t column);
PixelRect sentArea(const Picture& picture, std::size_t column);

}  // namespace velmora::waterfall
