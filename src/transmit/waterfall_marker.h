#pragma once
// Where the waterfall window marks what is on the air: the column being sent (or, in the
// tuning tone, the moment of the tone reached), and the part already sent before it.

#include <cstdint>

#include "core/on_air_progress.h"
#include "waterfall/waterfall.h"

namespace velmora {

// The tone's length as the tuning worker plays it.
inline constexpr std::uint32_t kTuningToneMs = 10000;

struct MarkerAreas {
  bool shown = false;
  waterfall::PixelRect now;   // the column being sent, or a thin line in the tuning tone
  waterfall::PixelRect sent;  // everything before it; may be empty
};

// `picture` shows the text while a text is on the air and the tuning tone while the tone
// is; anything else (nothing on the air, a column past the picture, the other sound)
// shows no marker. `nowTick` places the marker in the tone.
MarkerAreas markerAreas(const waterfall::Picture& picture, bool pictureIsTuningTone, const OnAir& onAir,
                        std::uint32_t nowTick);

}  // namespace velmora
