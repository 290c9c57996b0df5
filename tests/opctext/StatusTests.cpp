#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "OpcStatus.h"
#include "TextTestSupport.h"

namespace {

bool LooksLikeTime(const std::wstring& text) {
  int m, d, y, h, mi, s;
  return swscanf(text.c_str(), L"%d/%d/%d %d:%d:%d", &m, &d, &y, &h, &mi, &s) == 6;
}

// A record whose every field differs from what any look-up here could write.
ItemAttributeText Sentinel() {
  ItemAttributeText a;
  a.m_bActive = 7;
  a.m_hServer = a.m_hClient = 0xDEAD;
  a.m_strItemId = a.m_strAccessPath = a.m_strAccessRights = L"untouched";
  a.m_strCanonicalType = a.m_strRequestedType = a.m_strEuType = L"untouched";
  return a;
}

void ExpectUntouched(const ItemAttributeText& a) {
  ItemAttributeText s = Sentinel();
  EXPECT_EQ(s.m_bActive, a.m_bActive);
  EXPECT_EQ(s.m_hServer, a.m_hServer);
  EXPECT_EQ(s.m_hClient, a.m_hClient);
  EXPECT_EQ(s.m_strItemId, a.m_strItemId);
  EXPECT_EQ(s.m_strAccessRights, a.m_strAccessRights);
  EXPECT_EQ(s.m_strEuType, a.m_strEuType);
}

}  // namespace

TEST(StatusText, StateTexts) {
  const wchar_t* texts[] = {L"UNKNOWN",   L"RUNING", L"FAILED", L"UNCONFIGURED",
                            L"SUSPENDED", L"TEST",   L"UNKNOWN"};
  for (DWORD state = 0; state < 7; ++state) EXPECT_EQ(texts[state], GetServerStateText(state));
}

TEST_F(SimTextTest, StatusOfTheSimulation) {
  ServerStatusText info;
  {
    TaskMemWatch watch;
    FillServerStatus(m_server.Get(), info);
    EXPECT_EQ(0u, watch.Outstanding()) << "the status or its vendor text was not freed";
  }
  EXPECT_EQ(L"Plover Simulation OPC DA Server", info.m_strVendor);
  EXPECT_EQ(L"RUNING", info.m_strState);
  EXPECT_TRUE(LooksLikeTime(info.m_strStartTime)) << info.m_strStartTime;
  EXPECT_TRUE(LooksLikeTime(info.m_strCurrentTime)) << info.m_strCurrentTime;
  EXPECT_EQ(L"", info.m_strLastUpdateTime);  // nothing sent yet: a zero time
  EXPECT_EQ(0u, info.m_dwBandwidth);         // the simulation reports 0xFFFFFFFF, no figure
  EXPECT_EQ(0u, info.m_dwGroupCount);

  TComPtr<IOPCItemMgt> a = AddGroup(L"A", 1), b = AddGroup(L"B", 2);
  FillServerStatus(m_server.Get(), info);
  EXPECT_EQ(2u, info.m_dwGroupCount);
}

TEST_F(SimTextTest, FailedStatusLeavesTheRecord) {
  ServerStatusText info;
  info.m_strVendor = L"before";
  info.m_dwGroupCount = 9;
  ASSERT_EQ(S_OK, m_control->FailMethod(L"IOPCServer::GetStatus", E_FAIL, FALSE));
  FillServerStatus(m_server.Get(), info);
  // A success code without a structure.
  ASSERT_EQ(S_OK, m_control->FailMethod(L"IOPCServer::GetStatus", S_FALSE, FALSE));
  FillServerStatus(m_server.Get(), info);
  FillServerStatus(nullptr, info);
  EXPECT_EQ(L"before", info.m_strVendor);
  EXPECT_EQ(9u, info.m_dwGroupCount);
  EXPECT_EQ(L"", info.m_strState);
  // Both injected answers were used up by the calls above.
  FillServerStatus(m_server.Get(), info);
  EXPECT_EQ(L"RUNING", info.m_strState);
}

TEST_F(SimTextTest, AttributesOfItemsInTheGroup) {
  TComPtr<IOPCItemMgt> group = AddGroup(L"A", 1), other = AddGroup(L"B", 2);
  OPCHANDLE readOnly = AddItem(group.Get(), L"Access.ReadOnly", VT_EMPTY, 11);
  AddItem(group.Get(), L"EU.Analog", VT_R4, 12);
  AddItem(group.Get(), L"Arrays.Static.Short", VT_EMPTY, 13);
  AddItem(other.Get(), L"Types.String", VT_EMPTY, 21);
  PloverSimLiveCounts before = {}, after = {};
  ASSERT_EQ(S_OK, m_control->GetLiveCounts(&before));

  ItemAttributeText info, analog, array;
  {
    TaskMemWatch watch;
    FillItemAttributes(group.Get(), 11, info);
    FillItemAttributes(group.Get(), 12, analog);  // its EU information is an array
    FillItemAttributes(group.Get(), 13, array);
    EXPECT_EQ(0u, watch.Outstanding()) << "an attributes record was not freed completely";
  }
  ASSERT_EQ(S_OK, m_control->GetLiveCounts(&after));
  EXPECT_EQ(before.enumerators, after.enumerators) << "an enumerator was not released";

  EXPECT_EQ(L"Access.ReadOnly", info.m_strItemId);
  EXPECT_EQ(L"", info.m_strAccessPath);
  EXPECT_EQ(TRUE, info.m_bActive);
  EXPECT_EQ(readOnly, info.m_hServer);
  EXPECT_EQ(11u, info.m_hClient);
  EXPECT_EQ(L"Readable", info.m_strAccessRights);
  EXPECT_EQ(L"Long", info.m_strCanonicalType);
  EXPECT_EQ(L"Unknown", info.m_strRequestedType);
  EXPECT_EQ(L"Analog", analog.m_strEuType);
  EXPECT_EQ(L"Float", analog.m_strRequestedType);
  EXPECT_EQ(L"Double", analog.m_strCanonicalType);
  EXPECT_EQ(L"Readable and Writeable", analog.m_strAccessRights);
  EXPECT_EQ(L"Array of Shorts", array.m_strCanonicalType);
  EXPECT_EQ(L"None", array.m_strEuType);

  // An item of another group is not found through this one.
  ItemAttributeText elsewhere = Sentinel();
  FillItemAttributes(group.Get(), 21, elsewhere);
  ExpectUntouched(elsewhere);
}

TEST_F(SimTextTest, ScanGoesOnPastAMatch) {
  TComPtr<IOPCItemMgt> group = AddGroup(L"A", 1);
  AddItem(group.Get(), L"Types.Short", VT_EMPTY, 5);
  AddItem(group.Get(), L"Types.Long", VT_EMPTY, 6);
  OPCHANDLE last = AddItem(group.Get(), L"Types.Double", VT_EMPTY, 5);
  ItemAttributeText info;
  FillItemAttributes(group.Get(), 5, info);
  EXPECT_EQ(L"Types.Double", info.m_strItemId);  // the later record wins
  EXPECT_EQ(last, info.m_hServer);
}

TEST_F(SimTextTest, AttributesUntouchedWithoutEnumerator) {
  TComPtr<IOPCItemMgt> empty = AddGroup(L"Empty", 1), group = AddGroup(L"A", 2);
  AddItem(group.Get(), L"Types.Short", VT_EMPTY, 5);
  ItemAttributeText info = Sentinel();
  FillItemAttributes(empty.Get(), 5, info);  // S_FALSE: no items, no enumerator
  for (HRESULT hr : {E_FAIL, S_FALSE}) {
    ASSERT_EQ(S_OK, m_control->FailMethod(L"IOPCItemMgt::CreateEnumerator", hr, FALSE));
    FillItemAttributes(group.Get(), 5, info);
  }
  FillItemAttributes(m_server.Get(), 5, info);  // no IOPCItemMgt
  FillItemAttributes(nullptr, 5, info);
  ExpectUntouched(info);
  FillItemAttributes(group.Get(), 5, info);  // the injected answers are used up
  EXPECT_EQ(L"Types.Short", info.m_strItemId);
}
