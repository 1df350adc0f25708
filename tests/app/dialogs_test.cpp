#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/ptt_dialog.h"
#include "window_rig.h"

namespace velmora {
namespace {

using testing::findByName;

const std::vector<std::string> kPorts = {"1 (/dev/ttyUSB0)", "2 (/dev/ttyUSB1) \u2713", "3 (/dev/ttyUSB2)"};

PttSettings typicalSettings() {
  PttSettings settings;
  settings.UsePTTControl = 1;
  settings.ComPort = 1;
  settings.Baudrate = 2;
  settings.Databits = 1;
  settings.Stopbits = 1;
  settings.Parity = 2;
  settings.CAT = 1;
  settings.RTS = 0;
  settings.TXCommand = "FE FE";
  settings.RXCommand = "FD";
  settings.TXDelay = 120;
  return settings;
}

template <typename Widget>
Widget& control(QWidget& dialog, const char* name) {
  Widget* widget = findByName<Widget>(dialog, name);
  if (widget == nullptr) throw std::runtime_error(std::string("no control named ") + name);
  return *widget;
}

// ---- PTT Control --------------------------------------------------------------------------

TEST(PttDialog, ShowsEverySettingAndHandsItBackUnchanged) {
  PttDialog dialog(typicalSettings(), kPorts, nullptr);
  EXPECT_EQ(dialog.windowTitle(), "PTT Control");
  EXPECT_EQ(control<QComboBox>(dialog, "Com port").currentText().toStdString(), kPorts[1]);
  EXPECT_EQ(control<QComboBox>(dialog, "Baudrate").currentText(), "9600");
  EXPECT_EQ(control<QComboBox>(dialog, "Databits").currentText(), "8");
  EXPECT_EQ(control<QComboBox>(dialog, "Stopbits").currentText(), "2");
  EXPECT_EQ(control<QComboBox>(dialog, "Parity").currentText(), "None");
  EXPECT_EQ(control<QLineEdit>(dialog, "TX delay").text(), "120");
  EXPECT_TRUE(control<QRadioButton>(dialog, "CAT").isChecked());
  EXPECT_TRUE(control<QRadioButton>(dialog, "DTR").isChecked());
  EXPECT_TRUE(control<QCheckBox>(dialog, "Use PTT control").isChecked());
  EXPECT_EQ(dialog.editedSettings(), typicalSettings());
}

TEST(PttDialog, ListsHoldTheirEntriesInOrder) {
  PttDialog dialog(typicalSettings(), kPorts, nullptr);
  const auto entries = [&](const char* name) {
    QStringList items;
    auto& list = control<QComboBox>(dialog, name);
    for (int i = 0; i < list.count(); ++i) items << list.itemText(i);
    return items;
  };
  EXPECT_EQ(entries("Com port").size(), 3);
  EXPECT_EQ(entries("Baudrate"), QStringList({"2400", "4800", "9600", "19200", "38400"}));
  EXPECT_EQ(entries("Databits"), QStringList({"7", "8"}));
  EXPECT_EQ(entries("Stopbits"), QStringList({"1", "2"}));
  EXPECT_EQ(entries("Parity"), QStringList({"Odd", "Even", "None"}));
}

TEST(PttDialog, PositionsWithoutAnEntryShowNoSelectionAndAreStoredAsMinusOne) {
  PttSettings settings = typicalSettings();
  settings.ComPort = 300;
  settings.Baudrate = 7;
  settings.Parity = -1;
  PttDialog dialog(settings, kPorts, nullptr);
  EXPECT_EQ(control<QComboBox>(dialog, "Com port").currentIndex(), -1);
  const PttSettings edited = dialog.editedSettings();
  EXPECT_EQ(edited.ComPort, -1);
  EXPECT_EQ(edited.Baudrate, -1);
  EXPECT_EQ(edited.Parity, -1);
  EXPECT_EQ(edited.Databits, 1);
}

TEST(PttDialog, FlagsOtherThanZeroOrOneComeBackAsOne) {
  PttSettings settings = typicalSettings();
  settings.CAT = 5;
  settings.RTS = -2;
  settings.UsePTTControl = 9;
  const PttSettings edited = PttDialog(settings, kPorts, nullptr).editedSettings();
  EXPECT_EQ(edited.CAT, 1);
  EXPECT_EQ(edited.RTS, 1);
  EXPECT_EQ(edited.UsePTTControl, 1);
}

TEST(PttDialog, StoresWhatWasTypedWithoutValidation) {
  PttDialog dialog(typicalSettings(), kPorts, nullptr);
  auto& tx = control<QLineEdit>(dialog, "TX command");
  auto& rx = control<QLineEdit>(dialog, "RX command");
  auto& delay = control<QLineEdit>(dialog, "TX delay");
  tx.clear();
  rx.clear();
  delay.clear();
  QTest::keyClicks(&tx, "a1b2 zz");
  QTest::keyClicks(&rx, "fe0d");
  QTest::keyClicks(&delay, "4x2");
  testing::clickIndicator(control<QRadioButton>(dialog, "Hardware"));
  testing::clickIndicator(control<QRadioButton>(dialog, "RTS"));
  testing::clickIndicator(control<QCheckBox>(dialog, "Use PTT control"));

  const PttSettings edited = dialog.editedSettings();
  EXPECT_EQ(edited.TXCommand, "a1b2 zz");
  EXPECT_EQ(edited.RXCommand, "fe0d");
  EXPECT_EQ(edited.TXDelay, 42u);
  EXPECT_EQ(edited.CAT, 0);
  EXPECT_EQ(edited.RTS, 1);
  EXPECT_EQ(edited.UsePTTControl, 0);
  EXPECT_FALSE(control<QRadioButton>(dialog, "CAT").isChecked());
}

TEST(PttDialog, EmptyOrOversizedDelayReadsZeroAndCommandsStopAt255Characters) {
  PttDialog dialog(typicalSettings(), kPorts, nullptr);
  control<QLineEdit>(dialog, "TX delay").setText("");
  control<QLineEdit>(dialog, "TX command").setText(QString(300, 'a'));
  EXPECT_EQ(dialog.editedSettings().TXDelay, 0u);
  EXPECT_EQ(dialog.editedSettings().TXCommand, std::string(255, 'a'));
  control<QLineEdit>(dialog, "TX delay").setText("99999999999");
  EXPECT_EQ(dialog.editedSettings().TXDelay, 0u);
}

TEST(PttDialog, NoControlIsEverDisabled) {
  PttSettings settings = typicalSettings();
  settings.UsePTTControl = 0;
  settings.CAT = 0;
  PttDialog dialog(settings, kPorts, nullptr);
  for (QWidget* widget : dialog.findChildren<QWidget*>()) EXPECT_TRUE(widget->isEnabled());
}

TEST(PttDialog, EnterAcceptsAndEscapeRejects) {
  {
    PttDialog dialog(typicalSettings(), kPorts, nullptr);
    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Return); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  }
  {
    PttDialog dialog(typicalSettings(), kPorts, nullptr);
    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
  }
}

// The dialog opens with the focus on OK, and Enter typed into a field still means OK.
TEST(PttDialog, OpensWithFocusOnOkAndEnterInAFieldAccepts) {
  PttDialog dialog(typicalSettings(), kPorts, nullptr);
  QWidget* focusAtOpening = nullptr;
  QTimer::singleShot(0, &dialog, [&] {
    focusAtOpening = dialog.focusWidget();
    auto& command = control<QLineEdit>(dialog, "TX command");
    command.setFocus();
    QTest::keyClick(&command, Qt::Key_Return);
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(focusAtOpening, &control<QPushButton>(dialog, "OK"));
}

const std::vector<RigModel> kRigModels = {{3073, "Icom IC-7300", false, true},
                                          {2, "Hamlib NET rigctl", true, false},
                                          {4, "FLRig FLRig", true, false},
                                          {1, "Hamlib Dummy", false, false}};

PttSettings hamlibSettings() {
  PttSettings settings = typicalSettings();
  settings.CAT = 0;  // the method of old stays as it was, for a version without Hamlib
  settings.Hamlib = 1;
  settings.HamlibModel = 3073;
  settings.HamlibPort = "/dev/serial/by-id/usb-Icom";
  settings.HamlibSpeed = 19200;
  return settings;
}

TEST(PttDialog, ShowsTheHamlibRigAndHandsItBackUnchanged) {
  PttDialog dialog(hamlibSettings(), kPorts, nullptr, kRigModels, {"/dev/ttyUSB1"});
  EXPECT_TRUE(control<QRadioButton>(dialog, "Hamlib").isChecked());
  EXPECT_FALSE(control<QRadioButton>(dialog, "Hardware").isChecked());
  EXPECT_EQ(control<QComboBox>(dialog, "Rig").currentText(), "Icom IC-7300");
  EXPECT_EQ(control<QComboBox>(dialog, "Rig port").currentText(), "/dev/serial/by-id/usb-Icom");
  EXPECT_EQ(control<QComboBox>(dialog, "Rig speed").currentText(), "19200");
  EXPECT_EQ(dialog.editedSettings(), hamlibSettings());

  PttSettings unusual = hamlibSettings();  // a model and a speed that no list holds
  unusual.HamlibModel = 99999;
  unusual.HamlibSpeed = 300;
  EXPECT_EQ(PttDialog(unusual, kPorts, nullptr, kRigModels).editedSettings(), unusual);
}

TEST(PttDialog, TheRigIsFoundByTypingAnyPartOfItsNameAndGetsItsUsualPort) {
  PttSettings settings = typicalSettings();  // CAT, with the Hamlib defaults
  PttDialog dialog(settings, kPorts, nullptr, kRigModels, {"/dev/ttyACM0"});
  auto& rig = control<QComboBox>(dialog, "Rig");
  EXPECT_EQ(rig.currentText(), "Hamlib NET rigctl");
  EXPECT_EQ(control<QComboBox>(dialog, "Rig speed").currentText(), "Rig default");

  rig.lineEdit()->selectAll();
  QTest::keyClicks(rig.lineEdit(), "flr");
  QCompleter* completer = rig.completer();
  ASSERT_EQ(completer->completionCount(), 1);
  EXPECT_EQ(completer->currentCompletion(), "FLRig FLRig");
  rig.setCurrentIndex(rig.findText("FLRig FLRig"));
  EXPECT_EQ(control<QComboBox>(dialog, "Rig port").currentText(), "localhost:12345");
  rig.setCurrentIndex(rig.findText("Icom IC-7300"));  // the device of "Com port" 2
  EXPECT_EQ(control<QComboBox>(dialog, "Rig port").currentText(), "/dev/ttyUSB1");

  testing::clickIndicator(control<QRadioButton>(dialog, "Hamlib"));
  PttSettings edited = dialog.editedSettings();
  EXPECT_EQ(std::tuple(edited.Hamlib, edited.CAT, edited.HamlibModel, edited.HamlibPort),
            std::tuple(1, 1, 3073, "/dev/ttyUSB1"));
  testing::clickIndicator(control<QRadioButton>(dialog, "Hardware"));
  edited = dialog.editedSettings();
  EXPECT_EQ(std::pair(edited.Hamlib, edited.CAT), std::pair(0, 0));
}

TEST(PttDialog, ChoosingARigSelectsHamlibAndACommandSaysAtOnceWhenItIsNotHex) {
  PttDialog dialog(typicalSettings(), kPorts, nullptr, kRigModels);
  dialog.show();
  for (QWidget* widget : dialog.findChildren<QWidget*>()) {
    if (widget->focusPolicy() != Qt::NoFocus && widget->isVisibleTo(&dialog) &&
        !qobject_cast<QComboBox*>(widget->parentWidget())) {
      EXPECT_FALSE(widget->toolTip().isEmpty()) << "no tool tip: " << widget->accessibleName().toStdString();
    }
  }
  auto& rig = control<QComboBox>(dialog, "Rig");
  rig.setCurrentIndex(rig.findText("Icom IC-7300"));
  EXPECT_TRUE(control<QRadioButton>(dialog, "Hamlib").isChecked());

  auto& command = control<QLineEdit>(dialog, "TX command");
  const auto signShown = [&] {
    for (QLabel* label : dialog.findChildren<QLabel*>())
      if (label->text() == "Not hex bytes" && label->isVisible()) return true;
    return false;
  };
  for (const auto& [typed, wrong] : {std::pair{"FE FE,94", false}, std::pair{"FE F", true},
                                     std::pair{"0x1C", true}, std::pair{"", false}}) {
    command.setText(typed);
    EXPECT_EQ(signShown(), wrong) << typed;
  }
}

// Opens the PTT dialog from the window's menu; `act` runs on it once it is the modal
// widget. False when it never came up.
bool runPttDialog(testing::WindowRig& rig, const std::function<void(PttDialog&)>& act) {
  bool acted = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<PttDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || acted) return;
    acted = true;
    EXPECT_EQ(dialog->parentWidget(), &rig.window());
    act(*dialog);
  });
  poll.start(10);
  rig.window().widgets().pttControl->trigger();
  return acted;
}

class PttDialogFromMenu : public ::testing::Test {
 protected:
  PttDialogFromMenu() {
    rig.writeFont();
    rig.writeSettings("[Velmora]\nComPort=300\nTXCommand=A1\nCAT=1\nRTS=1\n");
    rig.start();
  }

  void runDialog(const std::function<void(PttDialog&)>& act) { EXPECT_TRUE(runPttDialog(rig, act)); }

  testing::WindowRig rig;
};

TEST_F(PttDialogFromMenu, OkStoresTheControlsIncludingAMissingPortSelection) {
  runDialog([](PttDialog& dialog) {
    QTest::keyClicks(&control<QLineEdit>(dialog, "RX command"), "b2");
    QTest::mouseClick(&control<QPushButton>(dialog, "OK"), Qt::LeftButton);
  });
  const PttSettings stored = rig.window().ptt().settings();
  EXPECT_EQ(stored.ComPort, -1);
  EXPECT_EQ(stored.RXCommand, "b2");
  EXPECT_EQ(stored.TXCommand, "A1");
}

TEST_F(PttDialogFromMenu, CancelChangesNothing) {
  const PttSettings before = rig.window().ptt().settings();
  runDialog([](PttDialog& dialog) {
    QTest::keyClicks(&control<QLineEdit>(dialog, "RX command"), "b2");
    testing::clickIndicator(control<QRadioButton>(dialog, "DTR"));
    QTest::mouseClick(&control<QPushButton>(dialog, "Cancel"), Qt::LeftButton);
  });
  EXPECT_EQ(rig.window().ptt().settings(), before);
  EXPECT_EQ(before.ComPort, 300);
}

TEST(PttDialogFromMenuWithHamlib, TheFourKeysSurviveTheDialogAndTheSave) {
  testing::WindowRig hamlib;
  hamlib.writeFont();
  hamlib.writeSettings(
      "[Velmora]\nUsePTTControl=1\nHamlib=1\nHamlibModel=1\nHamlibPort=/dev/ttyACM0\nHamlibSpeed=4800\n");
  hamlib.start();
  ASSERT_TRUE(runPttDialog(hamlib, [](PttDialog& dialog) {
    EXPECT_EQ(control<QComboBox>(dialog, "Rig").currentText(), "Fake Rig");
    QTest::mouseClick(&control<QPushButton>(dialog, "OK"), Qt::LeftButton);
  }));
  hamlib.window().close();
  const std::string saved = hamlib.readFile("Velmora.ini");
  for (const char* line :
       {"\nHamlib=1\n", "\nHamlibModel=1\n", "\nHamlibPort=/dev/ttyACM0\n", "\nHamlibSpeed=4800\n"})
    EXPECT_NE(saved.find(line), std::string::npos) << line << " in " << saved;
}

// ---- About ------------------------------------------------------------------------------

TEST(AboutDialog, ShowsNameAndVersionAndClosesWithOkEscOrItsCloseBox) {
  using Close = std::function<void(AboutDialog&)>;
  const Close ways[] = {
      [](AboutDialog& d) { QTest::mouseClick(&control<QPushButton>(d, "OK"), Qt::LeftButton); },
      [](AboutDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, [](AboutDialog& d) { d.close(); }};
  for (const Close& close : ways) {
    AboutDialog about(nullptr);
    EXPECT_EQ(about.windowTitle(), "About Velmora");
    EXPECT_EQ(control<QLineEdit>(about, "Version").text(), "Version V1.9");
    constexpr int kStillOpen = 42;
    QTimer::singleShot(0, &about, [&] { close(about); });
    QTimer::singleShot(3000, &about, [&] { about.done(kStillOpen); });
    EXPECT_NE(about.exec(), kStillOpen);
  }
}

}  // namespace
}  // namespace velmora
