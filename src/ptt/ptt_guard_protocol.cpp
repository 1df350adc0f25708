#include "ptt/ptt_guard_protocol.h"

#include <sstream>

#include "ptt/hex_command.h"

namespace velmora {

namespace {

constexpr const char* kKindNames[] = {"idle", "cat", "rts", "dtr", "rig"};

std::vector<std::string> splitFields(const std::string& record) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = record.find('\t', start);
    fields.push_back(record.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::optional<int> number(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoi(text);
}

}  // namespace

std::string encodeGuardOrder(const GuardOrder& order) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const std::uint8_t byte : order.rxBytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  std::ostringstream record;
  record << kKindNames[static_cast<int>(order.kind)] << '\t' << hex << '\t' << order.rig.model << '\t'
         << order.rig.speed << '\t' << (order.serialRig ? 1 : 0) << '\t' << order.rig.port;
  return record.str();
}

std::optional<GuardOrder> decodeGuardOrder(const std::string& record) {
  const std::vector<std::string> fields = splitFields(record);
  if (fields.size() != 6) return std::nullopt;
  GuardOrder order;
  bool known = false;
  for (int kind = 0; kind < 5; ++kind) {
    if (fields[0] != kKindNames[kind]) continue;
    order.kind = static_cast<GuardOrder::Kind>(kind);
    known = true;
  }
  std::string hex = fields[1];
  const auto model = number(fields[2]);
  const auto speed = number(fields[3]);
  if (!known || !model || !speed || (fields[4] != "0" && fields[4] != "1")) return std::nullopt;
  if (parseHexCommand(hex, order.rxBytes) < 0) return std::nullopt;
  order.rig = RigTarget{*model, fields[5], *speed};
  order.serialRig = fields[4] == "1";
  return order;
}

std::string guardReleaseFailedLine(const std::string& error) {
  return "PTT release by the guard failed (the program ended while the transmitter was keyed): " + error;
}

}  // namespace velmora
