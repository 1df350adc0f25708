#pragma once
// What the main window is given from outside: the sound system, serial ports, clock,
// shared state (with the start-up directory), where to look for the font, and the two
// workers. main() hands in the real ones; tests hand in fakes.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_output.h"
#include "core/clock.h"
#include "core/shared_state.h"
#include "core/worker_context.h"
#include "ptt/rig_control.h"
#include "ptt/serial_port.h"

namespace velmora {

using WorkerFunction = std::function<void(WorkerContext&)>;

struct AppEnvironment {
  AudioOutput& audio;
  SerialPortOpener& serialPorts;
  Clock& clock;
  SharedState& shared;
  // Searched for the font after the start-up directory, in order.
  std::vector<std::string> fontFolders;
  WorkerFunction transmitWorker;
  WorkerFunction tuneWorker;
  // The texts of the PTT dialog's "Com port" list, made when the dialog opens.
  std::function<std::vector<std::string>()> comPortEntries;
  // Rigs for the Hamlib method (none: the dialog lists no models and keying reports it),
  // and the serial devices its "Rig port" offers.
  std::shared_ptr<RigControl> rigs;
  std::function<std::vector<std::string>()> rigPorts;
  // How long closing the window waits for a running worker to end.
  std::chrono::milliseconds shutdownWaitLimit{5000};
  // Start velmora-ptt-guard before the first keying (the program, not its tests).
  bool pttGuard = false;
};

}  // namespace velmora
