#include "support/fake_rig_control.h"

#include <algorithm>
#include <chrono>

namespace velmora::testing {

class FakeRig final : public Rig {
 public:
  explicit FakeRig(FakeRigControl& control) : control_(control) {}
  ~FakeRig() override { control_.perform("close"); }
  std::string setPtt(bool on) override { return control_.perform(on ? "ptt on" : "ptt off"); }

 private:
  FakeRigControl& control_;
};

std::vector<RigModel> FakeRigControl::models() { return {model(1), model(2)}; }

RigModel FakeRigControl::model(int number) {
  if (number == 1) return {1, "Fake Rig", false, true};
  if (number == 2) return {2, "Hamlib NET rigctl", true, false};
  return {};
}

std::unique_ptr<Rig> FakeRigControl::open(const RigTarget& target, std::string& error) {
  error = perform(
      "open", " " + std::to_string(target.model) + " " + target.port + " " + std::to_string(target.speed));
  return error.empty() ? std::make_unique<FakeRig>(*this) : nullptr;
}

void FakeRigControl::fail(const std::string& call, std::string error) {
  std::lock_guard lock(mutex_);
  errors_[call] = std::move(error);
}

void FakeRigControl::hold(const std::string& call) {
  std::lock_guard lock(mutex_);
  held_ = call;
}

void FakeRigControl::release() {
  std::lock_guard lock(mutex_);
  held_.clear();
  changed_.notify_all();
}

std::vector<std::string> FakeRigControl::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

bool FakeRigControl::waitFor(const std::string& line) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(2),
                           [&] { return std::find(events_.begin(), events_.end(), line) != events_.end(); });
}

std::string FakeRigControl::perform(const std::string& call, const std::string& detail) {
  std::unique_lock lock(mutex_);
  const bool held = held_ == call;
  events_.push_back(call + detail + (held ? " (held)" : ""));
  changed_.notify_all();
  if (!held) return errors_[call];
  changed_.wait(lock, [&] { return held_ != call; });
  events_.push_back(call + detail + " (released)");
  changed_.notify_all();
  return errors_[call];
}

}  // namespace velmora::testing
