// Per-server simulated values: each item's current value, quality and the time it
// last changed, computed from its signal on demand.
#pragma once

#include "AddressSpace.h"
#include "VariantUtil.h"

#include <cstdint>
#include <vector>

namespace plover::sim {

struct ItemState {
  Variant value;  // canonical type
  WORD quality = 0xC0;
  uint64_t changedAtMs = 0;  // simulated time of the last change
  uint64_t sampledAtMs = 0;
  bool initialised = false;
  bool written = false;  // a written value sticks for static items
  WORD writtenQuality = 0xC0;
  bool stampWritten = false;  // a client wrote the time stamp too (OPC DA 3.0 WriteVQT)
  FILETIME stamp{};
};

// What a write stores: the value (VT_EMPTY: keep the value), and quality and time stamp where
// the client gives them.
struct WrittenVqt {
  const VARIANT* value = nullptr;
  bool hasQuality = false;
  WORD quality = 0xC0;
  bool hasStamp = false;
  FILETIME stamp{};
};

// Value of a signal at a simulated time, as a double in the signal's range.
double SignalValue(const ItemDef& def, uint32_t itemIndex, uint64_t timeMs, uint32_t element);
// Quality of an item at a simulated time (fixed, or cycling through sub-statuses).
WORD SignalQuality(const ItemDef& def, uint64_t timeMs);

class Simulation {
 public:
  explicit Simulation(const AddressSpace& space);

  // Brings the item up to the given simulated time; returns its state.
  const ItemState& Sample(uint32_t index, uint64_t nowMs);
  // Stores a value already converted to the canonical type.
  void Store(uint32_t index, const VARIANT& value, uint64_t nowMs);
  void Store(uint32_t index, const WrittenVqt& vqt, uint64_t nowMs);
  // The state as last sampled, without sampling; null before the first sample.
  const ItemState* Peek(uint32_t index) const {
    return m_states[index].initialised ? &m_states[index] : nullptr;
  }

  const AddressSpace& Space() const { return m_space; }

 private:
  void Compute(uint32_t index, uint64_t nowMs, VARIANT* out) const;

  const AddressSpace& m_space;
  std::vector<ItemState> m_states;
};

// Simulated time to UTC file time, given the file time of simulated time 0.
FILETIME SimFileTime(const FILETIME& origin, uint64_t ms);

}  // namespace plover::sim
