#pragma once
// Which of several readings of one recording is right, when they were made under
// different beliefs (mode, duration, Reverse): each reading is sent again in thought, its
// columns' tones at the places where they were found, and the spectrogram of that sound
// is compared with the recording's. A wrong belief still reads something, but what it
// reads, sent again, does not look like what was received. Compared at three resolutions:
// short frames see the slots and fades, long ones tell rows apart, down to 3 Hz.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "receive/pixel_energies.h"
#include "receive/spectrogram.h"

namespace velmora::receive {

// The sound of a reading: masks[i] lights rows of the column starting at starts[i] (bit
// k: row k, at center + (k - 3) * offset, or center - (k - 3) * offset when mirrored); a
// negative mask is outside the text. A pilot, when there is one, fills dark columns
// (C/MT) or slots (S/MT) at five offsets below the center, or above it.
std::vector<float> resound(std::span<const int> masks, std::span<const std::size_t> starts,
                           const RowPlan& plan, bool mirrored, std::optional<bool> pilotAbove,
                           double sampleRate, std::size_t length);

class ReadingFit {
 public:
  ReadingFit(std::span<const float> samples, double sampleRate, double lowHz, double highHz);
  // The correlation of the sound's spectrograms with the recording's, summed over the
  // resolutions: up to 3, higher is a better explanation.
  double score(std::span<const float> sound) const;
  // The middle resolution alone: enough to tell two soundings of one reading apart.
  double quickScore(std::span<const float> sound) const;

 private:
  struct Resolution {
    double frameSeconds;
    Spectrogram received;  // less the noise floor
    double norm = 0.0;
  };
  double correlation(const Resolution& r, std::span<const float> sound) const;
  double sampleRate_;
  double lowHz_;
  double highHz_;
  std::vector<Resolution> resolutions_;
};

}  // namespace velmora::receive
