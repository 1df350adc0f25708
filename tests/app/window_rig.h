#pragma once
// A main window on fakes, in a folder of its own, and a closer for modal message boxes.

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "support/fake_clock.h"
#include "support/fake_rig_control.h"
#include "support/memory_audio.h"
#include "support/recording_serial_port.h"

namespace velmora::testing {

struct SeenMessageBox {
  QString caption;
  QString text;
  QMessageBox::Icon icon;
  QWidget* parent;
};

// Presses OK on every message box that becomes the active modal widget, and records it.
// A box is left open while holdOpen() says so.
class MessageBoxCloser {
 public:
  MessageBoxCloser();
  std::vector<SeenMessageBox> seen() const { return seen_; }
  std::function<bool()> holdOpen;

 private:
  void closeActiveBox();
  QTimer timer_;
  std::vector<SeenMessageBox> seen_;
};

class WindowRig {
 public:
  WindowRig();
  ~WindowRig();

  std::filesystem::path folder() const { return folder_; }
  void writeFont();
  void writeSettings(const std::string& content);
  std::string readFile(const std::string& name) const;
  // Lines of Logfile.txt with their time stamps cut off.
  std::vector<std::string> logMessages() const;

  // Builds the window (in the states it has before its start-up).
  MainWindow& build();
  // Builds the window, shows it and runs its start-up.
  MainWindow& start();
  MainWindow& window() { return *window_; }

  FakeClock clock;
  MemoryAudio audio{&clock, {kDefaultOutputDevice, "Test Speaker", "Test Radio"}};
  RecordingSerialPortOpener serialPorts;
  SharedState shared;
  WorkerFunction transmitWorker;
  WorkerFunction tuneWorker;
  std::vector<std::string> fontFolders;
  std::vector<std::string> comPortEntries{"1 (/dev/ttyUSB0)", "2 (/dev/ttyUSB1)", "3 (/dev/ttyUSB2)"};
  std::shared_ptr<FakeRigControl> rigs = std::make_shared<FakeRigControl>();

 private:
  std::filesystem::path folder_;
  std::unique_ptr<MainWindow> window_;
};

// The widget below root whose accessible name is `name`, or null.
// Runs the event loop until done() or the limit; true when done() came true.
bool waitUntil(const std::function<bool()>& done, int limitMs = 3000);

// A user's click on a check box's or radio button's indicator (its centre can miss when
// a layout stretches the button).
void clickIndicator(QAbstractButton& button);

template <typename Widget>
Widget* findByName(QWidget& root, const QString& name) {
  for (Widget* widget : root.findChildren<Widget*>())
    if (widget->accessibleName() == name) return widget;
  return nullptr;
}

}  // namespace velmora::testing
