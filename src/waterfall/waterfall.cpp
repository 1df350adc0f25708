// The picture: one spectrum per line of the receiver, coloured, laid out as the receiver
// draws it, with both scales and each column's place along the time axis.
#include "waterfall/waterfall.h"

#include <algorithm>
#include <cmath>

#include "waterfall/colour_map.h"
#include "waterfall/frequency_scale.h"
#include "waterfall/sound_timeline.h"
#include "waterfall/spectrum_lines.h"

namespace velmora::waterfall {

namespace {

constexpr double kFullScale = 32768.0;

int lineCount(const SoundTimeline& timeline, const ReceiverProfile& receiver) {
  const double seconds = static_cast<double>(timeline.totalSamples) / kSampleRate;
  return static_cast<int>(std::min(std::ceil(seconds * receiver.linesPerSecond), 2147483647.0));
}

// A steady tone of the loudest burst's amplitude reads this level: the top of the scale.
float strongestToneDb(const SoundTimeline& timeline) {
  double amplitude = 0.0;
  for (const ToneBurst& burst : timeline.bursts) amplitude = std::max(amplitude, burst.amplitude);
  return amplitude > 0.0 ? static_cast<float>(20.0 * std::log10(amplitude / kFullScale)) : 0.0F;
}

// The lines a column's time touches, [first, last].
PixelSpan columnLines(const SampleSpan& samples, double samplesPerLine) {
  const auto first = static_cast<int>(std::floor(static_cast<double>(samples.begin) / samplesPerLine));
  const auto last = static_cast<int>(std::ceil(static_cast<double>(samples.end) / samplesPerLine)) - 1;
  return {first, std::max(first, last) + 1};
}

}  // namespace

int waterfallLineCount(const Sending& sending, const ReceiverProfile& receiver) {
  return lineCount(makeSoundTimeline(sending), receiver);
}

Picture drawWaterfall(const Sending& sending, const DrawOptions& options) {
  const ReceiverProfile& receiver = options.receiver != nullptr ? *options.receiver : defaultReceiver();
  const SoundTimeline timeline = makeSoundTimeline(sending);
  SpectrumLines spectrum(timeline, receiver);

  Picture picture;
  picture.layout = options.layout.value_or(receiver.layout);
  const bool across = picture.layout == Layout::FrequencyAcross;
  picture.time = across ? TimeDirection::Upward : TimeDirection::Rightward;
  picture.totalLines = lineCount(timeline, receiver);
  picture.firstLine = std::clamp(options.firstLine, 0, picture.totalLines);
  picture.lines = std::clamp(options.maxLines, 0, picture.totalLines - picture.firstLine);
  picture.secondsPerLine = 1.0 / receiver.linesPerSecond;
  picture.hzPerPixel = receiver.hzPerPixel;
  const int bins = spectrum.binCount();
  const int lines = picture.lines;
  const int frequencyScale = frequencyScaleThickness(picture.layout);
  const int timeScale = timeScaleThickness(picture.layout);
  picture.plot = across ? PixelRect{timeScale, frequencyScale, bins, lines}
                        : PixelRect{frequencyScale, 0, lines, bins};
  picture.width = picture.plot.x + picture.plot.width;
  picture.height = picture.plot.y + picture.plot.height + (across ? 0 : timeScale);
  picture.pixels.assign(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height),
                        0xFF000000U);
  const double halfBand = (bins / 2 + 0.5) * receiver.hzPerPixel;
  picture.lowHz = timeline.center - halfBand;
  picture.highHz = timeline.center + halfBand;

  const float topDb = strongestToneDb(timeline);
  const auto rangeDb = static_cast<float>(receiver.rangeDb);
  const double samplesPerLine = kSampleRate / receiver.linesPerSecond;
  std::vector<float> levels(static_cast<std::size_t>(bins));
  const auto width = static_cast<std::size_t>(picture.width);
  for (int i = 0; i < lines; ++i) {
    const int line = picture.firstLine + i;
    spectrum.levels((line + 0.5) * samplesPerLine, levels);
    for (int bin = 0; bin < bins; ++bin) {
      const std::uint32_t colour = levelColour(levels[static_cast<std::size_t>(bin)], topDb, rangeDb);
      if (across) {  // the newest line on top, frequency rising to the right
        const auto y = static_cast<std::size_t>(picture.plot.y + lines - 1 - i);
        picture.pixels[y * width + static_cast<std::size_t>(picture.plot.x + bin)] = colour;
      } else {  // time to the right, frequency rising upward
        const auto y = static_cast<std::size_t>(picture.plot.y + bins - 1 - bin);
        picture.pixels[y * width + static_cast<std::size_t>(picture.plot.x + i)] = colour;
      }
    }
  }

  picture.columnSpans.reserve(timeline.columns.size());
  picture.columnLines.reserve(timeline.columns.size());
  for (const SampleSpan& column : timeline.columns) {
    const PixelSpan span = columnLines(column, samplesPerLine);
    picture.columnLines.push_back(span);
    const int low = span.low - picture.firstLine;
    const int high = span.high - picture.firstLine;
    if (across) {
      const int bottom = picture.plot.y + lines;  // the first line drawn is the bottom row
      picture.columnSpans.push_back({bottom - high, bottom - low});
    } else {
      picture.columnSpans.push_back({picture.plot.x + low, picture.plot.x + high});
    }
  }
  drawFrequencyScale(picture);
  drawTimeScale(picture);
  return picture;
}

}  // namespace velmora::waterfall
