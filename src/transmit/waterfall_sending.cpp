#include "transmit/waterfall_sending.h"

#include "core/control_states.h"
#include "transmit/message_columns.h"
#include "transmit/text_codec.h"

namespace velmora {

namespace {

// The message of the first range that fails, in the order "Transmit" checks them.
template <typename Ranges>
std::string firstRangeFailure(Controls& controls, const Ranges& ranges) {
  for (const FieldRange& range : ranges)
    if (!fieldInRange(controls, range.id, range.minimum, range.maximum))
      return outOfRangeMessage(range.name, range.minimum, range.maximum);
  return {};
}

waterfall::SoundSettings soundSettings(Controls& controls) {
  waterfall::SoundSettings settings;
  settings.center = static_cast<std::int32_t>(readUnsigned(controls, ControlId::CenterFrequency));
  settings.offset = static_cast<std::int32_t>(readUnsigned(controls, ControlId::PixelOffset));
  settings.durationMs = readUnsigned(controls, ControlId::Duration);
  settings.concurrent = controls.isChecked(ControlId::Concurrent);
  settings.pilotTone = controls.isChecked(ControlId::PilotTone);
  settings.reverse = controls.isChecked(ControlId::Reverse);
  settings.maximizeAveragePower = controls.isChecked(ControlId::MaxAvgPower);
  settings.skipDarkPixels = controls.isChecked(ControlId::SkipDark);
  return settings;
}

}  // namespace

std::variant<waterfall::Sending, std::string> textSendingFromControls(Controls& controls,
                                                                      const GlyphTable& glyphs) {
  // "Interval" shapes no sound; the three before it do.
  const FieldRange soundRanges[] = {kTransmitFieldRanges[0], kTransmitFieldRanges[1],
                                    kTransmitFieldRanges[2]};
  std::string failure = firstRangeFailure(controls, soundRanges);
  if (!failure.empty()) return failure;

  waterfall::Sending sending;
  sending.settings = soundSettings(controls);
  const std::string codes = utf8ToWindows1252(readText(controls, ControlId::TextToSend, kMaxTextChars));
  sending.columns = messageColumns(codes, glyphs);
  return sending;
}

std::variant<waterfall::Sending, std::string> tuneSendingFromControls(Controls& controls) {
  const FieldRange ranges[] = {kCenterFrequencyRange};
  std::string failure = firstRangeFailure(controls, ranges);
  if (!failure.empty()) return failure;

  waterfall::Sending sending;
  sending.settings = soundSettings(controls);
  sending.tuningTone = true;
  sending.tuneSinglePixel = controls.isChecked(ControlId::SinglePixel);
  return sending;
}

}  // namespace velmora
