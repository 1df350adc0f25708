#include "transmit/time_remaining.h"

#include <cstdio>

namespace velmora {

namespace {

// Seconds from the argument of showTimeRemaining; a text of n characters takes 6n - 1
// columns (five glyph columns and a gap each, no gap after the last).
double secondsToShow(std::int32_t value, std::int32_t columnDurationMs) {
  if (value < 0) return -static_cast<double>(value);
  if (value == 0) return 0.0;
  const double columnSeconds = columnDurationMs / 1000.0;
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

void showTimeRemaining(Controls& controls, std::int32_t value, std::int32_t columnDurationMs) {
  controls.setText(ControlId::TimeRemaining, formatHoursMinutesSeconds(secondsToShow(value, columnDurationMs)));
}

}  // namespace velmora
