// How long the user waits between columns: the synthesis of the longest columns, next to
// a bare loop of the same number of sin calls as the floor the arithmetic allows.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "synth/synthesis.h"
#include "synth/tone_plan.h"

namespace {

constexpr std::uint32_t kLongestColumnMs = 60000;
constexpr std::uint8_t kAllRows = 0x7F;

velmora::ColumnParameters longestFullColumn() {
  velmora::ColumnParameters column;
  column.mask = kAllRows;
  column.center = 3000;  // the highest tones reach the largest phases
  column.offset = 10;
  column.durationMs = kLongestColumnMs;
  return column;
}

void BM_ConcurrentColumnAllRows60s(benchmark::State& state) {
  const velmora::ColumnParameters column = longestFullColumn();
  std::vector<std::int16_t> samples(velmora::concurrentSampleCount(column.durationMs));
  for (auto _ : state) {
    const auto sound = velmora::synthesizeConcurrentColumn(column, samples);
    benchmark::DoNotOptimize(sound);
    benchmark::ClobberMemory();
  }
  state.counters["samples"] = static_cast<double>(samples.size());
}
BENCHMARK(BM_ConcurrentColumnAllRows60s)->Unit(benchmark::kMillisecond);

void BM_SequentialColumnAllRows60s(benchmark::State& state) {
  const velmora::ColumnParameters column = longestFullColumn();
  std::vector<std::int16_t> samples(
      7 * static_cast<std::size_t>(velmora::sequentialSlotLength(column.durationMs)));
  for (auto _ : state) {
    const auto sound = velmora::synthesizeSequentialColumn(column, samples);
    benchmark::DoNotOptimize(sound);
    benchmark::ClobberMemory();
  }
  state.counters["samples"] = static_cast<double>(samples.size());
}
BENCHMARK(BM_SequentialColumnAllRows60s)->Unit(benchmark::kMillisecond);

// The worst C/MT column's seven sin calls per sample with the same growing phases, and
// nothing else: what any bit-exact synthesis has to pay.
void BM_BareSinCallsOfWorstColumn(benchmark::State& state) {
  const velmora::TonePlan plan = velmora::makeTonePlan(3000, 10, false);
  const std::size_t length = velmora::concurrentSampleCount(kLongestColumnMs);
  for (auto _ : state) {
    double phases[7] = {};
    double total = 0.0;
    for (std::size_t j = 0; j < length; ++j) {
      for (int k = 0; k < 7; ++k) {
        total += std::sin(phases[k]);
        phases[k] += plan.increment[static_cast<std::size_t>(k)];
      }
    }
    benchmark::DoNotOptimize(total);
  }
  state.counters["sin calls"] = static_cast<double>(7 * length);
}
BENCHMARK(BM_BareSinCallsOfWorstColumn)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
