// What a newcomer does first: a fresh folder, a text, Transmit; the keys; the feedback
// when a field is wrong; the saved messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/commands.h"
#include "app/saved_messages_box.h"
#include "core/control_states.h"
#include "transmit/transmit_worker.h"
#include "window_rig.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::waitUntil;

class FirstMinutes : public ::testing::Test {
 protected:
  FirstMinutes() {
    rig.writeFont();
    // A stand-in that reports what it would send, then ends as a worker does.
    rig.transmitWorker = [this](WorkerContext& context) {
      sent.push_back(context.controls.text(ControlId::TextToSend));
      setControlsIdle(context.controls, true);
    };
  }

  MainWindow& startActive() {
    MainWindow& window = rig.start();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    return window;
  }
  bool idle() {
    return waitUntil([&] { return !rig.window().workerRunning(); });
  }
  QString status() { return rig.window().statusBar()->currentMessage(); }

  testing::MessageBoxCloser closer;
  testing::WindowRig rig;
  std::vector<std::string> sent;  // read only once the worker has been joined
};

TEST_F(FirstMinutes, AFirstStartInAnEmptyFolderTransmitsAtOnce) {
  rig.transmitWorker = transmitWorker;  // the real one, on the in-memory sound device
  MainWindow& window = rig.start();
  QTest::keyClicks(window.widgets().textToSend, "E");
  QTest::mouseClick(window.widgets().transmit, Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return !window.workerRunning(); }, 10000));
  EXPECT_THAT(closer.seen(), IsEmpty());
  EXPECT_EQ(rig.audio.sounds().size(), 5u);  // the five columns of one glyph
}

TEST_F(FirstMinutes, ARangeErrorHandsTheFocusToItsFieldWithTheTextSelected) {
  MainWindow& window = startActive();
  const MainWindowWidgets& w = window.widgets();
  w.pixelOffset->setText("11");
  w.duration->setText("10");  // out of range too, but checked later
  w.textToSend->setFocus();
  QTest::mouseClick(w.transmit, Qt::LeftButton);
  ASSERT_EQ(closer.seen().size(), 1u);
  EXPECT_EQ(closer.seen()[0].text, "Pixel offset out of valid range (1..10)");
  // The window's focus, which it has again once the box is gone (offscreen, the
  // activation itself does not come back).
  EXPECT_EQ(window.focusWidget(), w.pixelOffset);
  EXPECT_EQ(w.pixelOffset->selectedText(), "11");
  EXPECT_TRUE(sent.empty());
}

TEST_F(FirstMinutes, ARefusedCharacterAndAnEmptyTextAreSaidInTheStatusLine) {
  MainWindow& window = startActive();
  const MainWindowWidgets& w = window.widgets();
  w.duration->clear();
  QTest::keyClicks(w.duration, "3,");
  EXPECT_EQ(w.duration->text(), "3");
  EXPECT_THAT(status().toStdString(), HasSubstr("\"Duration per pixel column\" takes whole numbers only"));
  EXPECT_FALSE(w.duration->styleSheet().isEmpty()) << "the field shows the refusal too";

  w.duration->setText("300");
  QTest::mouseClick(w.transmit, Qt::LeftButton);
  EXPECT_THAT(status().toStdString(), HasSubstr("Nothing to send"));
  EXPECT_TRUE(idle());
  EXPECT_TRUE(sent.empty());
  EXPECT_THAT(closer.seen(), IsEmpty());
}

TEST_F(FirstMinutes, CtrlReturnSendsAndEscStopsATransmissionOrTune) {
  std::atomic<int> stopped{0};
  rig.transmitWorker = [&](WorkerContext& context) {
    while (context.shared.stopFlag.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++stopped;
    setControlsIdle(context.controls, true);
  };
  rig.tuneWorker = rig.transmitWorker;
  MainWindow& window = startActive();
  const MainWindowWidgets& w = window.widgets();
  w.textToSend->setText("CQ");
  QTest::keyClick(w.textToSend, Qt::Key_Return, Qt::ControlModifier);
  ASSERT_TRUE(waitUntil([&] { return window.workerRunning(); }));
  QTest::keyClick(w.textToSend, Qt::Key_Escape);
  ASSERT_TRUE(waitUntil([&] { return stopped == 1 && !window.workerRunning(); }));

  QTest::mouseClick(w.tune, Qt::LeftButton);
  ASSERT_TRUE(window.workerRunning());
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_TRUE(waitUntil([&] { return stopped == 2 && !window.workerRunning(); }));
  EXPECT_TRUE(window.isVisible());
}

TEST_F(FirstMinutes, SavedMessagesGoOutByTheirFKeysWithTheCallAndAreKeptAfterTheOtherKeys) {
  MainWindow& window = startActive();
  const MainWindowWidgets& w = window.widgets();
  w.savedMessages->setMessages({"CQ DE {CALL} {CALL} K", "73"});
  EXPECT_EQ(w.savedMessages->list()->item(1)->text(), "F2  73");
  QTest::keyClick(&window, Qt::Key_F1);  // no call to put in yet: nothing goes out
  EXPECT_THAT(status().toStdString(), HasSubstr("\"My call\""));
  w.myCall->setText("N0CALL");
  for (Qt::Key key : {Qt::Key_F2, Qt::Key_F1, Qt::Key_F3}) {
    QTest::keyClick(&window, key);
    ASSERT_TRUE(idle());
  }
  EXPECT_THAT(sent, ElementsAre("73", "CQ DE N0CALL N0CALL K"));
  EXPECT_EQ(w.textToSend->text(), "CQ DE N0CALL N0CALL K");

  w.txLevel->setValue(-6);
  EXPECT_EQ(rig.audio.outputLevel(), -6);
  window.close();
  const std::string file = rig.readFile("Velmora.ini");
  EXPECT_THAT(file, HasSubstr("TXDelay=0\nTXLevel=-6\nMyCall=N0CALL\nMessage1=CQ DE {CALL} {CALL} K\n"
                              "Message2=73\nMessage3=\n"));

  MainWindow& again = rig.start();
  EXPECT_EQ(again.widgets().savedMessages->messages(),
            (std::vector<std::string>{"CQ DE {CALL} {CALL} K", "73"}));
  EXPECT_EQ(again.widgets().myCall->text(), "N0CALL");
  EXPECT_EQ(again.widgets().txLevel->value(), -6);
  EXPECT_EQ(rig.audio.outputLevel(), -6);
}

TEST(StationCall, ReplacesEveryPlaceholderAndNothingElse) {
  EXPECT_EQ(withStationCall("CQ {CALL} {CALL}", "DL1ABC"), "CQ DL1ABC DL1ABC");
  EXPECT_EQ(withStationCall("{call} {CALL", "DL1ABC"), "{call} {CALL");
  EXPECT_EQ(withStationCall("{CALL}", ""), "");
}

}  // namespace
}  // namespace velmora
