// Many items at once: the batched add and the one-pass attribute look-up of a group.
#include <iterator>

#include "OpcTestSupport.h"
#include "OpcText.h"

namespace {

class BatchAddTest : public OpcTest {
 protected:
  void SetUp() override {
    OpcTest::SetUp();
    ConnectTo();
    ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  }
  static std::vector<OpcItemRequest> Requests(std::initializer_list<const wchar_t*> ids) {
    std::vector<OpcItemRequest> out;
    for (const wchar_t* id : ids) {
      out.emplace_back();
      out.back().strItemId = id;
    }
    return out;
  }
  static std::vector<OpcItemRequest> Many(int first, int count) {
    std::vector<OpcItemRequest> out;
    for (int i = first; i < first + count; ++i) {
      wchar_t id[32];
      swprintf(id, 32, L"Many.Item%04d", i);
      out.emplace_back();
      out.back().strItemId = id;
    }
    return out;
  }
  // What the server holds for the group, by client handle, in one scan.
  ItemAttributeMap ServerSide(OPCHANDLE group = 1) {
    ItemAttributeMap map;
    m_server->GetGroupAttributes(group, map);
    return map;
  }
};

TEST_F(BatchAddTest, OneScanGivesEveryItemItsOwnAttributesAsTheSingleLookUpDoes) {
  const wchar_t* ids[] = {L"Types.Short", L"Types.Double", L"Access.ReadOnly", L"Types.String"};
  std::vector<COpcItem*> items;
  for (const wchar_t* id : ids) items.push_back(m_server->AddItem(id));
  for (COpcItem* item : items) ASSERT_NE(nullptr, item);
  // Client and server handles in different orders, so a map keyed by the wrong one, or by
  // position, gives some item another's attributes.
  ASSERT_TRUE(m_server->RemoveItem(items[0]));
  items[0] = m_server->AddItem(ids[0]);
  ASSERT_NE(nullptr, items[0]);
  ASSERT_EQ(S_OK, m_server->SetItemActive(items[1], FALSE));
  ASSERT_EQ(S_OK, m_server->SetItemActive(items[3], FALSE));

  ItemAttributeMap map = ServerSide();
  ASSERT_EQ(items.size(), map.size());
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(ids[i]);
    ASSERT_TRUE(map.count(items[i]->m_hClient));
    const ItemAttributeText& a = map[items[i]->m_hClient];
    ItemAttributeText single;
    m_server->GetItemAttributes(items[i], single);
    EXPECT_EQ(single.m_strItemId, a.m_strItemId);
    EXPECT_EQ(ids[i], a.m_strItemId);
    EXPECT_EQ(items[i]->m_hServer, a.m_hServer);
    EXPECT_EQ(single.m_hServer, a.m_hServer);
    EXPECT_EQ(i % 2 == 0 ? TRUE : FALSE, a.m_bActive);
    EXPECT_EQ(single.m_bActive, a.m_bActive);
    EXPECT_EQ(single.m_strAccessRights, a.m_strAccessRights);
    EXPECT_EQ(single.m_strCanonicalType, a.m_strCanonicalType);
    EXPECT_EQ(single.m_strRequestedType, a.m_strRequestedType);
  }
  // Another group's scan holds only its own; a group that is not there gives nothing.
  ASSERT_EQ(S_OK, m_server->AddGroup(2, L"Group2"));
  ASSERT_NE(nullptr, m_server->AddItem(L"Types.Short"));
  EXPECT_EQ(1u, ServerSide(2).size());
  map[12345] = {};
  m_server->GetGroupAttributes(77, map);
  EXPECT_TRUE(map.empty());
}

// The window's adds try the single add's types; the console's ask for the server's own type
// only (bTryTypes false), so a type without a text is kept and a refusal is final.
TEST_F(BatchAddTest, EachRequestIsSettledOnceWithItsTypesAndFirstValues) {
  COpcItem* before = m_server->AddItem(L"Types.Long");
  ASSERT_NE(nullptr, before);
  const std::vector<VARTYPE>& order = RequestedItemTypes();
  // Refused for its first two types; refused for every type; refused in its own type only.
  Control()->RefuseType(L"Types.Float", order[0]);
  Control()->RefuseType(L"Types.Float", order[1]);
  for (VARTYPE vt : order) Control()->RefuseType(L"Types.Boolean", vt);
  Control()->RefuseType(L"Types.String", VT_EMPTY);

  std::vector<OpcItemRequest> requests =
      Requests({L"Types.Short", L"Types.Float", L"Types.Boolean", L"No.Such.Item", L"Types.Long",
                L"Types.Short", L"Types.Double", L"Types.Byte", L"Types.String"});
  requests[6].bActive = FALSE;
  requests[6].bTryTypes = false;  // exactly this type
  requests[6].vtRequested = VT_I4;
  for (size_t i : {7, 8}) requests[i].bTryTypes = false;  // the server's own type only
  std::vector<OpcItemOutcome> outcomes;
  std::vector<size_t> seen;
  EXPECT_EQ(4u, m_server->AddItems(1, requests, outcomes, [&](size_t done, size_t total) {
    seen.push_back(done * 100 + total);
    return true;
  }));
  ASSERT_EQ(requests.size(), outcomes.size());
  EXPECT_EQ(std::vector<size_t>{909}, seen);  // one batch, reported settled
  const struct {
    HRESULT hr;
    VARTYPE requested, value;  // the requested type at the server; the first value's type
  } expected[] = {{S_OK, VT_EMPTY, VT_I2},  // its own type first
                  {S_OK, VT_R8, VT_R8},
                  {OPC_E_BADTYPE, VT_ILLEGAL, VT_ILLEGAL},
                  {OPC_E_UNKNOWNITEMID, VT_ILLEGAL, VT_ILLEGAL},
                  {S_FALSE, VT_ILLEGAL, VT_ILLEGAL},  // already in the group
                  {S_FALSE, VT_ILLEGAL, VT_ILLEGAL},  // listed before
                  {S_OK, VT_I4, VT_I4},
                  {S_OK, VT_EMPTY, VT_UI1},                  // its own type, shown as it is
                  {OPC_E_BADTYPE, VT_ILLEGAL, VT_ILLEGAL}};  // tries would have taken VT_R8
  ItemAttributeMap server = ServerSide();
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(expected[i].hr, outcomes[i].hr);
    COpcItem* item = outcomes[i].pItem;
    if (expected[i].hr != S_OK) {
      EXPECT_EQ(nullptr, item);
      continue;
    }
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(item, m_server->FindItem(1, requests[i].strItemId));
    EXPECT_EQ(item, m_server->ResolveItem(item->m_hClient));
    ASSERT_TRUE(server.count(item->m_hClient));
    EXPECT_EQ(GetAttributeTypeText(expected[i].requested),
              server[item->m_hClient].m_strRequestedType);
    EXPECT_EQ(requests[i].bActive, server[item->m_hClient].m_bActive);
    // Read from the cache, time stamp and all, as the single add reads it.
    EXPECT_EQ(expected[i].value, item->m_value.vt);
    EXPECT_NE(0u, item->m_ftTimeStamp.dwHighDateTime);
    EXPECT_EQ(requests[i].bActive ? OPC_QUALITY_GOOD : OPC_QUALITY_OUT_OF_SERVICE,
              item->m_wQuality & (requests[i].bActive ? OPC_QUALITY_MASK : 0xFF));
  }
  // Server, records and handles agree: the earlier item and the four new ones.
  EXPECT_EQ(5u, server.size());
  EXPECT_EQ(5, m_server->GetGroupItemCount(1));
  EXPECT_EQ(5u, m_server->m_groupManager.m_itemTable.Count());
  EXPECT_EQ(before, m_server->FindItem(1, L"Types.Long"));

  // The batched read and write of the current group reach only its own records.
  m_server->SelectGroup(1);
  COpcItem* shortItem = outcomes[0].pItem;
  COpcItem stranger(L"Types.Short");
  std::vector<COpcItem*> items = {shortItem, &stranger, before};
  std::vector<VARIANT> values(3);
  for (VARIANT& v : values) {
    ::VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = 321;
  }
  std::vector<HRESULT> errors;
  EXPECT_EQ(S_OK, m_server->m_groupManager.WriteItems(items, values, false, errors));
  EXPECT_EQ((std::vector<HRESULT>{S_OK, OPC_E_INVALIDHANDLE, S_OK}), errors);
  ::VariantClear(&shortItem->m_value);
  EXPECT_EQ(S_OK, m_server->m_groupManager.ReadItems(items, OPC_DS_DEVICE, errors));
  EXPECT_EQ((std::vector<HRESULT>{S_OK, OPC_E_INVALIDHANDLE, S_OK}), errors);
  ASSERT_EQ(VT_I2, shortItem->m_value.vt);
  EXPECT_EQ(321, shortItem->m_value.iVal);
  EXPECT_EQ(VT_EMPTY, stranger.m_value.vt);
}

TEST_F(BatchAddTest, StoppingOrLosingTheGroupOrServerLeavesEverythingInAgreement) {
  const size_t batch = COpcGroupManager::kAddBatchSize;
  std::vector<OpcItemOutcome> outcomes;
  // Stopped after the first batch: that batch is in, nothing of the rest was asked.
  std::vector<OpcItemRequest> requests = Many(1, int(batch * 2 + 500));
  int calls = 0;
  EXPECT_EQ(batch, m_server->AddItems(1, requests, outcomes, [&](size_t done, size_t total) {
    ++calls;
    EXPECT_EQ(batch, done);
    EXPECT_EQ(requests.size(), total);
    return false;
  }));
  EXPECT_EQ(1, calls);
  for (size_t i = 0; i < requests.size(); ++i) {
    ASSERT_EQ(i < batch ? S_OK : E_ABORT, outcomes[i].hr) << i;
    ASSERT_EQ(i < batch, outcomes[i].pItem != nullptr) << i;
  }
  EXPECT_EQ(batch, ServerSide().size());
  EXPECT_EQ(int(batch), m_server->GetGroupItemCount(1));

  // Again to the end: the first batch is skipped, the rest added, progress in order.
  std::vector<size_t> done;
  EXPECT_EQ(batch + 500, m_server->AddItems(1, requests, outcomes, [&](size_t d, size_t) {
    done.push_back(d);
    return true;
  }));
  EXPECT_EQ((std::vector<size_t>{batch, batch * 2, batch * 2 + 500}), done);
  EXPECT_EQ(S_FALSE, outcomes[0].hr);
  EXPECT_EQ(requests.size(), ServerSide().size());

  // The group removed while messages ran: its records went, and no outcome names one.
  ASSERT_EQ(S_OK, m_server->AddGroup(2, L"Group2"));
  requests = Many(3001, int(batch + 1));
  EXPECT_EQ(0u, m_server->AddItems(2, requests, outcomes, [&](size_t, size_t) {
    m_server->RemoveGroup(2, FALSE);
    return true;
  }));
  for (const OpcItemOutcome& o : outcomes) {
    EXPECT_EQ(nullptr, o.pItem);
    EXPECT_EQ(E_ABORT, o.hr);
  }
  EXPECT_EQ(batch * 2 + 500, m_server->m_groupManager.m_itemTable.Count());

  // The server's process gone: one call fails, nothing more is asked of it.
  ASSERT_EQ(S_OK, Control()->FailMethod(L"*", RPC_E_DISCONNECTED, TRUE));
  calls = 0;
  EXPECT_EQ(0u, m_server->AddItems(1, Many(4001, int(batch + 1)), outcomes, [&](size_t, size_t) {
    ++calls;
    return true;
  }));
  EXPECT_EQ(0, calls);
  for (size_t i = 0; i < outcomes.size(); ++i)
    ASSERT_EQ(i < batch ? RPC_E_DISCONNECTED : E_ABORT, outcomes[i].hr) << i;
  Control()->ClearFailures();
  // A group that is not there: nothing is attempted.
  EXPECT_EQ(0u, m_server->AddItems(9, Requests({L"Types.Short"}), outcomes));
  ASSERT_EQ(1u, outcomes.size());
  EXPECT_EQ(E_ABORT, outcomes[0].hr);
}

}  // namespace
