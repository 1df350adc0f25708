// Reading text back in noise: texts rendered with the program's own synthesis, sent with
// the silences a real transmission leaves between columns, received with a tuning error
// of up to ±50 Hz and an unknown start, in white Gaussian noise. Prints the character
// error rate against the SNR (signal: the mean power of the message over its whole
// duration, gaps included; noise: the power of white noise in 2500 Hz) and the speed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "receive/decoder.h"
#include "transmit/message_sound.h"

namespace {

using velmora::receive::Mode;

constexpr double kRate = 11025.0;
const char* const kTexts[] = {"CQ CQ DE DL1ABC K", "TNX FER QSO 73", "UR RST 599 599", "VELMORA TEST 1234",
                              "QTH BERLIN OP JO", "PSE QSL VIA BURO", "WX SUNNY 21C GL", "HW CPY? BK"};

const velmora::GlyphTable& font() {
  static const velmora::GlyphTable table = [] {
    velmora::GlyphTable t;
    velmora::loadGlyphFont(VELMORA_SOURCE_DATA_DIR "/5x7 (International).txt", t);
    return t;
  }();
  return table;
}

std::size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t next = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = row[j];
      row[j] = next;
    }
  }
  return row[b.size()];
}

// One reception: the text as a real --play sends it, somewhere in a longer recording.
std::vector<float> reception(const std::string& text, bool concurrent, std::uint32_t durationMs, double snrDb,
                             std::mt19937& rng) {
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  velmora::ColumnParameters c;
  c.center = 1500 + static_cast<std::int32_t>(std::lround(uniform(rng) * 100.0 - 50.0));
  c.offset = 10;
  c.durationMs = durationMs;
  // Measured on --play: C/MT columns are mostly 5 ms apart, now and then a whole poll
  // (100 ms); S/MT ones 5 or 10 ms.
  auto gap = [&](std::size_t) -> std::size_t {
    if (concurrent) return uniform(rng) < 0.3 ? 1105 : 60;
    return uniform(rng) < 0.5 ? 111 : 56;
  };
  const std::vector<std::int16_t> sound = velmora::messageSound(text, font(), concurrent, c, gap);
  double power = 0.0;
  for (std::int16_t v : sound) power += (v / 32768.0) * (v / 32768.0);
  power /= static_cast<double>(sound.size());
  const auto lead = static_cast<std::size_t>(uniform(rng) * 5.0 * kRate);
  const auto tail = static_cast<std::size_t>((1.0 + uniform(rng) * 4.0) * kRate);
  std::vector<float> x(lead, 0.0f);
  for (std::int16_t v : sound) x.push_back(static_cast<float>(v / 32768.0));
  x.insert(x.end(), tail, 0.0f);
  // Noise of power P in 2500 Hz has P * (rate / 2) / 2500 over the whole band.
  const double noise = power / std::pow(10.0, snrDb / 10.0) * (kRate / 2.0) / 2500.0;
  std::normal_distribution<double> normal(0.0, std::sqrt(noise));
  for (float& v : x) v += static_cast<float>(normal(rng));
  return x;
}

// `unaided`: told only roughly where to listen, as --search after the band is found.
void BM_Decode(benchmark::State& state, bool concurrent, std::uint32_t durationMs, bool unaided = false) {
  const double snrDb = static_cast<double>(state.range(0));
  std::mt19937 rng(20261208);
  std::size_t errors = 0;
  std::size_t characters = 0;
  double audioSeconds = 0.0;
  std::size_t index = 0;
  velmora::receive::Hints hints;
  hints.centerHz = 1500.0;
  hints.offsetHz = 10;
  hints.durationMs = durationMs;
  hints.mode = concurrent ? Mode::Concurrent : Mode::Sequential;
  if (unaided) {
    hints.offsetHz.reset();
    hints.durationMs.reset();
    hints.mode.reset();
  }
  for (auto _ : state) {
    state.PauseTiming();
    const std::string text = kTexts[index++ % std::size(kTexts)];
    const std::vector<float> x = reception(text, concurrent, durationMs, snrDb, rng);
    audioSeconds += static_cast<double>(x.size()) / kRate;
    state.ResumeTiming();
    const velmora::receive::Decoding d = velmora::receive::decodeRecording(x, kRate, hints, font());
    state.PauseTiming();
    errors += editDistance(d.codes(), text);
    characters += text.size();
    state.ResumeTiming();
  }
  state.counters["CER_%"] = 100.0 * static_cast<double>(errors) / static_cast<double>(std::max<std::size_t>(1, characters));
  state.counters["chars"] = static_cast<double>(characters);
  // Seconds of sound decoded per second of one core.
  state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK_CAPTURE(BM_Decode, CMT_300ms, true, 300)
    ->DenseRange(-20, -10, 2)->Iterations(16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, SMT_1300ms, false, 1300)
    ->DenseRange(-24, -14, 2)->Iterations(8)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(BM_Decode, CMT_300ms_unaided, true, 300, true)
    ->DenseRange(-16, -8, 4)->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, SMT_1300ms_unaided, false, 1300, true)
    ->DenseRange(-20, -12, 4)->Iterations(4)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
