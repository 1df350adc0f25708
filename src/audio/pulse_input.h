#pragma once
// Sound inputs of the PulseAudio (or PipeWire) server: its sources, monitors of outputs
// included, listed in the server's order, and a recording stream from one of them.

#include "audio/sound_input.h"

namespace velmora {

// The sources, or nullopt when no server answers in time.
std::optional<std::vector<InputEntry>> listPulseInputs(const std::string& applicationName);

// Records mono float samples at `sampleRate` (the server converts) from the source of
// that name, the default source when `name` is empty. nullptr when it cannot be opened;
// `error` then says why.
std::unique_ptr<SoundInput> openPulseInput(const std::string& applicationName, const std::string& name,
                                           int sampleRate, std::string& error);

}  // namespace velmora
