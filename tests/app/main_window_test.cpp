#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <csignal>
#include <cstring>
#include <map>

#include "app/saved_messages_box.h"
#include "app/termination_signals.h"
#include "settings/ini_file.h"
#include "window_rig.h"

namespace velmora {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::MessageBoxCloser;
using testing::WindowRig;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() { rig.writeFont(); }

  std::string iniValue(const std::string& key) const {
    IniFile ini;
    EXPECT_TRUE(ini.load((rig.folder() / "Velmora.ini").string()));
    return ini.readText("Velmora", key, "<absent>", 1023);
  }

  MessageBoxCloser closer;
  WindowRig rig;
};

// ---- start-up ----------------------------------------------------------------------------

TEST_F(MainWindowTest, InitialStatesHoldUntilTheSettingsAreLoaded) {
  MainWindow& window = rig.build();
  Controls& controls = window.controls();
  EXPECT_FALSE(controls.isEnabled(ControlId::Stop));
  EXPECT_FALSE(controls.isEnabled(ControlId::SkipDark));
  EXPECT_FALSE(controls.isEnabled(ControlId::MaxAvgPower));
  for (ControlId id : {ControlId::Transmit, ControlId::Tune, ControlId::SinglePixel, ControlId::FullScale,
                       ControlId::Concurrent, ControlId::Sequential, ControlId::TextToSend})
    EXPECT_TRUE(controls.isEnabled(id)) << static_cast<int>(id);
  EXPECT_FALSE(controls.isChecked(ControlId::Concurrent));
  EXPECT_FALSE(controls.isChecked(ControlId::Sequential));
  EXPECT_EQ(window.windowTitle(), "Velmora");
}

TEST_F(MainWindowTest, AFirstStartWritesSettingsThatReadWellAndLoadsThem) {
  MainWindow& window = rig.start();
  Controls& controls = window.controls();
  // Written before it was loaded, with the keys of old in their order.
  EXPECT_EQ(
      rig.readFile("Velmora.ini"),
      "[Velmora]\nOutputDevice=\nConcurrent=1\nSkip=0\nMaxAvgPwr=0\nFrequency=1500\nOffset=10\n"
      "Duration=300\nText=\nLoop=0\nPilotTone=1\nReverse=0\nInterval=0\nUsePTTControl=0\nComPort=0\n"
      "Baudrate=0\nDatabits=0\nStopbits=0\nParity=0\nCAT=0\nRTS=0\nTXCommand=\nRXCommand=\nTXDelay=0\n");

  EXPECT_TRUE(controls.isChecked(ControlId::Concurrent));
  EXPECT_TRUE(controls.isChecked(ControlId::SinglePixel));
  EXPECT_FALSE(controls.isChecked(ControlId::FullScale));
  EXPECT_FALSE(controls.isEnabled(ControlId::SkipDark));
  EXPECT_FALSE(controls.isChecked(ControlId::SkipDark));
  EXPECT_TRUE(controls.isEnabled(ControlId::MaxAvgPower));
  EXPECT_FALSE(controls.isChecked(ControlId::MaxAvgPower));
  EXPECT_EQ(controls.text(ControlId::CenterFrequency), "1500");
  EXPECT_EQ(controls.text(ControlId::PixelOffset), "10");
  EXPECT_EQ(controls.text(ControlId::Duration), "300");
  EXPECT_EQ(controls.text(ControlId::Interval), "0");
  EXPECT_EQ(controls.text(ControlId::TextToSend), "");
  EXPECT_TRUE(controls.isChecked(ControlId::PilotTone));
  for (ControlId box : {ControlId::Loop, ControlId::Reverse}) EXPECT_FALSE(controls.isChecked(box));
  // The empty text still counts as loaded: its length and time are shown.
  EXPECT_EQ(controls.text(ControlId::TextLength), "0");
  EXPECT_EQ(controls.text(ControlId::TimeRemaining), "(0h:00m:00s)");

  EXPECT_EQ(controls.currentIndex(ControlId::OutputDevice), 0);
  EXPECT_THAT(controls.listItems(ControlId::OutputDevice),
              ElementsAre(kDefaultOutputDevice, "Test Speaker", "Test Radio"));
  EXPECT_EQ(rig.audio.openedIndex(), 0);
  EXPECT_FALSE(window.widgets().noSoundOutput->isVisibleTo(&window));
  EXPECT_EQ(window.ptt().settings(), (PttSettings{0, 0, 0, 0, 0, 0, 0, 0, "", "", 0}));
  EXPECT_THAT(rig.logMessages(), ElementsAre("Program startup"));
  EXPECT_THAT(closer.seen(), IsEmpty());
}

TEST_F(MainWindowTest, StartUpTakesModeFieldsDeviceAndKeyingFromTheFile) {
  rig.writeSettings(
      "[Velmora]\nOutputDevice=test r\nConcurrent=0\nSkip=2\nFrequency=1500\nOffset=3\nDuration=400\n"
      "Text=CQ DX\nLoop=1\nReverse=2\nInterval=60\nUsePTTControl=1\nComPort=2\nTXCommand=a1b2\nTXDelay=50\n");
  MainWindow& window = rig.start();
  Controls& controls = window.controls();

  EXPECT_TRUE(controls.isChecked(ControlId::Sequential));
  EXPECT_TRUE(controls.isChecked(ControlId::FullScale));
  EXPECT_FALSE(controls.isChecked(ControlId::SinglePixel));
  EXPECT_FALSE(controls.isEnabled(ControlId::SinglePixel));
  EXPECT_FALSE(controls.isEnabled(ControlId::FullScale));
  EXPECT_FALSE(controls.isEnabled(ControlId::MaxAvgPower));
  EXPECT_TRUE(controls.isEnabled(ControlId::SkipDark));
  EXPECT_TRUE(controls.isChecked(ControlId::SkipDark));
  EXPECT_TRUE(controls.isChecked(ControlId::Loop));
  EXPECT_FALSE(controls.isChecked(ControlId::Reverse));
  EXPECT_EQ(controls.text(ControlId::CenterFrequency), "1500");
  EXPECT_EQ(controls.text(ControlId::Interval), "60");
  EXPECT_EQ(controls.text(ControlId::TextLength), "5");
  EXPECT_EQ(controls.text(ControlId::TimeRemaining), "(0h:00m:11s)");  // 29 columns of 0.4 s
  EXPECT_EQ(rig.shared.columnDuration.load(), 400);
  EXPECT_EQ(controls.currentIndex(ControlId::OutputDevice), 2);
  EXPECT_EQ(rig.audio.openedIndex(), 2);
  EXPECT_EQ(window.ptt().settings().ComPort, 2);
  EXPECT_EQ(window.ptt().settings().TXCommand, "a1b2");
  EXPECT_EQ(window.ptt().settings().TXDelay, 50u);
}

TEST_F(MainWindowTest, MissingFontIsReportedOnceByTheWindowAndStartUpCompletes) {
  std::filesystem::remove(rig.folder() / kFontFileName);
  MainWindow& window = rig.start();
  const auto seen = closer.seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, "Velmora");
  EXPECT_EQ(seen[0].text, "Font file '5x7 (International).txt' not found. Velmora is unable to transmit.");
  EXPECT_EQ(seen[0].icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen[0].parent, &window);
  EXPECT_THAT(rig.logMessages(), ElementsAre("Program startup"));
  EXPECT_TRUE(window.controls().isEnabled(ControlId::Transmit));
}

// SIGTERM or SIGINT while the font message is up: the close comes inside the box, before
// the program's event loop runs. It must not end start-up half way, nor be lost.
TEST_F(MainWindowTest, CloseRequestedDuringTheFontMessageRunsAfterStartUp) {
  std::filesystem::remove(rig.folder() / kFontFileName);
  bool closeSent = false;
  closer.holdOpen = [&] {
    if (!closeSent) {
      closeSent = true;
      rig.window().close();
    }
    return false;
  };
  MainWindow& window = rig.start();
  ASSERT_TRUE(closeSent);
  EXPECT_THAT(rig.logMessages(), ElementsAre("Program startup"));

  EXPECT_TRUE(testing::waitUntil([&] { return !window.isVisible(); }));
  EXPECT_THAT(rig.logMessages(), ElementsAre("Program startup", "Program termination", ""));
  EXPECT_FALSE(rig.audio.isOpen());
  EXPECT_EQ(iniValue("Frequency"), "1500");
}

TEST_F(MainWindowTest, NoSoundOutputSignFollowsEveryOpen) {
  rig.audio.failOpen(true);
  MainWindow& window = rig.start();
  QLabel& sign = *window.widgets().noSoundOutput;
  EXPECT_TRUE(sign.isVisible());
  EXPECT_EQ(sign.text(), "No sound output");

  rig.audio.failOpen(false);
  QComboBox& devices = *window.widgets().outputDevice;
  devices.setFocus();
  QTest::keyClick(&devices, Qt::Key_Down);  // the user picks the next device
  EXPECT_EQ(rig.audio.openedIndex(), 1);
  EXPECT_FALSE(sign.isVisible());

  rig.audio.failOpen(true);
  QTest::keyClick(&devices, Qt::Key_Down);
  EXPECT_TRUE(sign.isVisible());
  EXPECT_FALSE(rig.audio.isOpen());
}

// ---- commands through the widgets ------------------------------------------------------

TEST_F(MainWindowTest, ModeRadioButtonsRunTheirCommandsWhenClicked) {
  MainWindow& window = rig.start();
  const MainWindowWidgets& w = window.widgets();

  testing::clickIndicator(*w.sequential);
  EXPECT_TRUE(w.sequential->isChecked());
  EXPECT_TRUE(w.fullScale->isChecked());
  EXPECT_FALSE(w.singlePixel->isChecked());
  EXPECT_FALSE(w.singlePixel->isEnabled());
  EXPECT_FALSE(w.fullScale->isEnabled());
  EXPECT_TRUE(w.skipDark->isEnabled());
  EXPECT_FALSE(w.maxAvgPower->isEnabled());

  testing::clickIndicator(*w.concurrent);
  EXPECT_TRUE(w.concurrent->isChecked());
  EXPECT_TRUE(w.singlePixel->isChecked());
  EXPECT_FALSE(w.fullScale->isChecked());
  EXPECT_TRUE(w.singlePixel->isEnabled());
  EXPECT_TRUE(w.fullScale->isEnabled());
  EXPECT_FALSE(w.skipDark->isEnabled());
  EXPECT_TRUE(w.maxAvgPower->isEnabled());
}

TEST_F(MainWindowTest, TypingTheTextUpdatesItsFiguresButTypingTheDurationOnlyTheTime) {
  MainWindow& window = rig.start();
  const MainWindowWidgets& w = window.widgets();
  w.duration->clear();
  QTest::keyClicks(w.duration, "1000");
  window.controls().setText(ControlId::MessagePower, "12.5");

  QTest::keyClicks(w.textToSend, "TEST");
  EXPECT_EQ(w.textLength->text(), "4");
  EXPECT_EQ(w.messagePower->text(), "");
  EXPECT_EQ(w.timeRemaining->text(), "(0h:00m:24s)");  // 23 columns of 1.05 s on the air

  window.controls().setText(ControlId::MessagePower, "12.5");
  w.textLength->setText("99");
  QTest::keyClick(w.duration, Qt::Key_Backspace);  // 100 ms
  EXPECT_EQ(rig.shared.columnDuration.load(), 100);
  EXPECT_EQ(w.timeRemaining->text(), "(0h:00m:03s)");  // 0.15 s each
  EXPECT_EQ(w.messagePower->text(), "12.5");
  EXPECT_EQ(w.textLength->text(), "99");
}

TEST_F(MainWindowTest, SettingTheSameTextFromCodeStillCountsAsAnEdit) {
  MainWindow& window = rig.start();
  window.controls().setText(ControlId::TextToSend, "AB");
  window.controls().setText(ControlId::MessagePower, "3.0");
  window.controls().setText(ControlId::TextToSend, "AB");
  EXPECT_EQ(window.controls().text(ControlId::MessagePower), "");
}

TEST_F(MainWindowTest, NumericFieldsTakeDigitsOnlyAndStatusFieldsAreReadOnly) {
  MainWindow& window = rig.start();
  const MainWindowWidgets& w = window.widgets();
  for (QLineEdit* field : {w.centerFrequency, w.pixelOffset, w.duration, w.interval}) {
    field->clear();
    QTest::keyClicks(field, "1a2-3 4");
    EXPECT_EQ(field->text(), "1234") << field->accessibleName().toStdString();
  }
  for (QLineEdit* field :
       {w.timeRemaining, w.sentText, w.pixelCount, w.averagePower, w.peakPower, w.messagePower, w.textLength})
    EXPECT_TRUE(field->isReadOnly()) << field->accessibleName().toStdString();
}

TEST_F(MainWindowTest, OutOfRangeFieldsShowTheirMessageAndStartNothing) {
  MainWindow& window = rig.start();
  const MainWindowWidgets& w = window.widgets();
  w.duration->setText("1000");
  w.centerFrequency->setText("99");
  QTest::mouseClick(w.transmit, Qt::LeftButton);
  w.centerFrequency->setText("3001");
  QTest::mouseClick(w.tune, Qt::LeftButton);

  const auto seen = closer.seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].text, "Audio center frequency out of valid range (100..3000)");
  EXPECT_EQ(seen[1].text, "Audio center frequency out of valid range (100..3000)");
  EXPECT_EQ(seen[0].parent, &window);
  EXPECT_FALSE(window.workerRunning());
  EXPECT_FALSE(w.stop->isEnabled());
  EXPECT_TRUE(w.transmit->isEnabled());
}

TEST_F(MainWindowTest, EnterAndEscDoNotCloseTheWindow) {
  MainWindow& window = rig.start();
  for (QWidget* target : {static_cast<QWidget*>(&window), static_cast<QWidget*>(window.widgets().textToSend)}) {
    QTest::keyClick(target, Qt::Key_Escape);
    QTest::keyClick(target, Qt::Key_Return);
    QTest::keyClick(target, Qt::Key_Enter);
  }
  QTest::qWait(20);
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.workerRunning());
  EXPECT_THAT(closer.seen(), IsEmpty());
}

TEST_F(MainWindowTest, ExitLogsTerminationUnkeysSavesAndReleasesTheDevice) {
  MainWindow& window = rig.start();
  const MainWindowWidgets& w = window.widgets();
  testing::clickIndicator(*w.sequential);
  QTest::keyClicks(w.textToSend, "cq test");
  w.interval->clear();

  window.widgets().exit->trigger();

  EXPECT_FALSE(window.isVisible());
  EXPECT_THAT(rig.logMessages(), ElementsAre("Program startup", "Program termination", ""));
  EXPECT_EQ(iniValue("Concurrent"), "0");
  EXPECT_EQ(iniValue("Text"), "cq test");
  EXPECT_EQ(iniValue("Interval"), "");
  EXPECT_EQ(iniValue("Frequency"), "1500");
  EXPECT_FALSE(rig.audio.isOpen());
  EXPECT_THAT(rig.serialPorts.events(), IsEmpty());
}

TEST_F(MainWindowTest, TheDateStampsTheStartupAndTerminationLinesOnly) {
  MainWindow& window = rig.start();
  window.close();
  const std::string log = rig.readFile("Logfile.txt");
  // "dd.mm.yy hh:mm:ss.mmmz ": the dated lines have a date part before the time.
  EXPECT_THAT(log, ::testing::MatchesRegex(
                       "[0-9]{2}\\.[0-9]{2}\\.[0-9]{2} [0-9:.]{12}z Program startup\r\n"
                       "[0-9]{2}\\.[0-9]{2}\\.[0-9]{2} [0-9:.]{12}z Program termination\r\n"
                       "[0-9]{2}\\.[0-9]{2}\\.[0-9]{2} [0-9:.]{12}z \r\n"));
}

TEST_F(MainWindowTest, AFailedSaveIsLoggedBeforeTheTerminationLinesAndPrinted) {
  std::filesystem::create_directory(rig.folder() / "Velmora.ini");  // no save can replace it
  MainWindow& window = rig.start();
  ::testing::internal::CaptureStderr();
  window.close();
  const std::string printed = ::testing::internal::GetCapturedStderr();
  const std::string line = "Settings not saved: Velmora.ini: is a directory";
  EXPECT_THAT(rig.logMessages(), ElementsAre("Program startup", line, "Program termination", ""));
  EXPECT_THAT(printed, ::testing::HasSubstr(line + "\n"));
}

class TerminationSignalTest : public MainWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(TerminationSignalTest, ClosesTheWindowTheNormalWay) {
  const int signalNumber = GetParam();
  MainWindow& window = rig.start();
  TerminationSignals termination;
  ASSERT_TRUE(termination.installed());
  QObject::connect(&termination, &TerminationSignals::terminationRequested, &window, &QWidget::close);
  QSignalSpy spy(&termination, &TerminationSignals::terminationRequested);

  std::raise(signalNumber);

  EXPECT_TRUE(testing::waitUntil([&] { return !window.isVisible(); }));
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).toInt(), signalNumber);
  EXPECT_THAT(rig.logMessages(), Contains("Program termination"));
  EXPECT_EQ(iniValue("Frequency"), "1500");
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP, SIGQUIT),
                         [](const ::testing::TestParamInfo<int>& row) {
                           return std::string(sigabbrev_np(row.param));
                         });

// The widgets keep the model's rules: a radio group may have nothing checked, and a
// list that is filled, or given a position it lacks, has no selection.
TEST_F(MainWindowTest, WidgetsFollowTheControlsModelForRadiosAndLists) {
  MainWindow& window = rig.start();
  Controls& controls = window.controls();
  controls.setChecked(ControlId::Concurrent, false);
  EXPECT_FALSE(controls.isChecked(ControlId::Concurrent));
  EXPECT_FALSE(controls.isChecked(ControlId::Sequential));
  controls.setChecked(ControlId::FullScale, true);
  EXPECT_FALSE(controls.isChecked(ControlId::SinglePixel));

  controls.setListItems(ControlId::OutputDevice, {"A", "B"});
  EXPECT_EQ(controls.currentIndex(ControlId::OutputDevice), -1);
  controls.setCurrentIndex(ControlId::OutputDevice, 1);
  EXPECT_EQ(controls.text(ControlId::OutputDevice), "B");
  controls.setCurrentIndex(ControlId::OutputDevice, 2);
  EXPECT_EQ(controls.currentIndex(ControlId::OutputDevice), -1);
  EXPECT_EQ(rig.audio.openedIndex(), 0);  // setting the list from code opens nothing
}

TEST_F(MainWindowTest, DeleteLogfileStartsAFreshLog) {
  MainWindow& window = rig.start();
  window.widgets().deleteLogfile->trigger();
  EXPECT_FALSE(std::filesystem::exists(rig.folder() / "Logfile.txt"));
  window.widgets().deleteLogfile->trigger();  // nothing to delete: no message either
  window.close();
  EXPECT_THAT(rig.logMessages(), ElementsAre("Program termination", ""));
  EXPECT_THAT(closer.seen(), IsEmpty());
}

TEST_F(MainWindowTest, MenuHoldsItsCommandsAndTheWindowFitsASmallScreen) {
  MainWindow& window = rig.start();
  QStringList menu;
  for (QAction* title : window.menuBar()->actions()) {
    menu << title->text();
    for (QAction* item : title->menu()->actions()) menu << "  " + item->text();
  }
  EXPECT_EQ(menu, QStringList({"&File", "  Delete Logfile", "  Exit", "&View", "  Logfile", "  Waterfall", "  Receive",
                               "&Extras", "  PTT Control", "&Help", "  About"}));
  // Resizable, down to what fits an 800x480 screen with a title bar; every control shows,
  // also with a larger font and a dark palette.
  EXPECT_NE(window.minimumSize(), window.maximumSize());
  const QFont usual = QApplication::font();
  const QPalette usualColours = QApplication::palette();
  window.controls().setText(ControlId::TimeRemaining, "(10h:59m:59s)");
  for (ControlId figure : {ControlId::AveragePower, ControlId::PeakPower, ControlId::MessagePower})
    window.controls().setText(figure, "100.0");
  for (bool large : {false, true}) {
    if (large) {
      QFont font = usual;
      font.setPointSizeF(usual.pointSizeF() * 1.4);
      QApplication::setFont(font);
      QPalette dark(QColor(45, 45, 45));
      QApplication::setPalette(dark);
    }
    window.resize(1, 1);
    QTest::qWait(20);
    if (!large) {
      EXPECT_LE(window.width(), 800);
      EXPECT_LE(window.height(), 450);
    }
    for (QWidget* control : window.findChildren<QWidget*>()) {
      if (!control->isVisibleTo(&window) || control->focusPolicy() == Qt::NoFocus) continue;
      const QRect place(control->mapTo(&window, QPoint(0, 0)), control->size());
      EXPECT_TRUE(window.rect().contains(place)) << control->accessibleName().toStdString();
      EXPECT_GE(control->width(), control->minimumSizeHint().width())
          << control->accessibleName().toStdString();
      if (!qobject_cast<QAbstractSpinBox*>(control->parentWidget())) {
        EXPECT_FALSE(control->toolTip().isEmpty())
            << "no tool tip: " << control->accessibleName().toStdString();
      }
      if (auto* field = qobject_cast<QLineEdit*>(control); field != nullptr && field->isReadOnly()) {
        EXPECT_LT(field->fontMetrics().horizontalAdvance(field->text()), field->width() - 6)
            << field->accessibleName().toStdString();
      }
    }
  }
  QApplication::setFont(usual);
  QApplication::setPalette(usualColours);
}

// ---- accessibility -----------------------------------------------------------------------

TEST_F(MainWindowTest, EveryControlCarriesItsLabelAsAccessibleName) {
  MainWindow& window = rig.start();
  const MainWindowWidgets& w = window.widgets();
  const std::pair<QWidget*, const char*> expected[] = {
      {w.outputDevice, "Output sound device"},
      {w.concurrent, "Concurrent multitone (C/MT)"},
      {w.sequential, "Sequential multitone (S/MT)"},
      {w.maxAvgPower, "Maximize average power"},
      {w.skipDark, "Skip dark pixels"},
      {w.centerFrequency, "Audio center frequency"},
      {w.pixelOffset, "Pixel row offset"},
      {w.duration, "Duration per pixel column"},
      {w.pilotTone, "Pilot tone"},
      {w.reverse, "Reverse"},
      {w.textToSend, "Text to send"},
      {w.textLength, "Text length"},
      {w.loop, "Loop"},
      {w.interval, "Interval"},
      {w.timeRemaining, "Time remaining"},
      {w.sentText, "Sent text"},
      {w.pixelCount, "Pixel count"},
      {w.averagePower, "Average power"},
      {w.peakPower, "Peak power"},
      {w.messagePower, "Message average power"},
      {w.tune, "Tune"},
      {w.singlePixel, "Single pixel"},
      {w.fullScale, "Full scale"},
      {w.transmit, "Transmit"},
      {w.stop, "Stop"},
  };
  for (const auto& [widget, name] : expected) {
    EXPECT_EQ(widget->accessibleName(), name);
    int sameName = 0;
    for (QWidget* other : window.findChildren<QWidget*>()) sameName += other->accessibleName() == name ? 1 : 0;
    EXPECT_EQ(sameName, 1) << name;
  }
}

TEST_F(MainWindowTest, EveryFieldLabelAndButtonHasAMnemonicOfItsOwn) {
  MainWindow& window = rig.start();
  std::map<QChar, QString> taken = {{'F', "File"}, {'V', "View"}, {'E', "Extras"}, {'H', "Help"}};
  const auto claim = [&](const QString& text) {
    const qsizetype at = text.indexOf('&');
    ASSERT_GE(at, 0) << "no mnemonic: " << text.toStdString();
    const QChar letter = text.at(at + 1).toUpper();
    EXPECT_FALSE(taken.count(letter)) << text.toStdString() << " and " << taken[letter].toStdString();
    taken[letter] = text;
  };
  for (QLabel* label : window.centralWidget()->findChildren<QLabel*>())
    if (label->buddy() != nullptr && label->buddy()->focusPolicy() & Qt::TabFocus) claim(label->text());
  for (QAbstractButton* button : window.centralWidget()->findChildren<QAbstractButton*>())
    if (!window.widgets().savedMessages->isAncestorOf(button)) claim(button->text());
}

TEST_F(MainWindowTest, TabOrderFollowsTheGroupsFromDeviceToStop) {
  MainWindow& window = rig.start();
  const MainWindowWidgets& w = window.widgets();
  w.stop->setEnabled(true);
  std::vector<QWidget*> order;
  QWidget* current = w.outputDevice;
  for (int i = 0; i < 20; ++i) {
    order.push_back(current);
    current = current->nextInFocusChain();
    while (current->focusPolicy() == Qt::NoFocus || current->focusPolicy() == Qt::ClickFocus ||
           !current->isVisibleTo(&window) || qobject_cast<QAbstractSpinBox*>(current->parentWidget()))
      current = current->nextInFocusChain();
  }
  EXPECT_THAT(order, ElementsAre(w.outputDevice, w.txLevel, w.concurrent, w.maxAvgPower, w.sequential,
                                 w.skipDark, w.centerFrequency, w.pixelOffset, w.duration, w.pilotTone,
                                 w.reverse, w.textToSend, w.loop, w.interval, w.myCall, w.tune, w.singlePixel,
                                 w.fullScale, w.transmit, w.stop));
}

}  // namespace
}  // namespace velmora
