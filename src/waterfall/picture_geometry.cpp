// Where a column lies in a picture, for the window's marker.
#include "waterfall/waterfall.h"

namespace velmora::waterfall {

PixelRect columnArea(const Picture& picture, std::size_t column) {
  if (column >= picture.columnSpans.size()) return {};
  const PixelSpan span = picture.columnSpans[column];
  const PixelRect& plot = picture.plot;
  if (picture.time == TimeDirection::Upward) return {plot.x, span.low, plot.width, span.high - span.low};
  return {span.low, plot.y, span.high - span.low, plot.height};
}

PixelRect sentArea(const Picture& picture, std::size_t column) {
  if (column >= picture.columnSpans.size()) return {};
  const PixelSpan span = picture.columnSpans[column];
  const PixelRect& plot = picture.plot;
  // Earlier time lies below (Upward) or to the left (Rightward) of the column.
  if (picture.time == TimeDirection::Upward) {
    const int bottom = plot.y + plot.height;
    return {plot.x, span.high, plot.width, bottom - span.high};
  }
  return {plot.x, plot.y, span.low - plot.x, plot.height};
}

}  // namespace velmora::waterfall
