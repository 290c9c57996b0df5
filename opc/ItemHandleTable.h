// Item client handles: an index into a table of live records plus a generation, so a
// handle names exactly one live COpcItem and a stale or forged handle names none.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class COpcItem;

class CItemHandleTable {
 public:
  // Low bits: slot index; high bits: the slot's generation, never 0, so 0 is never a handle.
  static constexpr unsigned kIndexBits = 22;
  static constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
  static constexpr uint32_t kGenerationLimit = 1u << (32 - kIndexBits);

  // Returns 0 when the table is full (4,194,304 live records).
  uint32_t Add(COpcItem* item);
  // Frees the handle's slot; a handle that names no live record is ignored.
  void Remove(uint32_t handle);
  // The live record for the handle, or nullptr.
  COpcItem* Resolve(uint32_t handle) const {
    const uint32_t index = handle & kIndexMask;
    if (index >= m_slots.size()) return nullptr;
    const Slot& s = m_slots[index];
    return s.generation == (handle >> kIndexBits) ? s.item : nullptr;
  }
  size_t Count() const { return m_count; }

 private:
  struct Slot {
    COpcItem* item = nullptr;
    uint32_t generation = 0;  // of the live record; 0 while free
    uint32_t lastGeneration = 0;
  };
  std::vector<Slot> m_slots;
  // Freed slots are reused oldest first, so a stale handle stays unmatched for as long as possible.
  std::deque<uint32_t> m_free;
  size_t m_count = 0;
};
