#include "support/memory_controls.h"

#include <array>

namespace velmora::testing {

namespace {

constexpr std::array<std::array<ControlId, 2>, 2> kRadioGroups = {{
    {ControlId::Concurrent, ControlId::Sequential},
    {ControlId::SinglePixel, ControlId::FullScale},
}};

}  // namespace

MemoryControls::MemoryControls() {
  // The window's starting states, before the settings are loaded.
  enabled_[ControlId::Stop] = false;
  enabled_[ControlId::SkipDark] = false;
  enabled_[ControlId::MaxAvgPower] = false;
}

bool MemoryControls::isChecked(ControlId id) {
  std::lock_guard lock(mutex_);
  return checked_[id];
}

void MemoryControls::setChecked(ControlId id, bool checked) {
  std::lock_guard lock(mutex_);
  if (checked) {
    for (const auto& group : kRadioGroups)
      for (ControlId member : group)
        if (member == id)
          for (ControlId other : group) checked_[other] = false;
  }
  checked_[id] = checked;
}

bool MemoryControls::isEnabled(ControlId id) {
  std::lock_guard lock(mutex_);
  auto it = enabled_.find(id);
  return it == enabled_.end() || it->second;
}

void MemoryControls::setEnabled(ControlId id, bool enabled) {
  std::lock_guard lock(mutex_);
  enabled_[id] = enabled;
}

std::string MemoryControls::text(ControlId id) {
  std::lock_guard lock(mutex_);
  return texts_[id];
}

void MemoryControls::setText(ControlId id, const std::string& utf8) {
  std::function<void(ControlId)> handler;
  {
    std::lock_guard lock(mutex_);
    texts_[id] = utf8;
    history_[id].push_back(utf8);
    if (id == ControlId::TextToSend || id == ControlId::Duration) handler = editHandler_;
  }
  if (handler) handler(id);
}

void MemoryControls::selectAllText(ControlId id) {
  std::lock_guard lock(mutex_);
  ++selectAll_[id];
}

std::vector<std::string> MemoryControls::listItems(ControlId) {
  std::lock_guard lock(mutex_);
  return items_;
}

void MemoryControls::setListItems(ControlId, const std::vector<std::string>& items) {
  std::lock_guard lock(mutex_);
  items_ = items;
  currentIndex_ = -1;
}

int MemoryControls::currentIndex(ControlId) {
  std::lock_guard lock(mutex_);
  return currentIndex_;
}

void MemoryControls::setCurrentIndex(ControlId, int index) {
  std::lock_guard lock(mutex_);
  currentIndex_ = (index >= 0 && index < static_cast<int>(items_.size())) ? index : -1;
}

void MemoryControls::onEdit(std::function<void(ControlId)> handler) {
  std::lock_guard lock(mutex_);
  editHandler_ = std::move(handler);
}

std::vector<std::string> MemoryControls::textHistory(ControlId id) {
  std::lock_guard lock(mutex_);
  return history_[id];
}

int MemoryControls::selectAllCount(ControlId id) {
  std::lock_guard lock(mutex_);
  return selectAll_[id];
}

}  // namespace velmora::testing
