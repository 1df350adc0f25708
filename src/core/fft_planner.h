#pragma once
// FFTW's planner is one shared state for the whole process and not safe to use from two
// threads at once (the Receive window decodes while the waterfall window draws): every
// plan is made and destroyed under this lock, and executed without it.

#include <mutex>

namespace velmora {

std::mutex& fftPlannerMutex();

}  // namespace velmora
