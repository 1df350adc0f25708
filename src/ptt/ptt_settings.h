#pragma once
// The keying configuration, as the PTT Control dialog edits it and Velmora.ini stores it.
// Field names are the settings file's keys.

#include <cstdint>
#include <string>

namespace velmora {

struct PttSettings {
  std::int32_t UsePTTControl = 0;  // nonzero: key the transmitter
  std::int32_t ComPort = 0;        // list position; port number = ComPort + 1
  std::int32_t Baudrate = 0;       // 0..4: 2400, 4800, 9600, 19200, 38400
  std::int32_t Databits = 0;       // 0: 7, 1: 8
  std::int32_t Stopbits = 0;       // 0: one, 1: two
  std::int32_t Parity = 0;         // 0: odd, 1: even, 2: none
  std::int32_t CAT = 1;            // nonzero: CAT command bytes; 0: RTS/DTR line
  std::int32_t RTS = 1;            // line method: nonzero RTS, 0 DTR
  std::string TXCommand;           // hexadecimal text, at most 255 characters
  std::string RXCommand;
  std::uint32_t TXDelay = 0;       // ms to wait after keying
  // The Hamlib method, chosen over CAT and RTS/DTR when nonzero; those keep their values,
  // so that a version without Hamlib keys the way it did before.
  std::int32_t Hamlib = 0;
  std::int32_t HamlibModel = 2;               // Hamlib's model number; 2 is NET rigctl (rigctld)
  std::string HamlibPort = "localhost:4532";  // serial device, or host:port of a network model
  std::int32_t HamlibSpeed = 0;               // bit/s; 0 keeps the rig's default

  bool operator==(const PttSettings&) const = default;
};

}  // namespace velmora
