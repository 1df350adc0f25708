#pragma once
// The little state the whole program really shares between the GUI thread and the one
// running worker. One instance lives in the program's entry point and is handed to
// whoever needs it; nothing here is global.

#include <atomic>
#include <cstdint>
#include <string>

#include "core/on_air_progress.h"

namespace velmora {

struct SharedState {
  // 1 asks the running worker to stop; cleared just before a worker starts.
  std::atomic<int> stopFlag{0};
  // Copied from their fields by the workers, by the settings loader and by the window.
  std::atomic<std::int32_t> centerFrequency{0};  // Hz
  std::atomic<std::int32_t> pixelRowOffset{0};   // Hz
  std::atomic<std::int32_t> columnDuration{0};   // ms
  // The folder that holds Velmora.ini and Logfile.txt; set once at start-up, before any
  // worker exists, and read-only afterwards.
  std::string startupDirectory;
  // Reported by the workers as they go: which column or tone is on the air.
  OnAirProgress onAir;

  bool stopRequested() const { return stopFlag.load() != 0; }
};

}  // namespace velmora
