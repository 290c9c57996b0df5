#include "ItemHandleTable.h"

uint32_t CItemHandleTable::Add(COpcItem* item) {
  if (!item) return 0;
  uint32_t index;
  if (!m_free.empty()) {
    index = m_free.front();
    m_free.pop_front();
  } else {
    if (m_slots.size() > kIndexMask) return 0;
    index = static_cast<uint32_t>(m_slots.size());
    m_slots.emplace_back();
  }
  Slot& s = m_slots[index];
  uint32_t generation = s.lastGeneration + 1;
  if (generation >= kGenerationLimit) generation = 1;
  s.item = item;
  s.generation = s.lastGeneration = generation;
  ++m_count;
  return (generation << kIndexBits) | index;
}

void CItemHandleTable::Remove(uint32_t handle) {
  if (!Resolve(handle)) return;
  const uint32_t index = handle & kIndexMask;
  Slot& s = m_slots[index];
  s.item = nullptr;
  s.generation = 0;
  m_free.push_back(index);
  --m_count;
}
