#pragma once
// The part of a sound's life cycle that every user shares: from unlock to stop.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "audio/audio_output.h"
#include "core/clock.h"

namespace velmora {

// Milliseconds from start to now on the wrapping 32-bit tick counter; after a wrap the
// count is 0xFFFFFFFF - start + now.
std::uint32_t elapsedTicks(std::uint32_t start, std::uint32_t now);

enum class WaitEnd { LimitPassed, Stopped };

// Sleeps one poll period at a time until the stop flag is set or more than limitMs have
// passed since start. A flag already set when the wait begins ends it at once.
WaitEnd waitForPlayback(Clock& clock, const std::atomic<int>& stopFlag, std::uint32_t start,
                        std::uint32_t pollMs, std::uint32_t limitMs);

// Unlock, rewind, take the tick count and play, wait, stop. A failing step stops the
// buffer at once without a wait, and the result is false. The caller releases the buffer
// afterwards.
bool playFilledBuffer(SoundBuffer& buffer, std::size_t samplesWritten, Clock& clock,
                      const std::atomic<int>& stopFlag, std::uint32_t pollMs, std::uint32_t limitMs);

}  // namespace velmora
