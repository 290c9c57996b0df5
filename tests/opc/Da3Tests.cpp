// The DA 3.0 parts of the client core against the simulation server: reads and writes by
// item ID without a group, item types in one call, and keep-alive in place of status polls.
#include "OpcDataCallback.h"
#include "OpcItemIo.h"
#include "OpcTestSupport.h"

namespace {

class Da3Test : public OpcTest, public testing::WithParamInterface<ServerKind> {
 protected:
  void SetUp() override {
    OpcTest::SetUp();
    m_kind = GetParam();
  }
};

ULONGLONG g_now = 0;
ULONGLONG WINAPI TestClock() {
  return g_now;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

}  // namespace

TEST_P(Da3Test, ItemIoWritesValueQualityAndTimeAndReadsThemBackWithoutAGroup) {
  ConnectTo();
  ASSERT_EQ(S_OK, Control()->SetDeterministic(TRUE));
  IOPCServer* server = m_server->m_pServer.Get();
  const FILETIME stamp = {0x89ABCDEF, 0x01D00000};
  const struct {
    const wchar_t* id;
    VARTYPE type;  // as property 1 gives it
    LONG value;
    bool withQuality;
    WORD quality;
    bool withTime;
    HRESULT written;
  } rows[] = {
      {L"Types.Short", VT_I2, -7, false, 0, false, S_OK},
      {L"Types.Long", VT_I4, 12, true, OPC_QUALITY_UNCERTAIN, true, S_OK},
      {L"Types.Double", VT_R8, 3, true, OPC_QUALITY_BAD, false, S_OK},
      {L"Access.ReadOnly", VT_I4, 1, false, 0, false, OPC_E_BADRIGHTS},
      {L"No.Such", VT_EMPTY, 1, false, 0, false, OPC_E_UNKNOWNITEMID},
  };
  std::vector<std::wstring> ids;
  for (const auto& r : rows) ids.push_back(r.id);
  std::vector<VARTYPE> types;
  std::vector<HRESULT> errors;
  EXPECT_TRUE(SUCCEEDED(ReadCanonicalTypes(server, ids, types, errors)));
  std::vector<OpcVqt> vqts(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    const auto& r = rows[i];
    EXPECT_EQ(r.type, types[i]) << testing::PrintToString(ids[i]);
    EXPECT_EQ(r.type == VT_EMPTY, FAILED(errors[i])) << testing::PrintToString(ids[i]);
    vqts[i].value.vt = VT_I4;
    vqts[i].value.lVal = r.value;
    if (r.type != VT_EMPTY) ::VariantChangeType(&vqts[i].value, &vqts[i].value, 0, r.type);
    vqts[i] = {vqts[i].value, r.withQuality, r.quality, r.withTime, stamp};
  }
  EXPECT_EQ(S_FALSE, WriteVqtByItemIo(server, ids, vqts, errors));
  for (size_t i = 0; i < ids.size(); ++i)
    EXPECT_EQ(rows[i].written, errors[i]) << testing::PrintToString(ids[i]);

  std::vector<std::unique_ptr<COpcItem>> read;
  EXPECT_EQ(S_FALSE, ReadByItemIo(server, ids, OPC_MAXAGE_CACHE, read, errors));
  ASSERT_EQ(ids.size(), read.size());
  for (size_t i = 0; i < 3; ++i) {
    const auto& r = rows[i];
    ASSERT_TRUE(read[i]) << testing::PrintToString(ids[i]);
    EXPECT_EQ(r.type, read[i]->m_value.vt) << "values come in the item's own type";
    VARIANT v;
    ::VariantInit(&v);
    ASSERT_EQ(S_OK, ::VariantChangeType(&v, &read[i]->m_value, 0, VT_I4));
    EXPECT_EQ(r.value, v.lVal) << testing::PrintToString(ids[i]);
    EXPECT_EQ(r.withQuality ? r.quality : OPC_QUALITY_GOOD, read[i]->m_wQuality);
    EXPECT_EQ(r.withTime, SameTime(stamp, read[i]->m_ftTimeStamp));
  }
  EXPECT_TRUE(read[3]) << "a read-only item reads";
  EXPECT_FALSE(read[4]);
  EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[4]);
  EXPECT_EQ(0, SimLiveCounts().groups) << "no group was made for any of it";
}

INSTANTIATE_TEST_SUITE_P(Servers, Da3Test, BothServerKinds(),
                         [](const auto& info) { return KindName(info.param); });

class KeepAliveTest : public OpcTest {};

// A server in its own process, subscribed through the DA 2.0 callback: the group's
// keep-alive replaces the status polls; silence past the period and the limit is a loss.
TEST_F(KeepAliveTest, CallbacksStandInForStatusPollsWhileAGroupHasKeepAlive) {
  m_kind = ServerKind::OwnProcess;
  ConnectTo();
  ASSERT_EQ(S_OK, Control()->SetNoDa1Async(TRUE));
  g_now = 1000;
  const auto oldClock = COpcAliveCheck::SetClock(TestClock);
  m_server->SetGroupActive(TRUE);
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"G"));
  ASSERT_NE(nullptr, m_server->AddItem(L"Types.Long"));
  const COpcGroup* group = m_server->GetGroup(1);
  ASSERT_TRUE(group && group->UsesCallback());
  const DWORD keepAlive = group->m_dwKeepAlive;
  EXPECT_GE(keepAlive, COpcGroupManager::kKeepAliveMs);
  EXPECT_EQ(keepAlive, m_server->m_groupManager.KeepAliveMs());

  // The server's own keep-alive arrives while nothing changes.
  COpcDataCallback* callback = m_server->m_groupManager.GetCallback();
  g_now = 5000;
  Control()->AdvanceTime(keepAlive * 3);
  PumpUntil([&] { return callback->LastHeard() == 5000; }, "a keep-alive callback");

  const DWORD limit = 4000;
  const unsigned polls = m_server->m_aliveCheck.ChecksAsked();
  // Ticks every half second of the test clock; nothing is pumped, so nothing is heard
  // after the call made by hand at `heard`.
  const ULONGLONG heard = 8000;
  bool lost = false;
  ULONGLONG lostAt = 0;
  for (g_now = 6000; g_now <= 30000 && !lost; g_now += 500) {
    if (g_now == heard) {
      OPCHANDLE h = 0;
      VARIANT v;
      WORD q = 0;
      FILETIME t = {};
      HRESULT e = S_OK;
      callback->OnDataChange(0, 1, S_OK, S_OK, 0, &h, &v, &q, &t, &e);
    }
    m_server->CheckAlive(limit);
    if ((lost = m_server->m_pWatch->Lost())) lostAt = g_now;
  }
  EXPECT_EQ(polls, m_server->m_aliveCheck.ChecksAsked()) << "no status polls meanwhile";
  // The first tick past the period and the limit after the last callback.
  EXPECT_EQ((heard + keepAlive + limit) / 500 * 500 + 500, lostAt);
  EXPECT_EQ(RPC_E_TIMEOUT, m_server->GetShutdownCode());
  COpcAliveCheck::SetClock(oldClock);
}

TEST_F(KeepAliveTest, WithoutAnActiveKeepAliveGroupTheStatusIsPolled) {
  m_kind = ServerKind::OwnProcess;
  ConnectTo();
  // Groups on the DA 1.0 streams, and an inactive one on the callback: no keep-alive.
  m_server->SetGroupActive(TRUE);
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Streams"));
  ASSERT_EQ(S_OK, Control()->SetNoDa1Async(TRUE));
  m_server->SetGroupActive(FALSE);
  ASSERT_EQ(S_OK, m_server->AddGroup(2, L"Inactive"));
  EXPECT_EQ(0u, m_server->m_groupManager.KeepAliveMs());
  const unsigned polls = m_server->m_aliveCheck.ChecksAsked();
  m_server->CheckAlive(20000);
  EXPECT_EQ(polls + 1, m_server->m_aliveCheck.ChecksAsked());
  m_server->SelectGroup(2);
  ASSERT_EQ(S_OK, m_server->ChangeGroupActive(TRUE));
  EXPECT_GT(m_server->m_groupManager.KeepAliveMs(), 0u) << "active now, on its keep-alive";
}
