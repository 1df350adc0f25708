#pragma once
// Short-time spectra of a sound timeline, as a receiver's waterfall computes them: a Hann
// window whose bins are half a row offset wide, around the center frequency.
//
// Only the band near the tones matters, so the sound is taken mixed down by the center
// frequency and sampled at kTransformLength points across the window: the bursts' tones
// are evaluated at those points directly (their envelope and phase at that time), which
// keeps the cost of a line independent of the column duration. FFTW does the transform.

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

#include "waterfall/sound_timeline.h"

namespace velmora::waterfall {

inline constexpr int kTransformLength = 128;  // covers +-32 offsets, far past the tones
inline constexpr int kBinsPerOffset = 2;
inline constexpr int kShownOffsets = 7;  // either side of the center: the pilot and a margin
inline constexpr int kShownBins = 2 * kBinsPerOffset * kShownOffsets + 1;

class SpectrumLines {
 public:
  explicit SpectrumLines(const SoundTimeline& timeline);
  ~SpectrumLines();
  SpectrumLines(const SpectrumLines&) = delete;
  SpectrumLines& operator=(const SpectrumLines&) = delete;

  // The levels of the kShownBins bins, lowest frequency first, in dB relative to a
  // full-scale sine, of the window centred on sample `time`.
  void levels(double time, std::span<float, kShownBins> out);

  double binWidthHz() const;

 private:
  void sampleWindow(double firstTime);
  void addBurst(std::size_t index, double firstTime, int firstPoint, int endPoint);

  const SoundTimeline& timeline_;
  double pointSpacing_;  // samples between the window's points
  std::vector<double> hann_;
  // Along the window, a tone m offsets from the center turns by the same angle from point
  // to point whatever the offset: its turn at point p, per m (-5..5), as re/im pairs.
  std::vector<double> turn_;
  std::vector<std::complex<double>> burstPhase_;  // the mixer's phase at each burst's start
  std::complex<double>* input_;
  std::complex<double>* output_;
  void* plan_;  // fftw_plan, kept out of this header
};

}  // namespace velmora::waterfall
