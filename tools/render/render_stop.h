#pragma once
// "Stop" for velmora-render: SIGINT, SIGTERM or SIGHUP set a flag; the worker's next sleep
// or the main thread's watch, whichever comes first, then stops as the window's "Stop"
// does, once: stop flag, unkey at once, window idle.

#include <atomic>
#include <cstdint>
#include <functional>

#include "core/clock.h"

namespace velmora::render {

class SignalStop {
 public:
  SignalStop(const std::atomic<int>& signalFlag, std::function<void()> stop)
      : signalFlag_(signalFlag), stop_(std::move(stop)) {}

  // Stops when a signal asked for it and nobody has stopped yet; true once stopped.
  bool check() {
    if (signalFlag_.load() != 0 && !stopped_.exchange(true)) stop_();
    return stopped_.load();
  }
  bool stopped() const { return stopped_.load(); }

 private:
  const std::atomic<int>& signalFlag_;
  std::function<void()> stop_;
  std::atomic<bool> stopped_{false};
};

// The workers' clock, looking for a signal after every sleep: every wait of a worker is a
// series of short sleeps, so a stop is seen within one of them.
class SignalCheckingClock final : public Clock {
 public:
  SignalCheckingClock(Clock& clock, SignalStop& stop) : clock_(clock), stop_(stop) {}
  std::uint32_t tickCount() override { return clock_.tickCount(); }
  void sleepMs(std::uint32_t milliseconds) override {
    clock_.sleepMs(milliseconds);
    stop_.check();
  }

 private:
  Clock& clock_;
  SignalStop& stop_;
};

}  // namespace velmora::render
