#pragma once
// Placing S/MT slots. Each slot restarts its tone's phase, so the long-term spectrum of
// S/MT is a comb of the slot rate rather than of the rows, and a pilot that fills every
// dark slot can outshine them all: the rows' center cannot be read there. Instead the
// spectra of the slots are summed over many columns, slot by slot: in the k-th slot of
// a column the energy lies at row k's tone. The center and the slot phase are where all
// seven slots find their tone together (a product, so that a pilot seen in one slot
// does not count); a chain placed whole slots late is told apart because its last slots
// read the next column's first rows.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "receive/pixel_energies.h"

namespace velmora::receive {

struct SlotFit {
  std::ptrdiff_t shift = 0;  // samples to add to every column start
  double centerHz = 0.0;
  std::int32_t offsetHz = 0;
  double score = -1e300;
};

// The placement of the slots (to an eighth of a slot, and which slot is first) and the
// center within ±searchHz of plan.centerHz, for upright (mirrored false) or mirrored rows;
// and the offset, when not given (1..10), since the long-term spectrum cannot show it.
SlotFit fitSlots(std::span<const float> samples, double sampleRate, const RowPlan& plan,
                 std::span<const std::size_t> starts, double searchHz, bool mirrored,
                 std::optional<std::int32_t> offsetHz);

}  // namespace velmora::receive
