#pragma once
// Levels to colours as ham waterfalls draw them: black for nothing, through blue, cyan,
// yellow and red to white for the strongest tone.

#include <cstdint>

namespace velmora::waterfall {

// 0xAARRGGBB, opaque: black at topDb - rangeDb and below, white at topDb and above.
std::uint32_t levelColour(float db, float topDb, float rangeDb);

}  // namespace velmora::waterfall
