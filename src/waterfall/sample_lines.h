#pragma once
// A receiver's waterfall lines from a stream of samples (11025 per second), for a picture
// of what is received rather than of what is sent: the same profile (window, Hz per pixel,
// lines per second) and the same band and levels as drawWaterfall, line after line as
// the samples arrive. Plain C++; one object per stream and thread.

#include <complex>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "waterfall/receiver_profile.h"

namespace velmora::waterfall {

class SampleLines {
 public:
  // `centerHz` is the middle of the band, which spans kHalfBandHz either side.
  SampleLines(const ReceiverProfile& receiver, double centerHz);

  // Bins per line, lowest frequency first: as many as drawWaterfall shows.
  int binCount() const { return static_cast<int>(bins_.size()); }

  // Takes the next samples; calls `line` with the levels (dB relative to a full-scale
  // sine) of every line whose window they complete, in order. Line n is centred on
  // sample (n + 0.5) * 11025 / lines per second, as in drawWaterfall.
  void feed(std::span<const std::int16_t> samples, const std::function<void(std::span<const float>)>& line);

 private:
  void emitLine(const std::function<void(std::span<const float>)>& line);

  std::vector<double> window_;
  std::vector<std::complex<double>> bins_;  // each bin's turn per sample
  std::vector<double> history_;             // the last window_.size() samples, a ring
  std::size_t oldest_ = 0;
  std::vector<float> levels_;
  double samplesPerLine_;
  double scale_;
  std::int64_t received_ = 0;
  std::int64_t nextLine_ = 0;
};

}  // namespace velmora::waterfall
