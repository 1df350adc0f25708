#include "ptt/posix_serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "ptt/pseudo_terminal.h"
#include "ptt/ptt_keyer.h"
#include "support/fake_clock.h"
#include "support/recording_message_box.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

class KeyingOverPty : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.ok()); }

  PttSettings settings(const std::string& tx, const std::string& rx) {
    PttSettings s;
    s.UsePTTControl = 1;
    s.CAT = 1;
    s.TXCommand = tx;
    s.RXCommand = rx;
    s.Databits = 1;  // 8 bits without parity: all a pty can do
    s.Parity = 2;
    return s;
  }

  testing::PseudoTerminal pty;
  PosixSerialPortOpener opener;
  testing::RecordingMessageBox messages;
  testing::FakeClock clock;
  std::atomic<int> stopFlag{0};
  // Port 1 is the pty; no other number has a device, so no real port is ever opened.
  PttKeyer keyer{opener, messages, clock, stopFlag,
                 [this](int port) { return port == 1 ? pty.slavePath() : std::string(); }};
};

TEST_F(KeyingOverPty, KeyingAndUnkeyingWriteExactlyTheCommandBytes) {
  keyer.setSettings(settings("fe01a2", "FE02"));
  keyer.keyTransmitter();
  EXPECT_EQ(pty.readAvailable(), (std::vector<std::uint8_t>{0xFE, 0x01, 0xA2}));
  EXPECT_TRUE(pty.slaveExclusive());

  keyer.unkeyTransmitter();
  EXPECT_EQ(pty.readAvailable(), (std::vector<std::uint8_t>{0xFE, 0x02}));
  EXPECT_FALSE(pty.slaveExclusive());  // else the next keying would find the device busy
  EXPECT_TRUE(messages.texts().empty());

  keyer.keyTransmitter();  // and it does not
  EXPECT_EQ(pty.readAvailable(), (std::vector<std::uint8_t>{0xFE, 0x01, 0xA2}));
  keyer.unkeyTransmitter();
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(KeyingOverPty, A127ByteCommandArrivesWhole) {
  std::string command;
  std::vector<std::uint8_t> expected;
  for (int i = 0; i < 127; ++i) {
    const char digits[] = "0123456789ABCDEF";
    command += digits[(i * 7) % 16];
    command += digits[i % 16];
    expected.push_back(static_cast<std::uint8_t>(((i * 7) % 16) * 16 + i % 16));
  }
  keyer.setSettings(settings(command, "00"));
  keyer.keyTransmitter();
  EXPECT_EQ(pty.readAvailable(), expected);
  keyer.unkeyTransmitter();
}

struct PtyLineCase {
  std::int32_t baudrate, stopbits;
  speed_t speed;
  bool twoStopBits;
};

class LineOverPty : public KeyingOverPty, public ::testing::WithParamInterface<PtyLineCase> {};

TEST_P(LineOverPty, TheTerminalGetsTheConfiguredLineInRawMode) {
  const auto& c = GetParam();
  pty.setSlaveSpeed(B9600);
  PttSettings s = settings("01", "02");
  s.Baudrate = c.baudrate;
  s.Stopbits = c.stopbits;
  keyer.setSettings(s);
  keyer.keyTransmitter();
  const termios attributes = pty.slaveAttributes();
  keyer.unkeyTransmitter();

  EXPECT_EQ(::cfgetospeed(&attributes), c.speed);
  EXPECT_EQ(::cfgetispeed(&attributes), c.speed);
  EXPECT_EQ((attributes.c_cflag & CSTOPB) != 0, c.twoStopBits);
  EXPECT_EQ(attributes.c_cflag & (CSIZE | PARENB), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(attributes.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(attributes.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(attributes.c_oflag & OPOST, 0u);
  EXPECT_EQ(attributes.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(attributes.c_cflag & (CLOCAL | HUPCL), static_cast<tcflag_t>(CLOCAL | HUPCL));
  EXPECT_TRUE(messages.texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Settings, LineOverPty,
                         ::testing::Values(PtyLineCase{0, 0, B2400, false}, PtyLineCase{1, 1, B4800, true},
                                           PtyLineCase{3, 1, B19200, true}, PtyLineCase{4, 0, B38400, false},
                                           PtyLineCase{5, 0, B9600, false},     // own speed kept
                                           PtyLineCase{-1, 1, B9600, true}));

struct RefusedCase {
  std::int32_t databits, parity;
};

class LineRefusedByPty : public KeyingOverPty, public ::testing::WithParamInterface<RefusedCase> {};

// A pty silently stays at 8 bits without parity: a line it cannot carry is an open error,
// as with a driver that refuses the settings.
TEST_P(LineRefusedByPty, IsReportedAndNothingIsSent) {
  PttSettings s = settings("01", "02");
  s.Databits = GetParam().databits;
  s.Parity = GetParam().parity;
  s.TXDelay = 100;
  keyer.setSettings(s);
  keyer.keyTransmitter();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{kPortOpenError});
  EXPECT_FALSE(keyer.portOpen());
  EXPECT_FALSE(pty.slaveExclusive());
  EXPECT_EQ(clock.totalSlept(), 0u);
  keyer.unkeyTransmitter();
  EXPECT_TRUE(pty.readAvailable(50ms).empty());
}

INSTANTIATE_TEST_SUITE_P(Lines, LineRefusedByPty,
                         ::testing::Values(RefusedCase{0, 2}, RefusedCase{1, 0}, RefusedCase{1, 1}, RefusedCase{0, 0}));

TEST_F(KeyingOverPty, AVanishedFarEndFailsQuietlyAndUnkeyingStillCloses) {
  keyer.setSettings(settings("01", "02"));
  keyer.keyTransmitter();
  ASSERT_TRUE(keyer.portOpen());
  pty.closeMaster();  // like pulling the USB plug

  const auto started = std::chrono::steady_clock::now();
  keyer.unkeyTransmitter();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
  EXPECT_FALSE(keyer.portOpen());
  EXPECT_TRUE(messages.texts().empty());
}

TEST(PosixSerialPortOpener, RefusesMissingPathsAndFilesThatAreNoTerminals) {
  PosixSerialPortOpener opener;
  const auto file = std::filesystem::temp_directory_path() / ("velmora-notatty-" + std::to_string(::getpid()));
  std::ofstream(file) << "x";
  EXPECT_EQ(opener.open(file.string()), nullptr);
  EXPECT_EQ(opener.open(file.string() + "-missing"), nullptr);
  std::filesystem::remove(file);
}

TEST(PosixSerialPort, AWriteThatNobodyReadsGivesUpInTime) {
  testing::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  PosixSerialPortOpener opener(200ms);
  auto port = opener.open(pty.slavePath());
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(port->configure({}));

  const std::vector<std::uint8_t> flood(1 << 20, 0x55);  // far more than the terminal buffers
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(port->write(flood));
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took, 150ms);
  EXPECT_LT(took, 2s);
}

// Character size and parity, which a pty does not keep, checked on the attributes.
struct AttributeCase {
  SerialLineSettings line;
  tcflag_t size;
  tcflag_t parityBits;
  bool twoStopBits;
  speed_t speed;
};

class ApplyLineSettings : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(ApplyLineSettings, SetsWhatIsGivenAndKeepsTheRest) {
  termios attributes{};
  // A cooked terminal at 1200 baud, 6 bits, even parity, two stop bits, all flow control.
  attributes.c_iflag = ICRNL | IXON | IXOFF | ISTRIP;
  attributes.c_oflag = OPOST | ONLCR;
  attributes.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
  attributes.c_cflag = CS6 | PARENB | CSTOPB | CRTSCTS;
  ::cfsetispeed(&attributes, B1200);
  ::cfsetospeed(&attributes, B1200);

  applyLineSettings(attributes, GetParam().line);

  EXPECT_EQ(attributes.c_cflag & CSIZE, GetParam().size);
  EXPECT_EQ(attributes.c_cflag & (PARENB | PARODD), GetParam().parityBits);
  EXPECT_EQ((attributes.c_cflag & CSTOPB) != 0, GetParam().twoStopBits);
  EXPECT_EQ(::cfgetospeed(&attributes), GetParam().speed);
  EXPECT_EQ(::cfgetispeed(&attributes), GetParam().speed);
  EXPECT_EQ(attributes.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(attributes.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(attributes.c_oflag & OPOST, 0u);
  EXPECT_EQ(attributes.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(attributes.c_cflag & (CLOCAL | CREAD | HUPCL), static_cast<tcflag_t>(CLOCAL | CREAD | HUPCL));
}

using Parity = SerialLineSettings::Parity;
INSTANTIATE_TEST_SUITE_P(
    Lines, ApplyLineSettings,
    ::testing::Values(AttributeCase{{2400u, 7, 1, Parity::Odd}, CS7, PARENB | PARODD, false, B2400},
                      AttributeCase{{38400u, 8, 2, Parity::Even}, CS8, PARENB, true, B38400},
                      AttributeCase{{9600u, 8, 1, Parity::None}, CS8, 0, false, B9600},
                      AttributeCase{{}, CS6, PARENB, true, B1200},  // nothing given: all kept
                      AttributeCase{{4800u, std::nullopt, std::nullopt, Parity::None}, CS6, 0, true, B4800}));

}  // namespace
}  // namespace velmora
