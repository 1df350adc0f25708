#pragma once
// The main window's controls in memory, with the window's starting states. Thread-safe,
// so a worker under test can use it while the test thread looks on.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/controls.h"

namespace velmora::testing {

class MemoryControls final : public Controls {
 public:
  MemoryControls();

  bool isChecked(ControlId id) override;
  void setChecked(ControlId id, bool checked) override;
  bool isEnabled(ControlId id) override;
  void setEnabled(ControlId id, bool enabled) override;
  std::string text(ControlId id) override;
  void setText(ControlId id, const std::string& utf8) override;
  void selectAllText(ControlId id) override;
  std::vector<std::string> listItems(ControlId id) override;
  void setListItems(ControlId id, const std::vector<std::string>& items) override;
  int currentIndex(ControlId id) override;
  void setCurrentIndex(ControlId id, int index) override;

  // Runs (outside the lock) after every setText of "Text to send" or "Duration per pixel
  // column", as the window's change handling would.
  void onEdit(std::function<void(ControlId)> handler);
  // Every text ever written to a control, in order.
  std::vector<std::string> textHistory(ControlId id);
  int selectAllCount(ControlId id);

 private:
  std::mutex mutex_;
  std::map<ControlId, bool> checked_;
  std::map<ControlId, bool> enabled_;
  std::map<ControlId, std::string> texts_;
  std::map<ControlId, std::vector<std::string>> history_;
  std::map<ControlId, int> selectAll_;
  std::vector<std::string> items_;
  int currentIndex_ = -1;
  std::function<void(ControlId)> editHandler_;
};

}  // namespace velmora::testing
