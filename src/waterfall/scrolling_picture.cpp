#include "waterfall/scrolling_picture.h"

#include <algorithm>
#include <cstring>

namespace velmora::waterfall {

namespace {

constexpr std::uint32_t kBlack = 0xFF000000U;

}  // namespace

ScrollingPicture::ScrollingPicture(Layout layout, int bins, int keptLines)
    : layout_(layout),
      bins_(std::max(0, bins)),
      kept_(std::max(1, keptLines)),
      pixels_(static_cast<std::size_t>(bins_) * static_cast<std::size_t>(kept_), kBlack) {}

void ScrollingPicture::add(std::span<const std::uint32_t> line) {
  if (bins_ == 0) return;
  const auto bins = static_cast<std::size_t>(bins_);
  const auto kept = static_cast<std::size_t>(kept_);
  const std::size_t given = std::min(bins, line.size());
  if (layout_ == Layout::FrequencyAcross) {
    // Every row down by one; the new line becomes the top row.
    std::memmove(pixels_.data() + bins, pixels_.data(), (kept - 1) * bins * sizeof(std::uint32_t));
    std::fill(std::copy_n(line.begin(), given, pixels_.begin()), pixels_.begin() + static_cast<std::ptrdiff_t>(bins),
              kBlack);
    return;
  }
  // Every row left by one; the new line becomes the right column, its highest bin on top.
  for (std::size_t y = 0; y < bins; ++y) {
    std::uint32_t* row = pixels_.data() + y * kept;
    std::memmove(row, row + 1, (kept - 1) * sizeof(std::uint32_t));
    const std::size_t bin = bins - 1 - y;
    row[kept - 1] = bin < given ? line[bin] : kBlack;
  }
}

}  // namespace velmora::waterfall
