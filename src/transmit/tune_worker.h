#pragma once
// The 10-second tuning tone at the audio center frequency.

#include "core/controls.h"
#include "core/message_box.h"
#include "core/worker_context.h"

namespace velmora {

// Runs on the worker thread: computes the whole tone, keys, plays it until it ends or a
// stop is requested, unkeys and returns the window to idle.
void tuneWorker(WorkerContext& ctx);

// The check the "Tune" command makes before it starts the worker; shows the range
// message and returns false when the center frequency is out of range.
bool tuneCommandAllowed(Controls& controls, MessageBox& box);

}  // namespace velmora
