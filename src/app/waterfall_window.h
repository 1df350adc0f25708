#pragma once
// "Waterfall": a window of its own that shows the waterfall of what would be sent with
// the current text and settings as the chosen receiver draws it, at its true proportions
// (magnified by a whole factor), as a tape that scrolls along time; while something is on
// the air, where the sending stands, and the tape follows it. Beside the picture a guide
// tells how big a letter is there and what would make it read better. It reads the
// controls as the workers do and draws only the visible lines, on a thread of its own;
// the workers' progress reaches it as a posted note, never as a wait.

#include <QWidget>
#include <cstdint>
#include <memory>

#include "app/waterfall_renderer.h"
#include "core/on_air_progress.h"
#include "settings/settings_file.h"

class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QTimer;

namespace velmora {

class Clock;
class Controls;
class GlyphTable;
class WaterfallView;
struct MainWindowWidgets;

class WaterfallWindow final : public QWidget {
  Q_OBJECT

 public:
  WaterfallWindow(Controls& controls, const GlyphTable& glyphs, const OnAirProgress& onAir, Clock& clock,
                  QWidget* parent);

  // Redraws after every change of a control that shapes the picture.
  void followEdits(const MainWindowWidgets& widgets);
  // The picture is due again (several calls in a row draw once).
  void scheduleRefresh();
  // Called on the GUI thread after the workers reported a change of what is on the air.
  void onAirChanged();

  WaterfallWindowSettings settings() const;
  // Layout and place; whether it opens is the caller's business.
  void applySettings(const WaterfallWindowSettings& settings);
  // False until the window has been shown or given a place.
  bool placed() const { return placed_; }

  const WaterfallView& view() const { return *view_; }
  QComboBox& receiverChoice() { return *receiverChoice_; }
  QComboBox& magnifyChoice() { return *magnifyChoice_; }
  QPushButton& squareButton() { return *squareButton_; }
  // The readability guide's text.
  QString guide() const;
  // The note shown while a field is out of range; empty otherwise.
  QString note() const;
  // True once the picture of the latest request is shown and no redraw is due.
  bool upToDate() const;

 signals:
  void shownChanged(bool shown);

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void refresh();
  void showPicture(const RenderedPicture& rendered);
  void updateMarker();
  void updateGuide();
  void useSquareDuration();
  QScrollBar* timeBar() const;
  const waterfall::ReceiverProfile& receiver() const;
  waterfall::Layout layout() const;

  Controls& controls_;
  const GlyphTable& glyphs_;
  const OnAirProgress& onAir_;
  Clock& clock_;
  QComboBox* receiverChoice_ = nullptr;
  QComboBox* magnifyChoice_ = nullptr;
  QLabel* note_ = nullptr;
  WaterfallView* view_ = nullptr;
  QScrollBar* upwardBar_ = nullptr;  // time along a vertical axis, the start at the bottom
  QScrollBar* acrossBar_ = nullptr;  // time to the right
  QLabel* guide_ = nullptr;
  QPushButton* squareButton_ = nullptr;
  std::uint32_t squareDurationMs_ = 0;
  QTimer* refreshTimer_ = nullptr;
  QTimer* toneTimer_ = nullptr;  // moves the marker through the tuning tone
  bool placed_ = false;          // shown, or given a place from the settings
  bool shownIsTuningTone_ = false;
  int requestedLines_ = 0;
  int requestedFirstLine_ = 0;
  std::uint64_t requestedNumber_ = 0;
  std::uint64_t shownNumber_ = 0;
  OnAir::Sound lastSound_ = OnAir::Sound::None;
  // Last: its thread must end before anything it reports to goes.
  std::unique_ptr<WaterfallRenderer> renderer_;
};

}  // namespace velmora
