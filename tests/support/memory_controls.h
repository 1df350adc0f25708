#pragma once
// The main window's controls in memory with the window's starting states, and a record of
// what the code under test did to them. Thread-safe, so a worker under test can use it
// while the test thread looks on.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/in_memory_controls.h"

namespace velmora::testing {

class MemoryControls final : public InMemoryControls {
 public:
  MemoryControls();

  void setText(ControlId id, const std::string& utf8) override;
  void selectAllText(ControlId id) override;

  // Runs (outside the lock) after every setText of "Text to send" or "Duration per pixel
  // column", as the window's change handling would.
  void onEdit(std::function<void(ControlId)> handler);
  // Every text ever written to a control, in order.
  std::vector<std::string> textHistory(ControlId id);
  int selectAllCount(ControlId id);

 private:
  std::mutex mutex_;
  std::map<ControlId, std::vector<std::string>> history_;
  std::map<ControlId, int> selectAll_;
  std::function<void(ControlId)> editHandler_;
};

}  // namespace velmora::testing
