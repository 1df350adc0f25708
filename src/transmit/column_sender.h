#pragma once
// One pixel column as the program sends it: buffer, fields, play, wait, clear.

#include <cstdint>

#include "core/worker_context.h"

namespace velmora {

// Sends one C/MT column: every lit row of `mask` at once for the column duration.
// `averagePower` receives the column's average power; it is left unchanged when the
// column could not be synthesized, so the caller keeps its previous figure.
void sendConcurrentColumn(WorkerContext& ctx, std::uint8_t mask, std::int32_t center, int reverse,
                          double& averagePower);

// Sends one S/MT column: the rows one after another, each in a slot of its own.
void sendSequentialColumn(WorkerContext& ctx, std::uint8_t mask, std::int32_t center, int reverse,
                          double& averagePower);

}  // namespace velmora
