// Renders the main window, as a user sees it after start-up, into a PNG file; with a
// second file, also the waterfall window beside it, in the middle of the transmission;
// with a third, the PTT Control dialog after a "Test PTT".
// Usage: velmora_screenshot MAIN.png [WATERFALL.png [PTT.png]]
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPixmap>
#include <QTest>
#include <cstdio>

#include "app/ptt_dialog.h"
#include "app/waterfall_view.h"
#include "window_rig.h"

namespace {

bool save(QWidget& widget, const char* path) {
  const bool saved = widget.grab().save(QString::fromLocal8Bit(path), "PNG");
  if (!saved) std::fprintf(stderr, "could not write %s\n", path);
  return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: %s MAIN.png [WATERFALL.png [PTT.png]]\n", argv[0]);
    return 2;
  }
  velmora::testing::WindowRig rig;
  rig.fontFolders = {VELMORA_DATA_DIR};  // the real glyphs, for the waterfall
  rig.writeSettings(
      "[Velmora]\nOutputDevice=Default output device\nFrequency=1500\nOffset=2\nDuration=300\n"
      "Text=CQ DE VELMORA\nPilotTone=1\nInterval=600\nUsePTTControl=1\nHamlib=1\nHamlibModel=2\n"
      "TXLevel=-6\nMyCall=DL1ABC\nMessage1=CQ CQ DE {CALL} {CALL} K\nMessage2={CALL} TEST\nMessage3=TNX 73 "
      "DE {CALL}\n" +
      std::string(argc >= 3 ? "Waterfall=1\nWaterfallGeometry=0,0,560,640\n" : ""));
  velmora::MainWindow& window = rig.start();
  window.controls().setText(velmora::ControlId::SentText, "CQ DE");
  window.controls().setText(velmora::ControlId::PixelCount, "4");
  window.controls().setText(velmora::ControlId::AveragePower, "8.2");
  window.controls().setText(velmora::ControlId::PeakPower, "57.1");
  window.controls().setText(velmora::ControlId::MessagePower, "7.9");
  QTest::qWait(50);
  bool saved = save(window, argv[1]);
  if (argc >= 3) {
    velmora::WaterfallWindow& waterfall = window.waterfallWindow();
    // Rows 10 Hz apart show the glyphs crisply; the window follows the edit.
    window.controls().setText(velmora::ControlId::PixelOffset, "10");
    waterfall.magnifyChoice().setCurrentIndex(1);
    rig.shared.onAir.reportTextColumn(31);  // in the space after "CQ DE"
    const bool drawn =
        velmora::testing::waitUntil([&] { return waterfall.upToDate() && waterfall.view().marker().shown; });
    saved = drawn && save(waterfall, argv[2]) && saved;
  }
  if (argc == 4) {
    // The dialog as it stands after a test on the rig of rigctld's usual address.
    const std::vector<velmora::RigModel> models = {{2, "Hamlib NET rigctl", true, false},
                                                   {3073, "Icom IC-7300", false, true}};
    velmora::PttDialog dialog(window.ptt().settings(), rig.comPortEntries, &window, models, {"/dev/ttyUSB0"});
    dialog.show();
    for (QLabel* label : dialog.findChildren<QLabel*>())
      if (label->accessibleName() == "Test PTT outcome") label->setText("Keyed for 2.0 s, then unkeyed");
    QTest::qWait(50);
    saved = save(dialog, argv[3]) && saved;
  }
  window.close();
  return saved ? 0 : 1;
}
