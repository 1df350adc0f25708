#include "waterfall/frequency_scale.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace velmora::waterfall {

namespace {

constexpr std::uint32_t kBackground = 0xFF202020U;
constexpr std::uint32_t kInk = 0xFFC8C8C8U;

// 3x5 glyphs, drawn twice their size; bit 2 of a row is its left pixel.
constexpr int kGlyphScale = 2;
constexpr int kGlyphWidth = 3 * kGlyphScale;
constexpr int kGlyphHeight = 5 * kGlyphScale;
constexpr int kAdvance = kGlyphWidth + kGlyphScale;
constexpr int kTickLength = 4;
constexpr int kGap = 2;
constexpr int kMaxLabelChars = 4;  // the band never passes 3100 Hz

constexpr int kMaxTimeLabelChars = 6;  // "99999s"; longer times overrun the strip's edge

constexpr std::array<std::array<std::uint8_t, 5>, 13> kGlyphs = {{
    {7, 5, 5, 5, 7},  // 0
    {2, 6, 2, 2, 7},  // 1
    {7, 1, 7, 4, 7},  // 2
    {7, 1, 3, 1, 7},  // 3
    {5, 5, 7, 1, 1},  // 4
    {7, 4, 7, 1, 7},  // 5
    {7, 4, 7, 5, 7},  // 6
    {7, 1, 2, 2, 2},  // 7
    {7, 5, 7, 5, 7},  // 8
    {7, 5, 7, 1, 7},  // 9
    {5, 5, 7, 5, 5},  // H
    {0, 7, 1, 2, 7},  // z
    {0, 3, 4, 1, 6},  // s
}};

int glyphIndex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c == 's') return 12;
  return c == 'H' ? 10 : 11;
}

int textWidth(const std::string& text) { return static_cast<int>(text.size()) * kAdvance - kGlyphScale; }

void fillRect(Picture& picture, int x, int y, int width, int height, std::uint32_t colour) {
  for (int row = std::max(y, 0); row < std::min(y + height, picture.height); ++row) {
    for (int col = std::max(x, 0); col < std::min(x + width, picture.width); ++col) {
      picture.pixels[static_cast<std::size_t>(row) * picture.width + col] = colour;
    }
  }
}

void drawText(Picture& picture, int x, int y, const std::string& text) {
  for (const char c : text) {
    const auto& glyph = kGlyphs[static_cast<std::size_t>(glyphIndex(c))];
    for (int row = 0; row < 5; ++row) {
      for (int col = 0; col < 3; ++col) {
        if ((glyph[static_cast<std::size_t>(row)] >> (2 - col)) & 1U) {
          fillRect(picture, x + col * kGlyphScale, y + row * kGlyphScale, kGlyphScale, kGlyphScale, kInk);
        }
      }
    }
    x += kAdvance;
  }
}

// A round step (1, 2 or 5 times a power of ten, in the axis's unit) at least `minPixels` apart.
double tickStep(double pixelsPerUnit, int minPixels) {
  for (double decade = 1.0;; decade *= 10.0) {
    for (const double factor : {1.0, 2.0, 5.0}) {
      if (factor * decade * pixelsPerUnit >= minPixels) return factor * decade;
    }
  }
}

struct Interval {
  int low, high;
  bool overlaps(const Interval& other) const { return low < other.high && other.low < high; }
};

}  // namespace

int frequencyScaleThickness(Layout layout) {
  if (layout == Layout::FrequencyAcross) return kGap + kGlyphHeight + kGap + kTickLength;
  return kGap + kMaxLabelChars * kAdvance - kGlyphScale + kGap + kTickLength;
}

void drawFrequencyScale(Picture& picture) {
  const bool across = picture.layout == Layout::FrequencyAcross;
  const PixelRect& plot = picture.plot;
  const int thickness = frequencyScaleThickness(picture.layout);
  const int extent = across ? plot.width : plot.height;  // along the frequency axis
  if (across) {
    fillRect(picture, plot.x, plot.y - thickness, plot.width, thickness, kBackground);
  } else {
    fillRect(picture, plot.x - thickness, plot.y, thickness, plot.height, kBackground);
  }
  const double pixelsPerHz = extent / (picture.highHz - picture.lowHz);
  // Positions along the frequency axis, counted from the plot's low-frequency edge.
  const auto place = [&](double hz) {
    return static_cast<int>(std::floor((hz - picture.lowHz) * pixelsPerHz));
  };
  const auto toPicture = [&](int along) {
    return across ? plot.x + along : plot.y + plot.height - 1 - along;
  };

  // The unit sits at the low-frequency end; labels that would touch it are left out.
  const int unitWidth = textWidth("Hz");
  Interval unit{0, kGap + (across ? unitWidth : kGlyphHeight) + kGap};
  if (across) {
    drawText(picture, plot.x + kGap, plot.y - thickness + kGap, "Hz");
  } else {
    drawText(picture, plot.x - thickness + kGap, plot.y + plot.height - kGap - kGlyphHeight, "Hz");
  }

  const int labelRoom = across ? kMaxLabelChars * kAdvance + 2 * kAdvance : kGlyphHeight + 3 * kGap;
  const double step = tickStep(pixelsPerHz, labelRoom);
  for (double hz = std::ceil(picture.lowHz / step) * step; hz <= picture.highHz; hz += step) {
    const int along = place(hz);
    if (along < 0 || along >= extent) continue;
    const int at = toPicture(along);
    if (across) {
      fillRect(picture, at, plot.y - kTickLength, 1, kTickLength, kInk);
    } else {
      fillRect(picture, plot.x - kTickLength, at, kTickLength, 1, kInk);
    }
    const std::string label = std::to_string(static_cast<long>(std::lround(hz)));
    const int size = across ? textWidth(label) : kGlyphHeight;
    const Interval span{along - size / 2, along - size / 2 + size};
    if (span.low < 0 || span.high > extent || span.overlaps(unit)) continue;
    if (across) {
      drawText(picture, at - size / 2, plot.y - thickness + kGap, label);
    } else {
      const int right = plot.x - kTickLength - kGap;
      drawText(picture, right - textWidth(label), at - size / 2, label);
    }
  }
}

int timeScaleThickness(Layout layout) {
  if (layout == Layout::TimeAcross) return kGap + kGlyphHeight + kGap + kTickLength;
  return kGap + kMaxTimeLabelChars * kAdvance - kGlyphScale + kGap + kTickLength;
}

void drawTimeScale(Picture& picture) {
  const bool across = picture.layout == Layout::FrequencyAcross;
  const PixelRect& plot = picture.plot;
  const int thickness = timeScaleThickness(picture.layout);
  if (across) {
    fillRect(picture, plot.x - thickness, plot.y, thickness, plot.height, kBackground);
  } else {
    fillRect(picture, plot.x, plot.y + plot.height, plot.width, thickness, kBackground);
  }
  if (picture.lines <= 0 || picture.secondsPerLine <= 0.0) return;
  const double linesPerSecond = 1.0 / picture.secondsPerLine;
  const int labelRoom = across ? 3 * kGlyphHeight : (kMaxTimeLabelChars + 2) * kAdvance;
  const double step = tickStep(linesPerSecond, labelRoom);
  const double firstSecond = picture.firstLine * picture.secondsPerLine;
  const double lastSecond = (picture.firstLine + picture.lines) * picture.secondsPerLine;
  for (double second = std::ceil(firstSecond / step) * step; second <= lastSecond; second += step) {
    const auto along = static_cast<int>(std::floor(second * linesPerSecond)) - picture.firstLine;
    if (along < 0 || along >= picture.lines) continue;
    const std::string label = std::to_string(static_cast<long long>(std::llround(second))) + "s";
    if (across) {  // the first line at the bottom
      const int y = plot.y + plot.height - 1 - along;
      fillRect(picture, plot.x - kTickLength, y, kTickLength, 1, kInk);
      const int top = std::clamp(y - kGlyphHeight / 2, plot.y, plot.y + plot.height - kGlyphHeight);
      drawText(picture, plot.x - kTickLength - kGap - textWidth(label), top, label);
    } else {
      const int x = plot.x + along;
      const int below = plot.y + plot.height;
      fillRect(picture, x, below, 1, kTickLength, kInk);
      const int left = std::clamp(x - textWidth(label) / 2, plot.x, plot.x + plot.width - textWidth(label));
      drawText(picture, left, below + kTickLength + kGap, label);
    }
  }
}

}  // namespace velmora::waterfall
