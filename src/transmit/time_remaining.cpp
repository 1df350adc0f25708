#include "transmit/time_remaining.h"

#include <cstdio>

#include "synth/column_timing.h"
#include "synth/synthesis.h"

namespace velmora {

namespace {

// Seconds from the argument of showTimeRemaining; a text of n characters takes 6n - 1
// columns (five glyph columns and a gap each, no gap after the last).
double secondsToShow(std::int32_t value, double columnSeconds) {
  if (value < 0) return -static_cast<double>(value);
  if (value == 0) return 0.0;
  return 6.0 * value * columnSeconds - columnSeconds;
}

std::string formatHoursMinutesSeconds(double seconds) {
  if (!(seconds > 0.0)) seconds = 0.0;
  const auto hours = static_cast<long long>(seconds / 3600);
  const double rest = seconds - 3600.0 * static_cast<double>(hours);
  const auto minutes = static_cast<long long>(rest / 60);
  const auto wholeSeconds = static_cast<long long>(rest - 60.0 * static_cast<double>(minutes));
  char text[64];
  std::snprintf(text, sizeof text, "(%lldh:%02lldm:%02llds)", hours, minutes, wholeSeconds);
  return text;
}

}  // namespace

double columnSecondsOnAir(bool concurrent, std::int32_t columnDurationMs) {
  if (columnDurationMs <= 0) return 0.0;
  const auto duration = static_cast<std::uint32_t>(columnDurationMs);
  // A full column: S/MT with every slot written (skipped slots only shorten it).
  const std::size_t samples = concurrent ? concurrentSampleCount(duration)
                                         : 7 * static_cast<std::size_t>(sequentialSlotLength(duration));
  return columnOnAirMs(concurrent, duration, samples) / 1000.0;
}

void showTimeRemaining(Controls& controls, std::int32_t value, std::int32_t columnDurationMs) {
  const double columnSeconds =
      value > 0 ? columnSecondsOnAir(controls.isChecked(ControlId::Concurrent), columnDurationMs) : 0.0;
  controls.setText(ControlId::TimeRemaining, formatHoursMinutesSeconds(secondsToShow(value, columnSeconds)));
}

}  // namespace velmora
