#include "app/waterfall_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <variant>

#include "app/main_window_widgets.h"
#include "app/waterfall_view.h"
#include "core/clock.h"
#include "core/controls.h"
#include "transmit/waterfall_sending.h"
#include "waterfall/readability.h"

namespace velmora {

namespace {

// Edits that come together (a mode change touches four buttons, typing one key after
// another) are drawn once.
constexpr int kRefreshDelayMs = 15;
constexpr int kToneMarkerStepMs = 100;
constexpr QSize kDefaultSize(640, 600);
constexpr int kGuideWidth = 190;
// While a text is on the air the tape keeps the column being sent in view: once it
// passes this share of the lines shown, the tape moves on so that it is back at the
// other share.
constexpr double kFollowAhead = 0.85;
constexpr double kFollowBack = 0.15;

static_assert(waterfall::kReceiverCount == kWaterfallReceiverChoices, "Velmora.ini keeps every receiver");

// Only the receiver's profile is read from the settings: the rest describes the window.
const waterfall::ReceiverProfile& profileAt(int index) {
  const auto profiles = waterfall::receiverProfiles();
  if (index < 0 || static_cast<std::size_t>(index) >= profiles.size()) return waterfall::defaultReceiver();
  return profiles[static_cast<std::size_t>(index)];
}

QString number(double value) { return QString::number(std::lround(value)); }

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

  receiverChoice_ = new QComboBox(this);
  receiverChoice_->setAccessibleName("Receiver");
  for (const waterfall::ReceiverProfile& profile : waterfall::receiverProfiles())
    receiverChoice_->addItem(QString::fromUtf8(profile.name.data(), static_cast<qsizetype>(profile.name.size())));
  magnifyChoice_ = new QComboBox(this);
  magnifyChoice_->setAccessibleName("Magnify");
  for (int zoom = 1; zoom <= WaterfallView::kMaxZoom; ++zoom)
    magnifyChoice_->addItem(QString::fromUtf8("\u00d7%1").arg(zoom));
  note_ = new QLabel(this);
  note_->setAccessibleName("Note");
  note_->setVisible(false);
  view_ = new WaterfallView(this);
  upwardBar_ = new QScrollBar(Qt::Vertical, this);
  upwardBar_->setInvertedAppearance(true);  // the start of the sending at the bottom
  upwardBar_->setInvertedControls(true);
  upwardBar_->setAccessibleName("Time");
  acrossBar_ = new QScrollBar(Qt::Horizontal, this);
  acrossBar_->setAccessibleName("Time");
  guide_ = new QLabel(this);
  guide_->setAccessibleName("Readability");
  guide_->setWordWrap(true);
  guide_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  guide_->setFixedWidth(kGuideWidth);
  squareButton_ = new QPushButton(this);
  squareButton_->setAccessibleName("Use square pixels");
  squareButton_->setVisible(false);

  auto* choiceRow = new QHBoxLayout;
  auto* receiverLabel = new QLabel("Receiver", this);
  receiverLabel->setBuddy(receiverChoice_);
  auto* magnifyLabel = new QLabel("Magnify", this);
  magnifyLabel->setBuddy(magnifyChoice_);
  choiceRow->addWidget(receiverLabel);
  choiceRow->addWidget(receiverChoice_, 1);
  choiceRow->addWidget(magnifyLabel);
  choiceRow->addWidget(magnifyChoice_);
  auto* tape = new QGridLayout;
  tape->setSpacing(0);
  tape->addWidget(view_, 0, 0);
  tape->addWidget(upwardBar_, 0, 1);
  tape->addWidget(acrossBar_, 1, 0);
  auto* side = new QVBoxLayout;
  side->addWidget(guide_);
  side->addWidget(squareButton_);
  side->addStretch(1);
  auto* body = new QHBoxLayout;
  body->addLayout(tape, 1);
  body->addLayout(side);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(choiceRow);
  layout->addWidget(note_);
  layout->addLayout(body, 1);

  refreshTimer_ = new QTimer(this);
  refreshTimer_->setSingleShot(true);
  refreshTimer_->setInterval(kRefreshDelayMs);
  connect(refreshTimer_, &QTimer::timeout, this, &WaterfallWindow::refresh);
  toneTimer_ = new QTimer(this);
  toneTimer_->setInterval(kToneMarkerStepMs);
  connect(toneTimer_, &QTimer::timeout, this, &WaterfallWindow::updateMarker);
  connect(receiverChoice_, &QComboBox::currentIndexChanged, this, &WaterfallWindow::scheduleRefresh);
  connect(magnifyChoice_, &QComboBox::currentIndexChanged, this, [this](int index) {
    view_->setZoom(index + 1);
    scheduleRefresh();
  });
  for (QScrollBar* bar : {upwardBar_, acrossBar_})
    connect(bar, &QScrollBar::valueChanged, this, &WaterfallWindow::scheduleRefresh);
  connect(squareButton_, &QPushButton::clicked, this, &WaterfallWindow::useSquareDuration);
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

const waterfall::ReceiverProfile& WaterfallWindow::receiver() const {
  return profileAt(receiverChoice_->currentIndex());
}

waterfall::Layout WaterfallWindow::layout() const { return receiver().layout; }

QScrollBar* WaterfallWindow::timeBar() const {
  return layout() == waterfall::Layout::FrequencyAcross ? upwardBar_ : acrossBar_;
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
  const bool across = layout() == waterfall::Layout::FrequencyAcross;
  upwardBar_->setVisible(across);
  acrossBar_->setVisible(!across);
  waterfall::DrawOptions options;
  options.receiver = &receiver();
  options.maxLines = view_->linesToFill(layout());
  options.firstLine = timeBar()->value();
  requestedLines_ = options.maxLines;
  requestedFirstLine_ = options.firstLine;
  auto& ready = std::get<waterfall::Sending>(sending);
  updateGuide();
  requestedNumber_ = renderer_->request(std::move(ready), options);
}

void WaterfallWindow::updateGuide() {
  const auto sending = textSendingFromControls(controls_, glyphs_);
  const auto* text = std::get_if<waterfall::Sending>(&sending);
  if (text == nullptr) return;
  const waterfall::ReceiverProfile& profile = receiver();
  const waterfall::Readability r = waterfall::readability(text->settings, profile);
  QStringList lines;
  lines << QString::fromUtf8("A letter is %1 px \u00d7 %2 lines on this receiver.")
               .arg(number(r.letterPixels), number(r.letterLines));
  const bool square = r.pixelAspect < waterfall::kSquareEnough && r.pixelAspect > 1.0 / waterfall::kSquareEnough;
  const std::uint32_t duration = readUnsigned(controls_, ControlId::Duration);
  squareDurationMs_ = r.squareDurationMs;
  const bool offer = !square && r.squareDurationMs != duration;
  if (square) {
    lines << "Its pixels are about square.";
  } else {
    lines << QString("Its pixels are %1 times as %2 along time as across; %3 ms per column makes them "
                     "about square at this offset.")
                 .arg(QString::number(r.pixelAspect > 1 ? r.pixelAspect : 1 / r.pixelAspect, 'f', 1),
                      r.pixelAspect > 1 ? "long" : "short", QString::number(r.squareDurationMs));
  }
  if (r.rowsMerge)
    lines << QString("Warning: rows %1 Hz apart merge here; this receiver resolves about %2 Hz.")
                 .arg(text->settings.offset)
                 .arg(number(r.resolutionHz));
  if (r.slotsBlur)
    lines << QString("Warning: S/MT slots of %1 ms are shorter than one line here (%2 ms): they blur.")
                 .arg(number(r.slotSeconds * 1000), number(1000 / profile.linesPerSecond));
  guide_->setText(lines.join("\n\n"));
  squareButton_->setText(QString("Use %1 ms per column").arg(r.squareDurationMs));
  squareButton_->setVisible(offer);
  squareButton_->setEnabled(controls_.isEnabled(ControlId::Duration));
}

void WaterfallWindow::useSquareDuration() {
  if (squareDurationMs_ == 0 || !controls_.isEnabled(ControlId::Duration)) return;
  writeUnsigned(controls_, ControlId::Duration, squareDurationMs_);
}

QString WaterfallWindow::guide() const { return guide_->text(); }

void WaterfallWindow::showPicture(const RenderedPicture& rendered) {
  if (rendered.number <= shownNumber_) return;
  shownNumber_ = rendered.number;
  shownIsTuningTone_ = rendered.tuningTone;
  view_->setPicture(rendered.picture);
  // The tape's length is known once a picture tells it.
  QScrollBar* bar = timeBar();
  const int shown = std::max(1, rendered.picture->lines);
  const QSignalBlocker block(bar);
  bar->setRange(0, std::max(0, rendered.picture->totalLines - requestedLines_));
  bar->setPageStep(shown);
  bar->setSingleStep(std::max(1, shown / 10));
  updateMarker();
  // A tape shortened below the place looked at, or a window that fits another number of
  // lines: the lines shown are due again.
  if (rendered.number == requestedNumber_ &&
      (bar->value() != requestedFirstLine_ || view_->linesToFill(layout()) != requestedLines_))
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
  updateGuide();
  updateMarker();
}

void WaterfallWindow::updateMarker() {
  const SharedPicture& picture = view_->picture();
  if (!picture) return;
  const OnAir now = onAir_.now();
  const MarkerAreas marker = markerAreas(*picture, shownIsTuningTone_, now, clock_.tickCount());
  view_->setMarker(marker);
  if (marker.shown && now.sound == OnAir::Sound::Text && now.column >= 0 &&
      static_cast<std::size_t>(now.column) < picture->columnLines.size()) {
    // The tape follows the column on the air.
    const waterfall::PixelSpan lines = picture->columnLines[static_cast<std::size_t>(now.column)];
    const int first = picture->firstLine;
    const int shown = std::max(1, requestedLines_);
    if (lines.low < first || lines.high > first + static_cast<int>(kFollowAhead * shown))
      timeBar()->setValue(std::max(0, lines.low - static_cast<int>(kFollowBack * shown)));
  }
}

bool WaterfallWindow::upToDate() const {
  return shownNumber_ == requestedNumber_ && !refreshTimer_->isActive();
}

QString WaterfallWindow::note() const { return note_->isVisible() ? note_->text() : QString(); }

WaterfallWindowSettings WaterfallWindow::settings() const {
  WaterfallWindowSettings settings{isVisible(), receiverChoice_->currentIndex(), std::nullopt};
  if (placed_) {
    const QRect place = geometry();
    settings.geometry = WindowGeometry{place.x(), place.y(), place.width(), place.height()};
  }
  return settings;
}

void WaterfallWindow::applySettings(const WaterfallWindowSettings& settings) {
  const int count = receiverChoice_->count();
  receiverChoice_->setCurrentIndex(settings.layout >= 0 && settings.layout < count ? settings.layout : 0);
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
  scheduleRefresh();  // as many lines as fit
}

void WaterfallWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  refreshTimer_->stop();
  toneTimer_->stop();
  emit shownChanged(false);
}

}  // namespace velmora
