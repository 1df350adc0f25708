#pragma once
// A live waterfall's picture: the last lines received, laid out as the receiver draws
// them (receiver_profile.h), with the newest line at the edge where that receiver adds it:
// on top for FrequencyAcross (frequency rising to the right), at the right for TimeAcross
// (frequency rising upward). A new line moves the older ones along by one pixel in place,
// so the cost per line is one pass over the pixels. Plain C++; a QImage can wrap the
// pixels as QImage::Format_RGB32.

#include <cstdint>
#include <span>
#include <vector>

#include "waterfall/receiver_profile.h"

namespace velmora::waterfall {

class ScrollingPicture {
 public:
  // `bins` pixels along the frequency axis, `keptLines` along the time axis; black at first.
  ScrollingPicture(Layout layout, int bins, int keptLines);

  // Adds a line, lowest frequency first (bins past the picture's are left out, missing
  // ones stay black).
  void add(std::span<const std::uint32_t> line);

  Layout layout() const { return layout_; }
  int bins() const { return bins_; }
  int width() const { return layout_ == Layout::FrequencyAcross ? bins_ : kept_; }
  int height() const { return layout_ == Layout::FrequencyAcross ? kept_ : bins_; }
  // width() * height() pixels, 0xAARRGGBB, row-major, top row first.
  const std::vector<std::uint32_t>& pixels() const { return pixels_; }

 private:
  Layout layout_;
  int bins_;
  int kept_;
  std::vector<std::uint32_t> pixels_;
};

}  // namespace velmora::waterfall
