#include "app/waterfall_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <variant>

#include "app/main_window_widgets.h"
#include "app/waterfall_view.h"
#include "core/clock.h"
#include "transmit/waterfall_sending.h"

namespace velmora {

namespace {

// Edits that come together (a mode change touches four buttons, typing one key after
// another) are drawn once.
constexpr int kRefreshDelayMs = 15;
constexpr int kToneMarkerStepMs = 100;
constexpr QSize kDefaultSize(520, 600);

}  // namespace

WaterfallWindow::WaterfallWindow(Controls& controls, const GlyphTable& glyphs, const OnAirProgress& onAir,
                                 Clock& clock, QWidget* parent)
    : QWidget(parent, Qt::Window),
      controls_(controls),
      glyphs_(glyphs),
      onAir_(onAir),
      clock_(clock),
      renderer_(std::make_unique<WaterfallRenderer>(
          [this](const RenderedPicture& rendered) { showPicture(rendered); })) {
  setWindowTitle("Waterfall");
  setAccessibleName("Waterfall");
  resize(kDefaultSize);

  layoutChoice_ = new QComboBox(this);
  layoutChoice_->setAccessibleName("Layout");
  layoutChoice_->addItem("Frequency across, newest line on top");
  layoutChoice_->addItem("Time across, frequency upward");
  note_ = new QLabel(this);
  note_->setAccessibleName("Note");
  note_->setVisible(false);
  view_ = new WaterfallView(this);

  auto* choiceRow = new QHBoxLayout;
  auto* choiceLabel = new QLabel("Layout", this);
  choiceLabel->setBuddy(layoutChoice_);
  choiceRow->addWidget(choiceLabel);
  choiceRow->addWidget(layoutChoice_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(choiceRow);
  layout->addWidget(note_);
  layout->addWidget(view_, 1);

  refreshTimer_ = new QTimer(this);
  refreshTimer_->setSingleShot(true);
  refreshTimer_->setInterval(kRefreshDelayMs);
  connect(refreshTimer_, &QTimer::timeout, this, &WaterfallWindow::refresh);
  toneTimer_ = new QTimer(this);
  toneTimer_->setInterval(kToneMarkerStepMs);
  connect(toneTimer_, &QTimer::timeout, this, &WaterfallWindow::updateMarker);
  connect(layoutChoice_, &QComboBox::currentIndexChanged, this, &WaterfallWindow::scheduleRefresh);
}

void WaterfallWindow::followEdits(const MainWindowWidgets& widgets) {
  for (QLineEdit* field :
       {widgets.textToSend, widgets.centerFrequency, widgets.pixelOffset, widgets.duration})
    connect(field, &QLineEdit::textChanged, this, &WaterfallWindow::scheduleRefresh);
  QAbstractButton* const buttons[] = {widgets.concurrent,  widgets.sequential, widgets.maxAvgPower,
                                      widgets.skipDark,    widgets.pilotTone,  widgets.reverse,
                                      widgets.singlePixel, widgets.fullScale};
  for (QAbstractButton* button : buttons)
    connect(button, &QAbstractButton::toggled, this, &WaterfallWindow::scheduleRefresh);
}

void WaterfallWindow::scheduleRefresh() {
  if (isVisible() && !refreshTimer_->isActive()) refreshTimer_->start();
}

waterfall::Layout WaterfallWindow::layout() const {
  return layoutChoice_->currentIndex() == 1 ? waterfall::Layout::TimeAcross
                                            : waterfall::Layout::FrequencyAcross;
}

void WaterfallWindow::refresh() {
  if (!isVisible()) return;
  // While the tone is on the air the window shows the tone; otherwise the text.
  const bool tuningTone = onAir_.now().sound == OnAir::Sound::Tune;
  auto sending =
      tuningTone ? tuneSendingFromControls(controls_) : textSendingFromControls(controls_, glyphs_);
  if (const auto* message = std::get_if<std::string>(&sending)) {
    // The last good picture stays, so that a half-typed number does not blank it.
    note_->setText(QString::fromStdString(*message));
    note_->setVisible(true);
    return;
  }
  note_->setVisible(false);
  note_->clear();
  waterfall::DrawOptions options;
  options.layout = layout();
  options.maxTimePixels = view_->timePixelsToFill(options.layout);
  requestedTimePixels_ = options.maxTimePixels;
  requestedNumber_ = renderer_->request(std::move(std::get<waterfall::Sending>(sending)), options);
}

void WaterfallWindow::showPicture(const RenderedPicture& rendered) {
  if (rendered.number <= shownNumber_) return;
  shownNumber_ = rendered.number;
  shownIsTuningTone_ = rendered.tuningTone;
  view_->setPicture(rendered.picture);
  updateMarker();
  // The first picture in a layout tells the band's true width, which may call for
  // another number of time lines.
  if (rendered.number == requestedNumber_ && view_->timePixelsToFill(layout()) != requestedTimePixels_)
    scheduleRefresh();
}

void WaterfallWindow::onAirChanged() {
  const OnAir now = onAir_.now();
  const bool toneNow = now.sound == OnAir::Sound::Tune;
  // The tone and the text have pictures of their own.
  if (toneNow != (lastSound_ == OnAir::Sound::Tune)) scheduleRefresh();
  lastSound_ = now.sound;
  if (toneNow && isVisible()) {
    toneTimer_->start();
  } else {
    toneTimer_->stop();
  }
  updateMarker();
}

void WaterfallWindow::updateMarker() {
  const SharedPicture& picture = view_->picture();
  if (!picture) return;
  view_->setMarker(markerAreas(*picture, shownIsTuningTone_, onAir_.now(), clock_.tickCount()));
}

bool WaterfallWindow::upToDate() const {
  return shownNumber_ == requestedNumber_ && !refreshTimer_->isActive();
}

QString WaterfallWindow::note() const { return note_->isVisible() ? note_->text() : QString(); }

WaterfallWindowSettings WaterfallWindow::settings() const {
  WaterfallWindowSettings settings{isVisible(), layoutChoice_->currentIndex() == 1 ? 1 : 0, std::nullopt};
  if (placed_) {
    const QRect place = geometry();
    settings.geometry = WindowGeometry{place.x(), place.y(), place.width(), place.height()};
  }
  return settings;
}

void WaterfallWindow::applySettings(const WaterfallWindowSettings& settings) {
  layoutChoice_->setCurrentIndex(settings.layout == 1 ? 1 : 0);
  if (!settings.geometry) return;
  const QRect place(settings.geometry->x, settings.geometry->y, settings.geometry->width,
                    settings.geometry->height);
  // A place on a screen that is no longer there is forgotten; the size is kept.
  if (QGuiApplication::screenAt(place.center()) != nullptr) {
    setGeometry(place);
    placed_ = true;
  } else {
    resize(place.size());
  }
}

void WaterfallWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  placed_ = true;
  // What went on the air while hidden: the picture and the marker catch up.
  lastSound_ = onAir_.now().sound;
  if (lastSound_ == OnAir::Sound::Tune) toneTimer_->start();
  scheduleRefresh();
  emit shownChanged(true);
}

void WaterfallWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  scheduleRefresh();  // the picture is drawn to fit
}

void WaterfallWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  refreshTimer_->stop();
  toneTimer_->stop();
  emit shownChanged(false);
}

}  // namespace velmora
