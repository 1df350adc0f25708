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
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "app/saved_messages_box.h"
#include "audio/audio_output.h"

namespace velmora {

namespace {

// Widths in characters of the font in use, so that a larger font is not clipped.
constexpr int kNumberFieldChars = 8;
constexpr int kFigureFieldChars = 6;
constexpr int kTimeFieldChars = 13;

// A field as wide as a number of digits of its current font, so that it follows a
// change of font or style.
class DigitsWideField final : public QLineEdit {
 public:
  DigitsWideField(int digits, QWidget* parent) : QLineEdit(parent), digits_(digits) {}
  QSize minimumSizeHint() const override {
    const QSize usual = QLineEdit::minimumSizeHint();
    if (digits_ <= 0) return usual;
    // Frame and text margins, as the style draws them around the text.
    const int width =
        fontMetrics().horizontalAdvance(QString(digits_, '0')) + 2 * fontMetrics().averageCharWidth() + 8;
    return {std::max(usual.width(), width), usual.height()};
  }
  QSize sizeHint() const override {
    return digits_ > 0 ? QSize(minimumSizeHint().width(), QLineEdit::sizeHint().height())
                       : QLineEdit::sizeHint();
  }

 private:
  int digits_;
};

template <typename Widget>
Widget* tipped(Widget* widget, const QString& tip) {
  widget->setToolTip(tip);
  return widget;
}

template <typename Widget>
Widget* named(Widget* widget, const QString& accessibleName) {
  widget->setAccessibleName(accessibleName);
  return widget;
}

QLineEdit* numberField(const QString& name, const QString& tip, QWidget* parent) {
  auto* field = tipped(named(new DigitsWideField(kNumberFieldChars, parent), name), tip);
  field->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), field));
  return field;
}

QLineEdit* statusField(const QString& name, const QString& tip, QWidget* parent, int chars = 0) {
  auto* field = tipped(named(new DigitsWideField(chars, parent), name), tip);
  field->setReadOnly(true);
  field->setFocusPolicy(Qt::ClickFocus);  // readable, but not a tab stop
  if (chars > 0) field->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  return field;
}

QLabel* label(const QString& text, QWidget* parent, QWidget* buddy = nullptr) {
  auto* result = new QLabel(text, parent);
  if (buddy != nullptr) result->setBuddy(buddy);
  return result;
}

QWidget* deviceGroup(MainWindowWidgets& w, QWidget* parent) {
  auto* box = new QWidget(parent);  // untitled: the window must fit small screens
  w.outputDevice = tipped(named(new QComboBox(box), "Output sound device"),
                          "Where the sound goes: the sound card or interface that feeds the rig");
  w.outputDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  w.outputDevice->setMinimumContentsLength(16);
  w.txLevel = tipped(named(new QSpinBox(box), "TX level"),
                     "The drive level, 0 to -30 dB (default 0), applied by the sound server; the samples "
                     "stay exact. Set it with Tune at \"Full scale\": raise the rig's drive until the ALC "
                     "just stays quiet.");
  w.txLevel->setRange(kMinOutputLevelDb, kMaxOutputLevelDb);
  w.txLevel->setSuffix(" dB");
  w.noSoundOutput = new QLabel("No sound output", box);
  w.noSoundOutput->setStyleSheet("QLabel { color: #c00000; font-weight: bold; }");
  w.noSoundOutput->setAccessibleName("No sound output");
  w.noSoundOutput->setVisible(false);

  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(label("&Output sound device", box, w.outputDevice));
  layout->addWidget(w.outputDevice, 1);
  layout->addWidget(w.noSoundOutput);
  layout->addWidget(label("TX &level", box, w.txLevel));
  layout->addWidget(w.txLevel);
  return box;
}

QWidget* modeGroup(MainWindowWidgets& w, QWidget* parent) {
  auto* box = new QGroupBox("Mode", parent);
  w.concurrent =
      tipped(named(new QRadioButton("Concurrent &multitone (C/MT)", box), "Concurrent multitone (C/MT)"),
             "All lit pixels of a column sound together: reads best (recommended)");
  w.maxAvgPower = tipped(named(new QCheckBox("Maximi&ze average power", box), "Maximize average power"),
                         "C/MT: scales each column to full scale, for more average power");
  w.sequential =
      tipped(named(new QRadioButton("Se&quential multitone (S/MT)", box), "Sequential multitone (S/MT)"),
             "The lit pixels of a column sound one after another: one tone at a time, for "
             "amplifiers that want a constant envelope; needs long columns (1000 ms and more)");
  w.skipDark = tipped(named(new QCheckBox("S&kip dark pixels", box), "Skip dark pixels"),
                      "S/MT: dark pixels take no time, so a column ends sooner");
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
  w.centerFrequency = numberField("Audio center frequency",
                                  "The audio frequency of the middle pixel row, 100 to 3000 Hz (1500 is "
                                  "recommended: the middle of an SSB passband)",
                                  box);
  w.pixelOffset = numberField("Pixel row offset",
                              "Hertz between two pixel rows, 1 to 10 (10 is recommended: the text "
                              "then stands 70 Hz tall and reads at a waterfall's usual zoom)",
                              box);
  w.duration = numberField("Duration per pixel column",
                           "Milliseconds per glyph column, 300 to 60000 (300 is recommended for C/MT, "
                           "1000 and more for S/MT)",
                           box);
  w.pilotTone = tipped(named(new QCheckBox("P&ilot tone", box), "Pilot tone"),
                       "A steady tone below the pixel rows, so that the text is easy to find (recommended)");
  w.reverse = tipped(named(new QCheckBox("&Reverse", box), "Reverse"),
                     "Mirrors the frequencies: for LSB, or for a waterfall that shows the text upside down");

  auto* layout = new QGridLayout(box);
  const struct {
    const char* text;
    QLineEdit* field;
    const char* unit;
  } rows[] = {{"&Audio center frequency", w.centerFrequency, "Hz"},
              {"Pixel ro&w offset", w.pixelOffset, "Hz"},
              {"&Duration per pixel column", w.duration, "ms"}};
  int row = 0;
  for (const auto& entry : rows) {
    layout->addWidget(label(entry.text, box, entry.field), row, 0);
    layout->addWidget(entry.field, row, 1);
    layout->addWidget(label(entry.unit, box), row, 2);
    ++row;
  }
  layout->setColumnStretch(1, 1);
  auto* options = new QHBoxLayout;
  options->addWidget(w.pilotTone);
  options->addWidget(w.reverse);
  options->addStretch(1);
  layout->addLayout(options, row, 0, 1, 3);
  return box;
}

QWidget* textGroup(MainWindowWidgets& w, QWidget* parent) {
  auto* box = new QWidget(parent);
  w.textToSend = tipped(named(new QLineEdit(box), "Text to send"),
                        "The text to send, up to 1023 characters (Ctrl+Return sends it)");
  w.textLength = statusField("Text length", "Number of characters", box, kFigureFieldChars);
  w.loop = tipped(named(new QCheckBox("Loo&p", box), "Loop"),
                  "Sends the text again and again, a new pass every \"Interval\" seconds, until Stop");
  w.interval = numberField("Interval",
                           "Seconds from the start of one pass to the start of the next with Loop, 0 to "
                           "86400 (0: the next pass follows at once)",
                           box);
  w.myCall = tipped(named(new QLineEdit(box), "My call"),
                    "Your call sign: it replaces {CALL} in the saved messages");
  w.myCall->setMaxLength(32);

  auto* layout = new QGridLayout(box);
  layout->addWidget(label("Te&xt to send", box, w.textToSend), 0, 0);
  layout->addWidget(w.textToSend, 0, 1, 1, 6);
  layout->addWidget(w.textLength, 0, 7);
  layout->addWidget(w.loop, 1, 1);
  layout->addWidget(label("I&nterval", box, w.interval), 1, 2, Qt::AlignRight);
  layout->addWidget(w.interval, 1, 3);
  layout->addWidget(label("sec", box), 1, 4);
  layout->addWidget(label("M&y call", box, w.myCall), 1, 5, Qt::AlignRight);
  layout->addWidget(w.myCall, 1, 6, 1, 2);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setColumnStretch(1, 1);
  layout->setColumnStretch(4, 1);
  layout->setColumnStretch(6, 1);
  return box;
}

QWidget* statusGroup(MainWindowWidgets& w, QWidget* parent) {
  auto* box = new QGroupBox(parent);
  w.timeRemaining =
      statusField("Time remaining", "How long the text takes, or what is left of it", box, kTimeFieldChars);
  w.sentText = statusField("Sent text", "What has gone out of the text so far", box);
  w.pixelCount = statusField("Pixel count", "Lit pixels of the column on the air", box, kFigureFieldChars);
  w.averagePower = statusField("Average power", "Average power of the column, in % of a full-scale sine", box,
                               kFigureFieldChars);
  w.peakPower = statusField("Peak power", "Peak power of the column, in % of a full-scale sine", box,
                            kFigureFieldChars);
  w.messagePower = statusField("Message average power", "Average power over the columns sent so far, in %",
                               box, kFigureFieldChars);

  auto* times = new QHBoxLayout;
  times->addWidget(label("Time remaining:", box, w.timeRemaining));
  times->addWidget(w.timeRemaining);
  times->addSpacing(12);
  times->addWidget(label("Sent text:", box, w.sentText));
  times->addWidget(w.sentText, 1);

  // The sentence of the column's and the message's figures, in two lines.
  auto* column = new QHBoxLayout;
  column->addWidget(label("Transmitting", box, w.pixelCount));
  column->addWidget(w.pixelCount);
  column->addWidget(label("pixels, average power", box, w.averagePower));
  column->addWidget(w.averagePower);
  column->addWidget(label("%, peak power", box, w.peakPower));
  column->addWidget(w.peakPower);
  column->addStretch(1);

  auto* message = new QHBoxLayout;
  message->addWidget(label("% of full scale sine,", box));
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
  w.tune = tipped(named(new QPushButton("T&une", row), "Tune"),
                  "Sends a steady 10-second tone at the center frequency, to set up the rig (Esc stops it)");
  auto* levels = new QGroupBox(row);  // unlabelled, as the tuning levels have always been
  w.singlePixel = tipped(named(new QRadioButton("Sin&gle pixel", levels), "Single pixel"),
                         "Tune at the level of one lit pixel of a C/MT column");
  w.fullScale = tipped(named(new QRadioButton("Full s&cale", levels), "Full scale"),
                       "Tune at full scale, the loudest the program sends: set the rig's drive with this");
  w.levelGroup = new QButtonGroup(levels);
  w.levelGroup->addButton(w.singlePixel);
  w.levelGroup->addButton(w.fullScale);
  auto* levelLayout = new QHBoxLayout(levels);
  levelLayout->addWidget(w.singlePixel);
  levelLayout->addWidget(w.fullScale);

  w.transmit = tipped(named(new QPushButton("&Transmit", row), "Transmit"),
                      "Keys the rig and sends the text (Ctrl+Return)");
  w.stop = tipped(named(new QPushButton("&Stop", row), "Stop"),
                  "Ends the transmission or the tuning tone and unkeys at once (Esc)");
  for (QPushButton* button : {w.tune, w.transmit, w.stop}) {
    button->setAutoDefault(false);
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance("Transmit") + 32);
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

// Top to bottom, left to right, as the groups are laid out; the transmit buttons, then
// the saved messages.
void setTabOrder(const MainWindowWidgets& w) {
  QWidget* const chain[] = {w.outputDevice,
                            w.txLevel,
                            w.concurrent,
                            w.maxAvgPower,
                            w.sequential,
                            w.skipDark,
                            w.centerFrequency,
                            w.pixelOffset,
                            w.duration,
                            w.pilotTone,
                            w.reverse,
                            w.textToSend,
                            w.loop,
                            w.interval,
                            w.myCall,
                            w.tune,
                            w.singlePixel,
                            w.fullScale,
                            w.transmit,
                            w.stop,
                            w.savedMessages->list()};
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

std::vector<QLineEdit*> MainWindowWidgets::numberFields() const {
  return {centerFrequency, pixelOffset, duration, interval};
}

MainWindowWidgets buildMainWindowWidgets(QMainWindow& window) {
  MainWindowWidgets w;
  auto* central = new QWidget(&window);

  auto* settingsRow = new QHBoxLayout;
  settingsRow->addWidget(modeGroup(w, central));
  settingsRow->addWidget(frequencyGroup(w, central), 1);

  auto* left = new QVBoxLayout;
  left->addWidget(deviceGroup(w, central));
  left->addLayout(settingsRow);
  left->addWidget(textGroup(w, central));
  left->addWidget(statusGroup(w, central));
  left->addStretch(1);

  w.savedMessages = new SavedMessagesBox(central);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 3);
  columns->addWidget(w.savedMessages, 1);

  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(8, 4, 8, 4);  // every line counts on an 800x480 screen
  left->setSpacing(4);
  layout->addLayout(columns, 1);
  layout->addWidget(buttonRow(w, central));

  window.setCentralWidget(central);
  buildMenu(w, window);
  setTabOrder(w);
  setInitialStates(w);
  return w;
}

}  // namespace velmora
