#pragma once
// Controls that pass every access on and then call a hook with what was done, so that a
// test can press "Stop" at an exact step of a worker's run.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/controls.h"

namespace velmora::testing {

enum class ControlAccess { Read, Write };

class HookedControls final : public Controls {
 public:
  using Hook = std::function<void(ControlAccess, ControlId)>;
  HookedControls(Controls& inner, Hook hook) : inner_(inner), hook_(std::move(hook)) {}

  bool isChecked(ControlId id) override { return read(id, inner_.isChecked(id)); }
  bool isEnabled(ControlId id) override { return read(id, inner_.isEnabled(id)); }
  std::string text(ControlId id) override { return read(id, inner_.text(id)); }
  void setChecked(ControlId id, bool checked) override { inner_.setChecked(id, checked), wrote(id); }
  void setEnabled(ControlId id, bool enabled) override { inner_.setEnabled(id, enabled), wrote(id); }
  void setText(ControlId id, const std::string& utf8) override { inner_.setText(id, utf8), wrote(id); }
  void selectAllText(ControlId id) override { inner_.selectAllText(id); }
  std::vector<std::string> listItems(ControlId id) override { return inner_.listItems(id); }
  void setListItems(ControlId id, const std::vector<std::string>& items) override {
    inner_.setListItems(id, items);
  }
  int currentIndex(ControlId id) override { return inner_.currentIndex(id); }
  void setCurrentIndex(ControlId id, int index) override { inner_.setCurrentIndex(id, index); }

 private:
  template <typename T>
  T read(ControlId id, T value) {
    hook_(ControlAccess::Read, id);
    return value;
  }
  void wrote(ControlId id) { hook_(ControlAccess::Write, id); }

  Controls& inner_;
  Hook hook_;
};

}  // namespace velmora::testing
