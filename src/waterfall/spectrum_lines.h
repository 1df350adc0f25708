#pragma once
// Short-time spectra of a sound timeline, as a receiver computes them: the receiver's
// analysis window and bin spacing (its Hz per pixel), around the center frequency.
//
// Only the band near the tones matters, so the sound is taken mixed down by the center
// frequency and sampled at a few points per window: the bursts' tones are evaluated at
// those points directly (their envelope and phase at that time), which keeps the cost of
// a line independent of the column duration. FFTW does the transform, zero-padded to the
// receiver's bin spacing. One object serves one thread.

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

#include "waterfall/receiver_profile.h"
#include "waterfall/sound_timeline.h"

namespace velmora::waterfall {

// The band shown reaches at least this far either side of the center.
inline constexpr double kHalfBandHz = 256.0;

class SpectrumLines {
 public:
  SpectrumLines(const SoundTimeline& timeline, const ReceiverProfile& profile);
  ~SpectrumLines();
  SpectrumLines(const SpectrumLines&) = delete;
  SpectrumLines& operator=(const SpectrumLines&) = delete;

  // Bins shown, an odd number with the center in the middle.
  int binCount() const { return 2 * halfBins_ + 1; }
  // The levels of the binCount() bins, lowest frequency first, in dB relative to a
  // full-scale sine, of the window centred on sample `time`.
  void levels(double time, std::span<float> out);

 private:
  void sampleWindow(double firstTime);
  void addBurst(std::size_t index, double firstTime, int firstPoint, int endPoint);

  const SoundTimeline& timeline_;
  int transformLength_;  // points, a power of two
  int windowPoints_;     // points the window covers, at most transformLength_
  int halfBins_;
  double pointSpacing_;  // samples between the window's points
  double scale_;         // from |X| to a fraction of a full-scale sine
  std::vector<double> window_;
  // Along the window, a tone m offsets from the center turns by the same angle from point
  // to point whatever the offset: its turn at point p, per m (-5..5), as re/im pairs.
  std::vector<double> turn_;
  std::vector<std::complex<double>> burstPhase_;  // the mixer's phase at each burst's start
  std::complex<double>* input_;
  std::complex<double>* output_;
  void* plan_;  // fftw_plan, kept out of this header
};

}  // namespace velmora::waterfall
