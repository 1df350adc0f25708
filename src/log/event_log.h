#pragma once
// "Logfile.txt": one UTC-stamped line per event, appended, CR LF. Thread-safe: no line
// is lost or torn when two threads write at once.

#include <functional>
#include <mutex>
#include <string>

namespace velmora {

inline constexpr const char* kLogFileName = "Logfile.txt";

struct UtcTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};

UtcTime currentUtcTime();
// "dd.mm.yy " (with date) then "hh:mm:ss.mmmz ".
std::string formatLogTimestamp(const UtcTime& time, bool withDate);

class EventLog {
 public:
  using TimeSource = std::function<UtcTime()>;
  explicit EventLog(std::string directory, TimeSource timeSource = currentUtcTime);

  // A line that cannot be written is lost quietly.
  void appendLine(const std::string& message, bool withDate);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  TimeSource timeSource_;
  std::mutex mutex_;
};

}  // namespace velmora
