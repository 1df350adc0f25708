#include "log/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace velmora {

namespace {

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02i", value);
  return text;
}

std::string threeDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%03i", value);
  return text;
}

// One write() of the whole line on an O_APPEND descriptor, so lines of other writers
// (or other processes) never end up inside it; short writes are continued.
void appendToFile(const std::string& path, const std::string& line) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return;
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t written = ::write(fd, line.data() + done, line.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  ::close(fd);
}

}  // namespace

UtcTime currentUtcTime() {
  const auto now = std::chrono::system_clock::now();
  const auto sinceEpoch = now.time_since_epoch();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
  std::tm parts{};
  ::gmtime_r(&seconds, &parts);
  UtcTime time;
  time.year = parts.tm_year + 1900;
  time.month = parts.tm_mon + 1;
  time.day = parts.tm_mday;
  time.hour = parts.tm_hour;
  time.minute = parts.tm_min;
  time.second = parts.tm_sec;
  time.millisecond = static_cast<int>(ms < 0 ? ms + 1000 : ms);
  return time;
}

std::string formatLogTimestamp(const UtcTime& time, bool withDate) {
  std::string stamp;
  if (withDate)
    stamp += twoDigits(time.day) + "." + twoDigits(time.month) + "." + twoDigits(time.year % 100) + " ";
  stamp += twoDigits(time.hour) + ":" + twoDigits(time.minute) + ":" + twoDigits(time.second) + "." +
           threeDigits(time.millisecond) + "z ";
  return stamp;
}

EventLog::EventLog(std::string directory, TimeSource timeSource)
    : path_((std::filesystem::path(directory) / kLogFileName).string()), timeSource_(std::move(timeSource)) {}

void EventLog::appendLine(const std::string& message, bool withDate) {
  // The time is taken under the lock so that the lines stay in time order in the file.
  std::lock_guard lock(mutex_);
  const std::string line = formatLogTimestamp(timeSource_(), withDate) + message + "\r\n";
  appendToFile(path_, line);
}

}  // namespace velmora
