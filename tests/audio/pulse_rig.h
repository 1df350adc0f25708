#pragma once
// What the sound-server tests share: the skip-or-fail rule when no server is there, a
// capture of a sink's monitor through parec, and private servers a test may kill.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::testing {

// Empty when the server named by PULSE_SERVER answers; otherwise the reason.
std::string whyNoTestServer();
// CI sets VELMORA_REQUIRE_PULSE=1: then a missing server is a failure, not a skip.
bool testServerRequired();

#define VELMORA_NEED_TEST_SERVER()                                 \
  do {                                                             \
    const std::string why = ::velmora::testing::whyNoTestServer(); \
    if (!why.empty()) {                                            \
      if (::velmora::testing::testServerRequired()) FAIL() << why; \
      GTEST_SKIP() << why;                                         \
    }                                                              \
  } while (0)

// The list entry with this text, or -1.
int entryIndex(const std::vector<std::string>& entries, const std::string& text);

// Raw samples of a sink's monitor, recorded by parec from start() to stop().
class MonitorCapture {
 public:
  // `latencyMs` is what parec asks of the server; on PipeWire a small one drives the whole
  // graph in small cycles.
  explicit MonitorCapture(std::string source = "radio.monitor", std::string server = "", int latencyMs = 10);
  ~MonitorCapture();
  MonitorCapture(const MonitorCapture&) = delete;
  MonitorCapture& operator=(const MonitorCapture&) = delete;

  // Starts parec and returns once it is recording; false if it never does.
  bool start();
  std::vector<std::int16_t> stop();
  // The raw file parec writes, so that a test can watch it grow; empty before start().
  const std::string& path() const { return path_; }

 private:
  std::string source_;
  std::string server_;
  int latencyMs_;
  std::string path_;
  pid_t pid_ = -1;
};

// Where `expected` lies in `captured`, matched by the first non-zero sample of each.
std::optional<std::size_t> alignment(const std::vector<std::int16_t>& captured,
                                     const std::vector<std::int16_t>& expected, std::size_t searchFrom = 0);

// A sound server of the test's own, started and stopped with the project's script.
class PrivateServer {
 public:
  PrivateServer();
  ~PrivateServer();
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  bool start();
  void kill();  // SIGKILL: the server vanishes without a word
  // Unloads the module of one null sink, as if the device were unplugged.
  bool unplug(const std::string& sinkName);
  const std::string& address() const { return address_; }

 private:
  std::string shell(const std::string& command) const;
  std::string dir_;
  std::string address_;
};

}  // namespace velmora::testing
