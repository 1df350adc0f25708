#pragma once
// Millisecond ticks and sleeps, injectable so that waits and pauses can be tested
// instantly and exactly with a fake.

#include <cstdint>

namespace velmora {

class Clock {
 public:
  virtual ~Clock() = default;
  // A 32-bit millisecond count that wraps around, like the tick counter of old.
  virtual std::uint32_t tickCount() = 0;
  virtual void sleepMs(std::uint32_t milliseconds) = 0;
};

// Ticks from std::chrono::steady_clock; sleeps with std::this_thread.
class SteadyClock final : public Clock {
 public:
  std::uint32_t tickCount() override;
  void sleepMs(std::uint32_t milliseconds) override;
};

}  // namespace velmora
