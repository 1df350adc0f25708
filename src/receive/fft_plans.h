#pragma once
// FFTW plans made and destroyed under the program's planner lock (see core/fft_planner.h):
// the decoder runs beside the waterfall's own threads.

#include <fftw3.h>

namespace velmora::receive {

fftw_plan planForward(int size, double* in, fftw_complex* out);
fftw_plan planBackward(int size, fftw_complex* in, double* out);
void destroyPlan(fftw_plan plan);

}  // namespace velmora::receive
