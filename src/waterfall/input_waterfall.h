#pragma once
// The waterfall of a live input: picture lines from the samples as they come, the band
// around the receiver's center, as a receiver draws it (fldigi's defaults: 4 Hz a pixel,
// about 7.8 lines a second, 60 dB of range below the strongest signal).
//
// Callers see only this interface, so that the receiver-profile renderer can take its
// place in one spot (makeInputWaterfall).

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace velmora::waterfall {

using PictureLine = std::vector<std::uint32_t>;  // 0xAARRGGBB, lowest frequency first

class InputWaterfall {
 public:
  virtual ~InputWaterfall() = default;
  // Takes the next samples; returns the lines they completed, oldest first.
  virtual std::vector<PictureLine> push(std::span<const float> samples) = 0;
  virtual int width() const = 0;
  virtual double lowestHz() const = 0;
  virtual double hzPerPixel() const = 0;
};

// ±250 Hz around centerHz.
std::unique_ptr<InputWaterfall> makeInputWaterfall(double sampleRate, double centerHz);

}  // namespace velmora::waterfall
