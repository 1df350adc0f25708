#pragma once
// The median of a few values, taken by copy (the order of the caller's is kept): noise
// floors are medians, which the text's few strong values cannot move.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace velmora::receive {

inline double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

}  // namespace velmora::receive
