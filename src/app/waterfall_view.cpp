#include "app/waterfall_view.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "waterfall/frequency_scale.h"

namespace velmora {

namespace {

const QColor kSentShade(0, 0, 0, 150);
const QColor kNowFill(255, 255, 255, 48);
const QColor kNowEdge(255, 255, 255);

bool frequencyAcross(waterfall::Layout layout) { return layout == waterfall::Layout::FrequencyAcross; }

}  // namespace

WaterfallView::WaterfallView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 200);
}

void WaterfallView::setPicture(SharedPicture picture) {
  picture_ = std::move(picture);
  if (picture_ && picture_->width > 0 && picture_->height > 0) {
    // Read-only view of the pixels, which live as long as picture_ does.
    image_ = QImage(reinterpret_cast<const uchar*>(picture_->pixels.data()), picture_->width,
                    picture_->height, picture_->width * 4, QImage::Format_ARGB32);
  } else {
    image_ = QImage();
  }
  update();
}

void WaterfallView::setMarker(const MarkerAreas& marker) {
  const auto same = [](const waterfall::PixelRect& a, const waterfall::PixelRect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
  };
  if (marker.shown == marker_.shown && same(marker.now, marker_.now) && same(marker.sent, marker_.sent))
    return;
  marker_ = marker;
  update();
}

void WaterfallView::setZoom(int zoom) {
  zoom_ = std::clamp(zoom, 1, kMaxZoom);
  update();
}

int WaterfallView::linesToFill(waterfall::Layout layout) const {
  // The frequency scale lies across the time axis: above the plot, or left of it.
  const int scale = waterfall::frequencyScaleThickness(layout) * zoom_;
  const int room = frequencyAcross(layout) ? height() : width();
  return std::max(1, (room - scale) / zoom_);
}

QSize WaterfallView::sizeHint() const { return {440, 560}; }

// Picture pixels to widget pixels: magnified, the time axis from the widget's edge where
// the sending starts, the band centred across the other axis.
QRectF WaterfallView::placed(const waterfall::PixelRect& rect) const {
  const double factor = zoom_;
  const waterfall::PixelRect& plot = picture_->plot;
  double left = 0;
  double top = 0;
  if (picture_->layout == waterfall::Layout::FrequencyAcross) {
    left = std::floor(width() / 2.0 - (plot.x + plot.width / 2.0) * factor);
    left = std::min(left, std::max(0.0, (width() - picture_->width * factor) / 2));
    // The start of the sending at the bottom, as on the receiver, where it scrolled down.
    top = height() - picture_->height * factor;
  } else {
    top = std::floor(height() / 2.0 - (plot.y + plot.height / 2.0) * factor);
    top = std::min(top, std::max(0.0, (height() - picture_->height * factor) / 2));
  }
  return {left + rect.x * factor, top + rect.y * factor, rect.width * factor, rect.height * factor};
}

void WaterfallView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Dark));
  if (image_.isNull()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(placed({0, 0, picture_->width, picture_->height}), image_);
  if (!marker_.shown) return;
  painter.setClipRect(placed(picture_->plot));
  const QRectF sent = placed(marker_.sent);
  if (sent.isValid()) painter.fillRect(sent, kSentShade);
  const QRectF now = placed(marker_.now);
  if (!now.isValid()) return;
  painter.fillRect(now, kNowFill);
  painter.setPen(QPen(kNowEdge, 1));
  painter.drawRect(now.adjusted(0, 0, -1, -1));
}

}  // namespace velmora
