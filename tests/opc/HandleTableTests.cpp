// Item client handles name exactly one live record.
#include <gtest/gtest.h>

#include <set>

#include "ItemHandleTable.h"
#include "OpcItem.h"

namespace {

TEST(ItemHandleTableTest, StaleAndForgedHandlesNameNothing) {
  CItemHandleTable table;
  COpcItem a, b;
  const uint32_t ha = table.Add(&a);
  const uint32_t hb = table.Add(&b);
  ASSERT_NE(0u, ha);
  ASSERT_NE(ha, hb);
  EXPECT_EQ(&a, table.Resolve(ha));
  EXPECT_EQ(&b, table.Resolve(hb));
  EXPECT_EQ(nullptr, table.Resolve(0));
  EXPECT_EQ(nullptr, table.Resolve(0xFFFFFFFF));
  EXPECT_EQ(nullptr, table.Resolve(ha ^ (1u << CItemHandleTable::kIndexBits)));  // wrong generation

  table.Remove(ha);
  table.Remove(ha);  // twice: ignored
  EXPECT_EQ(nullptr, table.Resolve(ha));
  EXPECT_EQ(1u, table.Count());
  // The slot comes back with a new generation: the old handle stays dead.
  COpcItem c;
  const uint32_t hc = table.Add(&c);
  EXPECT_EQ(ha & CItemHandleTable::kIndexMask, hc & CItemHandleTable::kIndexMask);
  EXPECT_NE(ha, hc);
  EXPECT_EQ(nullptr, table.Resolve(ha));
  EXPECT_EQ(&c, table.Resolve(hc));
  EXPECT_EQ(0u, table.Add(nullptr));
}

TEST(ItemHandleTableTest, FreedSlotsAreReusedOldestFirstAndGenerationsWrapPastZero) {
  CItemHandleTable table;
  COpcItem items[3];
  uint32_t h[3];
  for (int i = 0; i < 3; ++i) h[i] = table.Add(&items[i]);
  table.Remove(h[2]);
  table.Remove(h[0]);
  COpcItem x;
  EXPECT_EQ(h[2] & CItemHandleTable::kIndexMask, table.Add(&x) & CItemHandleTable::kIndexMask);

  // One slot recycled through every generation never yields handle 0 or a repeat
  // within a cycle.
  CItemHandleTable one;
  std::set<uint32_t> seen;
  for (uint32_t i = 0; i < CItemHandleTable::kGenerationLimit - 1; ++i) {
    uint32_t handle = one.Add(&x);
    ASSERT_NE(0u, handle);
    ASSERT_TRUE(seen.insert(handle).second);
    one.Remove(handle);
  }
  EXPECT_NE(0u, one.Add(&x));
}

}  // namespace
