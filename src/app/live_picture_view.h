#pragma once
// The Receive window's live waterfall: the last lines received, laid out as the chosen
// receiver lays them out, with the newest line at the widget's edge where that receiver
// adds it (the top, or the right) and the band centred across the other axis. Frequency
// is magnified by a whole factor to fill the widget, so that a tone's few pixels stay
// visible; time keeps one screen pixel per line.

#include <QWidget>
#include <optional>
#include <vector>

#include "waterfall/input_waterfall.h"
#include "waterfall/scrolling_picture.h"

namespace velmora {

class LivePictureView final : public QWidget {
  Q_OBJECT

 public:
  explicit LivePictureView(QWidget* parent);

  // Clears the picture; the lines that follow are laid out as `layout` says.
  void restart(waterfall::Layout layout);
  // Adds lines, oldest first; a repaint follows when the event loop gets to it.
  void add(const std::vector<waterfall::PictureLine>& lines);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  waterfall::Layout layout_ = waterfall::Layout::FrequencyAcross;
  std::optional<waterfall::ScrollingPicture> picture_;
};

}  // namespace velmora
