#include "ptt/hamlib_rig_control.h"

#include <hamlib/rig.h>

#include <clocale>
#include <mutex>
#include <string>

namespace velmora {

namespace {

// Hamlib's process-wide state (its backends and list of rigs) changes in rig_init and
// rig_cleanup: those are made one at a time. Calls on one open rig (open, PTT, close) may
// block for long (flrig's open ignores its timeout), so they run without this lock, and a
// rig that hangs holds up no other; besides their rig they touch only Hamlib's message
// trail, which we never read (rigerror2, not rigerror). Never destroyed, since a rig thread
// that gave up waiting may still be in a call at exit.
std::mutex& hamlibMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

// Each call waits this long for an answer and is tried this often more: a rig that is
// off or unplugged gives its error within a few seconds.
constexpr const char* kTimeoutMs = "1000";
constexpr const char* kRetries = "1";
// Unkeying must be quick: one try, half a second.
constexpr const char* kUnkeyTimeoutMs = "500";
constexpr const char* kUnkeyRetries = "0";

// The model list is read-only once loaded, so reading it needs no call lock.
void loadBackends() {
  static std::once_flag loaded;
  std::call_once(loaded, [] { rig_load_all_backends(); });
}

// Hamlib's text for an error code; rigerror() would append the whole debug trail.
std::string errorText(int code) {
  std::string text = rigerror2(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

RigModel modelOf(const rig_caps& caps) {
  RigModel model;
  model.number = static_cast<int>(caps.rig_model);
  model.name = std::string(caps.mfg_name) + " " + caps.model_name;
  model.network = caps.port_type == RIG_PORT_NETWORK || caps.port_type == RIG_PORT_UDP_NETWORK;
  model.serial = caps.port_type == RIG_PORT_SERIAL;
  return model;
}

int collectModel(const rig_caps* caps, rig_ptr_t data) {
  static_cast<std::vector<RigModel>*>(data)->push_back(modelOf(*caps));
  return 1;  // go on
}

int setConf(RIG* rig, const char* name, const std::string& value) {
  return rig_set_conf(rig, rig_token_lookup(rig, name), value.c_str());
}

class HamlibRig final : public Rig {
 public:
  explicit HamlibRig(RIG* rig) : rig_(rig) {}
  ~HamlibRig() override {
    rig_close(rig_);
    std::lock_guard lock(hamlibMutex());
    rig_cleanup(rig_);
  }
  HamlibRig(const HamlibRig&) = delete;
  HamlibRig& operator=(const HamlibRig&) = delete;

  std::string setPtt(bool on) override {
    if (!on) {
      setConf(rig_, "timeout", kUnkeyTimeoutMs);
      setConf(rig_, "retry", kUnkeyRetries);
    }
    const int result = rig_set_ptt(rig_, RIG_VFO_CURR, on ? RIG_PTT_ON : RIG_PTT_OFF);
    return result == RIG_OK ? std::string() : errorText(result);
  }

 private:
  RIG* rig_;
};

}  // namespace

HamlibRigControl::HamlibRigControl() {
  std::lock_guard lock(hamlibMutex());
  rig_set_debug(RIG_DEBUG_NONE);
  // Hamlib 4.5 keeps setlocale(LC_NUMERIC, NULL)'s pointer across its own switch to "C"
  // and restores from it, after glibc has freed it, whenever the numeric locale was not
  // "C" (as after QApplication took the user's). Nothing of ours formats numbers through
  // the C locale's LC_NUMERIC for the user, so it stays "C"; made once, before any thread.
  std::setlocale(LC_NUMERIC, "C");
}

std::vector<RigModel> HamlibRigControl::models() {
  loadBackends();
  std::vector<RigModel> models;
  rig_list_foreach(collectModel, &models);
  return models;
}

RigModel HamlibRigControl::model(int number) {
  loadBackends();
  const rig_caps* caps = number > 0 ? rig_get_caps(static_cast<rig_model_t>(number)) : nullptr;
  return caps != nullptr ? modelOf(*caps) : RigModel{};
}

std::unique_ptr<Rig> HamlibRigControl::open(const RigTarget& target, std::string& error) {
  loadBackends();
  RIG* rig = nullptr;
  {
    std::lock_guard lock(hamlibMutex());
    rig = target.model > 0 ? rig_init(static_cast<rig_model_t>(target.model)) : nullptr;
  }
  if (rig == nullptr) {
    error = errorText(-RIG_EINVAL);
    return nullptr;
  }
  if (!target.port.empty()) setConf(rig, "rig_pathname", target.port);
  if (target.speed > 0 && rig->caps->port_type == RIG_PORT_SERIAL) {
    setConf(rig, "serial_speed", std::to_string(target.speed));
  }
  setConf(rig, "timeout", kTimeoutMs);
  setConf(rig, "retry", kRetries);
  // A model without PTT of its own (the dummy rig) is keyed by its CAT command.
  if (rig->caps->ptt_type == RIG_PTT_NONE) setConf(rig, "ptt_type", "RIG");
  const int result = rig_open(rig);
  if (result != RIG_OK) {
    error = errorText(result);
    std::lock_guard lock(hamlibMutex());
    rig_cleanup(rig);
    return nullptr;
  }
  return std::make_unique<HamlibRig>(rig);
}

}  // namespace velmora
