// One short transmission through the real sound layer and a real serial port: the
// keying command must reach the port before the first column is heard, and the unkeying
// command after the last one.

#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "audio/pulse_audio_output.h"
#include "audio/pulse_rig.h"
#include "core/shared_state.h"
#include "ptt/posix_serial_port.h"
#include "ptt/ptt_keyer.h"
#include "support/memory_controls.h"
#include "support/recording_message_box.h"
#include "synth/synthesis.h"
#include "transmit/transmit_worker.h"
#include "transmit/worker_rig.h"

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

struct TimedBytes {
  Clock::time_point at;
  std::vector<std::uint8_t> bytes;
};

struct FileSizeSeen {
  Clock::time_point at;
  std::uintmax_t bytes;
};

// Reads everything that arrives on the pty master, and notes how far parec's capture file
// has grown, both with steady-clock times, until stopped.
class Watcher {
 public:
  Watcher(int master, std::string capturePath) : master_(master), capturePath_(std::move(capturePath)) {
    thread_ = std::thread([this] { run(); });
  }
  ~Watcher() { stop(); }
  void stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::vector<TimedBytes> received() {
    std::lock_guard lock(mutex_);
    return received_;
  }
  std::vector<FileSizeSeen> sizes() {
    std::lock_guard lock(mutex_);
    return sizes_;
  }

 private:
  void run() {
    while (!done_) {
      pollfd request{master_, POLLIN, 0};
      const int ready = ::poll(&request, 1, 2);
      // While nobody has the slave open, the master reports a hang-up at once.
      if (ready > 0 && (request.revents & POLLIN) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (ready > 0 && (request.revents & POLLIN) != 0) {
        std::uint8_t chunk[64];
        const ssize_t count = ::read(master_, chunk, sizeof chunk);
        const auto now = Clock::now();
        if (count > 0) {
          std::lock_guard lock(mutex_);
          received_.push_back({now, std::vector<std::uint8_t>(chunk, chunk + count)});
        }
      }
      struct stat info {};
      const auto now = Clock::now();
      if (::stat(capturePath_.c_str(), &info) == 0 && info.st_size > 0) {
        std::lock_guard lock(mutex_);
        sizes_.push_back({now, static_cast<std::uintmax_t>(info.st_size)});
      }
    }
  }

  int master_;
  std::string capturePath_;
  std::atomic<bool> done_{false};
  std::mutex mutex_;
  std::vector<TimedBytes> received_;
  std::vector<FileSizeSeen> sizes_;
  std::thread thread_;
};

// When the byte `first` of a command arrived.
std::optional<Clock::time_point> arrivalOf(const std::vector<TimedBytes>& received, std::uint8_t first) {
  for (const auto& chunk : received)
    if (std::find(chunk.bytes.begin(), chunk.bytes.end(), first) != chunk.bytes.end()) return chunk.at;
  return std::nullopt;
}

constexpr GlyphColumns kGlyphI = {0x41, 0x7F, 0x7F, 0x7F, 0x41};

TEST(RealPath, KeyingFramesTheSoundOfATransmission) {
  VELMORA_NEED_TEST_SERVER();
  auto audio = makePulseAudioOutput("velmora-real-path-test");
  const int radio = testing::entryIndex(audio->listDevices(), "Test Radio");
  if (radio < 0) {
    const char* why = "the server has no \"Test Radio\" sink (start it with scripts/pulse-test-server.sh)";
    if (testing::testServerRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  audio->openDevice(radio);
  ASSERT_TRUE(audio->isOpen());

  int master = -1;
  int slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const std::string slavePath = ::ttyname(slave);
  // Not kept open: the keyer refuses a device that anyone else has open.
  ::close(slave);

  SteadyClock clock;
  SharedState shared;
  testing::MemoryControls controls;
  testing::RecordingMessageBox messages;
  PosixSerialPortOpener opener;
  PttKeyer ptt(opener, messages, clock, shared.stopFlag, [&](int) { return slavePath; });
  PttSettings settings;
  settings.UsePTTControl = 1;
  settings.CAT = 1;
  settings.TXCommand = "A1B2";
  settings.RXCommand = "C3D4";
  settings.TXDelay = 300;
  settings.Baudrate = 2;
  settings.Databits = 1;
  settings.Stopbits = 0;
  settings.Parity = 2;
  ptt.setSettings(settings);
  testing::TemporaryFolder folder;
  ASSERT_FALSE(folder.path().empty());
  EventLog log(folder.path());
  GlyphTable glyphs;
  glyphs.setColumns('I', kGlyphI);
  WorkerContext ctx{controls, messages, shared, *audio, ptt, log, clock, glyphs};
  controls.setText(ControlId::CenterFrequency, "1000");
  controls.setText(ControlId::PixelOffset, "10");
  controls.setText(ControlId::Duration, "300");
  controls.setChecked(ControlId::Concurrent, true);
  controls.setText(ControlId::TextToSend, "I");

  testing::MonitorCapture capture;
  const auto spawned = Clock::now();
  ASSERT_TRUE(capture.start()) << "parec did not start recording";
  Watcher watcher(master, capture.path());
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (watcher.sizes().empty() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_FALSE(watcher.sizes().empty()) << "parec did not record";

  transmitWorker(ctx);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  watcher.stop();
  const std::vector<std::int16_t> captured = capture.stop();
  ::close(master);

  EXPECT_TRUE(messages.messages().empty()) << messages.texts().front();
  std::vector<std::uint8_t> allBytes;
  for (const auto& chunk : watcher.received()) allBytes.insert(allBytes.end(), chunk.bytes.begin(), chunk.bytes.end());
  EXPECT_THAT(allBytes, ::testing::ElementsAre(0xA1, 0xB2, 0xC3, 0xD4));
  const auto keyed = arrivalOf(watcher.received(), 0xA1);
  const auto unkeyed = arrivalOf(watcher.received(), 0xC3);
  ASSERT_TRUE(keyed && unkeyed);

  const auto isSound = [](std::int16_t s) { return s != 0; };
  const auto first = std::find_if(captured.begin(), captured.end(), isSound);
  ASSERT_NE(first, captured.end()) << "nothing was heard";
  const auto last = std::find_if(captured.rbegin(), captured.rend(), isSound);
  const auto firstIndex = static_cast<double>(first - captured.begin());
  const auto lastIndex = static_cast<double>(captured.rend() - last - 1);

  // Sample i was recorded no earlier than the spawn plus i / 11025 s, and no later than
  // any moment at which the file already held it.
  auto latestStart = Clock::time_point::max();
  for (const auto& seen : watcher.sizes()) {
    const auto start = seen.at - std::chrono::duration_cast<Clock::duration>(
                                     Seconds(static_cast<double>(seen.bytes / 2) / kSampleRate));
    latestStart = std::min(latestStart, start);
  }
  std::uintmax_t largestStep = 0;
  const auto sizes = watcher.sizes();
  for (std::size_t i = 1; i < sizes.size(); ++i) largestStep = std::max(largestStep, sizes[i].bytes - sizes[i - 1].bytes);
  ::testing::Test::RecordProperty("capture_step_ms", static_cast<int>(largestStep / 2 * 1000 / kSampleRate));
  const auto earliestFirstHeard =
      spawned + std::chrono::duration_cast<Clock::duration>(Seconds(firstIndex / kSampleRate));
  const auto latestLastHeard =
      latestStart + std::chrono::duration_cast<Clock::duration>(Seconds(lastIndex / kSampleRate));
  const auto toMs = [](Clock::duration d) { return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()); };
  ::testing::Test::RecordProperty("keyed_before_sound_ms", toMs(earliestFirstHeard - *keyed));
  ::testing::Test::RecordProperty("unkeyed_after_sound_ms", toMs(*unkeyed - latestLastHeard));
  EXPECT_LT(*keyed, earliestFirstHeard) << "keyed "
                                        << Seconds(earliestFirstHeard - *keyed).count() << " s before the sound";
  EXPECT_GT(*unkeyed, latestLastHeard) << "unkeyed " << Seconds(*unkeyed - latestLastHeard).count()
                                       << " s after the sound";

  // Five columns of 300 ms with short gaps between them.
  const double heardSeconds = (lastIndex - firstIndex) / kSampleRate;
  EXPECT_GT(heardSeconds, 1.4);
  EXPECT_LT(heardSeconds, 2.6);

  // The first column arrives sample for sample as synthesized.
  ColumnParameters column;
  column.mask = kGlyphI[0];
  column.center = 1000;
  column.offset = 10;
  column.durationMs = 300;
  std::vector<std::int16_t> expected(concurrentSampleCount(300));
  synthesizeConcurrentColumn(column, expected);
  const auto offset = testing::alignment(captured, expected);
  ASSERT_TRUE(offset.has_value());
  ASSERT_LE(*offset + expected.size(), captured.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), captured.begin() + static_cast<std::ptrdiff_t>(*offset)));
}

}  // namespace
}  // namespace velmora
