#include "app/live_picture_view.h"

#include <QImage>
#include <QPainter>
#include <algorithm>

namespace velmora {

namespace {

// Enough to fill a wide window along time; the oldest lines are cut off where it is smaller.
constexpr int kKeptLines = 480;

}  // namespace

LivePictureView::LivePictureView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 240);
}

void LivePictureView::restart(waterfall::Layout layout) {
  layout_ = layout;
  picture_.reset();
  update();
}

void LivePictureView::add(const std::vector<waterfall::PictureLine>& lines) {
  if (lines.empty()) return;
  const int bins = static_cast<int>(lines.front().size());
  if (!picture_ || picture_->bins() != bins) picture_.emplace(layout_, bins, kKeptLines);
  for (const waterfall::PictureLine& line : lines) picture_->add(line);
  update();
}

QSize LivePictureView::sizeHint() const { return {kKeptLines, 240}; }

void LivePictureView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!picture_ || picture_->bins() == 0) return;
  // Wraps the pixels without a copy; drawn before they change again.
  const QImage image(reinterpret_cast<const uchar*>(picture_->pixels().data()), picture_->width(),
                     picture_->height(), picture_->width() * 4, QImage::Format_RGB32);
  const int bins = picture_->bins();
  QRect target;
  if (layout_ == waterfall::Layout::FrequencyAcross) {
    const int across = std::max(1, width() / bins);
    target = QRect((width() - across * bins) / 2, 0, across * bins, picture_->height());
  } else {
    const int up = std::max(1, height() / bins);
    target = QRect(width() - picture_->width(), (height() - up * bins) / 2, picture_->width(), up * bins);
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(target, image);
}

}  // namespace velmora
