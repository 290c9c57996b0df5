// The group table, the current group and the settings block against the server.
#include "OpcTestSupport.h"

namespace {

class GroupTest : public OpcTest, public testing::WithParamInterface<ServerKind> {
 protected:
  void SetUp() override {
    OpcTest::SetUp();
    m_kind = GetParam();
    ConnectTo();
  }
  COpcGroupManager& Manager() { return m_server->m_groupManager; }
};

TEST_P(GroupTest, AddGroupUsesTheSettingsBlockAndAdvisesWriteCompleteFirst) {
  m_server->SetGroupUpdateRate(1000);
  m_server->SetGroupDeadband(0.0f);
  const PloverSimLiveCounts before = SimLiveCounts();
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  COpcGroup* g = m_server->GetGroup(1);
  ASSERT_NE(nullptr, g);
  EXPECT_EQ(g, Manager().GetCurrentGroup());
  EXPECT_EQ(L"Group1", g->m_strName);
  EXPECT_EQ(1u, g->m_hClient);
  EXPECT_NE(0u, g->m_hServer);
  EXPECT_EQ(1000u, g->m_dwRequestedRate);
  EXPECT_EQ(1000u, g->m_dwRevisedRate);
  EXPECT_EQ(0.0f, g->m_fDeadband);
  EXPECT_TRUE(g->m_bActive);
  // The server numbers its connections in order of advice.
  EXPECT_NE(0u, g->m_dwWriteConnection);
  EXPECT_LT(g->m_dwWriteConnection, g->m_dwDataConnection);
  EXPECT_EQ(g->m_dwDataConnection, Manager().m_dwDataConnection);
  EXPECT_EQ(before.groups + 1, SimLiveCounts().groups);
  EXPECT_EQ(before.connections + 2, SimLiveCounts().connections);
}

TEST_P(GroupTest, HandlesCollidingInTheirLowSixteenBitsAreRefusedWithoutAServerCall) {
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  const LONG groups = SimLiveCounts().groups;
  EXPECT_EQ(E_FAIL, m_server->AddGroup(0x10001, L"Other"));
  EXPECT_EQ(groups, SimLiveCounts().groups);
  EXPECT_EQ(1u, Manager().m_hClient);  // settings block untouched
  EXPECT_EQ(L"Group1", Manager().m_strName);
  EXPECT_EQ(m_server->GetGroup(1), Manager().GetCurrentGroup());
  EXPECT_EQ(m_server->GetGroup(1), m_server->GetGroup(0x20001));  // same key
}

TEST_P(GroupTest, ARefusedGroupLeavesNoRecord) {
  ASSERT_EQ(S_OK, Control()->FailMethod(L"IOPCServer::AddGroup", E_OUTOFMEMORY, FALSE));
  EXPECT_EQ(E_OUTOFMEMORY, m_server->AddGroup(3, L"G3"));
  EXPECT_EQ(nullptr, m_server->GetGroup(3));
  EXPECT_EQ(nullptr, Manager().GetCurrentGroup());
  EXPECT_EQ(S_OK, m_server->AddGroup(3, L"G3"));  // the handle is still free
}

TEST_P(GroupTest, AGroupWithoutDataObjectStaysCurrentAfterTheMessage) {
  // Without IDataObject the group's DA 2.0 callback point serves instead, silently.
  ASSERT_EQ(S_OK, Control()->SetNoDataObject(TRUE));
  const LONG connections = SimLiveCounts().connections;
  EXPECT_EQ(S_OK, m_server->AddGroup(2, L"Group2"));
  EXPECT_TRUE(s_boxes.empty());
  COpcGroup* g2 = m_server->GetGroup(2);
  ASSERT_NE(nullptr, g2);
  EXPECT_NE(0u, g2->m_dwCallbackCookie);
  EXPECT_TRUE(g2->m_pCallbackPoint);
  EXPECT_EQ(0u, g2->m_dwDataConnection);
  EXPECT_EQ(connections + 1, SimLiveCounts().connections);

  // Only when neither way works is the user told.
  ASSERT_EQ(S_OK, Control()->FailMethod(L"IConnectionPoint::Advise", E_OUTOFMEMORY, FALSE));
  EXPECT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  ASSERT_EQ(1u, s_boxes.size());
  EXPECT_EQ(L"不支持IDataObject\n", s_boxes[0].text);
  EXPECT_EQ(L"Plover Client", s_boxes[0].caption);
  EXPECT_EQ(UINT(MB_OK), s_boxes[0].type);
  EXPECT_EQ(OpcBoxOwner::None, s_boxes[0].owner);
  COpcGroup* g = Manager().GetCurrentGroup();
  ASSERT_EQ(m_server->GetGroup(1), g);
  EXPECT_EQ(0u, g->m_dwDataConnection);
  EXPECT_EQ(0u, g->m_dwWriteConnection);
  EXPECT_EQ(0u, g->m_dwCallbackCookie);
  EXPECT_FALSE(g->m_pCallbackPoint);
  EXPECT_NE(nullptr, m_server->AddItem(L"Types.Long"));  // items still work
}

TEST_P(GroupTest, AFailedAdviseKeepsTheGroupAndStopsTheAdvising) {
  // A failed DAdvise stops the DA 1.0 advising and leaves no half subscription: the
  // callback point takes the group over, and only with that failing too is nothing advised.
  const LONG connections = SimLiveCounts().connections;
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  ASSERT_EQ(connections + 2, SimLiveCounts().connections);
  LONG expected = connections + 2;
  for (OPCHANDLE handle : {2u, 3u}) {
    const bool callbackToo = handle == 3;
    SCOPED_TRACE(testing::Message() << "group " << handle);
    ASSERT_EQ(S_OK, Control()->FailMethod(L"IDataObject::DAdvise", E_OUTOFMEMORY, FALSE));
    if (callbackToo) {
      ASSERT_EQ(S_OK, Control()->FailMethod(L"IConnectionPoint::Advise", E_OUTOFMEMORY, FALSE));
    }
    EXPECT_EQ(S_OK, m_server->AddGroup(handle, L"G" + std::to_wstring(handle)));
    COpcGroup* g = m_server->GetGroup(handle);
    ASSERT_NE(nullptr, g);
    EXPECT_EQ(0u, g->m_dwWriteConnection);
    EXPECT_EQ(0u, g->m_dwDataConnection);
    EXPECT_EQ(!callbackToo, g->m_dwCallbackCookie != 0);
    if (!callbackToo) ++expected;
    EXPECT_EQ(expected, SimLiveCounts().connections);
  }
  EXPECT_TRUE(s_boxes.empty()) << "the group had IDataObject";
}

TEST_P(GroupTest, SelectFindAndHandlesFollowTheTable) {
  EXPECT_EQ(0u, m_server->GetGroupHandle(L""));  // the settings block, no group needed
  m_server->SetGroupUpdateRate(500);
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  m_server->SetGroupUpdateRate(2000);
  m_server->SetGroupActive(FALSE);
  ASSERT_EQ(S_OK, m_server->AddGroup(2, L"Group2"));
  EXPECT_EQ(2u, m_server->GetGroupHandle(L""));
  EXPECT_EQ(1u, m_server->GetGroupHandle(L"Group1"));
  EXPECT_EQ(0xFFFFFFFFu, m_server->GetGroupHandle(L"group1"));  // case-sensitive
  EXPECT_EQ(m_server->GetGroup(2), m_server->FindGroup(L"Group2"));
  EXPECT_EQ(nullptr, m_server->FindGroup(L"Group3"));

  // The table is keyed by the low 16 bits of the client handle; the list gives the keys.
  ASSERT_EQ(S_OK, m_server->AddGroup(0x00050003, L"Group3"));
  std::vector<int> handles = {99};
  EXPECT_EQ(3, m_server->GetGroupHandles(handles));
  EXPECT_EQ((std::vector<int>{1, 2, 3}), handles);
  EXPECT_EQ(m_server->GetGroup(3), m_server->FindGroup(L"Group3"));
  ASSERT_TRUE(m_server->RemoveGroup(3, FALSE));

  COpcGroup* g1 = m_server->SelectGroup(1);
  ASSERT_EQ(m_server->GetGroup(1), g1);
  EXPECT_EQ(L"Group1", Manager().m_strName);
  EXPECT_EQ(500u, Manager().m_dwRequestedRate);
  EXPECT_TRUE(Manager().m_bActive);
  EXPECT_EQ(g1->m_hServer, Manager().m_hServer);
  EXPECT_EQ(g1->m_dwDataConnection, Manager().m_dwDataConnection);
  EXPECT_EQ(1u, m_server->GetGroupHandle(L""));

  EXPECT_EQ(nullptr, m_server->SelectGroup(0));
  EXPECT_EQ(nullptr, m_server->SelectGroup(5));
  EXPECT_EQ(g1, Manager().GetCurrentGroup());  // misses change nothing
  EXPECT_EQ(L"Group1", Manager().m_strName);
}

TEST_P(GroupTest, RemoveGroupUnadvisesDeletesItemsAndClearsTheCurrentGroup) {
  const PloverSimLiveCounts before = SimLiveCounts();
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  ASSERT_NE(nullptr, m_server->AddItem(L"Types.Long"));
  ASSERT_NE(nullptr, m_server->AddItem(L"Types.Short"));
  EXPECT_EQ(2, m_server->GetGroupItemCount(1));
  EXPECT_EQ(0, m_server->GetGroupItemCount(9));

  EXPECT_TRUE(m_server->RemoveGroup(1, FALSE));
  EXPECT_EQ(nullptr, m_server->GetGroup(1));
  EXPECT_EQ(nullptr, Manager().GetCurrentGroup());
  EXPECT_EQ(0u, Manager().m_itemTable.Count());
  EXPECT_EQ(L"Group1", Manager().m_strName);  // the block keeps its values
  EXPECT_EQ(1u, Manager().m_hClient);
  EXPECT_EQ(before.groups, SimLiveCounts().groups);
  EXPECT_EQ(before.connections, SimLiveCounts().connections);
  EXPECT_EQ(nullptr, m_server->AddItem(L"Types.Long"));  // no current group
  EXPECT_FALSE(m_server->RemoveGroup(1, FALSE));
}

TEST_P(GroupTest, StateChangesGoThroughTheServerAndMirrorOnlyOnSuccess) {
  EXPECT_EQ(E_FAIL, m_server->ChangeGroupUpdateRate(100));  // no current group
  EXPECT_EQ(E_FAIL, m_server->RenameGroup(L"X"));
  m_server->SetGroupUpdateRate(1000);
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  COpcGroup* g = m_server->GetGroup(1);

  EXPECT_EQ(S_OK, m_server->ChangeGroupUpdateRate(250));
  EXPECT_EQ(250u, g->m_dwRequestedRate);
  EXPECT_EQ(250u, g->m_dwRevisedRate);
  EXPECT_EQ(S_OK, m_server->ChangeGroupActive(FALSE));
  EXPECT_FALSE(g->m_bActive);
  EXPECT_EQ(250u, g->m_dwRequestedRate);  // the whole block went with it
  EXPECT_EQ(S_OK, m_server->ChangeGroupDeadband(5.0f));
  EXPECT_EQ(5.0f, g->m_fDeadband);
  // What the server holds, not only the client's mirror of it.
  DWORD rate = 0, lcid = 0;
  BOOL active = TRUE;
  LPWSTR name = nullptr;
  LONG bias = 0;
  FLOAT deadband = 0;
  OPCHANDLE hClient = 0, hServer = 0;
  ASSERT_EQ(S_OK, g->m_pGroup->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &hClient,
                                        &hServer));
  // A string from the server arrives whole, from another process too.
  EXPECT_EQ(std::wstring(L"Group1"), name ? name : L"(none)");
  CoTaskMemFree(name);
  const std::wstring text = m_server->GetErrorText(L"X: ", static_cast<DWORD>(OPC_E_UNKNOWNITEMID));
  // The server's own text (the system has none for OPC's codes), not the failed call's.
  EXPECT_EQ(L"X:  The item is no longer available in the server address space.", text);
  EXPECT_EQ(250u, rate);
  EXPECT_FALSE(active);
  EXPECT_EQ(5.0f, deadband);
  EXPECT_EQ(1u, hClient);

  ASSERT_EQ(S_OK, Control()->FailMethod(L"IOPCGroupStateMgt::SetState", E_INVALIDARG, FALSE));
  EXPECT_EQ(E_INVALIDARG, m_server->ChangeGroupUpdateRate(4000));
  EXPECT_EQ(4000u, Manager().m_dwRequestedRate);
  EXPECT_EQ(250u, g->m_dwRequestedRate);

  EXPECT_EQ(S_OK, m_server->RenameGroup(L"Renamed"));
  EXPECT_EQ(L"Renamed", g->m_strName);
  EXPECT_EQ(L"Renamed", Manager().m_strName);
  EXPECT_EQ(g, m_server->FindGroup(L"Renamed"));
  ASSERT_EQ(S_OK, Control()->FailMethod(L"IOPCGroupStateMgt::SetName", E_INVALIDARG, FALSE));
  EXPECT_EQ(E_INVALIDARG, m_server->RenameGroup(L"Again"));
  EXPECT_EQ(L"Renamed", g->m_strName);
}

TEST_P(GroupTest, RemoveAllGroupsEmptiesTheTableAndForgetsTheServer) {
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"A"));
  ASSERT_EQ(S_OK, m_server->AddGroup(2, L"B"));
  m_server->RemoveAllGroups(TRUE);
  EXPECT_TRUE(Manager().m_groupTable.empty());
  EXPECT_EQ(nullptr, Manager().m_pServer);
  EXPECT_EQ(E_FAIL, m_server->AddGroup(3, L"C"));  // no server pointer any more
}

INSTANTIATE_TEST_SUITE_P(Servers, GroupTest, BothServerKinds(),
                         [](const auto& info) { return KindName(info.param); });

}  // namespace
