#include "core/control_states.h"

#include <array>

namespace velmora {

void setControlsIdle(Controls& controls, bool enabled) {
  controls.setText(ControlId::SentText, "");
  controls.setEnabled(ControlId::Transmit, enabled);
  controls.setEnabled(ControlId::Tune, enabled);
  controls.setEnabled(ControlId::Stop, !enabled);
  constexpr std::array kSettingControls = {
      ControlId::TextToSend,   ControlId::CenterFrequency, ControlId::PixelOffset, ControlId::Duration,
      ControlId::OutputDevice, ControlId::SkipDark,        ControlId::MaxAvgPower, ControlId::Concurrent,
      ControlId::Sequential,   ControlId::PilotTone,
  };
  for (ControlId id : kSettingControls) controls.setEnabled(id, enabled);
}

bool fieldInRange(Controls& controls, ControlId id, std::int32_t minimum, std::int32_t maximum) {
  const auto value = static_cast<std::int32_t>(readUnsigned(controls, id));
  return minimum <= value && value <= maximum;
}

std::string outOfRangeMessage(const std::string& name, std::int32_t minimum, std::int32_t maximum) {
  return name + " out of valid range (" + std::to_string(minimum) + ".." + std::to_string(maximum) + ")";
}

bool checkFieldRange(Controls& controls, MessageBox& box, ControlId id, const std::string& name,
                     std::int32_t minimum, std::int32_t maximum) {
  if (fieldInRange(controls, id, minimum, maximum)) return true;
  showVelmoraMessage(box, outOfRangeMessage(name, minimum, maximum));
  return false;
}

bool checkFieldRange(Controls& controls, MessageBox& box, const FieldRange& range) {
  return checkFieldRange(controls, box, range.id, range.name, range.minimum, range.maximum);
}

}  // namespace velmora
