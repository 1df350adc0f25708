#pragma once
// The waterfall of a live input: picture lines from the samples as they come, the band
// around the receiver's center, drawn as the chosen receiver draws it (its Hz per pixel,
// lines per second, window and range below the strongest signal seen lately).
//
// Callers see only this interface; makeInputWaterfall is the one place that picks the
// renderer.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "waterfall/receiver_profile.h"

namespace velmora::waterfall {

using PictureLine = std::vector<std::uint32_t>;  // 0xAARRGGBB, lowest frequency first

class InputWaterfall {
 public:
  virtual ~InputWaterfall() = default;
  // Takes the next samples (11025 per second, full scale 1); returns the lines they
  // completed, oldest first.
  virtual std::vector<PictureLine> push(std::span<const float> samples) = 0;
  virtual int width() const = 0;
};

std::unique_ptr<InputWaterfall> makeInputWaterfall(const ReceiverProfile& receiver, double centerHz);

}  // namespace velmora::waterfall
