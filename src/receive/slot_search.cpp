#include "receive/slot_search.h"

#include <algorithm>
#include <cmath>

#include "receive/fft_plans.h"
#include "receive/tone_energy.h"
#include "receive/median.h"

namespace velmora::receive {

namespace {

constexpr int kFirstSlot = -3;  // slot positions measured around each column start
constexpr int kLastSlot = 9;
constexpr std::size_t kColumnsUsed = 40;

std::size_t nextPowerOfTwo(std::size_t n) {
  std::size_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

// Slot spectra summed over columns, one per slot position, between two frequencies.
class SlotSpectra {
 public:
  SlotSpectra(std::span<const float> samples, double sampleRate, std::size_t slot, double lowHz,
              double highHz)
      : samples_(samples), slot_(slot), size_(nextPowerOfTwo(2 * slot)) {
    binHz_ = sampleRate / static_cast<double>(size_);
    first_ = static_cast<std::size_t>(std::max(0.0, lowHz / binHz_));
    last_ = std::min(size_ / 2, static_cast<std::size_t>(highHz / binHz_) + 2);
    window_ = burstWindow(
        slot, std::min<std::size_t>(static_cast<std::size_t>(1000.0 * sampleRate / 11025.0), slot / 2));
    in_ = fftw_alloc_real(size_);
    out_ = fftw_alloc_complex(size_ / 2 + 1);
    plan_ = planForward(static_cast<int>(size_), in_, out_);
  }
  ~SlotSpectra() {
    destroyPlan(plan_);
    fftw_free(out_);
    fftw_free(in_);
  }
  SlotSpectra(const SlotSpectra&) = delete;
  SlotSpectra& operator=(const SlotSpectra&) = delete;

  // Adds the power of the slot starting at `start` to `sum`; false when out of range.
  bool add(std::ptrdiff_t start, std::vector<double>& sum) {
    if (start < 0 || static_cast<std::size_t>(start) + slot_ > samples_.size()) return false;
    for (std::size_t n = 0; n < slot_; ++n)
      in_[n] = static_cast<double>(samples_[static_cast<std::size_t>(start) + n]) * window_[n];
    std::fill(in_ + slot_, in_ + size_, 0.0);
    fftw_execute(plan_);
    sum.resize(last_ - first_, 0.0);
    for (std::size_t b = first_; b < last_; ++b)
      sum[b - first_] += out_[b][0] * out_[b][0] + out_[b][1] * out_[b][1];
    return true;
  }
  double at(const std::vector<double>& power, double hz) const {
    const double pos = hz / binHz_ - static_cast<double>(first_);
    if (pos < 0.0 || pos >= static_cast<double>(power.size()) - 1.0) return 0.0;
    const auto i = static_cast<std::size_t>(pos);
    const double frac = pos - static_cast<double>(i);
    return power[i] * (1.0 - frac) + power[i + 1] * frac;
  }

 private:
  std::span<const float> samples_;
  std::size_t slot_;
  std::size_t size_;
  double binHz_ = 1.0;
  std::size_t first_ = 0;
  std::size_t last_ = 0;
  std::vector<float> window_;
  double* in_;
  fftw_complex* out_;
  fftw_plan plan_;
};

std::vector<std::size_t> spread(std::span<const std::size_t> starts) {
  std::vector<std::size_t> picked;
  const std::size_t count = std::min(kColumnsUsed, starts.size());
  for (std::size_t i = 0; i < count; ++i) picked.push_back(starts[i * starts.size() / count]);
  return picked;
}

// The mean power per bin over the positions whose spectra are whole (the longest); empty
// when there are none.
std::vector<double> meanOverPositions(const std::vector<std::vector<double>>& position) {
  std::size_t bins = 0;
  for (const auto& p : position) bins = std::max(bins, p.size());
  std::vector<double> mean(bins, 0.0);
  std::size_t used = 0;
  for (const auto& p : position) {
    if (p.size() != bins) continue;
    for (std::size_t b = 0; b < bins; ++b) mean[b] += p[b];
    ++used;
  }
  if (used == 0) return {};
  for (double& m : mean) m /= static_cast<double>(used);
  return mean;
}

// Each position against the mean of all positions: a row's tone stands out in its own
// slot only, while a pilot (in every dark slot) and steady carriers cancel. Where nothing
// sounds the ratio is noise over noise: a floor keeps the empty bins from making large
// ratios.
bool normalise(std::vector<std::vector<double>>& position) {
  const std::vector<double> mean = meanOverPositions(position);
  const std::size_t bins = mean.size();
  if (bins == 0) return false;
  // A clean recording's empty bins hold only the leakage of its tones: a hundredth of the
  // strongest is floor enough there.
  const double floor = std::max({median(mean), 0.01 * *std::max_element(mean.begin(), mean.end()), 1e-300});
  for (auto& p : position) {
    if (p.size() != bins) {
      p.clear();
      continue;
    }
    for (std::size_t b = 0; b < bins; ++b) p[b] /= mean[b] + floor;
  }
  return true;
}

// Each position's share of what stands out in it over the mean of all positions, per bin
// (1 on the average over the bins).
std::vector<std::vector<double>> shares(const std::vector<std::vector<double>>& position) {
  const std::vector<double> mean = meanOverPositions(position);
  const std::size_t bins = mean.size();
  std::vector<std::vector<double>> out(position.size());
  if (bins == 0) return out;
  for (std::size_t j = 0; j < position.size(); ++j) {
    if (position[j].size() != bins) continue;
    out[j].resize(bins);
    double total = 0.0;
    for (std::size_t b = 0; b < bins; ++b) {
      out[j][b] = std::max(0.0, position[j][b] - mean[b]);
      total += out[j][b];
    }
    for (double& v : out[j]) v = total > 0.0 ? v * static_cast<double>(bins) / total : 0.0;
  }
  return out;
}

}  // namespace

SlotFit fitSlots(std::span<const float> samples, double sampleRate, const RowPlan& plan,
                 std::span<const std::size_t> starts, double searchHz, bool mirrored,
                 std::optional<std::int32_t> offsetHz) {
  SlotFit fit;
  const std::size_t slot = plan.columnSamples / 7;
  if (slot < 16 || starts.empty()) return fit;
  const std::int32_t firstOffset = offsetHz.value_or(1);
  const std::int32_t lastOffset = offsetHz.value_or(10);
  const double reach = searchHz + 4.0 * lastOffset + 20.0;
  SlotSpectra spectra(samples, sampleRate, slot, plan.centerHz - reach, plan.centerHz + reach);
  const std::vector<std::size_t> columns = spread(starts);
  const auto slotStep = static_cast<std::ptrdiff_t>(slot);

  // Every placement to an eighth of a slot is tried: where the windows sit on the slots,
  // each holds its own row's tone alone and the product is highest. (Band energy alone
  // cannot place them: with a pilot every slot sounds, and the fades' shape differs.)
  const std::ptrdiff_t step = std::max<std::ptrdiff_t>(1, slotStep / 8);
  for (std::ptrdiff_t by = -slotStep / 2; by < slotStep / 2; by += step) {
    std::vector<std::vector<double>> position(kLastSlot - kFirstSlot + 1);
    for (int j = kFirstSlot; j <= kLastSlot; ++j)
      for (std::size_t c : columns)
        spectra.add(static_cast<std::ptrdiff_t>(c) + by + j * slotStep,
                    position[static_cast<std::size_t>(j - kFirstSlot)]);
    // Each position's share of what stands out in it over the mean of all positions: a
    // slot's tone must sit on its peak. (The ratios alone would favour offsets too wide,
    // whose outer rows fall where no other slot reaches, though their own tone is not
    // there either; a pilot, in every position, stands out in none.)
    const std::vector<std::vector<double>> share = shares(position);
    if (!normalise(position)) continue;
    const double direction = mirrored ? -1.0 : 1.0;
    for (std::int32_t offset = firstOffset; offset <= lastOffset; ++offset) {
      const double fine = std::min(0.5, offset / 8.0);
      for (int s = -3; s <= 3; ++s) {
        for (double c = plan.centerHz - searchHz; c <= plan.centerHz + searchHz; c += fine) {
          double score = 0.0;
          for (int k = 0; k < 7 && score > -1e299; ++k) {
            const auto j = static_cast<std::size_t>(k + s - kFirstSlot);
            const double hz = c + direction * (k - 3) * offset;
            score = position[j].empty() ? -1e300
                                        : score + std::log(std::max(spectra.at(position[j], hz), 1e-3)) +
                                              std::log(std::max(spectra.at(share[j], hz), 1e-3));
          }
          if (score > fit.score) {
            fit.score = score;
            fit.centerHz = c;
            fit.offsetHz = offset;
            fit.shift = by + s * slotStep;
          }
        }
      }
    }
  }
  return fit;
}

}  // namespace velmora::receive
