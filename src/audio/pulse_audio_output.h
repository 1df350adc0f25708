#pragma once
// The sound system on Linux: libpulse with a threaded main loop; works on PulseAudio and
// on PipeWire's pulse server. Safe to call from the GUI thread and a worker.

#include <memory>
#include <string>

#include "audio/audio_output.h"

namespace velmora {

std::unique_ptr<AudioOutput> makePulseAudioOutput(const std::string& applicationName = "Velmora");

}  // namespace velmora
