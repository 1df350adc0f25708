#pragma once
// How a text will read on a receiver: the size of a letter in the receiver's pixels and
// lines, the column duration that makes a glyph pixel as tall as it is wide, and the two
// ways a setting can spoil the picture there (rows closer than the receiver resolves, and
// S/MT slots shorter than one of its lines). Derived from the receiver's profile and the
// on-air timing, so that it holds for every receiver in the table.

#include <cstdint>

#include "waterfall/receiver_profile.h"
#include "waterfall/waterfall.h"

namespace velmora::waterfall {

struct Readability {
  double letterPixels = 0.0;  // across frequency: from the lowest to the highest row
  double letterLines = 0.0;   // along time: a glyph's five columns on the air
  double pixelAspect = 1.0;   // a glyph pixel's lines per pixel across: 1 is square
  // The column duration (ms, within 300..60000) whose glyph pixels come nearest square.
  std::uint32_t squareDurationMs = 300;
  double resolutionHz = 0.0;  // closer rows merge
  bool rowsMerge = false;
  double slotSeconds = 0.0;  // S/MT only
  bool slotsBlur = false;    // an S/MT slot shorter than one line
};

// Aspects within this factor of 1 count as square enough to leave alone.
inline constexpr double kSquareEnough = 1.3;

Readability readability(const SoundSettings& settings, const ReceiverProfile& receiver);

}  // namespace velmora::waterfall
