#pragma once
// What velmora-render shows while it plays, from the window's own status fields: on a
// terminal one line on stderr, rewritten as the columns go (the character being sent,
// columns sent of all, time remaining, message power); elsewhere one plain line per
// character. Messages (keying errors) come out between, on lines of their own.

#include <atomic>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>

#include "core/controls.h"
#include "core/message_box.h"

namespace velmora::render {

class Progress {
 public:
  // text: what "Text to send" holds, UTF-8.
  Progress(std::ostream& err, bool terminal, std::string text);

  // The window's controls as the workers change them.
  void onText(ControlId id, const std::string& text);
  void onEnabled(ControlId id, bool enabled);
  // A message on a line of its own.
  void message(const std::string& text);
  // Ends the terminal line.
  void finish();

 private:
  std::string statusLine() const;
  void show(const std::string& line);

  std::ostream& err_;
  bool terminal_;
  std::string text_;
  std::size_t characters_;
  std::size_t columnsPerPass_;

  std::mutex mutex_;
  bool running_ = false;
  std::size_t columnsSent_ = 0;  // in the current pass, the one about to go included
  std::string timeRemaining_;
  std::string messagePower_;
  std::string shownStatus_;  // what the terminal line shows now
  bool paused_ = false;
};

// Messages of the workers and the keyer: on stderr, between the progress lines.
// Notes whether an unkeying failed, for the exit code.
class ProgressMessageBox final : public MessageBox {
 public:
  explicit ProgressMessageBox(Progress& progress) : progress_(progress) {}
  void show(const std::string&, const std::string& text, MessageIcon) override {
    if (text.starts_with("Error unkeying the transmitter")) unkeyingFailed_ = true;
    progress_.message(text);
  }
  bool unkeyingFailed() const { return unkeyingFailed_.load(); }

 private:
  Progress& progress_;
  std::atomic<bool> unkeyingFailed_{false};
};

}  // namespace velmora::render
