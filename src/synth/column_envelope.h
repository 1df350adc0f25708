#pragma once
// The raised-cosine fade of one tone burst: the gain (1 + cos angle) / 2 rises over the
// first 1000 samples, holds, and falls over the last 999. The angle starts at -pi and
// steps by pi/1000 before it is used.
// A burst shorter than two ramps (an S/MT slot of a column under 1270 ms) would stop
// mid-fall with a click; it instead rises and falls within its own n samples, stepping
// by 2*pi/n on every sample, so that its last sample has gain 0.

#include <cmath>
#include <cstdint>

namespace velmora {

class ColumnEnvelope {
 public:
  static constexpr std::int64_t kRampLength = 1000;
  // pi / 1000, as the double the arithmetic has always used.
  static constexpr double kStep = 0.0031415926535897933;

  explicit ColumnEnvelope(std::int64_t burstLength)
      : fallStart_(burstLength - kRampLength),
        step_(burstLength < 2 * kRampLength && burstLength > 0
                  ? (2 * 3.141592653589793) / static_cast<double>(burstLength)
                  : kStep) {}

  // 1 + cos(angle) for sample j; call once per sample, in increasing j. The angle only
  // moves on the ramps, so the flat part reuses the value cos would give again.
  double factor(std::int64_t j) {
    if (j < kRampLength || j > fallStart_) {
      angle_ += step_;
      factor_ = 1.0 + std::cos(angle_);
    }
    return factor_;
  }

 private:
  std::int64_t fallStart_;
  double step_;
  double angle_ = -3.141592653589793;
  double factor_ = 0.0;
};

}  // namespace velmora
