// Renders the main window, as a user sees it after start-up, into a PNG file.
// Usage: velmora_screenshot OUTPUT.png
#include <QApplication>
#include <QPixmap>
#include <QTest>
#include <cstdio>

#include "window_rig.h"

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  velmora::testing::WindowRig rig;
  rig.writeFont();
  rig.writeSettings(
      "[Velmora]\nOutputDevice=Default output device\nFrequency=1500\nOffset=2\nDuration=1000\n"
      "Text=CQ DE VELMORA\nPilotTone=1\nInterval=600\n");
  velmora::MainWindow& window = rig.start();
  window.controls().setText(velmora::ControlId::SentText, "CQ DE");
  window.controls().setText(velmora::ControlId::PixelCount, "4");
  window.controls().setText(velmora::ControlId::AveragePower, "8.2");
  window.controls().setText(velmora::ControlId::PeakPower, "57.1");
  window.controls().setText(velmora::ControlId::MessagePower, "7.9");
  QTest::qWait(50);
  const bool saved = window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG");
  window.close();
  if (!saved) std::fprintf(stderr, "could not write %s\n", argv[1]);
  return saved ? 0 : 1;
}
