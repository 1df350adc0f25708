// The ways out of the window that bypass its normal close: a termination signal while boxes
// wait for an answer, and the end of the process from outside the event loop (Qt ends it
// with exit(1) when the X connection breaks). The transmitter is unkeyed and the end logged
// on each.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "app/main_window.h"
#include "settings/settings_file.h"

namespace velmora {

namespace {

// Within this, a termination signal has ended the process: the shutdown's own wait for a
// worker is as long, so it is cut short if need be.
constexpr int kTerminationLimitMs = 4500;
constexpr int kBoxDismissPeriodMs = 50;
// Left to boxes to unwind before the close begins, so that the close does not run inside
// a box's own event loop.
constexpr int kCloseDelayMs = 100;

std::atomic<MainWindow*> gWindowAtExit{nullptr};

// Rejects every modal box and dialog, innermost first.
void dismissModalWidgets() {
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
    if (QApplication::activeModalWidget() == modal) return;
  }
}

}  // namespace

void MainWindow::watchForAbruptExit() {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(unkeyAtExit); });
  gWindowAtExit = this;
}

void MainWindow::stopWatchingForAbruptExit() {
  MainWindow* self = this;
  gWindowAtExit.compare_exchange_strong(self, nullptr);
}

void MainWindow::unkeyAtExit() {
  MainWindow* window = gWindowAtExit.exchange(nullptr);
  if (window == nullptr) return;
  window->endAbruptly();
  // The worker may still run: the destructors of statics, which exit() would run next, could
  // free what it uses. Qt ends with 1 when its display is gone.
  std::_Exit(1);
}

void MainWindow::endAbruptly() {
  // No box and no wait on the GUI thread: the display may be gone, and this may run on a
  // thread that Qt ends the process from. The stop flag first, so that a worker about to
  // key keys nothing.
  env_.shared.stopFlag = 1;
  (void)ptt_.unkeyWithoutBox();
  if (!terminationLogged_) {
    terminationLogged_ = true;
    log_.appendLine("Program termination", true);
    log_.appendLine("", true);
  }
}

void MainWindow::terminate() {
  if (!terminating_) {
    terminating_ = true;
    // Nobody is there to answer a box, now or later in the shutdown.
    auto* dismisser = new QTimer(this);
    connect(dismisser, &QTimer::timeout, this, [] { dismissModalWidgets(); });
    dismisser->start(kBoxDismissPeriodMs);
    QTimer::singleShot(kTerminationLimitMs, this, &MainWindow::endAfterTerminationLimit);
  }
  dismissModalWidgets();
  // A close that finds the shutdown already running (a box raised inside it) is ignored:
  // that shutdown goes on once its box is gone.
  QTimer::singleShot(kCloseDelayMs, this, &QWidget::close);
}

void MainWindow::endAfterTerminationLimit() {
  stopWatchingForAbruptExit();
  endAbruptly();
  if (shutdown_ != Shutdown::Done) {
    saveSettingsTellingFailure();
  }
  // A worker or a wait that would not end may still use what destructors would free.
  std::_Exit(0);
}

}  // namespace velmora
