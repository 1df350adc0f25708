#pragma once
// The main window's controls in memory, so that velmora-render runs the program's own
// workers: filled from the settings file, watched by the progress display. Thread-safe.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/controls.h"

namespace velmora::render {

class RenderControls final : public Controls {
 public:
  using TextWatcher = std::function<void(ControlId, const std::string&)>;
  using EnabledWatcher = std::function<void(ControlId, bool)>;

  bool isChecked(ControlId id) override;
  void setChecked(ControlId id, bool checked) override;
  bool isEnabled(ControlId id) override;
  void setEnabled(ControlId id, bool enabled) override;
  std::string text(ControlId id) override;
  void setText(ControlId id, const std::string& utf8) override;
  void selectAllText(ControlId) override {}
  std::vector<std::string> listItems(ControlId id) override;
  void setListItems(ControlId id, const std::vector<std::string>& items) override;
  int currentIndex(ControlId id) override;
  void setCurrentIndex(ControlId id, int index) override;

  // Called after every change, on the changing thread, outside the model's lock.
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

}  // namespace velmora::render
