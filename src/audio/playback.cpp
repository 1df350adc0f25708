#include "audio/playback.h"

namespace velmora {

std::uint32_t elapsedTicks(std::uint32_t start, std::uint32_t now) {
  if (now >= start) return now - start;
  // Kept exactly as the old tick arithmetic had it: one millisecond short over a wrap.
  return 0xFFFFFFFFu - start + now;
}

WaitEnd waitForPlayback(Clock& clock, const std::atomic<int>& stopFlag, std::uint32_t start,
                        std::uint32_t pollMs, std::uint32_t limitMs) {
  // A "Stop" that came before the sound started must not let it sound for a whole poll.
  if (stopFlag.load() != 0) return WaitEnd::Stopped;
  for (;;) {
    clock.sleepMs(pollMs);
    if (stopFlag.load() != 0) return WaitEnd::Stopped;
    if (elapsedTicks(start, clock.tickCount()) > limitMs) return WaitEnd::LimitPassed;
  }
}

bool playFilledBuffer(SoundBuffer& buffer, std::size_t samplesWritten, Clock& clock,
                      const std::atomic<int>& stopFlag, std::uint32_t pollMs, std::uint32_t limitMs) {
  if (!buffer.unlock(samplesWritten) || !buffer.rewind()) {
    buffer.stop(StopMode::Flush);
    return false;
  }
  const std::uint32_t start = clock.tickCount();
  if (!buffer.play()) {
    buffer.stop(StopMode::Flush);
    return false;
  }
  const WaitEnd end = waitForPlayback(clock, stopFlag, start, pollMs, limitMs);
  buffer.stop(end == WaitEnd::LimitPassed ? StopMode::Drain : StopMode::Flush);
  return true;
}

}  // namespace velmora
