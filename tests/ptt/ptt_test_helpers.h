#pragma once
// Building blocks shared by the keyer tests.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/message_box.h"
#include "ptt/ptt_settings.h"
#include "support/fake_clock.h"

namespace velmora::testing {

inline PttSettings catSettings(const std::string& tx, const std::string& rx, std::uint32_t txDelay = 0) {
  PttSettings settings;
  settings.UsePTTControl = 1;
  settings.CAT = 1;
  settings.TXCommand = tx;
  settings.RXCommand = rx;
  settings.TXDelay = txDelay;
  return settings;
}

inline PttSettings lineSettings(std::int32_t rts, std::uint32_t txDelay = 0) {
  PttSettings settings;
  settings.UsePTTControl = 1;
  settings.CAT = 0;
  settings.RTS = rts;
  settings.TXDelay = txDelay;
  return settings;
}

// Records each message with the time the clock had slept when it was shown.
class ClockedMessageBox final : public MessageBox {
 public:
  explicit ClockedMessageBox(const FakeClock& clock) : clock_(clock) {}

  struct Shown {
    std::string caption;
    std::string text;
    MessageIcon icon;
    std::uint64_t sleptBefore;
  };

  void show(const std::string& caption, const std::string& text, MessageIcon icon) override {
    std::lock_guard lock(mutex_);
    shown_.push_back({caption, text, icon, clock_.totalSlept()});
  }
  std::vector<Shown> shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const auto& message : shown()) result.push_back(message.text);
    return result;
  }

 private:
  const FakeClock& clock_;
  mutable std::mutex mutex_;
  std::vector<Shown> shown_;
};

}  // namespace velmora::testing
