#pragma once
// Rigs keyed through Hamlib (libhamlib).

#include "ptt/rig_control.h"

namespace velmora {

class HamlibRigControl final : public RigControl {
 public:
  // Silences Hamlib's trace on stderr.
  HamlibRigControl();
  std::vector<RigModel> models() override;
  RigModel model(int number) override;
  std::unique_ptr<Rig> open(const RigTarget& target, std::string& error) override;
};

}  // namespace velmora
