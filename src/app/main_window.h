#pragma once
// The main window: its start-up, commands and shutdown. Widgets are built in
// main_window_widgets.cpp, command logic lives in commands.cpp, and workers run one at
// a time through WorkerRunner.

#include <QMainWindow>
#include <optional>

#include "app/app_environment.h"
#include "app/main_window_widgets.h"
#include "app/ptt_tester.h"
#include "app/qt_controls.h"
#include "app/qt_message_box.h"
#include "app/receive_window.h"
#include "app/waterfall_window.h"
#include "app/worker_runner.h"
#include "log/event_log.h"
#include "ptt/ptt_keyer.h"
#include "settings/settings_file.h"
#include "transmit/glyph_font.h"

class QCloseEvent;

namespace velmora {

class MainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(AppEnvironment environment);
  // Ends a worker that is still running (a window destroyed without being closed).
  ~MainWindow() override;

  // Device list, settings, output device, font, "Program startup".
  void startUp();

  Controls& controls() { return controls_; }
  PttKeyer& ptt() { return ptt_; }
  EventLog& eventLog() { return log_; }
  const MainWindowWidgets& widgets() const { return widgets_; }
  WaterfallWindow& waterfallWindow() { return *waterfall_; }
  PttTester& pttTester() { return *pttTester_; }
  ReceiveWindow& receiveWindow() { return *receive_; }
  bool workerRunning() const { return workers_.busy(); }
  // True when closing gave up waiting for a worker: the process must end without
  // running destructors that the worker may still use.
  bool leftWorkerRunning() const { return leftWorkerRunning_; }

  // A termination signal: the window closes as its close box does, with every box that is
  // up (or comes up meanwhile) dismissed, and the process ends within kTerminationLimit.
  void terminate();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class WorkerKind { Transmit, Tune };
  enum class Shutdown { NotStarted, InProgress, Done };
  enum class StartUp { NotStarted, InProgress, Done };

  void connectCommands();
  void connectMenu();
  void connectKeys();
  void connectInputFeedback();
  void applyMainWindowSettings(const MainWindowSettings& settings);
  MainWindowSettings mainWindowSettings() const;
  void sendSavedMessage(int index);
  void onTransmitPressed();
  void onTunePressed();
  // After a range message: the field that failed, ready to be typed over.
  void focusField(ControlId id);
  void showStatus(const QString& text);
  bool workerCommandAllowed(WorkerKind kind);
  void requestWorker(WorkerKind kind);
  void startWorker(WorkerKind kind);
  void onWorkerEnded();
  void onStop();
  void onDeviceChosen();
  void openOutputDevice();
  void refreshSoundOutputSign();
  void loadGlyphs();
  void showPttDialog();
  void showAbout();
  void showWaterfall(bool shown);
  void shutDown();
  bool endRunningWorker();
  // Writes Velmora.ini; a failure goes to the log and stderr, so that it is seen.
  void saveSettingsTellingFailure();
  // main_window_ending.cpp: the ways out that bypass the normal close.
  void watchForAbruptExit();
  void stopWatchingForAbruptExit();
  static void unkeyAtExit();
  void endAbruptly();
  void endAfterTerminationLimit();

  AppEnvironment env_;
  MainWindowWidgets widgets_;
  QtControls controls_;
  QtMessageBox messages_;
  QtMessageBox unownedMessages_;
  PttKeyer ptt_;
  EventLog log_;
  GlyphTable glyphs_;
  WaterfallWindow* waterfall_;  // owned by this window, as its child
  PttTester* pttTester_;        // owned by this window, as its child
  ReceiveWindow* receive_;      // likewise
  // Where the window stood once started, and whether the file gave it a place: a place
  // is saved only once it is the user's.
  QRect startedGeometry_;
  bool geometryLoaded_ = false;
  std::optional<WorkerKind> pendingWorker_;
  bool pendingDeviceChange_ = false;
  Shutdown shutdown_ = Shutdown::NotStarted;
  StartUp startUp_ = StartUp::NotStarted;
  bool closeRequestedDuringStartUp_ = false;
  bool leftWorkerRunning_ = false;
  bool terminating_ = false;
  bool terminationLogged_ = false;
  // Last, so that it is destroyed first: its worker uses everything above.
  WorkerRunner workers_;
};

}  // namespace velmora
