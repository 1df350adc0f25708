#include "transmit/message_sound.h"

#include "transmit/message_columns.h"

namespace velmora {

std::vector<std::int16_t> messageSound(const std::string& codes, const GlyphTable& glyphs, bool concurrent,
                                       const ColumnParameters& settings,
                                       const std::function<std::size_t(std::size_t)>& gapAfter) {
  std::vector<std::int16_t> out;
  const std::size_t room = concurrent ? concurrentSampleCount(settings.durationMs)
                                      : 7 * static_cast<std::size_t>(sequentialSlotLength(settings.durationMs));
  std::vector<std::int16_t> column(room);
  const std::vector<std::uint8_t> masks = messageColumns(codes, glyphs);
  for (std::size_t i = 0; i < masks.size(); ++i) {
    ColumnParameters c = settings;
    c.mask = masks[i];
    const SynthesizedSound sound = concurrent ? synthesizeConcurrentColumn(c, column) : synthesizeSequentialColumn(c, column);
    out.insert(out.end(), column.begin(), column.begin() + static_cast<std::ptrdiff_t>(sound.samplesWritten));
    if (i + 1 < masks.size()) out.insert(out.end(), gapAfter(i), 0);
  }
  return out;
}

}  // namespace velmora
