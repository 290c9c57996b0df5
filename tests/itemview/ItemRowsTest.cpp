// The row model through a lost server: rows let go of their items, show comm failure from
// the loss on, and take new items back by group and item ID in their old places.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ItemRows.h"
#include "OpcItem.h"

namespace {

std::unique_ptr<COpcItem> Item(const wchar_t* id, OPCHANDLE handle, bool active = true) {
  auto item = std::make_unique<COpcItem>(id);
  item->m_hClient = handle;
  item->m_bActive = active ? TRUE : FALSE;
  return item;
}

TEST(ItemRowsTest, LostRowsWaitInPlaceAndTakeTheirItemsBackByGroupAndId) {
  CItemRows rows;
  // Two groups; the same ID twice in group 1 (two records) and once in group 2.
  std::vector<std::unique_ptr<COpcItem>> old;
  const struct {
    const wchar_t* id;
    int group;
  } shown[] = {{L"A", 1}, {L"B", 2}, {L"A", 1}, {L"C", 1}, {L"A", 2}};
  for (size_t i = 0; i < std::size(shown); ++i) {
    old.push_back(Item(shown[i].id, static_cast<OPCHANDLE>(10 + i)));
    rows.Append(*old.back(), shown[i].group, L"g");
  }
  const FILETIME lost = {0x12345678u, 0x01DB0000u};
  rows.DetachAll(OPC_QUALITY_BAD | OPC_QUALITY_COMM_FAILURE, lost);
  ASSERT_EQ(5u, rows.Count());
  EXPECT_EQ(5u, rows.Detached().size());
  for (int i = 0; i < 5; ++i) {
    const CItemRow* row = rows.At(i);
    EXPECT_EQ(0u, row->hItem);
    EXPECT_EQ(0x18, row->wQuality);
    EXPECT_EQ(lost.dwLowDateTime, row->ftTime.dwLowDateTime);
    EXPECT_EQ(nullptr, rows.Find(static_cast<OPCHANDLE>(10 + i))) << "old handles are let go";
  }

  // New handles may be the old ones of other rows; the group decides, then the order.
  std::vector<std::unique_ptr<COpcItem>> fresh;
  const struct {
    const wchar_t* id;
    int group;
    OPCHANDLE handle;
    int row;  // the list row it lands in, -1 none
  } back[] = {{L"A", 2, 12, 4},  {L"A", 1, 10, 0},  {L"A", 1, 14, 2},
              {L"A", 1, 20, -1}, {L"X", 1, 21, -1}, {L"B", 1, 22, -1}};
  for (const auto& b : back) {
    fresh.push_back(Item(b.id, b.handle, b.handle != 14));
    CItemRow* row = rows.Rebind(*fresh.back(), b.group);
    if (b.row < 0) {
      EXPECT_EQ(nullptr, row) << b.handle;
      continue;
    }
    ASSERT_EQ(rows.At(b.row), row) << b.handle;
    EXPECT_EQ(b.handle, row->hItem);
    EXPECT_EQ(row, rows.Find(b.handle));
    EXPECT_EQ(b.row, rows.IndexOf(b.handle));
    EXPECT_EQ(b.handle != 14, row->bChecked) << "the box is the new item's flag";
  }
  // A handle already shown is never taken twice.
  EXPECT_EQ(nullptr, rows.Rebind(*Item(L"C", 10), 1));
  EXPECT_EQ(2u, rows.Detached().size());

  // Waiting rows go with their group or their row, and nothing is left behind.
  rows.EraseGroup(2);
  EXPECT_EQ(1u, rows.Detached().size());
  EXPECT_EQ(3u, rows.Count());
  rows.Erase(2);  // C, still waiting
  EXPECT_TRUE(rows.Detached().empty());
  EXPECT_EQ(2u, rows.Count());
  rows.Clear();
  EXPECT_EQ(0u, rows.Count());
}

}  // namespace
