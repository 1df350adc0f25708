#include "app/main_window_widgets.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr int kNumberFieldWidth = 80;
constexpr int kFigureFieldWidth = 56;

template <typename Widget>
Widget* named(Widget* widget, const QString& accessibleName) {
  widget->setAccessibleName(accessibleName);
  return widget;
}

QLineEdit* numberField(const QString& name, QWidget* parent) {
  auto* field = named(new QLineEdit(parent), name);
  field->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), field));
  field->setFixedWidth(kNumberFieldWidth);
  return field;
}

QLineEdit* statusField(const QString& name, QWidget* parent, int width = 0) {
  auto* field = named(new QLineEdit(parent), name);
  field->setReadOnly(true);
  field->setFocusPolicy(Qt::ClickFocus);  // readable, but not a tab stop
  if (width > 0) field->setFixedWidth(width);
  return field;
}

QLabel* label(const QString& text, QWidget* parent, QWidget* buddy = nullptr) {
  auto* result = new QLabel(text, parent);
  if (buddy != nullptr) result->setBuddy(buddy);
  return result;
}

QWidget* deviceGroup(MainWindowWidgets& w, QWidget* parent) {
  auto* box = new QGroupBox("Sound output", parent);
  w.outputDevice = named(new QComboBox(box), "Output sound device");
  w.outputDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  w.outputDevice->setMinimumContentsLength(28);
  w.noSoundOutput = new QLabel("No sound output", box);
  w.noSoundOutput->setStyleSheet("QLabel { color: #c00000; font-weight: bold; }");
  w.noSoundOutput->setAccessibleName("No sound output");
  w.noSoundOutput->setVisible(false);

  auto* layout = new QHBoxLayout(box);
  layout->addWidget(label("Output sound device", box, w.outputDevice));
  layout->addWidget(w.outputDevice, 1);
  layout->addWidget(w.noSoundOutput);
  return box;
}

QWidget* modeGroup(MainWindowWidgets& w, QWidget* parent) {
  auto* box = new QGroupBox("Mode", parent);
  w.concurrent = named(new QRadioButton("Concurrent multitone (C/MT)", box), "Concurrent multitone (C/MT)");
  w.maxAvgPower = named(new QCheckBox("Maximize average power", box), "Maximize average power");
  w.sequential = named(new QRadioButton("Sequential multitone (S/MT)", box), "Sequential multitone (S/MT)");
  w.skipDark = named(new QCheckBox("Skip dark pixels", box), "Skip dark pixels");
  w.modeGroup = new QButtonGroup(box);
  w.modeGroup->addButton(w.concurrent);
  w.modeGroup->addButton(w.sequential);

  constexpr int kOptionIndent = 24;
  auto* layout = new QGridLayout(box);
  layout->setColumnMinimumWidth(0, kOptionIndent);
  layout->addWidget(w.concurrent, 0, 0, 1, 2);
  layout->addWidget(w.maxAvgPower, 1, 1);
  layout->addWidget(w.sequential, 2, 0, 1, 2);
  layout->addWidget(w.skipDark, 3, 1);
  layout->setRowStretch(4, 1);
  return box;
}

QWidget* frequencyGroup(MainWindowWidgets& w, QWidget* parent) {
  auto* box = new QGroupBox("Frequencies and timing", parent);
  w.centerFrequency = numberField("Audio center frequency", box);
  w.pixelOffset = numberField("Pixel row offset", box);
  w.duration = numberField("Duration per pixel column", box);
  w.pilotTone = named(new QCheckBox("Pilot tone", box), "Pilot tone");
  w.reverse = named(new QCheckBox("Reverse", box), "Reverse");

  auto* layout = new QGridLayout(box);
  const struct {
    const char* text;
    QLineEdit* field;
    const char* unit;
  } rows[] = {{"Audio center frequency", w.centerFrequency, "Hz"},
              {"Pixel row offset", w.pixelOffset, "Hz"},
              {"Duration per pixel column", w.duration, "ms"}};
  int row = 0;
  for (const auto& entry : rows) {
    layout->addWidget(label(entry.text, box, entry.field), row, 0);
    layout->addWidget(entry.field, row, 1);
    layout->addWidget(label(entry.unit, box), row, 2);
    ++row;
  }
  auto* options = new QHBoxLayout;
  options->addWidget(w.pilotTone);
  options->addWidget(w.reverse);
  options->addStretch(1);
  layout->addLayout(options, row, 0, 1, 3);
  return box;
}

QWidget* textGroup(MainWindowWidgets& w, QWidget* parent) {
  auto* box = new QGroupBox("Text", parent);
  w.textToSend = named(new QLineEdit(box), "Text to send");
  w.textLength = statusField("Text length", box, kFigureFieldWidth);
  w.textLength->setToolTip("Number of characters");
  w.loop = named(new QCheckBox("Loop", box), "Loop");
  w.interval = numberField("Interval", box);

  auto* layout = new QGridLayout(box);
  layout->addWidget(label("Text to send", box, w.textToSend), 0, 0);
  layout->addWidget(w.textToSend, 0, 1, 1, 4);
  layout->addWidget(w.textLength, 0, 5);
  layout->addWidget(w.loop, 1, 1);
  layout->addWidget(label("Interval", box, w.interval), 1, 2, Qt::AlignRight);
  layout->addWidget(w.interval, 1, 3);
  layout->addWidget(label("sec", box), 1, 4);
  layout->setColumnStretch(4, 1);
  return box;
}

QWidget* statusGroup(MainWindowWidgets& w, QWidget* parent) {
  auto* box = new QGroupBox("Status", parent);
  w.timeRemaining = statusField("Time remaining", box, 110);
  w.sentText = statusField("Sent text", box);
  w.pixelCount = statusField("Pixel count", box, kFigureFieldWidth);
  w.averagePower = statusField("Average power", box, kFigureFieldWidth);
  w.peakPower = statusField("Peak power", box, kFigureFieldWidth);
  w.messagePower = statusField("Message average power", box, kFigureFieldWidth);

  auto* times = new QHBoxLayout;
  times->addWidget(label("Time remaining:", box, w.timeRemaining));
  times->addWidget(w.timeRemaining);
  times->addSpacing(12);
  times->addWidget(label("Sent text:", box, w.sentText));
  times->addWidget(w.sentText, 1);

  auto* column = new QHBoxLayout;
  column->addWidget(label("Transmitting", box, w.pixelCount));
  column->addWidget(w.pixelCount);
  column->addWidget(label("pixels, average power", box, w.averagePower));
  column->addWidget(w.averagePower);
  column->addWidget(label("%, peak power", box, w.peakPower));
  column->addWidget(w.peakPower);
  column->addWidget(label("% of full scale sine,", box));
  column->addStretch(1);

  auto* message = new QHBoxLayout;
  message->addWidget(label("average power over whole message", box, w.messagePower));
  message->addWidget(w.messagePower);
  message->addWidget(label("%", box));
  message->addStretch(1);

  auto* layout = new QVBoxLayout(box);
  layout->addLayout(times);
  layout->addLayout(column);
  layout->addLayout(message);
  return box;
}

QWidget* buttonRow(MainWindowWidgets& w, QWidget* parent) {
  auto* row = new QWidget(parent);
  w.tune = named(new QPushButton("Tune", row), "Tune");
  auto* levels = new QGroupBox(row);  // unlabelled, as the tuning levels have always been
  w.singlePixel = named(new QRadioButton("Single pixel", levels), "Single pixel");
  w.fullScale = named(new QRadioButton("Full scale", levels), "Full scale");
  w.levelGroup = new QButtonGroup(levels);
  w.levelGroup->addButton(w.singlePixel);
  w.levelGroup->addButton(w.fullScale);
  auto* levelLayout = new QHBoxLayout(levels);
  levelLayout->addWidget(w.singlePixel);
  levelLayout->addWidget(w.fullScale);

  w.transmit = named(new QPushButton("Transmit", row), "Transmit");
  w.stop = named(new QPushButton("Stop", row), "Stop");
  for (QPushButton* button : {w.tune, w.transmit, w.stop}) {
    button->setAutoDefault(false);
    button->setMinimumWidth(90);
  }

  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(w.tune);
  layout->addWidget(levels);
  layout->addStretch(1);
  layout->addWidget(w.transmit);
  layout->addWidget(w.stop);
  return row;
}

void buildMenu(MainWindowWidgets& w, QMainWindow& window) {
  QMenuBar* bar = window.menuBar();
  QMenu* file = bar->addMenu("&File");
  w.deleteLogfile = file->addAction("Delete Logfile");
  w.exit = file->addAction("Exit");
  QMenu* view = bar->addMenu("&View");
  w.viewLogfile = view->addAction("Logfile");
  w.waterfall = view->addAction("Waterfall");
  w.waterfall->setCheckable(true);
  w.receive = view->addAction("Receive");
  w.receive->setCheckable(true);
  QMenu* extras = bar->addMenu("&Extras");
  w.pttControl = extras->addAction("PTT Control");
  QMenu* help = bar->addMenu("&Help");
  w.about = help->addAction("About");
}

// Top to bottom, left to right, as the groups are laid out; the transmit buttons last.
void setTabOrder(const MainWindowWidgets& w) {
  QWidget* const chain[] = {w.outputDevice, w.concurrent,  w.maxAvgPower, w.sequential, w.skipDark,
                            w.centerFrequency, w.pixelOffset, w.duration, w.pilotTone, w.reverse,
                            w.textToSend, w.loop, w.interval, w.tune, w.singlePixel,
                            w.fullScale, w.transmit, w.stop};
  for (std::size_t i = 1; i < std::size(chain); ++i)
    QWidget::setTabOrder(chain[i - 1], chain[i]);
}

// The states the window starts in, until the settings are loaded.
void setInitialStates(const MainWindowWidgets& w) {
  w.stop->setEnabled(false);
  w.skipDark->setEnabled(false);
  w.maxAvgPower->setEnabled(false);
}

}  // namespace

std::map<ControlId, QWidget*> MainWindowWidgets::byId() const {
  return {
      {ControlId::OutputDevice, outputDevice}, {ControlId::Stop, stop},
      {ControlId::Transmit, transmit},         {ControlId::TextToSend, textToSend},
      {ControlId::CenterFrequency, centerFrequency}, {ControlId::Duration, duration},
      {ControlId::SentText, sentText},         {ControlId::PixelOffset, pixelOffset},
      {ControlId::TimeRemaining, timeRemaining}, {ControlId::Loop, loop},
      {ControlId::Interval, interval},         {ControlId::PixelCount, pixelCount},
      {ControlId::AveragePower, averagePower}, {ControlId::PeakPower, peakPower},
      {ControlId::Tune, tune},                 {ControlId::SinglePixel, singlePixel},
      {ControlId::FullScale, fullScale},       {ControlId::MessagePower, messagePower},
      {ControlId::Concurrent, concurrent},     {ControlId::Sequential, sequential},
      {ControlId::SkipDark, skipDark},         {ControlId::TextLength, textLength},
      {ControlId::PilotTone, pilotTone},       {ControlId::Reverse, reverse},
      {ControlId::MaxAvgPower, maxAvgPower},
  };
}

MainWindowWidgets buildMainWindowWidgets(QMainWindow& window) {
  MainWindowWidgets w;
  auto* central = new QWidget(&window);

  auto* settingsRow = new QHBoxLayout;
  settingsRow->addWidget(modeGroup(w, central));
  settingsRow->addWidget(frequencyGroup(w, central), 1);

  auto* layout = new QVBoxLayout(central);
  layout->addWidget(deviceGroup(w, central));
  layout->addLayout(settingsRow);
  layout->addWidget(textGroup(w, central));
  layout->addWidget(statusGroup(w, central));
  layout->addWidget(buttonRow(w, central));

  window.setCentralWidget(central);
  buildMenu(w, window);
  setTabOrder(w);
  setInitialStates(w);
  return w;
}

}  // namespace velmora
