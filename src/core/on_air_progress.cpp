#include "core/on_air_progress.h"

namespace velmora {

void OnAirProgress::setListener(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void OnAirProgress::reportTextColumn(int column) { report({OnAir::Sound::Text, column, 0}); }

void OnAirProgress::reportTuneTone(std::uint32_t startTick) { report({OnAir::Sound::Tune, -1, startTick}); }

void OnAirProgress::reportNothing() { report({}); }

OnAir OnAirProgress::now() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void OnAirProgress::report(const OnAir& state) {
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    if (state_ == state) return;
    state_ = state;
    listener = listener_;
  }
  // Outside the lock: the listener may read the state at once.
  if (listener) listener();
}

}  // namespace velmora
