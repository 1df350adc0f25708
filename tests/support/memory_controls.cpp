#include "support/memory_controls.h"

namespace velmora::testing {

MemoryControls::MemoryControls() {
  // The window's starting states, before the settings are loaded.
  setEnabled(ControlId::Stop, false);
  setEnabled(ControlId::SkipDark, false);
  setEnabled(ControlId::MaxAvgPower, false);
}

void MemoryControls::setText(ControlId id, const std::string& utf8) {
  std::function<void(ControlId)> handler;
  {
    // Recorded before the text is stored, so a test that sees the new text finds it here too.
    std::lock_guard lock(mutex_);
    history_[id].push_back(utf8);
    if (id == ControlId::TextToSend || id == ControlId::Duration) handler = editHandler_;
  }
  InMemoryControls::setText(id, utf8);
  if (handler) handler(id);
}

void MemoryControls::selectAllText(ControlId id) {
  std::lock_guard lock(mutex_);
  ++selectAll_[id];
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
