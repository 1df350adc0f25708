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

// What an edit costs the Waterfall window: the lines it shows (a window of 600 lines at
// x1, as drawn after every edit), from the middle of the text, for the shortest and the
// longest text at the shortest and longest duration, in both modes and for each receiver.
// Arguments: characters, duration in ms, 1 for C/MT or 0 for S/MT, receiver index.
void BM_WaterfallEdit(benchmark::State& state) {
  velmora::waterfall::Sending sending;
  sending.columns = columnsOf(repeatedText(static_cast<std::size_t>(state.range(0))));
  sending.settings.durationMs = static_cast<std::uint32_t>(state.range(1));
  sending.settings.concurrent = state.range(2) != 0;
  sending.settings.offset = 10;
  sending.settings.pilotTone = true;
  sending.settings.skipDarkPixels = !sending.settings.concurrent;
  const auto& receiver = velmora::waterfall::receiverProfiles()[static_cast<std::size_t>(state.range(3))];
  velmora::waterfall::DrawOptions options;
  options.receiver = &receiver;
  options.maxLines = 600;
  options.firstLine = velmora::waterfall::waterfallLineCount(sending, receiver) / 2;
  for (auto _ : state) {
    const velmora::waterfall::Picture picture = velmora::waterfall::drawWaterfall(sending, options);
    benchmark::DoNotOptimize(picture.pixels.data());
  }
}
BENCHMARK(BM_WaterfallEdit)
    ->ArgNames({"chars", "ms", "cmt", "rx"})
    ->ArgsProduct({{20, 1023}, {300, 60000}, {1, 0}, {0, 1, 2, 3, 4}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
