#include "transmit/time_remaining.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>

#include "support/memory_controls.h"

namespace velmora {
namespace {

struct TimeCase {
  std::int32_t value;
  std::int32_t columnDurationMs;
  const char* expected;
  bool concurrent = true;
};

void PrintTo(const TimeCase& c, std::ostream* os) { *os << c.value << " at " << c.columnDurationMs << " ms"; }

class ShowTimeRemainingTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(ShowTimeRemainingTest, WritesHoursMinutesSeconds) {
  testing::MemoryControls controls;
  controls.setChecked(ControlId::Concurrent, GetParam().concurrent);
  controls.setChecked(ControlId::Sequential, !GetParam().concurrent);
  showTimeRemaining(controls, GetParam().value, GetParam().columnDurationMs);
  EXPECT_EQ(controls.text(ControlId::TimeRemaining), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ShowTimeRemainingTest,
    ::testing::Values(
        // Negative values are seconds, whatever the duration.
        TimeCase{-75, 300, "(0h:01m:15s)"}, TimeCase{-3600, 300, "(1h:00m:00s)"}, TimeCase{-1, 60000, "(0h:00m:01s)"},
        TimeCase{0, 60000, "(0h:00m:00s)"},
        // Characters: 6n - 1 columns as long as they hold the air, truncated to whole
        // seconds. C/MT polls every 100 ms: a duration of whole polls waits half a poll more
        // on average (550 ms for 500), any other to the next poll (400 ms for 301).
        TimeCase{10, 500, "(0h:00m:32s)"}, TimeCase{1, 300, "(0h:00m:01s)"}, TimeCase{1, 1500, "(0h:00m:07s)"},
        TimeCase{1023, 60000, "(102h:22m:06s)"}, TimeCase{2, 301, "(0h:00m:04s)"},
        // S/MT polls every 10 ms for the 7 slots it wrote: 1000 ms holds the air 1005 ms,
        // 300 ms (3304 samples, 299 ms) 300 ms.
        TimeCase{10, 1000, "(0h:00m:59s)", false}, TimeCase{100, 300, "(0h:02m:59s)", false},
        // Hours are not limited to two digits, and the most negative value does not overflow.
        TimeCase{std::numeric_limits<std::int32_t>::min(), 300, "(596523h:14m:08s)"},
        // A duration that reads negative never shows a negative time.
        TimeCase{3, -1000, "(0h:00m:00s)"}));

}  // namespace
}  // namespace velmora
