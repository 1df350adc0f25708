#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/message_box.h"

namespace velmora::testing {

struct RecordedMessage {
  std::string caption;
  std::string text;
  MessageIcon icon;
};

// Records every message instead of showing it.
class RecordingMessageBox final : public MessageBox {
 public:
  void show(const std::string& caption, const std::string& text, MessageIcon icon) override {
    std::lock_guard lock(mutex_);
    messages_.push_back({caption, text, icon});
  }
  std::vector<RecordedMessage> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const auto& m : messages()) result.push_back(m.text);
    return result;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedMessage> messages_;
};

}  // namespace velmora::testing
