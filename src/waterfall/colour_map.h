#pragma once
// Levels to colours as ham waterfalls draw them: black for nothing, through blue, cyan,
// yellow and red to white for a full-scale tone.

#include <cstdint>

namespace velmora::waterfall {

inline constexpr float kFloorDb = -80.0F;  // and below: black
inline constexpr float kTopDb = 0.0F;      // a full-scale sine: white

// 0xAARRGGBB, opaque.
std::uint32_t levelColour(float db);

}  // namespace velmora::waterfall
