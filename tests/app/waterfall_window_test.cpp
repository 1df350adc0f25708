#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/waterfall_view.h"
#include "transmit/transmit_worker.h"
#include "transmit/tune_worker.h"
#include "window_rig.h"

namespace velmora {
namespace {

using testing::clickIndicator;
using testing::waitUntil;
using testing::WindowRig;

// "AB": 11 columns of 300 ms. The rig's font lights every row of every column, so only
// the pilot tells Reverse apart.
constexpr const char* kSettings =
    "[Velmora]\nFrequency=1500\nOffset=10\nDuration=300\nText=AB\nPilotTone=1\nWaterfall=1\n";

class WaterfallWindowTest : public ::testing::Test {
 protected:
  WaterfallWindowTest() {
    rig.writeFont();
    rig.writeSettings(kSettings);
  }
  WaterfallWindow& waterfall() { return rig.window().waterfallWindow(); }
  // The first picture drawn after `old` for the latest request.
  SharedPicture pictureWhenUpToDate(const SharedPicture& old = nullptr) {
    EXPECT_TRUE(waitUntil([&] {
      const SharedPicture& shown = waterfall().view().picture();
      return waterfall().upToDate() && shown != nullptr && shown != old;
    }));
    return waterfall().view().picture();
  }

  WindowRig rig;
};

TEST_F(WaterfallWindowTest, TheMarkerFollowsATransmissionAndGoesAwayAtItsEnd) {
  rig.transmitWorker = transmitWorker;
  // The worker holds in the first wait of each column the test looks at.
  std::atomic<int> holdAt{0};
  std::atomic<bool> held{false};
  rig.clock.onSleep([&] {
    if (rig.shared.onAir.now().column != holdAt.load()) return;
    held = true;
    while (held.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  MainWindow& window = rig.start();
  const SharedPicture picture = pictureWhenUpToDate();
  ASSERT_EQ(picture->columnSpans.size(), 11u);
  QTest::mouseClick(window.widgets().transmit, Qt::LeftButton);

  for (int column : {0, 5, 10}) {
    holdAt = column;
    ASSERT_TRUE(waitUntil([&] { return held.load(); })) << column;
    const auto expected = waterfall::columnArea(*picture, static_cast<std::size_t>(column));
    EXPECT_TRUE(waitUntil([&] {
      const MarkerAreas& marker = waterfall().view().marker();
      return marker.shown && marker.now.x == expected.x && marker.now.y == expected.y;
    })) << "column "
        << column;
    const MarkerAreas marker = waterfall().view().marker();
    EXPECT_EQ(marker.sent.height > 0, column > 0) << "nothing is dimmed before the first column";
    holdAt = -2;  // none: the worker goes on to the next column looked at
    held = false;
  }
  ASSERT_TRUE(waitUntil([&] { return !window.workerRunning(); }));
  EXPECT_TRUE(waitUntil([&] { return !waterfall().view().marker().shown; }));
}

TEST_F(WaterfallWindowTest, TheTuningToneIsShownAsOneSoundWhileItPlays) {
  rig.tuneWorker = tuneWorker;
  std::atomic<bool> hold{true};
  std::atomic<bool> held{false};
  rig.clock.onSleep([&] {
    held = true;
    while (hold.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  MainWindow& window = rig.start();
  ASSERT_EQ(pictureWhenUpToDate()->columnSpans.size(), 11u);
  QTest::mouseClick(window.widgets().tune, Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return held.load(); }));
  EXPECT_TRUE(waitUntil([&] {
    const SharedPicture& shown = waterfall().view().picture();
    return shown->columnSpans.size() == 1u && waterfall().view().marker().shown;
  }));
  hold = false;
  ASSERT_TRUE(waitUntil([&] { return !window.workerRunning(); }));
  EXPECT_TRUE(waitUntil([&] {
    return waterfall().upToDate() && waterfall().view().picture()->columnSpans.size() == 11u &&
           !waterfall().view().marker().shown;
  })) << "back to the text";
}

TEST_F(WaterfallWindowTest, ThePictureFollowsEditsOfTheTextAndOfReverse) {
  MainWindow& window = rig.start();
  const SharedPicture plain = pictureWhenUpToDate();

  clickIndicator(*window.widgets().reverse);
  const SharedPicture reversed = pictureWhenUpToDate(plain);
  EXPECT_NE(reversed->pixels, plain->pixels);
  EXPECT_EQ(reversed->columnSpans.size(), 11u);

  QTest::keyClicks(window.widgets().textToSend, "C");
  EXPECT_TRUE(waitUntil(
      [&] { return waterfall().upToDate() && waterfall().view().picture()->columnSpans.size() == 17u; }));

  // A half-typed number: the note says why, the last good picture stays.
  const SharedPicture good = waterfall().view().picture();
  window.widgets().duration->setText("30");
  EXPECT_TRUE(waitUntil([&] { return waterfall().note() == "Duration out of valid range (300..60000)"; }));
  EXPECT_EQ(waterfall().view().picture(), good);
  window.widgets().duration->setText("300");
  EXPECT_TRUE(waitUntil([&] { return waterfall().note().isEmpty(); }));
}

TEST_F(WaterfallWindowTest, OpenStateLayoutAndPlaceComeBackFromVelmoraIni) {
  rig.writeSettings(std::string(kSettings) + "WaterfallLayout=1\nWaterfallGeometry=30,40,600,420\n");
  MainWindow& window = rig.start();
  EXPECT_TRUE(waterfall().isVisible());
  EXPECT_TRUE(window.widgets().waterfall->isChecked());
  // The second receiver keeps the second layout of earlier versions.
  EXPECT_EQ(waterfall().receiverChoice().currentText(), "Slow grabber (1 Hz/px, 2 lines/s)");
  EXPECT_EQ(waterfall().geometry(), QRect(30, 40, 600, 420));
  EXPECT_EQ(pictureWhenUpToDate()->layout, waterfall::Layout::TimeAcross);

  waterfall().receiverChoice().setCurrentIndex(0);
  window.widgets().waterfall->trigger();  // View > Waterfall closes it, and opens it again
  EXPECT_FALSE(waterfall().isVisible());
  window.widgets().waterfall->trigger();
  EXPECT_TRUE(waterfall().isVisible());
  window.close();
  EXPECT_FALSE(waterfall().isVisible()) << "it closes with the program";
  const std::string saved = rig.readFile("Velmora.ini");
  EXPECT_NE(saved.find("Waterfall=1\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("WaterfallLayout=0\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("WaterfallGeometry=30,40,600,420\n"), std::string::npos) << saved;
}

// The guide says how a letter reads on the receiver and offers the duration that makes its
// pixels square; its button puts that into the duration field.
TEST_F(WaterfallWindowTest, TheGuideOffersSquarePixelsAndWarns) {
  MainWindow& window = rig.start();
  pictureWhenUpToDate();
  EXPECT_TRUE(waterfall().guide().startsWith(QString::fromUtf8("A letter is 15 px \u00d7 14 lines")))
      << waterfall().guide().toStdString();
  EXPECT_FALSE(waterfall().squareButton().isVisible());

  window.widgets().duration->setText("1000");
  ASSERT_TRUE(waitUntil([&] { return waterfall().squareButton().isVisible(); }));
  EXPECT_TRUE(waterfall().guide().contains("3.3 times as long along time")) << waterfall().guide().toStdString();
  QTest::mouseClick(&waterfall().squareButton(), Qt::LeftButton);
  EXPECT_EQ(window.widgets().duration->text(), "300");
  EXPECT_TRUE(waitUntil([&] { return !waterfall().squareButton().isVisible(); }));

  window.widgets().pixelOffset->setText("5");
  clickIndicator(*window.widgets().sequential);
  EXPECT_TRUE(waitUntil([&] {
    return waterfall().guide().contains("rows 5 Hz apart merge") && waterfall().guide().contains("S/MT slots of 43 ms");
  })) << waterfall().guide().toStdString();
}

// A text longer than the window is a tape: true scale, and it moves on with the marker.
TEST_F(WaterfallWindowTest, ALongTextScrollsWithTheColumnOnTheAir) {
  MainWindow& window = rig.start();
  window.widgets().textToSend->setText(QString(60, 'A'));
  waterfall().magnifyChoice().setCurrentIndex(1);
  SharedPicture shown;
  ASSERT_TRUE(waitUntil([&] {
    shown = waterfall().view().picture();
    return waterfall().upToDate() && shown && shown->columnSpans.size() == 359u;
  }));
  EXPECT_EQ(shown->firstLine, 0);
  EXPECT_LT(shown->lines, shown->totalLines) << "drawn at true scale, not squeezed";
  EXPECT_EQ(shown->lines, waterfall().view().linesToFill(waterfall::Layout::FrequencyAcross));

  rig.shared.onAir.reportTextColumn(300);
  EXPECT_TRUE(waitUntil([&] {
    const SharedPicture& now = waterfall().view().picture();
    return waterfall().upToDate() && now->firstLine > 0 && waterfall().view().marker().shown;
  }));
  const SharedPicture& now = waterfall().view().picture();
  const waterfall::PixelSpan lines = now->columnLines[300];
  EXPECT_GE(lines.low, now->firstLine);
  EXPECT_LE(lines.high, now->firstLine + now->lines);
}

}  // namespace
}  // namespace velmora
