// Adding, finding, activating and removing items of the current group.
#include "OpcTestSupport.h"

#include <iterator>

namespace {

class ItemTest : public OpcTest, public testing::WithParamInterface<ServerKind> {
 protected:
  void SetUp() override {
    OpcTest::SetUp();
    m_kind = GetParam();
    ConnectTo();
    ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  }
};

TEST_P(ItemTest, RequestedTypesAreTriedInTheirFixedOrder) {
  // The server's own type first, so nothing is lost in a conversion: a LONG above 2^24
  // would come back rounded as a float, a BOOL as -1.0.
  const std::vector<VARTYPE>& order = RequestedItemTypes();
  ASSERT_EQ(6u, order.size());
  EXPECT_EQ(VT_EMPTY, order[0]);
  // Every type the server sends is asked for as it is: a byte stays a byte, a 64-bit
  // counter above 2^53 stays exact.
  const struct {
    const wchar_t* id;
    VARTYPE own, requested;
    const wchar_t *written, *shown, *type;
  } own[] = {
      {L"Types.Long", VT_I4, VT_EMPTY, L"16777217", L"16777217", L"INT"},
      {L"Types.Short", VT_I2, VT_EMPTY, L"-1234", L"-1234", L"SHORT"},
      {L"Types.Double", VT_R8, VT_EMPTY, L"0.1", L"0.1", L"DOUBLE"},
      {L"Types.Boolean", VT_BOOL, VT_EMPTY, L"-1", L"On", L"BOOL"},
      {L"Types.Byte", VT_UI1, VT_EMPTY, L"200", L"200", L"BYTE"},
      {L"Types.ULongLong", VT_UI8, VT_EMPTY, L"9007199254740993", L"9007199254740993", L"ULLONG"},
      {L"Types.Date", VT_DATE, VT_EMPTY, L"2/29/24 23:59:58", L"2/29/24 23:59:58", L"DATE"},
      {L"Types.Error", VT_ERROR, VT_EMPTY, L"0x80070005", L"0x80070005", L"ERROR"},
      {L"Types.Decimal", VT_DECIMAL, VT_EMPTY, L"-0.0000000000000000000000000001",
       L"-0.0000000000000000000000000001", L"DECIMAL"}};
  for (const auto& c : own) {
    COpcItem* item = m_server->AddItem(c.id);
    ASSERT_NE(nullptr, item) << c.id;
    EXPECT_EQ(c.requested, RequestedType(item)) << c.id;
    EXPECT_EQ(c.own, item->m_vtCanonical) << c.id;
    const VARTYPE shownAs = c.requested == VT_EMPTY ? c.own : c.requested;
    EXPECT_EQ(shownAs, item->m_value.vt) << c.id;  // first value read from the cache
    ASSERT_TRUE(m_server->WriteSync(item, c.written)) << c.id;
    ASSERT_TRUE(m_server->ReadDevice(item)) << c.id;
    EXPECT_EQ(c.shown, m_server->GetValueText(item)) << c.id;
    EXPECT_EQ(c.type, m_server->GetValueTypeText(item)) << c.id;
  }

  for (int refused = 1; refused < 6; ++refused) {
    std::wstring id = L"Many.Item000" + std::to_wstring(refused);
    for (int i = 0; i < refused; ++i) Control()->RefuseType(id.c_str(), order[i]);
    COpcItem* item = m_server->AddItem(id);
    ASSERT_NE(nullptr, item) << refused;
    EXPECT_EQ(order[refused], RequestedType(item)) << refused;
  }
  // Refused for every type: nothing remains, at the server or here.
  for (VARTYPE vt : order) Control()->RefuseType(L"Types.Float", vt);
  EXPECT_EQ(nullptr, m_server->AddItem(L"Types.Float"));
  EXPECT_EQ(nullptr, m_server->FindItem(1, L"Types.Float"));
  EXPECT_EQ(14, m_server->GetGroupItemCount(1));
  EXPECT_EQ(14u, m_server->m_groupManager.m_itemTable.Count());
}

TEST_P(ItemTest, TheSameIdTwiceInOneGroupIsRefusedWithoutAServerCall) {
  COpcItem* first = m_server->AddItem(L"Types.Double");
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, m_server->FindItem(1, L"Types.Double"));
  EXPECT_EQ(nullptr, m_server->FindItem(1, L"types.double"));
  ASSERT_EQ(S_OK, Control()->FailMethod(L"IOPCItemMgt::AddItems", E_OUTOFMEMORY, FALSE));
  EXPECT_EQ(nullptr, m_server->AddItem(L"Types.Double"));
  // The pending failure is still there: the duplicate never reached the server. It
  // costs the next item its first requested type.
  COpcItem* next = m_server->AddItem(L"Types.Float");
  ASSERT_NE(nullptr, next);
  EXPECT_EQ(RequestedItemTypes()[1], RequestedType(next));
  // Another group may hold the same ID.
  ASSERT_EQ(S_OK, m_server->AddGroup(2, L"Group2"));
  COpcItem* again = m_server->AddItem(L"Types.Double");
  ASSERT_NE(nullptr, again);
  EXPECT_NE(first, again);
  EXPECT_NE(first->m_hClient, again->m_hClient);
}

TEST_P(ItemTest, RemoveItemDropsTheRecordEvenWhenTheServerRefuses) {
  COpcItem* a = m_server->AddItem(L"Types.Long");
  COpcItem* b = m_server->AddItem(L"Types.Short");
  ASSERT_TRUE(a && b);
  const OPCHANDLE handleA = a->m_hClient;
  EXPECT_TRUE(m_server->RemoveItem(a));
  EXPECT_EQ(nullptr, m_server->m_groupManager.m_itemTable.Resolve(handleA));
  ASSERT_EQ(S_OK, Control()->FailMethod(L"IOPCItemMgt::RemoveItems", E_FAIL, FALSE));
  EXPECT_FALSE(m_server->RemoveItem(b));
  EXPECT_EQ(nullptr, m_server->FindItem(1, L"Types.Short"));
  EXPECT_EQ(0, m_server->GetGroupItemCount(1));
  EXPECT_FALSE(m_server->RemoveItem(nullptr));
  // Both can come back.
  EXPECT_NE(nullptr, m_server->AddItem(L"Types.Long"));
  EXPECT_NE(nullptr, m_server->AddItem(L"Types.Short"));
}

TEST_P(ItemTest, ItemOperationsOnARowOfAnotherGroupUseThatGroup) {
  COpcItem* inFirst = m_server->AddItem(L"Access.ReadWrite");
  ASSERT_NE(nullptr, inFirst);
  ASSERT_EQ(S_OK, m_server->AddGroup(2, L"Group2"));
  ASSERT_NE(nullptr, m_server->AddItem(L"Types.Long"));
  // Group 2 is current; the item of group 1 still reads its own value and goes from
  // its own group, never from the current one.
  EXPECT_TRUE(m_server->ReadDevice(inFirst));
  ASSERT_EQ(VT_I4, inFirst->m_value.vt);
  EXPECT_EQ(7, inFirst->m_value.lVal);
  EXPECT_TRUE(m_server->RemoveItem(inFirst));
  EXPECT_EQ(0, m_server->GetGroupItemCount(1));
  EXPECT_EQ(1, m_server->GetGroupItemCount(2));
}

TEST_P(ItemTest, InactiveItemsReadOutOfServiceFromTheCache) {
  COpcItem* item = m_server->AddItem(L"Types.Long");
  ASSERT_NE(nullptr, item);
  EXPECT_EQ(S_OK, m_server->SetItemActive(item, FALSE));
  EXPECT_TRUE(m_server->ReadCache(item));
  EXPECT_EQ(OPC_QUALITY_OUT_OF_SERVICE, item->m_wQuality);
  EXPECT_EQ(S_OK, m_server->SetItemActive(item, TRUE));
  EXPECT_TRUE(m_server->ReadCache(item));
  EXPECT_EQ(OPC_QUALITY_GOOD, item->m_wQuality & OPC_QUALITY_MASK);
  ASSERT_EQ(S_OK, Control()->FailMethod(L"IOPCItemMgt::SetActiveState", E_INVALIDARG, FALSE));
  EXPECT_EQ(E_INVALIDARG, m_server->SetItemActive(item, FALSE));
}

TEST_P(ItemTest, WithoutACurrentGroupNothingReachesTheServer) {
  COpcItem* item = m_server->AddItem(L"Types.Long");
  ASSERT_NE(nullptr, item);
  // Take the group out of the current position without removing it.
  m_server->m_groupManager.m_pCurrent = nullptr;
  EXPECT_EQ(nullptr, m_server->AddItem(L"Types.Short"));
  EXPECT_FALSE(m_server->RemoveItem(item));
  EXPECT_EQ(E_FAIL, m_server->SetItemActive(item, FALSE));
  EXPECT_FALSE(m_server->ReadCache(item));
  EXPECT_FALSE(m_server->ReadDevice(item));
  EXPECT_FALSE(m_server->AsyncReadCache(item));
  EXPECT_FALSE(m_server->AsyncReadDevice(item));
  EXPECT_FALSE(m_server->RefreshCache());
  EXPECT_FALSE(m_server->RefreshDevice());
  EXPECT_FALSE(m_server->WriteSync(item, L"1"));
  EXPECT_FALSE(m_server->WriteAsync(item, L"1"));
  EXPECT_EQ(1, m_server->GetGroupItemCount(1));
}

TEST_P(ItemTest, ItemPropertiesBecomeNamedRowsWithValueTexts) {
  COpcItem* analog = m_server->AddItem(L"EU.Analog");
  COpcItem* writeOnly = m_server->AddItem(L"Access.WriteOnly");
  ASSERT_NE(nullptr, analog);
  ASSERT_NE(nullptr, writeOnly);
  std::vector<OpcPropertyRow> rows = {{0, L"stale", L"stale"}};
  ASSERT_EQ(12, m_server->GetItemProperties(analog, rows));
  const struct {
    DWORD id;
    const wchar_t* name;
    const wchar_t* value;  // nullptr: only checked to be a time
  } expected[] = {{1, L"(1) Item Canonical DataType", L"5"},
                  {2, L"(2) Item Value", L"50"},
                  {3, L"(3) Item Quality", L"192"},
                  {4, L"(4) Item Timestamp", nullptr},
                  {5, L"(5) Item Access Rights", L"3"},
                  {6, L"(6) Server Scan Rate", L"50"},
                  {7, L"(7) Item EU Type", L"1"},
                  {8, L"(8) Item EU Info", L"0, 100"},
                  {100, L"(100) EU Units", L"DEGC"},
                  {101, L"(101) Item Description", L"Static value EU.Analog"},
                  {102, L"(102) High EU", L"100"},
                  {103, L"(103) Low EU", L"0"}};
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i);
    EXPECT_EQ(expected[i].id, rows[i].id);
    EXPECT_EQ(expected[i].name, rows[i].name);
    if (expected[i].value) {
      EXPECT_EQ(expected[i].value, rows[i].value);
    }
  }
  // The time as the list shows times: "M/d/yy H:mm:ss".
  EXPECT_NE(std::wstring::npos, rows[3].value.find(L'/'));
  EXPECT_NE(std::wstring::npos, rows[3].value.find(L':'));

  // What cannot be read has a row without a value.
  ASSERT_EQ(9, m_server->GetItemProperties(writeOnly, rows));
  EXPECT_EQ(L"(2) Item Value", rows[1].name);
  EXPECT_EQ(L"", rows[1].value);
  EXPECT_EQ(L"2", rows[4].value);

  // A server without the DA 3.0 call whose 2.0 call refuses, or no item: no rows.
  ASSERT_EQ(S_OK, Control()->FailMethod(L"IOPCBrowse::GetProperties", E_NOTIMPL, FALSE));
  ASSERT_EQ(S_OK,
            Control()->FailMethod(L"IOPCItemProperties::QueryAvailableProperties", E_FAIL, FALSE));
  EXPECT_EQ(0, m_server->GetItemProperties(analog, rows));
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(0, m_server->GetItemProperties(nullptr, rows));
}

INSTANTIATE_TEST_SUITE_P(Servers, ItemTest, BothServerKinds(),
                         [](const auto& info) { return KindName(info.param); });

}  // namespace
