#pragma once
// The main window's controls in memory: what velmora-render runs the program's own workers on,
// and what the tests' fake builds on. Thread-safe, so a worker can use it while another
// thread looks on.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/controls.h"

namespace velmora {

class InMemoryControls : public Controls {
 public:
  using TextWatcher = std::function<void(ControlId, const std::string&)>;
  using EnabledWatcher = std::function<void(ControlId, bool)>;

  // Every control starts enabled, unchecked and empty; the list starts empty with no selection.
  bool isChecked(ControlId id) override;
  void setChecked(ControlId id, bool checked) override;
  bool isEnabled(ControlId id) override;
  void setEnabled(ControlId id, bool enabled) override;
  std::string text(ControlId id) override;
  void setText(ControlId id, const std::string& utf8) override;
  void selectAllText(ControlId) override {}
  std::vector<std::string> listItems(ControlId id) override;
  // Clears the selection, as a refilled combo box does.
  void setListItems(ControlId id, const std::vector<std::string>& items) override;
  int currentIndex(ControlId id) override;
  void setCurrentIndex(ControlId id, int index) override;

  // Called after every change, on the changing thread, outside the model's lock, so that a
  // watcher may read the controls.
  void watch(TextWatcher onText, EnabledWatcher onEnabled);

 private:
  std::mutex mutex_;
  std::map<ControlId, bool> checked_;
  std::map<ControlId, bool> enabled_;
  std::map<ControlId, std::string> texts_;
  std::vector<std::string> items_;
  int currentIndex_ = -1;
  TextWatcher onText_;
  EnabledWatcher onEnabled_;
};

}  // namespace velmora
