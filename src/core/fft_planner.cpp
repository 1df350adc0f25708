#include "core/fft_planner.h"

namespace velmora {

std::mutex& fftPlannerMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace velmora
