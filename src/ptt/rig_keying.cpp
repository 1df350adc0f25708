#include "ptt/rig_keying.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "ptt/ptt_keyer.h"

namespace velmora {

namespace {

// What a caller that stopped waiting reports: Hamlib's own text for it.
constexpr const char* kTimedOut = "Communication timed out";

enum class Phase { Idle, Opening, Keying, Keyed, Unkeying, Done };

}  // namespace

std::string hamlibOpeningError(const std::string& description, const std::string& error) {
  return "Error opening the rig through Hamlib (" + description + "): " + error;
}

std::string hamlibKeyingError(const std::string& description, const std::string& error) {
  return "Error keying the transmitter through Hamlib (" + description + "): " + error;
}

std::string hamlibUnkeyingError(const std::string& description, const std::string& error) {
  return "Error unkeying the transmitter through Hamlib (" + description + "): " + error;
}

struct RigKeying::State {
  std::shared_ptr<RigControl> control;
  RigTarget target;
  std::string description;
  bool serial = false;
  PortClaimer claimer;
  std::shared_ptr<PttGuard> guard;

  std::mutex mutex;
  std::condition_variable changed;
  Phase phase = Phase::Idle;
  bool unkeyAsked = false;
  bool keyed = false;
  std::optional<std::string> keyMessage;
  std::string keyLogLine;
  std::optional<std::string> unkeyMessage;
};

RigKeying::RigKeying(std::shared_ptr<RigControl> control, RigTarget target, std::string description,
                     bool serial, PortClaimer claimer, std::shared_ptr<PttGuard> guard)
    : state_(std::make_shared<State>()) {
  state_->guard = std::move(guard);
  state_->control = std::move(control);
  state_->target = std::move(target);
  state_->description = std::move(description);
  state_->serial = serial;
  state_->claimer = std::move(claimer);
}

RigKeying::~RigKeying() {
  std::lock_guard lock(state_->mutex);
  state_->unkeyAsked = true;
  state_->changed.notify_all();
}

RigKeyingResult RigKeying::key(std::chrono::milliseconds deadline) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->phase != Phase::Idle || state_->unkeyAsked) return {};
    state_->phase = Phase::Opening;
  }
  // The thread keeps the state alive; a rig that never answers leaves it behind.
  std::thread(run, state_).detach();

  std::unique_lock lock(state_->mutex);
  const bool settled = state_->changed.wait_for(lock, deadline, [&] {
    return state_->unkeyAsked || state_->phase == Phase::Keyed || state_->phase == Phase::Done;
  });
  if (!settled) {
    state_->unkeyAsked = true;  // whatever the thread still does is undone
    state_->changed.notify_all();
    const std::string message = hamlibKeyingError(state_->description, kTimedOut);
    return {false, message, message};
  }
  return {state_->keyed && state_->phase == Phase::Keyed, state_->keyMessage, state_->keyLogLine};
}

std::optional<std::string> RigKeying::unkey(std::chrono::milliseconds deadline) {
  std::unique_lock lock(state_->mutex);
  state_->unkeyAsked = true;
  state_->changed.notify_all();
  // Before the keying has begun there is nothing to undo: the thread closes the rig.
  if (state_->phase == Phase::Idle || state_->phase == Phase::Opening) return std::nullopt;
  if (!state_->changed.wait_for(lock, deadline, [&] { return state_->phase == Phase::Done; })) {
    return hamlibUnkeyingError(state_->description, kTimedOut);
  }
  return std::exchange(state_->unkeyMessage, std::nullopt);
}

void RigKeying::run(std::shared_ptr<State> state) {
  const auto finishKeying = [&](std::optional<std::string> message, std::string logLine = {}) {
    std::lock_guard lock(state->mutex);
    state->keyLogLine = logLine.empty() && message ? *message : std::move(logLine);
    state->keyMessage = std::move(message);
    state->phase = Phase::Done;
    state->changed.notify_all();
  };

  std::shared_ptr<const void> claim;
  if (state->serial && state->claimer) {
    std::string reason;
    claim = state->claimer(state->target.port, reason);
    if (!claim) {
      return finishKeying(std::string(kPortOpenError), "PTT port " + state->target.port + ": " + reason);
    }
  }
  std::string error;
  std::unique_ptr<Rig> rig;
  if (state->control) {
    rig = state->control->open(state->target, error);
  } else {
    error = "Hamlib is not available";
  }
  if (!rig) {
    claim.reset();
    return finishKeying(hamlibOpeningError(state->description, error));
  }

  bool cancelled = false;
  {
    std::lock_guard lock(state->mutex);
    if (!state->unkeyAsked) state->phase = Phase::Keying;
    cancelled = state->unkeyAsked;
  }
  if (cancelled) {
    rig.reset();  // never keyed
    claim.reset();
    return finishKeying(std::nullopt);
  }
  const std::uint64_t guardToken =
      state->guard ? state->guard->arm({GuardOrder::Kind::Rig, {}, state->target, state->serial}, -1) : 0;
  const auto tellGuardUnkeyed = [&] {
    if (state->guard) state->guard->disarm(guardToken);
  };
  error = rig->setPtt(true);
  if (!error.empty()) {
    // The rig may have keyed and only its answer got lost: unkey it to be sure.
    if (rig->setPtt(false).empty()) tellGuardUnkeyed();
    rig.reset();
    claim.reset();
    return finishKeying(hamlibKeyingError(state->description, error));
  }
  {
    std::unique_lock lock(state->mutex);
    state->keyed = true;
    state->phase = Phase::Keyed;
    state->changed.notify_all();
    state->changed.wait(lock, [&] { return state->unkeyAsked; });
    state->phase = Phase::Unkeying;
  }
  error = rig->setPtt(false);
  rig.reset();  // closed, and the port released, before anyone hears it is done
  claim.reset();
  // A rig that may still be keyed stays the guard's, should the program end now.
  if (error.empty()) tellGuardUnkeyed();
  std::lock_guard lock(state->mutex);
  if (!error.empty()) state->unkeyMessage = hamlibUnkeyingError(state->description, error);
  state->phase = Phase::Done;
  state->changed.notify_all();
}

}  // namespace velmora
