#pragma once
// Sends the whole text column by column, once or in a loop with pauses.

#include "core/worker_context.h"

namespace velmora {

// Runs on the worker thread from the "Transmit" command until the text (or the loop) is
// done or a stop is requested; leaves the window idle.
void transmitWorker(WorkerContext& ctx);

}  // namespace velmora
