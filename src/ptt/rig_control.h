#pragma once
// A rig keyed through a rig-control library (Hamlib), by its model number: the small
// interface the keyer uses, with the Hamlib implementation for the program and a fake
// for tests.

#include <memory>
#include <string>
#include <vector>

namespace velmora {

// The NET rigctl model (rigctld), the default; its address is host:port.
inline constexpr int kDefaultRigModel = 2;
inline constexpr const char* kDefaultRigPort = "localhost:4532";
// Hamlib's FLRig model, and flrig's own address.
inline constexpr int kFlrigModel = 4;
inline constexpr const char* kDefaultFlrigPort = "localhost:12345";
// The first serial device of the Com port list.
inline constexpr const char* kDefaultRigDevice = "/dev/ttyUSB0";

// The usual address of a network model's server: flrig's or rigctld's.
inline std::string defaultRigAddress(int model) {
  return model == kFlrigModel ? kDefaultFlrigPort : kDefaultRigPort;
}

struct RigModel {
  int number = 0;
  std::string name;      // "<maker> <model>", e.g. "Icom IC-7300"
  bool network = false;  // reached by an address host:port instead of a serial device
  bool serial = false;   // reached through a serial device
};

// Which rig to key, and where.
struct RigTarget {
  int model = kDefaultRigModel;
  std::string port;  // serial device path, or host:port for a network model
  int speed = 0;     // bit/s; 0 keeps the rig's default
};

// One open rig. Its calls block, each bounded by the library's timeout, and are made
// from one thread at a time. Destroying it closes the rig.
class Rig {
 public:
  virtual ~Rig() = default;
  // "" when done, else the library's error text.
  virtual std::string setPtt(bool on) = 0;
};

class RigControl {
 public:
  virtual ~RigControl() = default;
  // Every model the library knows, by number.
  virtual std::vector<RigModel> models() = 0;
  // What is known of one model; a number without a model gives number 0.
  virtual RigModel model(int number) = 0;
  // The open rig, or nullptr with the library's error text in error.
  virtual std::unique_ptr<Rig> open(const RigTarget& target, std::string& error) = 0;
};

}  // namespace velmora
