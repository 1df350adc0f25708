#include "log/event_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <latch>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "log/log_viewer.h"
#include "support/recording_message_box.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::RecordingMessageBox;

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "velmora-log-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

UtcTime christmasEve2007() { return {2007, 12, 24, 13, 5, 9, 42}; }

struct TimestampCase {
  UtcTime time;
  bool withDate;
  std::string expected;
};

class LogTimestamp : public ::testing::TestWithParam<TimestampCase> {};

TEST_P(LogTimestamp, IsFormattedWithLeadingZeros) {
  EXPECT_EQ(formatLogTimestamp(GetParam().time, GetParam().withDate), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LogTimestamp,
    ::testing::Values(TimestampCase{christmasEve2007(), true, "24.12.07 13:05:09.042z "},
                      TimestampCase{christmasEve2007(), false, "13:05:09.042z "},
                      TimestampCase{{2000, 1, 2, 0, 0, 0, 0}, true, "02.01.00 00:00:00.000z "},
                      TimestampCase{{2099, 10, 31, 23, 59, 59, 999}, true, "31.10.99 23:59:59.999z "},
                      TimestampCase{{2024, 2, 29, 9, 8, 7, 5}, false, "09:08:07.005z "}));

TEST(CurrentUtcTime, MatchesTheSystemClockInUtc) {
  const std::time_t before = std::time(nullptr);
  const UtcTime now = currentUtcTime();
  const std::time_t after = std::time(nullptr);
  std::tm parts{};
  parts.tm_year = now.year - 1900;
  parts.tm_mon = now.month - 1;
  parts.tm_mday = now.day;
  parts.tm_hour = now.hour;
  parts.tm_min = now.minute;
  parts.tm_sec = now.second;
  const std::time_t stamped = ::timegm(&parts);
  EXPECT_GE(stamped, before);
  EXPECT_LE(stamped, after);
  EXPECT_GE(now.millisecond, 0);
  EXPECT_LT(now.millisecond, 1000);
}

TEST(EventLog, WritesStampedLinesWithCrLfAndAppends) {
  TemporaryFolder folder;
  EventLog log(folder.path().string(), christmasEve2007);
  EXPECT_EQ(log.path(), (folder.path() / "Logfile.txt").string());
  EXPECT_FALSE(fs::exists(log.path()));

  log.appendLine("Program startup", true);
  EXPECT_EQ(readFile(log.path()), "24.12.07 13:05:09.042z Program startup\r\n");

  log.appendLine("Tuning stopped.", false);
  log.appendLine("", true);
  EXPECT_EQ(readFile(log.path()),
            "24.12.07 13:05:09.042z Program startup\r\n"
            "13:05:09.042z Tuning stopped.\r\n"
            "24.12.07 13:05:09.042z \r\n");
}

TEST(EventLog, KeepsWhatTheFileAlreadyHeldAndWritesUtf8AsGiven) {
  TemporaryFolder folder;
  writeFile(folder.path() / "Logfile.txt", "older line\r\n");
  EventLog log(folder.path().string(), christmasEve2007);
  log.appendLine("Starting text transmission (Gr\xc3\xbc\xc3\x9f)", false);
  EXPECT_EQ(readFile(log.path()),
            "older line\r\n13:05:09.042z Starting text transmission (Gr\xc3\xbc\xc3\x9f)\r\n");
}

TEST(EventLog, TakesAFreshTimeForEveryLine) {
  TemporaryFolder folder;
  int calls = 0;
  EventLog log(folder.path().string(), [&calls] {
    ++calls;
    return UtcTime{2010, 1, 1, 0, 0, calls, 0};
  });
  log.appendLine("a", false);
  log.appendLine("b", false);
  EXPECT_EQ(readFile(log.path()), "00:00:01.000z a\r\n00:00:02.000z b\r\n");
}

TEST(EventLog, LosesTheLineQuietlyWhenTheFileCannotBeOpened) {
  TemporaryFolder folder;
  // Permission bits do not stop root, so the log's folder is made impossible instead.
  writeFile(folder.path() / "plain-file", "x");
  for (const fs::path& directory : {folder.path() / "plain-file", folder.path() / "missing" / "deeper"}) {
    EventLog log(directory.string(), christmasEve2007);
    log.appendLine("Program startup", true);
    EXPECT_FALSE(fs::exists(log.path()));
  }
  EXPECT_EQ(readFile(folder.path() / "plain-file"), "x");
}

bool matchesPattern(const std::string& text, std::size_t pos, const std::string& pattern) {
  if (text.size() < pos + pattern.size()) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = text[pos + i];
    if (pattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(c)) : c != pattern[i]) return false;
  }
  return true;
}

struct WriterLine {
  bool dated = false;
  std::string writer;
  int number = 0;
};

// "[dd.mm.yy ]hh:mm:ss.mmmz <writer> line <number>\r" (getline has taken the LF).
std::optional<WriterLine> parseWriterLine(const std::string& line) {
  WriterLine parsed;
  std::size_t pos = 0;
  if (matchesPattern(line, 0, "99.99.99 ")) {
    parsed.dated = true;
    pos = 9;
  }
  if (!matchesPattern(line, pos, "99:99:99.999z ")) return std::nullopt;
  pos += 14;
  if (line.empty() || line.back() != '\r' || line.size() < pos + 8) return std::nullopt;
  parsed.writer = line.substr(pos, 1);
  if ((parsed.writer != "A" && parsed.writer != "B") || line.compare(pos + 1, 6, " line ") != 0)
    return std::nullopt;
  const std::string digits = line.substr(pos + 7, line.size() - pos - 8);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  parsed.number = std::stoi(digits);
  return parsed;
}

TEST(EventLog, ConcurrentWritersLoseNoLineAndTearNone) {
  TemporaryFolder folder;
  EventLog log(folder.path().string());
  constexpr int kLinesPerThread = 1000;
  std::latch start(2);  // both writers begin together
  auto writer = [&log, &start](char name) {
    start.arrive_and_wait();
    for (int i = 0; i < kLinesPerThread; ++i)
      log.appendLine(std::string(1, name) + " line " + std::to_string(i), i % 2 == 0);
  };
  std::thread first(writer, 'A');
  std::thread second(writer, 'B');
  first.join();
  second.join();

  const std::string content = readFile(log.path());
  std::set<std::string> seen;
  std::istringstream lines(content);
  int lineCount = 0;
  for (std::string line; std::getline(lines, line);) {
    ++lineCount;
    const std::optional<WriterLine> parsed = parseWriterLine(line);
    ASSERT_TRUE(parsed.has_value()) << "torn line: " << line;
    EXPECT_EQ(parsed->dated, parsed->number % 2 == 0) << line;
    seen.insert(parsed->writer + std::to_string(parsed->number));
  }
  EXPECT_EQ(lineCount, 2 * kLinesPerThread);
  EXPECT_EQ(seen.size(), 2u * kLinesPerThread);
}

TEST(DeleteLogfile, RemovesTheLogAndIgnoresAMissingOne) {
  TemporaryFolder folder;
  const fs::path log = folder.path() / "Logfile.txt";
  writeFile(log, "line\r\n");
  deleteLogfile(log.string());
  EXPECT_FALSE(fs::exists(log));
  deleteLogfile(log.string());  // nothing to delete: no crash, nothing reported
  EXPECT_FALSE(fs::exists(log));
}

// A fake viewer that records the argument it was started with.
void installRecordingProgram(const fs::path& folder, const std::string& name) {
  const fs::path script = folder / name;
  writeFile(script, "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.args.tmp\" && mv \"$0.args.tmp\" \"$0.args\"\n");
  fs::permissions(script, fs::perms::owner_all);
}

std::string waitForArguments(const fs::path& file) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(file) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return readFile(file);
}

TEST(ViewLogfile, StartsNotepadFromTheSearchPathWithTheLogsPath) {
  TemporaryFolder bin;
  TemporaryFolder other;
  installRecordingProgram(bin.path(), "notepad");
  installRecordingProgram(bin.path(), "xdg-open");
  RecordingMessageBox box;
  const std::string logPath = "/some folder/with 'quotes'/Logfile.txt";
  viewLogfile(logPath, box, other.path().string() + ":" + bin.path().string());
  EXPECT_EQ(waitForArguments(bin.path() / "notepad.args"), logPath);
  EXPECT_FALSE(fs::exists(bin.path() / "xdg-open.args"));
  EXPECT_TRUE(box.messages().empty());
}

TEST(ViewLogfile, FallsBackToTheDesktopViewer) {
  TemporaryFolder bin;
  installRecordingProgram(bin.path(), "xdg-open");
  // A notepad that may not be executed does not count.
  writeFile(bin.path() / "notepad", "#!/bin/sh\n");
  fs::permissions(bin.path() / "notepad", fs::perms::owner_read | fs::perms::owner_write);
  RecordingMessageBox box;
  viewLogfile("Logfile.txt", box, bin.path().string());
  EXPECT_EQ(waitForArguments(bin.path() / "xdg-open.args"), "Logfile.txt");
  EXPECT_TRUE(box.messages().empty());
}

TEST(ViewLogfile, WarnsWhenNoViewerCanBeStarted) {
  TemporaryFolder empty;
  fs::create_directory(empty.path() / "notepad");  // a folder of that name is no program
  RecordingMessageBox box;
  viewLogfile("Logfile.txt", box, empty.path().string());
  const auto messages = box.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_EQ(messages[0].text, "Notepad not found in current system path");
  EXPECT_EQ(messages[0].icon, MessageIcon::Warning);
}

TEST(FindProgram, SearchesTheListInOrderPastMissingFolders) {
  TemporaryFolder first;
  TemporaryFolder second;
  installRecordingProgram(first.path(), "tool");
  installRecordingProgram(second.path(), "tool");
  EXPECT_EQ(findProgram("tool", second.path().string() + ":" + first.path().string()),
            (second.path() / "tool").string());
  EXPECT_EQ(findProgram("tool", "/nonexistent::" + first.path().string()), (first.path() / "tool").string());
  EXPECT_EQ(findProgram("absent", first.path().string()), "");
  EXPECT_EQ(findProgram("tool", ""), "");
}

}  // namespace
}  // namespace velmora
