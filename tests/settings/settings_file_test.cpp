#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "settings/settings_test_support.h"
#include "support/memory_controls.h"

namespace velmora {
namespace {

using testing::MemoryControls;
using testing::readBytes;
using testing::ScratchFolder;
using testing::writeBytes;

const std::vector<std::string> kDevices = {"Primary Sound Driver", "Speakers (USB Audio)",
                                           "Line Out (USB Audio)", "Radio Interface"};

// A fresh window with its device list, as at start-up before the settings are loaded.
struct Window {
  MemoryControls controls;
  SharedState shared;
  PttSettings ptt;
  WaterfallWindowSettings waterfall;
  Window() { controls.setListItems(ControlId::OutputDevice, kDevices); }
  void load(const std::string& path) { loadSettings(path, controls, shared, ptt, waterfall); }
};

class SettingsFile : public ::testing::Test {
 protected:
  std::string path() const { return folder_.file(kSettingsFileName); }
  void writeSettings(const std::string& body) { writeBytes(path(), "[Velmora]\n" + body); }

  ScratchFolder folder_;
};

TEST(SettingsPath, IsTheStartupFolderAndTheFileName) {
  EXPECT_EQ(settingsPath("/home/op/radio"), "/home/op/radio/Velmora.ini");
  EXPECT_EQ(settingsPath("/home/op/radio/"), "/home/op/radio/Velmora.ini");
}

TEST_F(SettingsFile, NoFileGivesEveryDefault) {
  Window window;
  window.load(path());
  MemoryControls& c = window.controls;

  EXPECT_EQ(c.currentIndex(ControlId::OutputDevice), 0);
  EXPECT_TRUE(c.isChecked(ControlId::Concurrent));
  EXPECT_FALSE(c.isChecked(ControlId::Sequential));
  EXPECT_TRUE(c.isChecked(ControlId::SinglePixel));
  EXPECT_FALSE(c.isChecked(ControlId::FullScale));
  EXPECT_TRUE(c.isEnabled(ControlId::SinglePixel));
  EXPECT_TRUE(c.isEnabled(ControlId::FullScale));
  EXPECT_FALSE(c.isEnabled(ControlId::SkipDark));
  EXPECT_FALSE(c.isChecked(ControlId::SkipDark));
  EXPECT_TRUE(c.isEnabled(ControlId::MaxAvgPower));
  EXPECT_FALSE(c.isChecked(ControlId::MaxAvgPower));
  EXPECT_EQ(c.text(ControlId::CenterFrequency), "1000");
  EXPECT_EQ(c.text(ControlId::PixelOffset), "1");
  EXPECT_EQ(c.text(ControlId::Duration), "10");
  EXPECT_EQ(c.text(ControlId::TextToSend), "");
  EXPECT_EQ(c.text(ControlId::Interval), "0");
  for (ControlId box : {ControlId::Loop, ControlId::PilotTone, ControlId::Reverse})
    EXPECT_FALSE(c.isChecked(box));
  EXPECT_EQ(window.shared.centerFrequency, 1000);
  EXPECT_EQ(window.shared.pixelRowOffset, 1);
  EXPECT_EQ(window.shared.columnDuration, 10);

  PttSettings expected;  // PTT off, the line method on DTR, every list at its first entry
  expected.CAT = 0;
  expected.RTS = 0;
  EXPECT_EQ(window.ptt, expected);
  EXPECT_EQ(window.waterfall, WaterfallWindowSettings{});
  EXPECT_FALSE(std::filesystem::exists(path())) << "loading must not create the file";
}

TEST_F(SettingsFile, SequentialModeSelectsFullScaleAndSwapsTheEnabledOptions) {
  writeSettings("Concurrent=0\n");
  Window window;
  window.load(path());
  MemoryControls& c = window.controls;
  EXPECT_TRUE(c.isChecked(ControlId::Sequential));
  EXPECT_FALSE(c.isChecked(ControlId::Concurrent));
  EXPECT_TRUE(c.isChecked(ControlId::FullScale));
  EXPECT_FALSE(c.isChecked(ControlId::SinglePixel));
  EXPECT_TRUE(c.isEnabled(ControlId::SkipDark));
  for (ControlId off : {ControlId::MaxAvgPower, ControlId::SinglePixel, ControlId::FullScale})
    EXPECT_FALSE(c.isEnabled(off)) << static_cast<int>(off);
}

struct FlagCase {
  std::string body;
  ControlId box;
  bool expected;
};

class SettingsFlags : public SettingsFile, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(SettingsFlags, IntegerKeysCountAnyNonzeroFlagTextsOnlyExactlyOne) {
  writeSettings(GetParam().body);
  Window window;
  window.load(path());
  EXPECT_EQ(window.controls.isChecked(GetParam().box), GetParam().expected) << GetParam().body;
}

INSTANTIATE_TEST_SUITE_P(Keys, SettingsFlags,
                         ::testing::Values(FlagCase{"Skip=2\n", ControlId::SkipDark, true},
                                           FlagCase{"Skip=-1\n", ControlId::SkipDark, true},
                                           FlagCase{"Skip=0\n", ControlId::SkipDark, false},
                                           FlagCase{"Concurrent=0\nSkip=1\n", ControlId::SkipDark, true},
                                           FlagCase{"MaxAvgPwr=7\n", ControlId::MaxAvgPower, true},
                                           FlagCase{"Concurrent=0\nMaxAvgPwr=1\n", ControlId::MaxAvgPower,
                                                    true},  // disabled yet set
                                           FlagCase{"Loop=1\n", ControlId::Loop, true},
                                           FlagCase{"Loop=2\n", ControlId::Loop, false},
                                           FlagCase{"Loop=01\n", ControlId::Loop, false},
                                           FlagCase{"Loop=yes\n", ControlId::Loop, false},
                                           FlagCase{"PilotTone=1\n", ControlId::PilotTone, true},
                                           FlagCase{"PilotTone=true\n", ControlId::PilotTone, false},
                                           FlagCase{"Reverse=1\n", ControlId::Reverse, true},
                                           FlagCase{"Reverse=-1\n", ControlId::Reverse, false},
                                           FlagCase{"Concurrent=5\n", ControlId::Concurrent, true},
                                           FlagCase{"Concurrent=abc\n", ControlId::Sequential, true}));

TEST_F(SettingsFile, AZeroLeavesABoxAsItWas) {
  writeSettings("Skip=0\nMaxAvgPwr=0\n");
  Window window;
  window.controls.setChecked(ControlId::SkipDark, true);
  window.controls.setChecked(ControlId::MaxAvgPower, true);
  window.load(path());
  EXPECT_TRUE(window.controls.isChecked(ControlId::SkipDark));
  EXPECT_TRUE(window.controls.isChecked(ControlId::MaxAvgPower));
}

struct NumberCase {
  std::string body;
  ControlId field;
  std::string expectedText;
};

class SettingsNumbers : public SettingsFile, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(SettingsNumbers, AreReadAsIntegersAndShownAsNumbers) {
  writeSettings(GetParam().body);
  Window window;
  window.load(path());
  EXPECT_EQ(window.controls.text(GetParam().field), GetParam().expectedText) << GetParam().body;
}

INSTANTIATE_TEST_SUITE_P(Keys, SettingsNumbers,
                         ::testing::Values(NumberCase{"Frequency=1500\n", ControlId::CenterFrequency, "1500"},
                                           NumberCase{"Frequency=  0800Hz\n", ControlId::CenterFrequency,
                                                      "800"},
                                           NumberCase{"Frequency=-5\n", ControlId::CenterFrequency, "-5"},
                                           NumberCase{"Frequency=abc\n", ControlId::CenterFrequency, "0"},
                                           NumberCase{"Frequency=\n", ControlId::CenterFrequency, "0"},
                                           NumberCase{"Offset=7\n", ControlId::PixelOffset, "7"},
                                           NumberCase{"Duration=300\n", ControlId::Duration, "300"},
                                           NumberCase{"Interval=60\n", ControlId::Interval, "60"},
                                           NumberCase{"Interval=-1\n", ControlId::Interval, "4294967295"},
                                           NumberCase{"Interval=\n", ControlId::Interval, "0"}));

TEST_F(SettingsFile, NumbersReachTheSharedValuesAndTheEditHandlingRuns) {
  writeSettings("Frequency=1234\nOffset=3\nDuration=450\nText=CQ\n");
  Window window;
  std::vector<std::pair<ControlId, std::int32_t>> edits;  // field edited, duration the handler sees
  window.controls.onEdit(
      [&window, &edits](ControlId id) { edits.emplace_back(id, window.shared.columnDuration); });
  window.load(path());
  EXPECT_EQ(window.shared.centerFrequency, 1234);
  EXPECT_EQ(window.shared.pixelRowOffset, 3);
  EXPECT_EQ(window.shared.columnDuration, 450);
  const std::vector<std::pair<ControlId, std::int32_t>> expected = {{ControlId::Duration, 450},
                                                                    {ControlId::TextToSend, 450}};
  EXPECT_EQ(edits, expected);
}

struct DeviceCase {
  std::string saved;
  int expectedIndex;
};

class SettingsDevice : public SettingsFile, public ::testing::WithParamInterface<DeviceCase> {};

TEST_P(SettingsDevice, SelectsTheFirstEntryBeginningWithTheSavedNameIgnoringCase) {
  writeSettings("OutputDevice=" + GetParam().saved + "\n");
  Window window;
  window.load(path());
  EXPECT_EQ(window.controls.currentIndex(ControlId::OutputDevice), GetParam().expectedIndex)
      << GetParam().saved;
}

INSTANTIATE_TEST_SUITE_P(Names, SettingsDevice,
                         ::testing::Values(DeviceCase{"Radio Interface", 3}, DeviceCase{"rADIO int", 3},
                                           DeviceCase{"speakers", 1}, DeviceCase{"LINE OUT (USB AUDIO)", 2},
                                           DeviceCase{"USB Audio", 0},  // not at the beginning: no match
                                           DeviceCase{"Radio Interface 2", 0}, DeviceCase{"", 0}));

TEST_F(SettingsFile, PttKeysAreTakenWithoutValidation) {
  writeSettings(
      "UsePTTControl=5\nComPort=12\nBaudrate=9\nDatabits=-1\nStopbits=1\nParity=2\nCAT=3\nRTS=1\n"
      "TXCommand=fe fe 94\nRXCommand=ZZ\nTXDelay=-1\n");
  Window window;
  window.load(path());
  PttSettings expected;
  expected.UsePTTControl = 5;
  expected.ComPort = 12;
  expected.Baudrate = 9;
  expected.Databits = -1;
  expected.Stopbits = 1;
  expected.Parity = 2;
  expected.CAT = 3;
  expected.RTS = 1;
  expected.TXCommand = "fe fe 94";
  expected.RXCommand = "ZZ";
  expected.TXDelay = 4294967295u;
  EXPECT_EQ(window.ptt, expected);
}

// A window set to something other than the defaults in every saved respect.
void fillEveryKey(Window& window) {
  MemoryControls& c = window.controls;
  c.setCurrentIndex(ControlId::OutputDevice, 2);
  c.setChecked(ControlId::Sequential, true);
  c.setChecked(ControlId::SkipDark, true);
  c.setChecked(ControlId::MaxAvgPower, true);
  c.setText(ControlId::CenterFrequency, "1750");
  c.setText(ControlId::PixelOffset, "4");
  c.setText(ControlId::Duration, "500");
  c.setText(ControlId::TextToSend, "Gr\xc3\xbc\xc3\x9f aus \xe2\x82\xac-Land");  // "Grüß aus €-Land"
  c.setChecked(ControlId::Loop, true);
  c.setChecked(ControlId::PilotTone, true);
  c.setChecked(ControlId::Reverse, true);
  c.setText(ControlId::Interval, "120");
  window.ptt = {1, 7, 4, 1, 1, 2, 1, 1, "FEFE94E01C0001FD", "FEFE94E01C0000FD", 3000000000u,
                1, 3073, "/dev/serial/by-id/usb-Icom_IC-7300", 115200};
  window.waterfall = {true, 1, WindowGeometry{-20, 40, 640, 480}};
}

TEST_F(SettingsFile, EveryKeySurvivesASaveAndALoad) {
  Window before;
  fillEveryKey(before);
  ASSERT_TRUE(saveSettings(path(), before.controls, before.ptt, before.waterfall));

  Window after;
  after.load(path());
  for (ControlId field : {ControlId::CenterFrequency, ControlId::PixelOffset, ControlId::Duration,
                          ControlId::TextToSend, ControlId::Interval})
    EXPECT_EQ(after.controls.text(field), before.controls.text(field)) << static_cast<int>(field);
  for (ControlId box : {ControlId::Sequential, ControlId::SkipDark, ControlId::MaxAvgPower, ControlId::Loop,
                        ControlId::PilotTone, ControlId::Reverse})
    EXPECT_TRUE(after.controls.isChecked(box)) << static_cast<int>(box);
  EXPECT_EQ(after.controls.currentIndex(ControlId::OutputDevice), 2);
  EXPECT_EQ(after.ptt, before.ptt);
  EXPECT_EQ(after.waterfall, before.waterfall);
}

TEST_F(SettingsFile, AFileWrittenFromScratchListsTheKeysInTheirOrder) {
  Window window;
  fillEveryKey(window);
  window.controls.setChecked(ControlId::Reverse, false);
  window.ptt.CAT = 2;  // written back as stored
  ASSERT_TRUE(saveSettings(path(), window.controls, window.ptt, window.waterfall));
  EXPECT_EQ(readBytes(path()),
            "[Velmora]\n"
            "OutputDevice=Line Out (USB Audio)\n"
            "Concurrent=0\n"
            "Skip=1\n"
            "MaxAvgPwr=1\n"
            "Frequency=1750\n"
            "Offset=4\n"
            "Duration=500\n"
            "Text=Gr\xc3\xbc\xc3\x9f aus \xe2\x82\xac-Land\n"
            "Loop=1\n"
            "PilotTone=1\n"
            "Reverse=0\n"
            "Interval=120\n"
            "UsePTTControl=1\n"
            "ComPort=7\n"
            "Baudrate=4\n"
            "Databits=1\n"
            "Stopbits=1\n"
            "Parity=2\n"
            "CAT=2\n"
            "RTS=1\n"
            "TXCommand=FEFE94E01C0001FD\n"
            "RXCommand=FEFE94E01C0000FD\n"
            "TXDelay=-1294967296\n"
            "Hamlib=1\n"
            "HamlibModel=3073\n"
            "HamlibPort=/dev/serial/by-id/usb-Icom_IC-7300\n"
            "HamlibSpeed=115200\n"
            "Waterfall=1\n"
            "WaterfallLayout=1\n"
            "WaterfallGeometry=-20,40,640,480\n");
}

TEST_F(SettingsFile, FieldsAreSavedAsTheyStandEvenEmptyOrOutOfRange) {
  Window window;
  window.load(path());
  window.controls.setText(ControlId::Interval, "");
  window.controls.setText(ControlId::CenterFrequency, "99999");
  window.controls.setText(ControlId::Duration, "");
  window.controls.setText(ControlId::TextToSend, std::string(1500, 'x'));
  window.ptt.UsePTTControl = 9;
  ASSERT_TRUE(saveSettings(path(), window.controls, window.ptt, window.waterfall));
  const std::string saved = readBytes(path());
  const std::string cutText = "\nText=" + std::string(1023, 'x') + "\n";
  for (const std::string& line : {std::string("\nInterval=\n"), std::string("\nFrequency=99999\n"),
                                  std::string("\nDuration=\n"), std::string("\nUsePTTControl=1\n"), cutText})
    EXPECT_NE(saved.find(line), std::string::npos) << line.substr(0, 40) << " missing from the saved file";
}

TEST_F(SettingsFile, NoSelectedDeviceIsSavedAsAnEmptyName) {
  Window window;
  window.controls.setListItems(ControlId::OutputDevice, {});
  window.load(path());
  ASSERT_TRUE(saveSettings(path(), window.controls, window.ptt, window.waterfall));
  EXPECT_NE(readBytes(path()).find("[Velmora]\nOutputDevice=\n"), std::string::npos);
}

TEST_F(SettingsFile, ASaveKeepsForeignContentAndUpdatesKeysInTheirOwnCase) {
  writeBytes(path(),
             "; hand-made settings\n\n[Radio]\nCallsign=DL1ABC\n\n[velmora]\n; my usual frequency\n"
             "FREQUENCY=1500\nMyOwnKey=keep me\n");
  Window window;
  window.load(path());
  EXPECT_EQ(window.controls.text(ControlId::CenterFrequency), "1500");
  window.controls.setText(ControlId::CenterFrequency, "1600");
  ASSERT_TRUE(saveSettings(path(), window.controls, window.ptt, window.waterfall));

  const std::string saved = readBytes(path());
  for (const char* kept :
       {"; hand-made settings", "[Radio]", "Callsign=DL1ABC", "; my usual frequency", "MyOwnKey=keep me"})
    EXPECT_NE(saved.find(kept), std::string::npos) << kept << " lost from:\n" << saved;
  EXPECT_EQ(saved.find("1500"), std::string::npos) << saved;
  Window again;
  again.load(path());
  EXPECT_EQ(again.controls.text(ControlId::CenterFrequency), "1600");
}

// A file kept by hand on Windows: ANSI text, CR LF, foreign lines of every kind.
TEST_F(SettingsFile, ASaveChangesOnlyTheValuesThatChanged) {
  const auto file = [](const std::string& frequency) {
    return "; Velmora settings, kept by hand\r\n\r\n[Radio]\r\nCallsign = DL1ABC\r\na line without an equals "
           "sign\r\n"
           "\r\n[Velmora]\r\nOutputDevice=Line Out (USB Audio)\r\nconcurrent = 1\r\nSkip=0\r\nMaxAvgPwr=0\r\n"
           "Frequency=" +
           frequency +
           "   \r\n; the offset I like\r\nOffset=2\r\nDuration=500\r\nText=Gr\xfc\xdf aus "
           "Bayern\r\nLoop=0\r\n"
           "PilotTone=1\r\nReverse=0\r\nInterval=60\r\nUsePTTControl=1\r\nComPort=0\r\nBaudrate="
           "2\r\nDatabits=1\r\n"
           "Stopbits=0\r\nParity=2\r\nCAT=1\r\nRTS=0\r\nTXCommand=FE01\r\nRXCommand=FE02\r\nTXDelay=300\r\n"
           "Frequency=9999\r\nMyOwnKey=keep me\r\n\r\n[Logger]\r\nPath=C:\\log";
  };
  writeBytes(path(), file("1500"));
  Window window;
  window.load(path());
  EXPECT_EQ(window.controls.text(ControlId::CenterFrequency), "1500");
  ASSERT_TRUE(saveSettings(path(), window.controls, window.ptt, window.waterfall));
  EXPECT_EQ(readBytes(path()), file("1500"));

  window.controls.setText(ControlId::CenterFrequency, "1600");
  ASSERT_TRUE(saveSettings(path(), window.controls, window.ptt, window.waterfall));
  EXPECT_EQ(readBytes(path()), file("1600"));
}

TEST_F(SettingsFile, AFailedSaveReportsFalse) {
  Window window;
  window.load(path());
  EXPECT_FALSE(saveSettings(folder_.file("no such folder/Velmora.ini"), window.controls, window.ptt,
                            window.waterfall));
}

TEST_F(SettingsFile, AFileThatIsThereButCannotBeReadIsNotReplaced) {
  // Permission bits do not stop root; a named pipe cannot be read as a settings file either.
  ASSERT_EQ(::mkfifo(path().c_str(), 0644), 0);
  Window window;
  window.load(path());
  EXPECT_EQ(window.controls.text(ControlId::CenterFrequency), "1000");
  EXPECT_FALSE(saveSettings(path(), window.controls, window.ptt, window.waterfall));
  EXPECT_TRUE(std::filesystem::is_fifo(path()));
}

TEST_F(SettingsFile, ALinkToAFileNotYetThereIsSavedThroughTheLink) {
  // Settings kept elsewhere through a link made before the first run: nothing can be lost,
  // so the first save creates the link's target.
  std::filesystem::create_directory(folder_.path() / "synced");
  const std::string target = folder_.file("synced/Velmora.ini");
  std::filesystem::create_symlink(target, path());
  Window window;
  window.load(path());
  window.controls.setText(ControlId::CenterFrequency, "1600");
  EXPECT_TRUE(saveSettings(path(), window.controls, window.ptt, window.waterfall));
  EXPECT_TRUE(std::filesystem::is_symlink(path()));
  EXPECT_NE(readBytes(target).find("\nFrequency=1600\n"), std::string::npos);
}

TEST_F(SettingsFile, TextFromAWindowsFileIsReadAsWindows1252) {
  writeSettings("Text=Gr\xfc\xdf\n");
  Window window;
  window.load(path());
  EXPECT_EQ(window.controls.text(ControlId::TextToSend), "Gr\xc3\xbc\xc3\x9f");
}

TEST_F(SettingsFile, TextsKeepTheirLimitsOnLoad) {
  writeSettings("Text=" + std::string(3000, 'a') + "\nTXCommand=" + std::string(600, 'b') +
                "\nOutputDevice=" + std::string(600, 'R') + "\n");
  Window window;
  window.load(path());
  EXPECT_EQ(window.controls.text(ControlId::TextToSend), std::string(1023, 'a'));
  EXPECT_EQ(window.ptt.TXCommand, std::string(255, 'b'));
  EXPECT_EQ(window.controls.currentIndex(ControlId::OutputDevice), 0);
}

using WaterfallKeysCase = std::pair<const char*, WaterfallWindowSettings>;  // the keys, what they load as

class WaterfallKeysTest : public SettingsFile, public ::testing::WithParamInterface<WaterfallKeysCase> {};

// A file from before the waterfall window, and values no save writes, load as defaults.
TEST_P(WaterfallKeysTest, LoadAsTheWindowWasOrAsDefaults) {
  const auto& [keys, expected] = GetParam();
  writeSettings(std::string("Frequency=1500\n") + keys);
  Window window;
  window.load(path());
  EXPECT_EQ(window.waterfall, expected) << keys;
  EXPECT_EQ(window.controls.text(ControlId::CenterFrequency), "1500");
}

INSTANTIATE_TEST_SUITE_P(
    Files, WaterfallKeysTest,
    ::testing::Values(WaterfallKeysCase{"TXDelay=0\n", {}},
                      WaterfallKeysCase{"Waterfall=1\nWaterfallLayout=1\nWaterfallGeometry=10,-5,800,600\n",
                                        {true, 1, WindowGeometry{10, -5, 800, 600}}},
                      WaterfallKeysCase{"Waterfall=yes\nWaterfallLayout=5\nWaterfallGeometry=10,20,0,600\n",
                                        {}},
                      WaterfallKeysCase{"WaterfallGeometry=10,20,300\n", {}},
                      WaterfallKeysCase{"WaterfallGeometry=10,20,300,200,1\n", {}},
                      WaterfallKeysCase{"WaterfallGeometry=1,2,99999999999,200\n", {}},
                      WaterfallKeysCase{"WaterfallGeometry=a,b,c,d\n", {}}));

TEST_F(SettingsFile, TheStarterFileIsWrittenOnlyWhereNoneIsAndMissingKeysKeepTheirDefaults) {
  writeSettings("Offset=3\n");  // a file of the user's, however short
  EXPECT_FALSE(writeStarterSettings(path()));
  Window window;
  window.load(path());
  EXPECT_EQ(window.controls.text(ControlId::PixelOffset), "3");
  EXPECT_EQ(window.controls.text(ControlId::CenterFrequency), "1000");
  EXPECT_EQ(window.controls.text(ControlId::Duration), "10");
  EXPECT_FALSE(window.controls.isChecked(ControlId::PilotTone));
}

TEST_F(SettingsFile, TheMainWindowsKeysComeAfterTheOthersAndSurviveASaveAndALoad) {
  Window window;
  const MainWindowSettings saved{-12, "DL1ABC", {"CQ DE {CALL}", "73"}, WindowGeometry{5, 6, 700, 400}};
  ASSERT_TRUE(saveSettings(path(), window.controls, window.ptt, window.waterfall, &saved));
  const std::string file = readBytes(path());
  EXPECT_LT(file.find("WaterfallGeometry="),
            file.find("TXLevel=-12\nMyCall=DL1ABC\nMessage1=CQ DE {CALL}\n"));
  MainWindowSettings loaded;
  loadSettings(path(), window.controls, window.shared, window.ptt, window.waterfall, &loaded);
  EXPECT_EQ(loaded, saved);

  writeSettings("TXLevel=-99\nMessage1=\nMessage2=73\n");  // a gap closes up; the level is kept in range
  loadSettings(path(), window.controls, window.shared, window.ptt, window.waterfall, &loaded);
  EXPECT_EQ(loaded, (MainWindowSettings{-30, "", {"73"}, std::nullopt}));
}

TEST_F(SettingsFile, HostileFilesNeverBreakTheLoad) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> size(0, 20000);
  const char* keys[] = {"Text", "OutputDevice", "TXCommand", "RXCommand", "Frequency", "Interval", "Loop"};
  for (int round = 0; round < 200; ++round) {
    std::string body;
    for (const char* key : keys) {
      body += std::string(key) + (round % 3 == 0 ? "" : "=");
      for (int n = size(random) / (round % 5 + 1); n > 0; --n) body += static_cast<char>(byte(random));
      body += round % 2 == 0 ? "\n[Velmora]\n" : "\r\n";
    }
    writeSettings(body);
    Window window;
    window.load(path());
    EXPECT_LE(codePointCount(window.controls.text(ControlId::TextToSend)), kMaxTextChars);
    EXPECT_LE(codePointCount(window.ptt.TXCommand), 255u);
    EXPECT_LE(codePointCount(window.ptt.RXCommand), 255u);
    const int device = window.controls.currentIndex(ControlId::OutputDevice);
    EXPECT_TRUE(device >= 0 && device < static_cast<int>(kDevices.size()));
  }
}

}  // namespace
}  // namespace velmora
