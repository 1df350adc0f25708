// Prints the timing of sounds on the test server's radio sink (no timing assertions: the
// figures depend on the machine): play() to the first sample at the sink's monitor, the
// end of the wait to the end of the drain, and the silence between consecutive columns.
// A 300 ms column's wait ends at the third or the fourth 100 ms poll, as the millisecond
// ticks fall, so the silence between columns comes in two sizes.
#include <pulse/simple.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "audio/playback.h"
#include "audio/pulse_audio_output.h"
#include "pulse_rig.h"
#include "synth/synthesis.h"

namespace velmora::testing {
namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Records radio.monitor in small chunks and remembers when each chunk arrived.
class TimedRecorder {
 public:
  ~TimedRecorder() { stop(); }

  bool start() {
    const pa_sample_spec format{PA_SAMPLE_S16LE, kSampleRate, 1};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = kChunkSamples * kBytesPerSample;
    int error = 0;
    stream_ = pa_simple_new(nullptr, "velmora-figures", PA_STREAM_RECORD, "radio.monitor", "figures", &format,
                            nullptr, &attributes, &error);
    if (!stream_) return false;
    reader_ = std::thread([this] { readUntilStopped(); });
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (sampleCount() == 0)
      if (Clock::now() > deadline) return false;
    return true;
  }

  void stop() {
    if (!stream_) return;
    quit_ = true;
    reader_.join();
    pa_simple_free(stream_);
    stream_ = nullptr;
  }

  std::vector<std::int16_t> samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
  }

  // When sample `index` arrived, assuming the samples of a chunk are evenly spaced up to
  // the chunk's arrival.
  Clock::time_point arrivalOf(std::size_t index) const {
    std::lock_guard lock(mutex_);
    for (const auto& [end, at] : arrivals_)
      if (index < end) {
        const auto early = std::chrono::duration<double>(static_cast<double>(end - index) / kSampleRate);
        return at - std::chrono::duration_cast<Clock::duration>(early);
      }
    return Clock::time_point{};
  }

 private:
  static constexpr std::size_t kChunkSamples = 55;  // 5 ms

  std::size_t sampleCount() const {
    std::lock_guard lock(mutex_);
    return samples_.size();
  }

  void readUntilStopped() {
    std::int16_t chunk[kChunkSamples];
    int error = 0;
    while (!quit_) {
      if (pa_simple_read(stream_, chunk, sizeof chunk, &error) < 0) return;
      const auto at = Clock::now();
      std::lock_guard lock(mutex_);
      samples_.insert(samples_.end(), chunk, chunk + kChunkSamples);
      arrivals_.emplace_back(samples_.size(), at);
    }
  }

  pa_simple* stream_ = nullptr;
  std::thread reader_;
  std::atomic<bool> quit_{false};
  mutable std::mutex mutex_;
  std::vector<std::int16_t> samples_;
  std::vector<std::pair<std::size_t, Clock::time_point>> arrivals_;
};

// Notes when play and stop are called and when stop returns.
class StampedBuffer final : public SoundBuffer {
 public:
  explicit StampedBuffer(std::unique_ptr<SoundBuffer> inner) : inner_(std::move(inner)) {}
  std::optional<std::span<std::int16_t>> lock() override { return inner_->lock(); }
  bool unlock(std::size_t samplesWritten) override { return inner_->unlock(samplesWritten); }
  bool rewind() override { return inner_->rewind(); }
  bool play() override {
    playCalled = Clock::now();
    return inner_->play();
  }
  void stop(StopMode mode) override {
    stopCalled = Clock::now();
    inner_->stop(mode);
    stopReturned = Clock::now();
  }

  Clock::time_point playCalled, stopCalled, stopReturned;

 private:
  std::unique_ptr<SoundBuffer> inner_;
};

TEST(PulseFigures, ConsecutiveColumnsOfThreeHundredMilliseconds) {
  VELMORA_NEED_TEST_SERVER();
  auto audio = makePulseAudioOutput("velmora-test");
  const int radio = entryIndex(audio->listDevices(), "Test Radio");
  ASSERT_GT(radio, 0);
  audio->openDevice(radio);

  TimedRecorder recorder;
  ASSERT_TRUE(recorder.start()) << "could not record radio.monitor";

  ColumnParameters column;
  column.mask = 0x7F;
  column.durationMs = 300;
  constexpr int kColumns = 6;
  std::vector<std::int16_t> expected;
  std::vector<StampedBuffer> stamps;
  SteadyClock clock;
  std::atomic<int> stopFlag{0};
  for (int i = 0; i < kColumns; ++i) {
    // As a transmission does it: synthesize, then play, then the next column.
    auto created = audio->createSoundBuffer(columnBufferBytes(column.durationMs));
    ASSERT_NE(created, nullptr);
    StampedBuffer buffer(std::move(created));
    auto region = buffer.lock();
    ASSERT_TRUE(region.has_value());
    const auto sound = synthesizeConcurrentColumn(column, *region);
    expected.assign(region->begin(), region->begin() + static_cast<std::ptrdiff_t>(sound.samplesWritten));
    playFilledBuffer(buffer, sound.samplesWritten, clock, stopFlag, 100, column.durationMs);
    stamps.push_back(std::move(buffer));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  recorder.stop();
  const auto captured = recorder.samples();
  const std::size_t leadingZeros =
      static_cast<std::size_t>(std::find_if(expected.begin(), expected.end(), [](auto s) { return s != 0; }) -
                               expected.begin());

  std::size_t searchFrom = 0;
  std::optional<std::size_t> previousEnd;
  for (int i = 0; i < kColumns; ++i) {
    const auto offset = alignment(captured, expected, searchFrom);
    ASSERT_TRUE(offset.has_value()) << "column " << i << " did not arrive";
    const auto& stamp = stamps[static_cast<std::size_t>(i)];
    const double playToSink = msBetween(stamp.playCalled, recorder.arrivalOf(*offset + leadingZeros)) -
                              1000.0 * static_cast<double>(leadingZeros) / kSampleRate;
    const double drain = msBetween(stamp.stopCalled, stamp.stopReturned);
    const double lastSampleAfterDrain =
        msBetween(stamp.stopReturned, recorder.arrivalOf(*offset + expected.size() - 1));
    std::printf("column %d: play() to first sample at the monitor %.1f ms; wait end to drain end %.1f ms; "
                "last sample arrived %.1f ms after the drain",
                i, playToSink, drain, lastSampleAfterDrain);
    if (previousEnd)
      std::printf("; silence before it %.1f ms", 1000.0 * static_cast<double>(*offset - *previousEnd) / kSampleRate);
    std::printf("\n");
    previousEnd = *offset + expected.size();
    searchFrom = *previousEnd;
  }
}

}  // namespace
}  // namespace velmora::testing
