#pragma once
// Shows one waterfall picture fitted into the widget, with the on-air marker over it:
// the part already sent dimmed, the column being sent outlined. A short sending is
// enlarged by a whole factor, so that its pixels and the scale's digits stay sharp; a
// long one is drawn with as many time lines as fit (see timePixelsToFill).

#include <QImage>
#include <QRect>
#include <QWidget>

#include "app/waterfall_renderer.h"
#include "transmit/waterfall_marker.h"

namespace velmora {

class WaterfallView final : public QWidget {
 public:
  explicit WaterfallView(QWidget* parent = nullptr);

  void setPicture(SharedPicture picture);
  void setMarker(const MarkerAreas& marker);
  const SharedPicture& picture() const { return picture_; }
  const MarkerAreas& marker() const { return marker_; }

  // How many time lines a picture in `layout` may have so that it fills this widget.
  int timePixelsToFill(waterfall::Layout layout) const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double zoom() const;
  QRectF placed(const waterfall::PixelRect& rect) const;

  SharedPicture picture_;
  QImage image_;  // wraps picture_'s pixels
  MarkerAreas marker_;
};

}  // namespace velmora
