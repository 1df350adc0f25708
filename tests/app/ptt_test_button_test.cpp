// "Test PTT" keys a real pty and rigctld's dummy rig with the dialog's unsaved settings,
// holds, unkeys, and says so beside the button.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/ptt_dialog.h"
#include "app/ptt_tester.h"
#include "ptt/hamlib_rig_control.h"
#include "ptt/posix_serial_port.h"
#include "ptt/pseudo_terminal.h"
#include "support/recording_message_box.h"
#include "support/rigctld_server.h"
#include "window_rig.h"

namespace velmora {
namespace {

using testing::findByName;
using testing::waitUntil;

class TestPttButton : public ::testing::Test {
 protected:
  // Presses "Test PTT" with `settings` shown; runs `duringHold` once, at the first wait
  // after keying, and `afterPress` on the GUI thread right after the press.
  QString pressTest(const PttSettings& settings, const std::function<void()>& duringHold,
                    const std::function<void(QPushButton&)>& afterPress = {}) {
    PttTester tester(serialPorts, boxes, clock, std::make_shared<HamlibRigControl>(), {},
                     [this](int) { return pty.slavePath(); });
    bool held = false;
    clock.onSleep([&] {
      if (!std::exchange(held, true)) duringHold();
    });
    PttDialog dialog(settings, {"1"}, nullptr, {}, {}, &tester);
    auto* button = findByName<QPushButton>(dialog, "Test PTT");
    auto* outcome = findByName<QLabel>(dialog, "Test PTT outcome");
    QTest::mouseClick(button, Qt::LeftButton);
    if (afterPress) afterPress(*button);
    EXPECT_TRUE(waitUntil([&] { return !tester.running() && !button->isChecked(); }, 10000));
    return outcome->text();
  }

  testing::FakeClock clock;
  testing::PseudoTerminal pty;
  PosixSerialPortOpener serialPorts;
  testing::RecordingMessageBox boxes;
};

// CAT on the pty, 9600 8N1; "Use PTT control" stays clear: the test keys anyway.
PttSettings catSettings() {
  PttSettings settings;
  settings.CAT = 1;
  settings.Baudrate = 2;
  settings.Databits = 1;
  settings.Parity = 2;
  return settings;
}

TEST_F(TestPttButton, KeysAPtyByCatWithTheUnsavedCommandsThenUnkeys) {
  ASSERT_TRUE(pty.ok());
  PttSettings settings = catSettings();
  settings.TXCommand = "fe fe 94 e0 1c 00 01 fd";  // as a rig's manual prints it
  settings.RXCommand = "FE,FE,94,E0,1C,00,00,FD";
  std::vector<std::uint8_t> whileKeyed;
  const QString outcome = pressTest(settings, [&] { whileKeyed = pty.readAvailable(); });
  EXPECT_THAT(whileKeyed, ::testing::ElementsAre(0xFE, 0xFE, 0x94, 0xE0, 0x1C, 0x00, 0x01, 0xFD));
  EXPECT_THAT(pty.readAvailable(), ::testing::ElementsAre(0xFE, 0xFE, 0x94, 0xE0, 0x1C, 0x00, 0x00, 0xFD));
  EXPECT_EQ(outcome, "Keyed for 2.0 s, then unkeyed");
  EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(TestPttButton, KeysRigctldsDummyRigThenUnkeys) {
  testing::RigctldServer rigctld;
  ASSERT_TRUE(rigctld.running()) << "rigctld (libhamlib-utils) could not be started";
  PttSettings settings;
  settings.Hamlib = 1;
  settings.HamlibModel = kDefaultRigModel;
  settings.HamlibPort = rigctld.address();
  std::string whileKeyed;
  const QString outcome = pressTest(settings, [&] { whileKeyed = rigctld.ptt(); });
  EXPECT_EQ(whileKeyed, "1");
  EXPECT_EQ(rigctld.ptt(), "0");
  EXPECT_EQ(outcome, "Keyed for 2.0 s, then unkeyed");
}

TEST_F(TestPttButton, PressedAgainItUnkeysAtOnce) {
  ASSERT_TRUE(pty.ok());
  PttSettings settings = catSettings();
  settings.TXCommand = "01";
  settings.RXCommand = "02";
  std::atomic<bool> keyed{false};
  std::atomic<bool> pressedAgain{false};
  const QString outcome = pressTest(
      settings,
      [&] {  // holds the first step of the 2 s until the second press
        keyed = true;
        for (int i = 0; i < 2000 && !pressedAgain; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      },
      [&](QPushButton& button) {
        ASSERT_TRUE(waitUntil([&] { return keyed.load(); }));
        QTest::mouseClick(&button, Qt::LeftButton);
        pressedAgain = true;
      });
  EXPECT_EQ(outcome, "Keyed for 0.0 s, then unkeyed");
  EXPECT_THAT(pty.readAvailable(), ::testing::ElementsAre(0x01, 0x02));
}

TEST_F(TestPttButton, AFailedKeyingIsShownBesideTheButton) {
  PttSettings settings = catSettings();
  settings.TXCommand = "FE F";
  EXPECT_EQ(pressTest(settings, [] {}).toStdString(), std::string("Failed: ") + kIllegalCatCommand);
}

}  // namespace
}  // namespace velmora
