#include "receive/fft_plans.h"

#include <mutex>

#include "core/fft_planner.h"

namespace velmora::receive {

fftw_plan planForward(int size, double* in, fftw_complex* out) {
  const std::lock_guard lock(fftPlannerMutex());
  return fftw_plan_dft_r2c_1d(size, in, out, FFTW_ESTIMATE);
}

fftw_plan planBackward(int size, fftw_complex* in, double* out) {
  const std::lock_guard lock(fftPlannerMutex());
  return fftw_plan_dft_c2r_1d(size, in, out, FFTW_ESTIMATE);
}

void destroyPlan(fftw_plan plan) {
  const std::lock_guard lock(fftPlannerMutex());
  fftw_destroy_plan(plan);
}

}  // namespace velmora::receive
