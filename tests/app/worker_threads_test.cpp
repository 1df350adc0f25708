#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

#include "app/worker_runner.h"
#include "core/control_states.h"
#include "window_rig.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using testing::MessageBoxCloser;
using testing::waitUntil;
using testing::WindowRig;

void sleepBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

class WorkerThreads : public ::testing::Test {
 protected:
  WorkerThreads() {
    rig.writeFont();
    rig.writeSettings("[Velmora]\nDuration=1000\nText=CQ\n");
  }

  void clickTransmit() { QTest::mouseClick(rig.window().widgets().transmit, Qt::LeftButton); }
  void clickStop() { QTest::mouseClick(rig.window().widgets().stop, Qt::LeftButton); }

  MessageBoxCloser closer;
  WindowRig rig;
};

// A worker reaches the widgets while the GUI thread sits in a modal box of its own.
TEST_F(WorkerThreads, WorkerReadsAndWritesControlsWhileAModalBoxIsOpen) {
  std::atomic<bool> workerDone{false};
  std::string textSeen, frequencySeen;
  bool concurrentSeen = false;
  rig.transmitWorker = [&](WorkerContext& context) {
    Controls& controls = context.controls;
    textSeen = controls.text(ControlId::TextToSend);
    frequencySeen = controls.text(ControlId::CenterFrequency);
    concurrentSeen = controls.isChecked(ControlId::Concurrent);
    controls.setText(ControlId::SentText, "C");
    controls.setText(ControlId::TextToSend, "CQ DX");  // runs the window's change handling
    controls.setChecked(ControlId::Reverse, true);
    workerDone = true;
  };
  MainWindow& window = rig.start();
  closer.holdOpen = [&] { return !workerDone.load(); };

  QTimer::singleShot(0, &window, [&] {
    QMessageBox::information(&window, "Velmora", "modal");  // served until the worker is done
  });
  QTimer::singleShot(20, &window, [&] { clickTransmit(); });
  ASSERT_TRUE(waitUntil([&] { return workerDone.load() && !closer.seen().empty(); }));

  EXPECT_EQ(textSeen, "CQ");
  EXPECT_EQ(frequencySeen, "1000");
  EXPECT_TRUE(concurrentSeen);
  EXPECT_EQ(window.widgets().sentText->text(), "C");
  EXPECT_EQ(window.widgets().textLength->text(), "5");
  EXPECT_TRUE(window.widgets().reverse->isChecked());
  EXPECT_TRUE(waitUntil([&] { return !window.workerRunning(); }));
}

TEST_F(WorkerThreads, AWorkersMessageBoxBlocksItUntilDismissed) {
  std::atomic<bool> returned{false};
  rig.transmitWorker = [&](WorkerContext& context) {
    showVelmoraMessage(context.messages, "Error opening com port for PTT.");
    returned = true;
    setControlsIdle(context.controls, true);
  };
  MainWindow& window = rig.start();
  // The box stays open for a while; the closer runs inside the box's own event loop.
  QElapsedTimer openFor;
  bool returnedWhileOpen = false;
  closer.holdOpen = [&] {
    if (!openFor.isValid()) openFor.start();
    returnedWhileOpen = returnedWhileOpen || returned.load();
    return openFor.elapsed() < 50;
  };

  clickTransmit();
  ASSERT_TRUE(waitUntil([&] { return returned.load() && !window.workerRunning(); }));
  EXPECT_FALSE(returnedWhileOpen);
  EXPECT_GE(openFor.elapsed(), 50);

  const auto seen = closer.seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, "Velmora");
  EXPECT_EQ(seen[0].text, "Error opening com port for PTT.");
  EXPECT_EQ(seen[0].icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen[0].parent, &window);
}

// A worker that goes on after "Stop" until the test lets it end, as one that finishes
// its current sound does.
struct GatedWorkers {
  std::atomic<bool> release{false};
  std::atomic<int> running{0};
  std::atomic<int> mostAtOnce{0};
  std::atomic<int> started{0};
  std::vector<int> stopFlagAtStart;  // written by one worker at a time
  std::vector<int> openedIndexAtStart;

  WorkerFunction worker(testing::MemoryAudio& audio) {
    return [this, &audio](WorkerContext& context) {
      const int now = ++running;
      mostAtOnce = std::max(mostAtOnce.load(), now);
      stopFlagAtStart.push_back(context.shared.stopFlag.load());
      openedIndexAtStart.push_back(audio.openedIndex());
      ++started;
      while (!release.load()) sleepBriefly();
      release = false;  // the next worker waits again
      --running;
      setControlsIdle(context.controls, true);
    };
  }
};

TEST_F(WorkerThreads, TransmitPressedWhileTheOldWorkerFinishesStartsOnlyAfterItsEnd) {
  GatedWorkers gated;
  rig.transmitWorker = gated.worker(rig.audio);
  MainWindow& window = rig.start();

  clickTransmit();
  ASSERT_TRUE(waitUntil([&] { return gated.started.load() == 1; }));
  EXPECT_FALSE(window.widgets().transmit->isEnabled());
  clickStop();
  EXPECT_EQ(rig.shared.stopFlag.load(), 1);
  EXPECT_TRUE(window.widgets().transmit->isEnabled());

  clickTransmit();  // the old worker is still finishing
  QTest::qWait(50);
  EXPECT_EQ(gated.started.load(), 1);
  EXPECT_EQ(rig.shared.stopFlag.load(), 1);  // not cleared under the old worker's feet

  gated.release = true;
  ASSERT_TRUE(waitUntil([&] { return gated.started.load() == 2; }));
  EXPECT_FALSE(window.widgets().transmit->isEnabled());
  EXPECT_TRUE(window.widgets().stop->isEnabled());
  gated.release = true;
  ASSERT_TRUE(waitUntil([&] { return !window.workerRunning(); }));

  EXPECT_EQ(gated.mostAtOnce.load(), 1);
  EXPECT_THAT(gated.stopFlagAtStart, ElementsAre(0, 0));
}

TEST_F(WorkerThreads, DeviceChosenWhileAWorkerFinishesOpensAfterItsEnd) {
  GatedWorkers gated;
  rig.tuneWorker = gated.worker(rig.audio);
  MainWindow& window = rig.start();
  QTest::mouseClick(window.widgets().tune, Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return gated.started.load() == 1; }));
  clickStop();

  QComboBox& devices = *window.widgets().outputDevice;
  devices.setFocus();
  QTest::keyClick(&devices, Qt::Key_Down);
  QTest::qWait(30);
  EXPECT_EQ(rig.audio.openedIndex(), 0);
  EXPECT_TRUE(rig.audio.isOpen());

  gated.release = true;
  ASSERT_TRUE(waitUntil([&] { return !window.workerRunning(); }));
  EXPECT_EQ(rig.audio.openedIndex(), 1);
}

TEST_F(WorkerThreads, ClosingDuringAWorkerStopsItAndWaitsBeforeReleasingTheDevice) {
  std::atomic<bool> started{false};
  std::atomic<bool> deviceOpenAtEnd{false};
  rig.transmitWorker = [&](WorkerContext& context) {
    started = true;
    while (!context.shared.stopRequested()) sleepBriefly();
    context.controls.setText(ControlId::SentText, "");  // still served while closing
    deviceOpenAtEnd = context.audio.isOpen();
    context.log.appendLine("Transmission stopped.", false);
    setControlsIdle(context.controls, true);
  };
  PttSettings keyed;
  keyed.UsePTTControl = 1;
  keyed.CAT = 0;
  MainWindow& window = rig.start();
  window.ptt().setSettings(keyed);
  window.ptt().keyTransmitter();
  rig.serialPorts.clearEvents();

  clickTransmit();
  ASSERT_TRUE(waitUntil([&] { return started.load(); }));
  window.close();

  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.workerRunning());
  EXPECT_FALSE(window.leftWorkerRunning());
  EXPECT_TRUE(deviceOpenAtEnd.load());
  EXPECT_FALSE(rig.audio.isOpen());
  EXPECT_THAT(rig.logMessages(),
              ElementsAre("Program startup", "Transmission stopped.", "Program termination", ""));
  EXPECT_THAT(rig.serialPorts.events(), ::testing::Contains("close"));
  EXPECT_FALSE(window.ptt().portOpen());
}

TEST(WorkerRunnerTest, RefusesASecondWorkerAndWaitsWithinItsLimit) {
  WorkerRunner runner;
  std::atomic<bool> release{false};
  std::atomic<int> runs{0};
  const auto job = [&] {
    ++runs;
    while (!release.load()) sleepBriefly();
  };
  ASSERT_TRUE(runner.start(job));
  EXPECT_TRUE(runner.busy());
  EXPECT_FALSE(runner.start(job));

  EXPECT_FALSE(runner.waitForEnd(std::chrono::milliseconds(30)));
  EXPECT_TRUE(runner.busy());
  release = true;
  EXPECT_TRUE(runner.waitForEnd(std::chrono::milliseconds(3000)));
  EXPECT_FALSE(runner.busy());
  EXPECT_EQ(runs.load(), 1);
  EXPECT_TRUE(runner.start([] {}));
  EXPECT_TRUE(runner.waitForEnd(std::chrono::milliseconds(3000)));
}

TEST(WorkerRunnerTest, SignalsEachEndOnceAfterJoining) {
  WorkerRunner runner;
  int ends = 0;
  QObject::connect(&runner, &WorkerRunner::workerEnded, [&] {
    EXPECT_FALSE(runner.busy());
    ++ends;
  });
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(runner.start([] {}));
    ASSERT_TRUE(waitUntil([&] { return ends == i + 1; }));
  }
  QTest::qWait(20);
  EXPECT_EQ(ends, 3);
}

}  // namespace
}  // namespace velmora
