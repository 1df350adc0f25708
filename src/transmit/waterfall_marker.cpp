#include "transmit/waterfall_marker.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr int kToneLineThickness = 2;

MarkerAreas columnMarker(const waterfall::Picture& picture, int column) {
  if (column < 0 || static_cast<std::size_t>(column) >= picture.columnSpans.size()) return {};
  return {true, waterfall::columnArea(picture, static_cast<std::size_t>(column)),
          waterfall::sentArea(picture, static_cast<std::size_t>(column))};
}

// The tone is one long sound: the marker moves through its single span with the time played.
MarkerAreas toneMarker(const waterfall::Picture& picture, std::uint32_t elapsedMs) {
  if (picture.columnSpans.empty()) return {};
  const waterfall::PixelSpan span = picture.columnSpans.front();
  const double share = std::min(1.0, static_cast<double>(elapsedMs) / kTuningToneMs);
  const int reached = static_cast<int>(share * (span.high - span.low));
  const waterfall::PixelRect& plot = picture.plot;
  const int lastLine = std::max(span.low, span.high - kToneLineThickness);
  MarkerAreas areas;
  areas.shown = true;
  if (picture.time == waterfall::TimeDirection::Upward) {
    // The tone begins at the bottom of its span and rises.
    const int line = std::clamp(span.high - reached, span.low, lastLine);
    areas.now = {plot.x, line, plot.width, kToneLineThickness};
    areas.sent = {plot.x, line + kToneLineThickness, plot.width,
                  plot.y + plot.height - line - kToneLineThickness};
  } else {
    const int line = std::clamp(span.low + reached, span.low, lastLine);
    areas.now = {line, plot.y, kToneLineThickness, plot.height};
    areas.sent = {plot.x, plot.y, line - plot.x, plot.height};
  }
  return areas;
}

}  // namespace

MarkerAreas markerAreas(const waterfall::Picture& picture, bool pictureIsTuningTone, const OnAir& onAir,
                        std::uint32_t nowTick) {
  switch (onAir.sound) {
    case OnAir::Sound::Text:
      return pictureIsTuningTone ? MarkerAreas{} : columnMarker(picture, onAir.column);
    case OnAir::Sound::Tune:
      // Modular tick arithmetic: a wrap of the 32-bit tick count changes nothing.
      return pictureIsTuningTone ? toneMarker(picture, nowTick - onAir.startTick) : MarkerAreas{};
    case OnAir::Sound::None:
      break;
  }
  return {};
}

}  // namespace velmora
