#pragma once
// How long a column holds the air. A column's sound is played and then waited for by
// polling a millisecond tick counter: the wait sleeps one poll period at a time and ends
// at the first poll at which more than the limit has passed since just before the play.
// The same rules place the columns in the waterfall picture and count the time remaining,
// so that both agree with what a transmission really takes.

#include <cstddef>
#include <cstdint>

namespace velmora {

inline constexpr std::uint32_t kConcurrentPollMs = 100;
inline constexpr std::uint32_t kSequentialPollMs = 10;

std::uint32_t columnPollMs(bool concurrent);
// C/MT waits the column duration; S/MT waits for the samples actually written, which is
// less when dark slots were skipped.
std::uint32_t columnWaitLimitMs(bool concurrent, std::uint32_t durationMs, std::size_t samplesWritten);

// The expected time from the play to the end of the wait, in ms. A limit between two
// polls ends the wait at the next poll. A limit that is a whole number of polls ends it
// at that poll or one later: the play call and every sleep take a fraction of a tick
// longer than asked, and whether that fraction carries the tick counter past the limit
// depends on where within a tick the play began, which is as likely early as late. Such a
// wait therefore counts half a poll period beyond the limit.
double expectedColumnWaitMs(std::uint32_t pollMs, std::uint32_t limitMs);

// The expected time on the air of a column that wrote `samplesWritten` samples.
double columnOnAirMs(bool concurrent, std::uint32_t durationMs, std::size_t samplesWritten);

}  // namespace velmora
