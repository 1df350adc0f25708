#include "core/clock.h"

#include <chrono>
#include <thread>

namespace velmora {

std::uint32_t SteadyClock::tickCount() {
  const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));  // wraps, as intended
}

void SteadyClock::sleepMs(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace velmora
