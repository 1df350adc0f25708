#pragma once
// Rigs that record what is done to them as short lines ("open 2 localhost:4532 0",
// "ptt on", "ptt off", "close"), with errors and hanging calls on demand. Thread-safe.

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ptt/rig_control.h"

namespace velmora::testing {

class FakeRigControl final : public RigControl {
 public:
  // Model 1 "Fake Rig" (serial), 2 "Hamlib NET rigctl" (network).
  std::vector<RigModel> models() override;
  RigModel model(int number) override;
  std::unique_ptr<Rig> open(const RigTarget& target, std::string& error) override;

  // Calls of that kind ("open", "ptt on", "ptt off") fail with this text ("" succeeds).
  void fail(const std::string& call, std::string error);
  // Calls of that kind wait until released.
  void hold(const std::string& call);
  void release();

  std::vector<std::string> events() const;
  // Waits until the events include line, up to two seconds.
  bool waitFor(const std::string& line);

 private:
  friend class FakeRig;
  std::string perform(const std::string& call, const std::string& detail = "");

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
  std::map<std::string, std::string> errors_;
  std::string held_;
};

}  // namespace velmora::testing
