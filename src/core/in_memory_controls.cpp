#include "core/in_memory_controls.h"

#include <array>

namespace velmora {

namespace {

constexpr std::array<std::array<ControlId, 2>, 2> kRadioGroups = {{
    {ControlId::Concurrent, ControlId::Sequential},
    {ControlId::SinglePixel, ControlId::FullScale},
}};

}  // namespace

bool InMemoryControls::isChecked(ControlId id) {
  std::lock_guard lock(mutex_);
  return checked_[id];
}

void InMemoryControls::setChecked(ControlId id, bool checked) {
  std::lock_guard lock(mutex_);
  if (checked) {
    for (const auto& group : kRadioGroups)
      for (ControlId member : group)
        if (member == id)
          for (ControlId other : group) checked_[other] = false;
  }
  checked_[id] = checked;
}

bool InMemoryControls::isEnabled(ControlId id) {
  std::lock_guard lock(mutex_);
  const auto it = enabled_.find(id);
  return it == enabled_.end() || it->second;
}

void InMemoryControls::setEnabled(ControlId id, bool enabled) {
  EnabledWatcher watcher;
  {
    std::lock_guard lock(mutex_);
    enabled_[id] = enabled;
    watcher = onEnabled_;
  }
  if (watcher) watcher(id, enabled);
}

std::string InMemoryControls::text(ControlId id) {
  std::lock_guard lock(mutex_);
  return texts_[id];
}

void InMemoryControls::setText(ControlId id, const std::string& utf8) {
  TextWatcher watcher;
  {
    std::lock_guard lock(mutex_);
    texts_[id] = utf8;
    watcher = onText_;
  }
  if (watcher) watcher(id, utf8);
}

std::vector<std::string> InMemoryControls::listItems(ControlId) {
  std::lock_guard lock(mutex_);
  return items_;
}

void InMemoryControls::setListItems(ControlId, const std::vector<std::string>& items) {
  std::lock_guard lock(mutex_);
  items_ = items;
  currentIndex_ = -1;
}

int InMemoryControls::currentIndex(ControlId) {
  std::lock_guard lock(mutex_);
  return currentIndex_;
}

void InMemoryControls::setCurrentIndex(ControlId, int index) {
  std::lock_guard lock(mutex_);
  currentIndex_ = (index >= 0 && index < static_cast<int>(items_.size())) ? index : -1;
}

void InMemoryControls::watch(TextWatcher onText, EnabledWatcher onEnabled) {
  std::lock_guard lock(mutex_);
  onText_ = std::move(onText);
  onEnabled_ = std::move(onEnabled);
}

}  // namespace velmora
