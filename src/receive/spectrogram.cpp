#include "receive/spectrogram.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "receive/fft_plans.h"

namespace velmora::receive {

std::vector<double> hannWindow(std::size_t length) {
  std::vector<double> window(length);
  for (std::size_t n = 0; n < length; ++n)
    window[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (static_cast<double>(n) + 0.5) /
                                     static_cast<double>(length));
  return window;
}

Spectrogram spectrogram(std::span<const float> samples, double sampleRate, double frameSeconds, double lowHz,
                        double highHz) {
  Spectrogram out;
  const auto frame = std::max<std::size_t>(16, static_cast<std::size_t>(frameSeconds * sampleRate));
  out.hop = std::max<std::size_t>(1, frame / 4);
  if (samples.size() < frame) return out;
  // Zero-padded to at least 1.5 frames: bins well within a resolution of each other, so
  // that no tone falls between two of them.
  std::size_t size = 1;
  while (size < frame + frame / 2) size <<= 1;
  out.binHz = sampleRate / static_cast<double>(size);
  const auto first = static_cast<std::size_t>(std::max(0.0, lowHz) / out.binHz);
  const std::size_t last = std::min(size / 2, static_cast<std::size_t>(highHz / out.binHz) + 1);
  if (last <= first) return out;
  out.firstHz = static_cast<double>(first) * out.binHz;
  out.bins = last - first;
  out.frames = (samples.size() - frame) / out.hop + 1;
  out.power.resize(out.frames * out.bins);

  const std::vector<double> window = hannWindow(frame);
  double* in = fftw_alloc_real(size);
  fftw_complex* spectrum = fftw_alloc_complex(size / 2 + 1);
  const fftw_plan plan = planForward(static_cast<int>(size), in, spectrum);
  std::fill(in, in + size, 0.0);
  for (std::size_t f = 0; f < out.frames; ++f) {
    const std::size_t start = f * out.hop;
    for (std::size_t n = 0; n < frame; ++n) in[n] = static_cast<double>(samples[start + n]) * window[n];
    fftw_execute(plan);
    double* row = out.power.data() + f * out.bins;
    for (std::size_t b = first; b < last; ++b)
      row[b - first] = spectrum[b][0] * spectrum[b][0] + spectrum[b][1] * spectrum[b][1];
  }
  destroyPlan(plan);
  fftw_free(spectrum);
  fftw_free(in);
  return out;
}

}  // namespace velmora::receive
