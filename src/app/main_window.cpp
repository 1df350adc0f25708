#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/about_dialog.h"
#include "app/commands.h"
#include "app/ptt_dialog.h"
#include "app/saved_messages_box.h"
#include "core/control_states.h"
#include "log/log_viewer.h"
#include "settings/settings_file.h"
#include "transmit/tune_worker.h"

namespace velmora {

MainWindow::MainWindow(AppEnvironment environment)
    : env_(std::move(environment)),
      widgets_(buildMainWindowWidgets(*this)),
      controls_(*this),
      messages_(*this, this),
      unownedMessages_(*this, nullptr),
      ptt_(env_.serialPorts, messages_, env_.clock, env_.shared.stopFlag, {},
           [this](const std::string& line) { log_.appendLine(line, false); }),
      log_(env_.shared.startupDirectory),
      waterfall_(new WaterfallWindow(controls_, glyphs_, env_.shared.onAir, env_.clock, this)),
      pttTester_(new PttTester(
          env_.serialPorts, messages_, env_.clock, env_.rigs,
          [this](const std::string& line) { log_.appendLine(line, false); }, {}, this)),
      receive_(new ReceiveWindow(controls_, glyphs_, pulseSoundInputs(), this)) {
  setWindowTitle(kProgramName);
  ptt_.useRigs(env_.rigs);
  if (env_.pttGuard) {
    ptt_.useGuard(
        std::make_shared<PttGuardClient>(guardProgramCandidates(), env_.shared.startupDirectory,
                                         [this](const std::string& line) { log_.appendLine(line, false); }));
  }
  watchForAbruptExit();
  // Closing this window ends the program, whether or not the waterfall window is open.
  waterfall_->setAttribute(Qt::WA_QuitOnClose, false);
  receive_->setAttribute(Qt::WA_QuitOnClose, false);
  for (const auto& [id, widget] : widgets_.byId()) controls_.addWidget(id, *widget);
  controls_.addRadioGroup(*widgets_.modeGroup);
  controls_.addRadioGroup(*widgets_.levelGroup);
  connectCommands();
  connectMenu();
  connectKeys();
  connectInputFeedback();
  statusBar()->setAccessibleName("Status line");
  pttTester_->blocked = [this] { return workers_.busy(); };
}

MainWindow::~MainWindow() {
  stopWatchingForAbruptExit();
  if (shutdown_ == Shutdown::NotStarted) endRunningWorker();
  delete pttTester_;  // before the members its keying uses; it unkeys and ends its test
  env_.shared.onAir.setListener(nullptr);
}

void MainWindow::connectCommands() {
  const auto onEdit = [this](ControlId id) {
    if (id == ControlId::TextToSend) handleTextEdit(controls_, env_.shared);
    if (id == ControlId::Duration) handleDurationEdit(controls_, env_.shared);
  };
  controls_.onProgrammaticEdit(onEdit);
  connect(widgets_.textToSend, &QLineEdit::textChanged, this, [onEdit] { onEdit(ControlId::TextToSend); });
  connect(widgets_.duration, &QLineEdit::textChanged, this, [onEdit] { onEdit(ControlId::Duration); });

  connect(widgets_.concurrent, &QRadioButton::clicked, this, [this] { selectConcurrentMode(controls_); });
  connect(widgets_.sequential, &QRadioButton::clicked, this, [this] { selectSequentialMode(controls_); });
  connect(widgets_.outputDevice, &QComboBox::activated, this, &MainWindow::onDeviceChosen);

  connect(widgets_.transmit, &QPushButton::clicked, this, &MainWindow::onTransmitPressed);
  connect(widgets_.tune, &QPushButton::clicked, this, &MainWindow::onTunePressed);
  connect(widgets_.txLevel, &QSpinBox::valueChanged, this,
          [this](int decibels) { env_.audio.setOutputLevel(decibels); });
  connect(widgets_.savedMessages, &SavedMessagesBox::sendRequested, this, &MainWindow::sendSavedMessage);
  connect(widgets_.stop, &QPushButton::clicked, this, &MainWindow::onStop);
  connect(&workers_, &WorkerRunner::workerEnded, this, &MainWindow::onWorkerEnded);

  waterfall_->followEdits(widgets_);
  // Called on the worker's thread: post, never wait.
  env_.shared.onAir.setListener([waterfall = waterfall_] {
    QMetaObject::invokeMethod(
        waterfall, [waterfall] { waterfall->onAirChanged(); }, Qt::QueuedConnection);
  });
}

void MainWindow::connectMenu() {
  connect(widgets_.deleteLogfile, &QAction::triggered, this, [this] { deleteLogfile(log_.path()); });
  connect(widgets_.exit, &QAction::triggered, this, &QWidget::close);
  connect(widgets_.viewLogfile, &QAction::triggered, this, [this] { viewLogfile(log_.path(), unownedMessages_); });
  connect(widgets_.waterfall, &QAction::toggled, this, &MainWindow::showWaterfall);
  connect(waterfall_, &WaterfallWindow::shownChanged, widgets_.waterfall, &QAction::setChecked);
  connect(widgets_.receive, &QAction::toggled, receive_, &QWidget::setVisible);
  connect(receive_, &ReceiveWindow::shownChanged, widgets_.receive, &QAction::setChecked);
  connect(widgets_.pttControl, &QAction::triggered, this, &MainWindow::showPttDialog);
  connect(widgets_.about, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::connectKeys() {
  // Window-wide, so that they work from whichever field has the focus. A button that is
  // disabled ignores its click.
  auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(stop, &QShortcut::activated, widgets_.stop, &QPushButton::click);
  for (const QKeySequence& keys :
       {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
    auto* send = new QShortcut(keys, this);
    connect(send, &QShortcut::activated, widgets_.transmit, &QPushButton::click);
  }
  for (int index = 0; index < static_cast<int>(kMaxSavedMessages); ++index) {
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1 + index), this);
    connect(key, &QShortcut::activated, this, [this, index] { sendSavedMessage(index); });
  }
}

void MainWindow::connectInputFeedback() {
  // A character a number field cannot hold is refused where it is typed, and said so:
  // "1,5" must not quietly become 15.
  for (QLineEdit* field : widgets_.numberFields()) {
    connect(field, &QLineEdit::inputRejected, this, [this, field] {
      showStatus(QString("\"%1\" takes whole numbers only: the digits 0 to 9").arg(field->accessibleName()));
      QApplication::beep();
      // The field itself flashes, where the eye is.
      field->setStyleSheet("QLineEdit { border: 2px solid #d00000; }");
      QTimer::singleShot(1500, field, [field] { field->setStyleSheet({}); });
    });
  }
}

void MainWindow::showStatus(const QString& text) { statusBar()->showMessage(text, 8000); }

void MainWindow::startUp() {
  startUp_ = StartUp::InProgress;
  raise();
  controls_.setListItems(ControlId::OutputDevice, env_.audio.listDevices());
  PttSettings loaded;
  WaterfallWindowSettings waterfall;
  MainWindowSettings mainWindow;
  const std::string path = settingsPath(env_.shared.startupDirectory);
  // A first start gets settings that read well, so that its first "Transmit" goes out.
  writeStarterSettings(path);
  loadSettings(path, controls_, env_.shared, loaded, waterfall, &mainWindow);
  applyMainWindowSettings(mainWindow);
  ptt_.setSettings(loaded);
  openOutputDevice();
  loadGlyphs();
  log_.appendLine("Program startup", true);
  waterfall_->applySettings(waterfall);
  if (waterfall.open) showWaterfall(true);
  startedGeometry_ = geometry();
  startUp_ = StartUp::Done;
  // A close that came while the font message was up runs once the event loop does: run
  // now, it would end no loop and leave the process without a window.
  if (closeRequestedDuringStartUp_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::applyMainWindowSettings(const MainWindowSettings& settings) {
  widgets_.txLevel->setValue(settings.txLevelDb);
  env_.audio.setOutputLevel(widgets_.txLevel->value());
  widgets_.myCall->setText(QString::fromStdString(settings.myCall));
  widgets_.savedMessages->setMessages(settings.messages);
  geometryLoaded_ = settings.geometry.has_value();
  if (!settings.geometry) return;
  const QRect place(settings.geometry->x, settings.geometry->y, settings.geometry->width,
                    settings.geometry->height);
  // A place on a screen that is no longer there is forgotten; the size is kept.
  if (QGuiApplication::screenAt(place.center()) != nullptr) {
    setGeometry(place);
  } else {
    resize(place.size());
  }
}

MainWindowSettings MainWindow::mainWindowSettings() const {
  MainWindowSettings settings;
  settings.txLevelDb = widgets_.txLevel->value();
  settings.myCall = widgets_.myCall->text().toStdString();
  settings.messages = widgets_.savedMessages->messages();
  const QRect place = geometry();
  if (geometryLoaded_ || place != startedGeometry_)
    settings.geometry = WindowGeometry{place.x(), place.y(), place.width(), place.height()};
  return settings;
}

void MainWindow::onTransmitPressed() {
  if (const std::optional<ControlId> failed = transmitRangeFailure(controls_, messages_)) {
    focusField(*failed);
    return;
  }
  if (widgets_.textToSend->text().isEmpty()) {
    showStatus("Nothing to send: type a text into \"Text to send\", or send a saved message (F1 to F12)");
    widgets_.textToSend->setFocus();
    return;
  }
  requestWorker(WorkerKind::Transmit);
}

void MainWindow::onTunePressed() {
  if (!tuneCommandAllowed(controls_, messages_)) {
    focusField(kCenterFrequencyRange.id);
    return;
  }
  requestWorker(WorkerKind::Tune);
}

void MainWindow::focusField(ControlId id) {
  QWidget* field = widgets_.byId().at(id);
  field->setFocus(Qt::OtherFocusReason);
  controls_.selectAllText(id);
}

void MainWindow::sendSavedMessage(int index) {
  const std::vector<std::string> messages = widgets_.savedMessages->messages();
  if (index < 0 || static_cast<std::size_t>(index) >= messages.size()) return;
  // Only when "Transmit" could be pressed: never over a running transmission.
  if (!widgets_.transmit->isEnabled() || shutdown_ != Shutdown::NotStarted) {
    showStatus("Wait until the transmission has ended, or press Stop (Esc)");
    return;
  }
  const std::string& message = messages[static_cast<std::size_t>(index)];
  const std::string call = widgets_.myCall->text().trimmed().toStdString();
  if (call.empty() && withStationCall(message, "") != message) {
    showStatus("The message has {CALL} in it: type your call into \"My call\" first");
    widgets_.myCall->setFocus();
    return;
  }
  controls_.setText(ControlId::TextToSend, withStationCall(message, call));
  widgets_.transmit->click();
}

void MainWindow::loadGlyphs() {
  const std::string path = findFontFile(env_.shared.startupDirectory, env_.fontFolders);
  if (path.empty() || !loadGlyphFont(path, glyphs_)) showVelmoraMessage(messages_, fontMissingMessage());
}

void MainWindow::openOutputDevice() {
  env_.audio.openDevice(controls_.currentIndex(ControlId::OutputDevice));
  refreshSoundOutputSign();
}

void MainWindow::refreshSoundOutputSign() { widgets_.noSoundOutput->setVisible(!env_.audio.isOpen()); }

void MainWindow::onDeviceChosen() {
  // A worker that is still finishing its sound must not see its device released.
  if (workers_.busy()) {
    pendingDeviceChange_ = true;
    return;
  }
  openOutputDevice();
}

bool MainWindow::workerCommandAllowed(WorkerKind kind) {
  return kind == WorkerKind::Transmit ? transmitFieldsInRange(controls_, messages_)
                                      : tuneCommandAllowed(controls_, messages_);
}

void MainWindow::requestWorker(WorkerKind kind) {
  if (shutdown_ != Shutdown::NotStarted) return;
  // After "Stop" the old worker may still be finishing its sound: the new one waits for
  // its end, so that two workers never share the sound device.
  if (workers_.busy()) {
    pendingWorker_ = kind;
    return;
  }
  startWorker(kind);
}

void MainWindow::startWorker(WorkerKind kind) {
  enterBusyState(controls_, env_.shared);
  WorkerFunction work = kind == WorkerKind::Transmit ? env_.transmitWorker : env_.tuneWorker;
  WorkerContext context{controls_, messages_, env_.shared, env_.audio, ptt_, log_, env_.clock, glyphs_};
  workers_.start([work = std::move(work), context]() mutable { work(context); });
}

void MainWindow::onWorkerEnded() {
  env_.shared.onAir.reportNothing();  // whatever the worker reported last, nothing is on the air now
  refreshSoundOutputSign();
  if (shutdown_ != Shutdown::NotStarted) return;
  if (pendingDeviceChange_) {
    pendingDeviceChange_ = false;
    openOutputDevice();
  }
  if (pendingWorker_) {
    const WorkerKind kind = *pendingWorker_;
    pendingWorker_.reset();
    // The fields may have been edited while the old worker finished.
    if (workerCommandAllowed(kind)) startWorker(kind);
  }
}

void MainWindow::onStop() {
  pendingWorker_.reset();
  handleStop(controls_, env_.shared, ptt_);
}

void MainWindow::showPttDialog() {
  const std::vector<std::string> entries = env_.comPortEntries ? env_.comPortEntries() : std::vector<std::string>{};
  const std::vector<RigModel> models = env_.rigs ? env_.rigs->models() : std::vector<RigModel>{};
  const std::vector<std::string> rigPorts = env_.rigPorts ? env_.rigPorts() : std::vector<std::string>{};
  PttDialog dialog(ptt_.settings(), entries, this, models, rigPorts, pttTester_);
  if (dialog.exec() == QDialog::Accepted) ptt_.setSettings(dialog.editedSettings());
}

void MainWindow::showAbout() {
  AboutDialog about(this);
  about.exec();
}

void MainWindow::showWaterfall(bool shown) {
  if (!shown) {
    waterfall_->hide();
    return;
  }
  // Beside this window (as far as the screen allows), unless it has a place of its own;
  // wholly on the screen, shrunk to it if need be.
  if (!waterfall_->placed()) {
    const QRect room = screen()->availableGeometry();
    const QSize frame = waterfall_->frameGeometry().size() - waterfall_->size();
    waterfall_->resize(waterfall_->size().boundedTo(room.size() - frame));
    QPoint place = frameGeometry().topRight() + QPoint(12, 0);
    const int rightmost = std::max(room.left(), room.right() + 1 - waterfall_->frameGeometry().width());
    const int lowest = std::max(room.top(), room.bottom() + 1 - waterfall_->frameGeometry().height());
    place.setX(std::clamp(place.x(), room.left(), rightmost));
    place.setY(std::clamp(place.y(), room.top(), lowest));
    waterfall_->move(place);
  }
  waterfall_->show();
  waterfall_->raise();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A second close while the first one waits for the worker would end the event loop
  // under that wait.
  if (shutdown_ == Shutdown::InProgress) {
    event->ignore();
    return;
  }
  if (startUp_ == StartUp::InProgress) {
    closeRequestedDuringStartUp_ = true;
    event->ignore();
    return;
  }
  shutDown();
  waterfall_->hide();  // after the save, which remembers it open
  event->accept();
}

void MainWindow::shutDown() {
  if (shutdown_ != Shutdown::NotStarted) return;
  shutdown_ = Shutdown::InProgress;
  const bool noWorkerLeft = endRunningWorker();
  pttTester_->stop();
  ptt_.unkeyTransmitter();
  // Saved before the termination lines, so that a failure is logged within this run.
  saveSettingsTellingFailure();
  log_.appendLine("Program termination", true);
  log_.appendLine("", true);
  terminationLogged_ = true;
  if (noWorkerLeft) {
    env_.audio.closeDevice();
  } else {
    leftWorkerRunning_ = true;  // it may be inside the device: leave it to the process's end
  }
  shutdown_ = Shutdown::Done;
  stopWatchingForAbruptExit();
}

void MainWindow::saveSettingsTellingFailure() {
  const std::string settingsFile = settingsPath(env_.shared.startupDirectory);
  std::error_code saveError;
  const MainWindowSettings mainWindow = mainWindowSettings();
  if (saveSettings(settingsFile, controls_, ptt_.settings(), waterfall_->settings(), &mainWindow, &saveError)) {
    return;
  }
  const std::string message = saveFailureMessage(settingsFile, saveError);
  log_.appendLine(message, false);
  std::fprintf(stderr, "%s\n", message.c_str());
}

bool MainWindow::endRunningWorker() {
  pendingWorker_.reset();
  pendingDeviceChange_ = false;
  if (!workers_.busy()) return true;
  // As "Stop" does: the worker is asked to end and the transmitter drops at once.
  env_.shared.stopFlag = 1;
  ptt_.unkeyTransmitter();
  return workers_.waitForEnd(env_.shutdownWaitLimit);
}

}  // namespace velmora
