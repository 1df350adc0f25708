#pragma once
// Shows one stretch of a waterfall picture at the receiver's true proportions, magnified
// by a whole factor (1 to 4) so that its pixels stay square and sharp, with the on-air
// marker over it: the part already sent dimmed, the column being sent outlined. The
// picture is never squeezed: what does not fit is scrolled to (the window asks for the
// lines that fit, see linesToFill).

#include <QImage>
#include <QRect>
#include <QWidget>

#include "app/waterfall_renderer.h"
#include "transmit/waterfall_marker.h"

namespace velmora {

class WaterfallView final : public QWidget {
 public:
  static constexpr int kMaxZoom = 4;

  explicit WaterfallView(QWidget* parent = nullptr);

  void setPicture(SharedPicture picture);
  void setMarker(const MarkerAreas& marker);
  void setZoom(int zoom);
  int zoom() const { return zoom_; }
  const SharedPicture& picture() const { return picture_; }
  const MarkerAreas& marker() const { return marker_; }

  // How many lines fit along the time axis in `layout` at the current zoom.
  int linesToFill(waterfall::Layout layout) const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRectF placed(const waterfall::PixelRect& rect) const;

  SharedPicture picture_;
  QImage image_;  // wraps picture_'s pixels
  MarkerAreas marker_;
  int zoom_ = 1;
};

}  // namespace velmora
