#include "render/render_progress.h"

#include "transmit/text_codec.h"

namespace velmora::render {

namespace {

// Back to the start of the terminal line, and clear it.
constexpr const char* kClearLine = "\r\033[K";

// A pass of n characters has 5 glyph columns each and a gap column between two.
std::size_t columnsOf(std::size_t characters) { return characters == 0 ? 0 : 6 * characters - 1; }

}  // namespace

Progress::Progress(std::ostream& err, bool terminal, std::string text)
    : err_(err),
      terminal_(terminal),
      text_(std::move(text)),
      characters_(glyphCount(text_)),
      columnsPerPass_(columnsOf(characters_)) {}

void Progress::onEnabled(ControlId id, bool enabled) {
  if (id != ControlId::Transmit) return;
  std::lock_guard lock(mutex_);
  running_ = !enabled;  // the window is busy while a worker runs
}

void Progress::onText(ControlId id, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (id == ControlId::MessagePower) {
    messagePower_ = text;
    return;
  }
  if (id != ControlId::TimeRemaining || !running_) return;
  timeRemaining_ = text;
  if (!text.starts_with("(")) {  // "Pause... (6s)" or "Tuning..."
    const bool first = !paused_;
    paused_ = true;
    columnsSent_ = 0;
    if (terminal_ || first) show(text);
    return;
  }
  // The count-down comes right before every column.
  paused_ = false;
  ++columnsSent_;
  const bool characterBegins = (columnsSent_ - 1) % 6 == 0;
  if (terminal_ || characterBegins) show(statusLine());
}

std::string Progress::statusLine() const {
  const std::size_t character = (columnsSent_ - 1) / 6;
  const std::string sending =
      firstCodePoints(text_, character + 1).substr(firstCodePoints(text_, character).size());
  return "Sending \"" + sending + "\" (" + std::to_string(character + 1) + "/" + std::to_string(characters_) +
         "), column " + std::to_string(columnsSent_) + "/" + std::to_string(columnsPerPass_) + ", " +
         timeRemaining_ + " left, message power " + (messagePower_.empty() ? "-" : messagePower_ + "%");
}

void Progress::show(const std::string& line) {
  if (terminal_) {
    err_ << kClearLine << line << std::flush;
    shownStatus_ = line;
  } else {
    err_ << line << '\n' << std::flush;
  }
}

void Progress::message(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (terminal_ && !shownStatus_.empty()) err_ << kClearLine;
  err_ << text << '\n';
  if (terminal_ && !shownStatus_.empty()) err_ << shownStatus_;
  err_ << std::flush;
}

void Progress::finish() {
  std::lock_guard lock(mutex_);
  if (terminal_ && !shownStatus_.empty()) err_ << '\n' << std::flush;
  shownStatus_.clear();
}

}  // namespace velmora::render
