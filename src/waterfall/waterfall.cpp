// The picture: one spectrum per time line, coloured, laid out as the user chose, with
// the frequency scale and each column's place along the time axis.
#include "waterfall/waterfall.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "waterfall/colour_map.h"
#include "waterfall/frequency_scale.h"
#include "waterfall/sound_timeline.h"
#include "waterfall/spectrum_lines.h"

namespace velmora::waterfall {

namespace {

constexpr int kPixelsPerBin = 5;
// A pixel row is kBinsPerOffset bins wide, so this many lines make a glyph pixel square;
// S/MT takes two lines per slot, so that the slots' steps show.
constexpr double kLinesPerColumn = kBinsPerOffset * kPixelsPerBin;
constexpr double kLinesPerSequentialColumn = 14;
constexpr double kTuneLinesPerSecond = 16.0;
constexpr int kMinTimePixels = 16;

// Samples per time line: the nominal scale, or coarser when the sending would not fit.
double lineStep(const Sending& sending, const SoundTimeline& timeline, int maxLines) {
  const double linesPerColumn = sending.settings.concurrent ? kLinesPerColumn : kLinesPerSequentialColumn;
  const double nominal = sending.tuningTone
                             ? kSampleRate / kTuneLinesPerSecond
                             : static_cast<double>(timeline.fullColumnSamples) / linesPerColumn;
  return std::max(nominal, static_cast<double>(timeline.totalSamples) / maxLines);
}

PixelSpan lineSpan(const SampleSpan& samples, double step, int lines) {
  const int first = std::min(static_cast<int>(static_cast<double>(samples.begin) / step), lines - 1);
  const int last =
      std::clamp(static_cast<int>(std::ceil(static_cast<double>(samples.end) / step)) - 1, first, lines - 1);
  return {first, last + 1};
}

}  // namespace

Picture drawWaterfall(const Sending& sending, const DrawOptions& options) {
  const SoundTimeline timeline = makeSoundTimeline(sending);
  const int maxLines = std::max(options.maxTimePixels, kMinTimePixels);
  const double step = lineStep(sending, timeline, maxLines);
  const int lines =
      std::min(maxLines, static_cast<int>(std::ceil(static_cast<double>(timeline.totalSamples) / step)));

  SpectrumLines spectrum(timeline);
  Picture picture;
  picture.layout = options.layout;
  const bool across = options.layout == Layout::FrequencyAcross;
  picture.time = across ? TimeDirection::Upward : TimeDirection::Rightward;
  const int bandPixels = kShownBins * kPixelsPerBin;
  const int scale = frequencyScaleThickness(options.layout);
  picture.plot = across ? PixelRect{0, scale, bandPixels, lines} : PixelRect{scale, 0, lines, bandPixels};
  picture.width = picture.plot.x + picture.plot.width;
  picture.height = picture.plot.y + picture.plot.height;
  picture.pixels.assign(static_cast<std::size_t>(picture.width) * picture.height, 0xFF000000U);
  const double halfBand = (kShownBins / 2 + 0.5) * spectrum.binWidthHz();
  picture.lowHz = timeline.center - halfBand;
  picture.highHz = timeline.center + halfBand;

  std::array<float, kShownBins> levels{};
  const auto width = static_cast<std::size_t>(picture.width);
  for (int line = 0; line < lines; ++line) {
    spectrum.levels((line + 0.5) * step, levels);
    for (int bin = 0; bin < kShownBins; ++bin) {
      const std::uint32_t colour = levelColour(levels[static_cast<std::size_t>(bin)]);
      if (across) {  // the newest line on top, frequency rising to the right
        std::uint32_t* row = &picture.pixels[(picture.plot.y + lines - 1 - line) * width];
        std::fill_n(row + bin * kPixelsPerBin, kPixelsPerBin, colour);
      } else {  // time to the right, frequency rising upward
        const int top = picture.plot.y + (kShownBins - 1 - bin) * kPixelsPerBin;
        for (int y = top; y < top + kPixelsPerBin; ++y)
          picture.pixels[y * width + picture.plot.x + line] = colour;
      }
    }
  }

  picture.columnSpans.reserve(timeline.columns.size());
  for (const SampleSpan& column : timeline.columns) {
    const PixelSpan span = lineSpan(column, step, lines);
    if (across) {
      const int bottom = picture.plot.y + lines;  // line 0 is the bottom row
      picture.columnSpans.push_back({bottom - span.high, bottom - span.low});
    } else {
      picture.columnSpans.push_back({picture.plot.x + span.low, picture.plot.x + span.high});
    }
  }
  drawFrequencyScale(picture);
  return picture;
}

}  // namespace velmora::waterfall
