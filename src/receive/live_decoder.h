#pragma once
// Reading text as it arrives. The decoder needs whole stretches of sound (it learns the
// rows, the timing and the SNR from many columns), so the live reader keeps the last
// stretch and decodes it again every few seconds; a character is handed out once, when
// it is complete and no longer at the stretch's edges, where a decode is least sure.
// The work per second of sound stays bounded: the stretch and the pace scale with the
// length of a character.

#include <cstdint>
#include <span>
#include <vector>

#include "receive/decoder.h"

namespace velmora::receive {

class LiveDecoder {
 public:
  LiveDecoder(double sampleRate, const Hints& hints, const GlyphTable& font);
  // Takes the next samples; returns the characters completed since the last call, with
  // times counted from the first sample ever pushed.
  std::vector<DecodedCharacter> push(std::span<const float> samples);
  // A character's length on the air, roughly: what a pause in the text is measured in.
  double characterSeconds() const { return characterS_; }

 private:
  double sampleRate_;
  Hints hints_;
  GlyphTable font_;
  std::vector<float> window_;
  std::uint64_t windowStart_ = 0;  // index of window_[0] among all samples pushed
  std::size_t sinceDecode_ = 0;
  double lastTimeS_ = -1e9;  // start of the last character handed out
  std::size_t windowSamples_;
  std::size_t stepSamples_;
  double characterS_;  // a character's length on the air, roughly
};

}  // namespace velmora::receive
