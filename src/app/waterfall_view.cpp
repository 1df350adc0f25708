#include "app/waterfall_view.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

const QColor kSentShade(0, 0, 0, 150);
const QColor kNowFill(255, 255, 255, 48);
const QColor kNowEdge(255, 255, 255);
constexpr int kMaxZoom = 2;
// Until a picture tells: the scale's thickness in picture pixels.
constexpr int kTypicalScalePixels = 16;

bool frequencyAcross(waterfall::Layout layout) { return layout == waterfall::Layout::FrequencyAcross; }

}  // namespace

WaterfallView::WaterfallView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(160, 160);
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

// A whole factor while the whole picture fits; else shrunk to fit.
double WaterfallView::zoom() const {
  const double fit = std::min(static_cast<double>(width()) / picture_->width,
                              static_cast<double>(height()) / picture_->height);
  return fit >= 1.0 ? std::min(kMaxZoom, static_cast<int>(fit)) : fit;
}

int WaterfallView::timePixelsToFill(waterfall::Layout layout) const {
  const bool sameLayout = picture_ && picture_->layout == layout;
  const int scale =
      sameLayout ? (frequencyAcross(layout) ? picture_->plot.y : picture_->plot.x) : kTypicalScalePixels;
  const int room = frequencyAcross(layout) ? height() : width();
  return std::max(16, room - scale);
}

QSize WaterfallView::sizeHint() const { return {440, 560}; }

// Picture pixels to widget pixels: zoomed and centred.
QRectF WaterfallView::placed(const waterfall::PixelRect& rect) const {
  const double factor = zoom();
  const double left = std::floor((width() - picture_->width * factor) / 2);
  const double top = std::floor((height() - picture_->height * factor) / 2);
  return {left + rect.x * factor, top + rect.y * factor, rect.width * factor, rect.height * factor};
}

void WaterfallView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Dark));
  if (image_.isNull()) return;
  painter.drawImage(placed({0, 0, picture_->width, picture_->height}), image_);
  if (!marker_.shown) return;
  const QRectF sent = placed(marker_.sent);
  if (sent.isValid()) painter.fillRect(sent, kSentShade);
  const QRectF now = placed(marker_.now);
  if (!now.isValid()) return;
  painter.fillRect(now, kNowFill);
  painter.setPen(QPen(kNowEdge, 1));
  painter.drawRect(now.adjusted(0, 0, -1, -1));
}

}  // namespace velmora
