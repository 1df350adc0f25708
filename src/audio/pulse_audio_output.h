#pragma once
// The sound system on Linux: libpulse with a threaded main loop; works on PulseAudio and
// on PipeWire's pulse server. Safe to call from the GUI thread and a worker.

#include <memory>
#include <string>

#include "audio/audio_output.h"

namespace velmora {

// `server` names the sound server as libpulse does ("unix:/path/to/socket"); empty finds
// it the usual way (PULSE_SERVER, then the session's own).
std::unique_ptr<AudioOutput> makePulseAudioOutput(const std::string& applicationName = "Velmora",
                                                  const std::string& server = "");

}  // namespace velmora
