#include "app/commands.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "core/control_states.h"
#include "ptt/ptt_keyer.h"
#include "transmit/text_codec.h"
#include "transmit/time_remaining.h"

namespace velmora {

namespace {

void takeColumnDuration(Controls& controls, SharedState& shared) {
  shared.columnDuration = static_cast<std::int32_t>(readUnsigned(controls, ControlId::Duration));
}

std::int32_t textLength(Controls& controls) {
  return static_cast<std::int32_t>(glyphCount(readText(controls, ControlId::TextToSend, kMaxTextChars)));
}

}  // namespace

void handleTextEdit(Controls& controls, SharedState& shared) {
  takeColumnDuration(controls, shared);
  const std::int32_t length = textLength(controls);
  controls.setText(ControlId::MessagePower, "");
  writeUnsigned(controls, ControlId::TextLength, static_cast<std::uint32_t>(length));
  showTimeRemaining(controls, length, shared.columnDuration.load());
}

void handleDurationEdit(Controls& controls, SharedState& shared) {
  takeColumnDuration(controls, shared);
  showTimeRemaining(controls, textLength(controls), shared.columnDuration.load());
}

bool transmitFieldsInRange(Controls& controls, MessageBox& box) {
  return !transmitRangeFailure(controls, box).has_value();
}

std::optional<ControlId> transmitRangeFailure(Controls& controls, MessageBox& box) {
  for (const FieldRange& range : kTransmitFieldRanges)
    if (!checkFieldRange(controls, box, range)) return range.id;
  return std::nullopt;
}

std::string withStationCall(const std::string& message, const std::string& call) {
  static constexpr std::string_view kPlaceholder = "{CALL}";
  std::string sent;
  std::size_t from = 0;
  for (std::size_t at = message.find(kPlaceholder); at != std::string::npos;
       at = message.find(kPlaceholder, from)) {
    sent.append(message, from, at - from).append(call);
    from = at + kPlaceholder.size();
  }
  return sent.append(message, from);
}

void enterBusyState(Controls& controls, SharedState& shared) {
  shared.stopFlag = 0;
  setControlsIdle(controls, false);
}

void handleStop(Controls& controls, SharedState& shared, PttKeyer& ptt) {
  // The flag first: a worker about to key sees it, or keys before this unkeying.
  shared.stopFlag = 1;
  ptt.unkeyTransmitter();
  setControlsIdle(controls, true);
}

void selectConcurrentMode(Controls& controls) {
  controls.setEnabled(ControlId::SinglePixel, true);
  controls.setEnabled(ControlId::FullScale, true);
  controls.setEnabled(ControlId::SkipDark, false);
  controls.setEnabled(ControlId::MaxAvgPower, true);
  controls.setChecked(ControlId::SinglePixel, true);
  controls.setChecked(ControlId::FullScale, false);
}

void selectSequentialMode(Controls& controls) {
  controls.setChecked(ControlId::SinglePixel, false);
  controls.setChecked(ControlId::FullScale, true);
  controls.setEnabled(ControlId::SkipDark, true);
  controls.setEnabled(ControlId::MaxAvgPower, false);
  controls.setEnabled(ControlId::SinglePixel, false);
  controls.setEnabled(ControlId::FullScale, false);
}

}  // namespace velmora
