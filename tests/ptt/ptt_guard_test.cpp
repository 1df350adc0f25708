// The guard's protocol, and the client's promises to the keyer: no guard is logged once,
// and an unkeying's answer means the guard no longer holds the port.
#include "ptt/ptt_guard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "pseudo_terminal.h"
#include "ptt/port_claim.h"
#include "ptt/posix_serial_port.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(GuardProtocol, OrdersSurviveTheirRecordAndOthersAreRefused) {
  const GuardOrder cat{GuardOrder::Kind::Cat, {0xC3, 0x00}, {}, false};
  const GuardOrder rig{GuardOrder::Kind::Rig, {}, RigTarget{3073, "/dev/serial/by-id/usb Icom", 19200}, true};
  EXPECT_EQ(encodeGuardOrder(cat), "cat\tC300\t2\t0\t0\t");
  for (const GuardOrder& order : {cat, rig}) {  // every field comes back
    EXPECT_EQ(encodeGuardOrder(decodeGuardOrder(encodeGuardOrder(order)).value_or(GuardOrder{})),
              encodeGuardOrder(order));
  }
  for (const char* bad :
       {"", "key\t\t0\t0\t0\t", "cat\tC3\t0\t0\t0", "cat\tXY\t0\t0\t0\t", "rig\t\t-1\t0\t1\tp"}) {
    EXPECT_FALSE(decodeGuardOrder(bad)) << bad;
  }
}

TEST(GuardClient, WithoutItsProgramKeyingGoesOnAndTheLogSaysSoOnce) {
  std::vector<std::string> logged;
  PttGuardClient client({"/nonexistent/velmora-ptt-guard"}, ".",
                        [&](const auto& line) { logged.push_back(line); });
  const GuardOrder rig{GuardOrder::Kind::Rig, {}, RigTarget{}, false};
  EXPECT_EQ(client.arm(rig, -1) + client.arm(rig, -1), 0u);
  EXPECT_THAT(logged, ElementsAre(HasSubstr("No PTT guard (velmora-ptt-guard not found)")));
}

TEST(GuardClient, AnsweredUnkeyingLeavesThePortFreeForTheNextKeying) {
  testing::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  const PortClaimOptions noLockFiles{{}};
  PttGuardClient client({VELMORA_GUARD_BINARY}, ::testing::TempDir(), {});
  {
    auto port = PosixSerialPortOpener({}, noLockFiles).open(pty.slavePath());
    ASSERT_TRUE(port);
    const auto token = client.arm({GuardOrder::Kind::Rts, {}, {}, false}, port->nativeHandle());
    ASSERT_NE(token, 0u);
    client.disarm(token);
  }
  EXPECT_TRUE(PortClaim::claim(pty.slavePath(), noLockFiles)) << "the guard still holds the port";
}

}  // namespace
}  // namespace velmora
