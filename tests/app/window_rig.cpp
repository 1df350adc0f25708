#include "window_rig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <gtest/gtest.h>
#include <fstream>
#include <random>
#include <sstream>

#include "core/control_states.h"
#include "transmit/glyph_font.h"

namespace velmora::testing {

MessageBoxCloser::MessageBoxCloser() {
  timer_.setInterval(10);
  QObject::connect(&timer_, &QTimer::timeout, [this] { closeActiveBox(); });
  timer_.start();
}

void MessageBoxCloser::closeActiveBox() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (box == nullptr || (holdOpen && holdOpen())) return;
  seen_.push_back({box->windowTitle(), box->text(), box->icon(), box->parentWidget()});
  box->button(QMessageBox::Ok)->click();
}

WindowRig::WindowRig() {
  std::random_device random;
  folder_ = std::filesystem::temp_directory_path() / ("velmora-app-test-" + std::to_string(random()));
  std::filesystem::create_directories(folder_);
  shared.startupDirectory = folder_.string();
  // Stand-ins that behave like a worker at its end: the window goes idle.
  transmitWorker = [](WorkerContext& context) { setControlsIdle(context.controls, true); };
  tuneWorker = transmitWorker;
}

WindowRig::~WindowRig() {
  window_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void WindowRig::writeFont() {
  std::ofstream font(folder_ / kFontFileName, std::ios::binary);
  for (int record = 0; record < 1275; ++record) font << "0x7F\r\n";
}

void WindowRig::writeSettings(const std::string& content) {
  std::ofstream(folder_ / "Velmora.ini", std::ios::binary) << content;
}

std::string WindowRig::readFile(const std::string& name) const {
  std::ifstream file(folder_ / name, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

std::vector<std::string> WindowRig::logMessages() const {
  std::vector<std::string> messages;
  std::istringstream lines(readFile("Logfile.txt"));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto stampEnd = line.find("z ");
    messages.push_back(stampEnd == std::string::npos ? line : line.substr(stampEnd + 2));
  }
  return messages;
}

MainWindow& WindowRig::build() {
  AppEnvironment environment{
      .audio = audio,
      .serialPorts = serialPorts,
      .clock = clock,
      .shared = shared,
      .fontFolders = fontFolders,
      .transmitWorker = transmitWorker,
      .tuneWorker = tuneWorker,
      .comPortEntries = [entries = comPortEntries] { return entries; },
      .rigs = rigs,
      .rigPorts = [] { return std::vector<std::string>{"/dev/ttyUSB1"}; },
      .shutdownWaitLimit = std::chrono::milliseconds(3000),
  };
  window_ = std::make_unique<MainWindow>(std::move(environment));
  return *window_;
}

MainWindow& WindowRig::start() {
  build();
  window_->show();
  window_->startUp();
  if (!QTest::qWaitForWindowExposed(window_.get())) ADD_FAILURE() << "the window was never exposed";
  return *window_;
}

bool waitUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limitMs) return false;
    QTest::qWait(5);
  }
  return true;
}

void clickIndicator(QAbstractButton& button) {
  QStyleOptionButton option;
  option.initFrom(&button);
  const bool radio = qobject_cast<QRadioButton*>(&button) != nullptr;
  const QRect indicator = button.style()->subElementRect(
      radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, &button);
  QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, indicator.center());
}

}  // namespace velmora::testing
