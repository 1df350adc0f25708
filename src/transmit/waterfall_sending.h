#pragma once
// What the waterfall window draws, read from the controls exactly as the workers read
// them: the text's columns through the text codec and the glyph font, the sound settings
// from their fields and boxes.

#include <string>
#include <variant>

#include "core/controls.h"
#include "transmit/glyph_font.h"
#include "waterfall/waterfall.h"

namespace velmora {

// The text as a transmission would send it now, or, when a field that shapes the sound
// is out of the range "Transmit" accepts, that check's message.
std::variant<waterfall::Sending, std::string> textSendingFromControls(Controls& controls,
                                                                      const GlyphTable& glyphs);

// The tuning tone as "Tune" would send it now, or the range message of the center
// frequency.
std::variant<waterfall::Sending, std::string> tuneSendingFromControls(Controls& controls);

}  // namespace velmora
