#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <latch>
#include <thread>

#include "ptt/ptt_keyer.h"
#include "ptt_test_helpers.h"
#include "support/recording_serial_port.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using namespace std::chrono_literals;

long countOf(const std::vector<std::string>& events, const std::string& event) {
  return std::count(events.begin(), events.end(), event);
}

TEST(PttKeyerThreads, UnkeyingFromTwoThreadsAtOnceUndoesTheKeyingOnce) {
  testing::RecordingSerialPortOpener opener;
  testing::FakeClock clock;
  testing::ClockedMessageBox messages{clock};
  std::atomic<int> stopFlag{0};
  PttKeyer keyer(opener, messages, clock, stopFlag);
  keyer.setSettings(testing::catSettings("01", "02"));

  for (int round = 0; round < 200; ++round) {
    opener.clearEvents();
    keyer.keyTransmitter();
    std::latch start(2);
    auto unkey = [&] {
      start.arrive_and_wait();
      keyer.unkeyTransmitter();
    };
    std::thread worker(unkey);
    std::thread gui(unkey);
    worker.join();
    gui.join();
    const auto events = opener.events();
    ASSERT_EQ(countOf(events, "write 02"), 1) << "round " << round;
    ASSERT_EQ(countOf(events, "close"), 1) << "round " << round;
    ASSERT_FALSE(keyer.portOpen());
  }
  EXPECT_TRUE(messages.texts().empty());
}

// Blocks the showing thread until the test releases it, as a modal box would.
class BlockingMessageBox final : public MessageBox {
 public:
  void show(const std::string&, const std::string& text, MessageIcon) override {
    shownText_.set_value(text);
    released_.get_future().wait();
  }
  std::future<std::string> shown() { return shownText_.get_future(); }
  void release() { released_.set_value(); }

 private:
  std::promise<std::string> shownText_;
  std::promise<void> released_;
};

TEST(PttKeyerThreads, StopCanUnkeyWhileTheWorkerShowsAMessage) {
  testing::RecordingSerialPortOpener opener;
  testing::FakeClock clock;
  BlockingMessageBox messages;
  std::atomic<int> stopFlag{0};
  PttKeyer keyer(opener, messages, clock, stopFlag);
  keyer.setSettings(testing::catSettings("abc", "02", 1000));  // the TX command is illegal

  auto shown = messages.shown();
  std::thread worker([&] { keyer.keyTransmitter(); });
  ASSERT_EQ(shown.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(shown.get(), kIllegalCatCommand);

  // "Stop" on the GUI thread while the worker's box is still up.
  auto stop = std::async(std::launch::async, [&] {
    keyer.unkeyTransmitter();
    stopFlag = 1;
  });
  const bool stopFinished = stop.wait_for(5s) == std::future_status::ready;
  messages.release();
  worker.join();
  stop.get();

  EXPECT_TRUE(stopFinished) << "unkeying waited for the message box";
  EXPECT_THAT(opener.events(), ElementsAre("open /dev/ttyUSB0", "configure", "write 02", "close"));
  EXPECT_EQ(clock.totalSlept(), 0u);  // the delay after the box ended at once on the stop flag
}

TEST(PttKeyerThreads, SettingsCanBeChangedWhileAWorkerKeys) {
  testing::RecordingSerialPortOpener opener;
  testing::FakeClock clock;
  testing::ClockedMessageBox messages{clock};
  std::atomic<int> stopFlag{0};
  PttKeyer keyer(opener, messages, clock, stopFlag);
  keyer.setSettings(testing::catSettings("0a", "0b", 20));

  std::thread worker([&] {
    for (int pass = 0; pass < 300; ++pass) {
      keyer.keyTransmitter();
      keyer.unkeyTransmitter();
    }
  });
  for (int change = 0; change < 300; ++change) {
    PttSettings settings = keyer.settings();
    settings.CAT = change % 2;
    keyer.setSettings(settings);
  }
  worker.join();
  EXPECT_EQ(opener.openPortCount(), 0);
  EXPECT_FALSE(keyer.portOpen());
  // Each pass undid its own method: as many writes of 0B as of 0A, as many drops as raises.
  const auto events = opener.events();
  EXPECT_EQ(countOf(events, "write 0A"), countOf(events, "write 0B"));
  EXPECT_EQ(countOf(events, "rts on"), countOf(events, "rts off"));
  EXPECT_EQ(countOf(events, "close"), 300);
}

}  // namespace
}  // namespace velmora
