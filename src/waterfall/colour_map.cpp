#include "waterfall/colour_map.h"

#include <array>
#include <cmath>

namespace velmora::waterfall {

namespace {

struct Stop {
  double at;  // 0..1 along the scale
  double red, green, blue;
};

constexpr std::array<Stop, 6> kStops = {{
    {0.0, 0, 0, 0},
    {0.2, 0, 0, 160},
    {0.4, 0, 220, 255},
    {0.6, 255, 255, 0},
    {0.8, 255, 0, 0},
    {1.0, 255, 255, 255},
}};

constexpr int kEntries = 256;

std::uint32_t interpolate(double t) {
  std::size_t s = 1;
  while (s + 1 < kStops.size() && t > kStops[s].at) ++s;
  const Stop& a = kStops[s - 1];
  const Stop& b = kStops[s];
  const double f = (t - a.at) / (b.at - a.at);
  const auto channel = [f](double from, double to) {
    return static_cast<std::uint32_t>(std::lround(from + (to - from) * f));
  };
  return 0xFF000000U | channel(a.red, b.red) << 16 | channel(a.green, b.green) << 8 | channel(a.blue, b.blue);
}

std::array<std::uint32_t, kEntries> makeTable() {
  std::array<std::uint32_t, kEntries> table{};
  for (int i = 0; i < kEntries; ++i) table[static_cast<std::size_t>(i)] = interpolate(i / (kEntries - 1.0));
  return table;
}

}  // namespace

std::uint32_t levelColour(float db, float topDb, float rangeDb) {
  static const std::array<std::uint32_t, kEntries> table = makeTable();
  const float t = (db - (topDb - rangeDb)) / rangeDb;
  if (!(t > 0.0F)) return table.front();  // also NaN
  if (t >= 1.0F) return table.back();
  return table[static_cast<std::size_t>(t * (kEntries - 1) + 0.5F)];
}

}  // namespace velmora::waterfall
