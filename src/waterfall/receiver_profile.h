#pragma once
// How a receiver draws its waterfall, as data: the table below is the one place that
// knows the receivers. A profile gives the picture's scale (Hz per pixel across the
// frequency axis, lines per second along time), the analysis window (its shape, and its
// length chosen so that a steady tone is as wide as on that receiver), the range of
// levels shown (from the strongest tone down) and the layout.

#include <span>
#include <string_view>

namespace velmora::waterfall {

enum class Layout {
  // "Frequency across, newest line on top": frequency rises to the right, the first column
  // is at the bottom and time runs upward. Turned a quarter turn clockwise, an upright
  // text reads left to right.
  FrequencyAcross,
  // "Time across, frequency upward": time runs to the right, frequency rises upward.
  TimeAcross,
};

enum class WindowShape { Hann, BlackmanHarris };

struct ReceiverProfile {
  std::string_view key;   // for the command line: no spaces
  std::string_view name;  // as the window lists it
  double hzPerPixel;
  double linesPerSecond;
  WindowShape window;
  // A steady full-scale tone's width on that receiver, in Hz, at the range below: the
  // analysis window is made just long enough for the same width.
  double toneWidthHz;
  double rangeDb;  // levels from the strongest tone down to this far below it
  Layout layout;
  std::string_view measuredOn;  // where the figures come from
};

inline constexpr int kReceiverCount = 5;
// The profiles, the default first.
std::span<const ReceiverProfile> receiverProfiles();
const ReceiverProfile& defaultReceiver();
// The profile of that key or name, or nullptr.
const ReceiverProfile* findReceiver(std::string_view name);

// The analysis window's length in seconds for `profile`.
double windowSeconds(const ReceiverProfile& profile);
// The window's value at x in [0, 1].
double windowValue(WindowShape shape, double x);

}  // namespace velmora::waterfall
