#pragma once
// A clock whose sleeps return at once and advance the tick count by exactly the time
// slept, so waits and pauses are instant and exact in tests.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "core/clock.h"

namespace velmora::testing {

class FakeClock final : public Clock {
 public:
  explicit FakeClock(std::uint32_t start = 1000) : ticks_(start) {}

  std::uint32_t tickCount() override { return ticks_.load(); }
  void sleepMs(std::uint32_t milliseconds) override {
    ticks_ += milliseconds;
    std::function<void()> hook;
    {
      std::lock_guard lock(mutex_);
      sleeps_.push_back(milliseconds);
      hook = afterSleep_;
    }
    if (hook) hook();
  }

  void advance(std::uint32_t milliseconds) { ticks_ += milliseconds; }
  void set(std::uint32_t ticks) { ticks_ = ticks; }
  // Runs after every sleep (on the sleeping thread): lets a test act "during" a wait.
  void onSleep(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    afterSleep_ = std::move(hook);
  }
  std::vector<std::uint32_t> sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }
  std::uint64_t totalSlept() const {
    std::uint64_t total = 0;
    for (auto ms : sleeps()) total += ms;
    return total;
  }

 private:
  std::atomic<std::uint32_t> ticks_;
  mutable std::mutex mutex_;
  std::vector<std::uint32_t> sleeps_;
  std::function<void()> afterSleep_;
};

}  // namespace velmora::testing
