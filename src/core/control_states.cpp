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

bool checkFieldRange(Controls& controls, MessageBox& box, ControlId id, const std::string& name,
                     std::int32_t minimum, std::int32_t maximum) {
  const auto value = static_cast<std::int32_t>(readUnsigned(controls, id));
  if (minimum <= value && value <= maximum) return true;
  showVelmoraMessage(box, name + " out of valid range (" + std::to_string(minimum) + ".." +
                              std::to_string(maximum) + ")");
  return false;
}

}  // namespace velmora
