#include "support/fake_rig_control.h"

#include <algorithm>
#include <chrono>

namespace velmora::testing {

class FakeRig final : public Rig {
 public:
  explicit FakeRig(FakeRigControl& control) : control_(control) {}
  ~FakeRig() override { control_.perform("close", ""); }
  std::string setPtt(bool on) override {
    std::string error;
    {
      std::lock_guard lock(control_.mutex_);
      error = on ? control_.pttOnError_ : control_.pttOffError_;
    }
    return control_.perform(on ? "ptt on" : "ptt off", error);
  }

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
  std::string failure;
  {
    std::lock_guard lock(mutex_);
    failure = openError_;
  }
  error =
      perform("open " + std::to_string(target.model) + " " + target.port + " " + std::to_string(target.speed),
              failure);
  if (!error.empty()) return nullptr;
  return std::make_unique<FakeRig>(*this);
}

void FakeRigControl::failOpen(std::string error) {
  std::lock_guard lock(mutex_);
  openError_ = std::move(error);
}

void FakeRigControl::failPtt(bool on, std::string error) {
  std::lock_guard lock(mutex_);
  (on ? pttOnError_ : pttOffError_) = std::move(error);
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

std::string FakeRigControl::perform(const std::string& call, const std::string& error) {
  std::unique_lock lock(mutex_);
  const bool held = !held_.empty() && call.starts_with(held_);
  events_.push_back(call + (held ? " (held)" : ""));
  changed_.notify_all();
  changed_.wait(lock, [&] { return !held || held_.empty(); });
  if (held) {
    events_.push_back(call + " (released)");
    changed_.notify_all();
  }
  return error;
}

}  // namespace velmora::testing
