#pragma once
// One pixel column as the program sends it: buffer, fields, play, wait, clear.

#include <cstdint>

#include "core/worker_context.h"

namespace velmora {

// Logged when a transmission ends because its sound stopped making progress.
inline constexpr const char* kSoundStalledLine = "Sound output stalled";

}  // namespace velmora

namespace velmora {

// Sends one C/MT column: every lit row of `mask` at once for the column duration.
// `averagePower` receives the column's average power; it is left unchanged when the
// column could not be synthesized, so the caller keeps its previous figure. True when the
// sound failed only after 2 s or more: the sound output has stalled.
bool sendConcurrentColumn(WorkerContext& ctx, std::uint8_t mask, std::int32_t center, int reverse,
                          double& averagePower);

// Sends one S/MT column: the rows one after another, each in a slot of its own.
bool sendSequentialColumn(WorkerContext& ctx, std::uint8_t mask, std::int32_t center, int reverse,
                          double& averagePower);

}  // namespace velmora
