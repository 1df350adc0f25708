// How long the waterfall picture takes: a short text, and the longest text at the shortest
// and longest column duration, in both modes (the time must not grow with the duration).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "transmit/glyph_font.h"
#include "waterfall/waterfall.h"

namespace {

// Every character's five columns with a dark gap column between characters.
std::vector<std::uint8_t> columnsOf(const std::string& text) {
  velmora::GlyphTable glyphs;
  velmora::loadGlyphFont(VELMORA_SOURCE_DATA_DIR "/5x7 (International).txt", glyphs);
  std::vector<std::uint8_t> columns;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i > 0) columns.push_back(0);
    const velmora::GlyphColumns& glyph = glyphs.columns(static_cast<std::uint8_t>(text[i]));
    columns.insert(columns.end(), glyph.begin(), glyph.end());
  }
  return columns;
}

std::string repeatedText(std::size_t characters) {
  const std::string phrase = "CQ CQ DE VELMORA PSE K 599 73 ";
  std::string text;
  while (text.size() < characters) text += phrase;
  return text.substr(0, characters);
}

// Arguments: characters, duration in ms, 1 for C/MT or 0 for S/MT.
void BM_Waterfall(benchmark::State& state) {
  velmora::waterfall::Sending sending;
  sending.columns = columnsOf(repeatedText(static_cast<std::size_t>(state.range(0))));
  sending.settings.durationMs = static_cast<std::uint32_t>(state.range(1));
  sending.settings.concurrent = state.range(2) != 0;
  sending.settings.offset = 10;
  sending.settings.pilotTone = true;
  sending.settings.skipDarkPixels = !sending.settings.concurrent;
  for (auto _ : state) {
    const velmora::waterfall::Picture picture = velmora::waterfall::drawWaterfall(sending);
    benchmark::DoNotOptimize(picture.pixels.data());
  }
}
BENCHMARK(BM_Waterfall)
    ->ArgNames({"chars", "ms", "cmt"})
    ->Args({20, 300, 1})
    ->Args({20, 300, 0})
    ->Args({1023, 300, 1})
    ->Args({1023, 300, 0})
    ->Args({1023, 60000, 1})
    ->Args({1023, 60000, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
