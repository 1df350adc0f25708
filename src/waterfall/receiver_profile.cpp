#include "waterfall/receiver_profile.h"

#include <array>
#include <cmath>
#include <complex>
#include <vector>

namespace velmora::waterfall {

namespace {

// Index 0 and 1 keep the two layouts that earlier versions offered (Velmora.ini stores
// the index), so the other profiles follow them.
constexpr std::array<ReceiverProfile, kReceiverCount> kProfiles = {{
    {"fldigi-x1", "fldigi \u00d71 (4 Hz/px, 7.8 lines/s)", 4.0, 7.8, WindowShape::BlackmanHarris, 24.0, 60.0,
     Layout::FrequencyAcross, "fldigi 4.1.23 at its defaults, zoom x1, speed NORM"},
    {"grabber", "Slow grabber (1 Hz/px, 2 lines/s)", 1.0, 2.0, WindowShape::BlackmanHarris, 4.0, 60.0, Layout::TimeAcross,
     "a typical slow grabber: time across, frequency upward"},
    {"fldigi-x2", "fldigi \u00d72 (2 Hz/px, 7.8 lines/s)", 2.0, 7.8, WindowShape::BlackmanHarris, 24.0, 60.0,
     Layout::FrequencyAcross, "fldigi 4.1.23, zoom x2"},
    {"fldigi-x4", "fldigi \u00d74 (1 Hz/px, 7.8 lines/s)", 1.0, 7.8, WindowShape::BlackmanHarris, 24.0, 60.0,
     Layout::FrequencyAcross, "fldigi 4.1.23, zoom x4"},
    {"wsjtx", "WSJT-X Wide Graph (1.5 Hz/px, 0.67 lines/s)", 1.46484375, 2.0 / 3.0, WindowShape::BlackmanHarris, 6.0,
     60.0, Layout::FrequencyAcross,
     "WSJT-X 2.6.1 at its defaults (FT8, Bins/Pixel 2, N Avg 5): scale and line rate measured, tone width assumed"},
}};

constexpr double kPi = 3.141592653589793;

// Width in window-length units (1/T) of the band where a steady tone's spectrum stays
// within `rangeDb` of its peak: found once per shape by evaluating the spectrum finely.
double normalizedToneWidth(WindowShape shape, double rangeDb) {
  constexpr int kPoints = 512;
  std::vector<double> w(kPoints);
  double sum = 0.0;
  for (int p = 0; p < kPoints; ++p) {
    w[static_cast<std::size_t>(p)] = windowValue(shape, (p + 0.5) / kPoints);
    sum += w[static_cast<std::size_t>(p)];
  }
  const double floor = std::pow(10.0, -rangeDb / 20.0);
  double last = 0.0;
  // Outward in steps of 1/64 bin up to 16 bins; the last point still above the floor.
  for (int step = 0; step <= 16 * 64; ++step) {
    const double bins = step / 64.0;
    std::complex<double> x = 0.0;
    for (int p = 0; p < kPoints; ++p)
      x += w[static_cast<std::size_t>(p)] * std::polar(1.0, -2.0 * kPi * bins * p / kPoints);
    if (std::abs(x) / sum >= floor) last = bins;
  }
  return 2.0 * last;
}

}  // namespace

std::span<const ReceiverProfile> receiverProfiles() { return kProfiles; }

const ReceiverProfile& defaultReceiver() { return kProfiles.front(); }

const ReceiverProfile* findReceiver(std::string_view name) {
  for (const ReceiverProfile& profile : kProfiles)
    if (profile.key == name || profile.name == name) return &profile;
  return nullptr;
}

double windowValue(WindowShape shape, double x) {
  const double a = 2.0 * kPi * x;
  if (shape == WindowShape::Hann) return 0.5 - 0.5 * std::cos(a);
  // 4-term Blackman-Harris: side lobes below -92 dB, so a tone shows as one clean stripe.
  return 0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2 * a) - 0.01168 * std::cos(3 * a);
}

double windowSeconds(const ReceiverProfile& profile) {
  // Found once for the shape and range every profile uses (a few ms), else each time.
  if (profile.window == WindowShape::BlackmanHarris && profile.rangeDb == 60.0) {
    static const double width = normalizedToneWidth(WindowShape::BlackmanHarris, 60.0);
    return width / profile.toneWidthHz;
  }
  return normalizedToneWidth(profile.window, profile.rangeDb) / profile.toneWidthHz;
}

}  // namespace velmora::waterfall
