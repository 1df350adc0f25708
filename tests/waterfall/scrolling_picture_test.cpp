// Where a live waterfall's new lines land in either layout.
#include "waterfall/scrolling_picture.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora::waterfall {
namespace {

constexpr std::uint32_t K = 0xFF000000U;  // black: no line there yet

struct PlacementCase {
  Layout layout;
  int width;
  int height;
  std::vector<std::uint32_t> pixels;  // after lines {1, 2, 3} and then {4, 5, 6}
};

class Placement : public testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, NewestLineAtTheReceiversEdge) {
  const PlacementCase& c = GetParam();
  ScrollingPicture picture(c.layout, 3, 4);
  picture.add(std::vector<std::uint32_t>{1, 2, 3});
  picture.add(std::vector<std::uint32_t>{4, 5, 6});
  EXPECT_EQ(picture.width(), c.width);
  EXPECT_EQ(picture.height(), c.height);
  EXPECT_EQ(picture.pixels(), c.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Placement,
    testing::Values(
        // Newest row on top, frequency rising to the right.
        PlacementCase{Layout::FrequencyAcross, 3, 4, {4, 5, 6, 1, 2, 3, K, K, K, K, K, K}},
        // Newest column at the right, frequency rising upward.
        PlacementCase{Layout::TimeAcross, 4, 3, {K, K, 3, 6, K, K, 2, 5, K, K, 1, 4}}),
    [](const testing::TestParamInfo<PlacementCase>& test) {
      return test.param.layout == Layout::FrequencyAcross ? "FrequencyAcross" : "TimeAcross";
    });

}  // namespace
}  // namespace velmora::waterfall
