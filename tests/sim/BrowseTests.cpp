// IOPCBrowseServerAddressSpace and IEnumString, in both organizations.
#include "SimTestSupport.h"

class SimBrowse : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    browse = Query<IOPCBrowseServerAddressSpace>(server.Get());
    ASSERT_TRUE(browse);
  }
  std::vector<std::wstring> List(OPCBROWSETYPE type, const wchar_t* filter = L"*",
                                 VARTYPE vt = VT_EMPTY, DWORD access = 0, HRESULT* hr = nullptr) {
    TComPtr<IEnumString> e;
    HRESULT r = browse->BrowseOPCItemIDs(type, filter, vt, access, e.Put());
    if (hr) *hr = r;
    EXPECT_TRUE(SUCCEEDED(r)) << std::hex << r;
    return Drain(e.Get());
  }
  TComPtr<IOPCBrowseServerAddressSpace> browse;
};

TEST_F(SimBrowse, RootListsBranchesAndMovesUpAndDown) {
  auto branches = List(OPC_BRANCH);
  for (const wchar_t* b :
       {L"Signals", L"Types", L"Arrays", L"Access", L"Quality", L"EU", L"Deep", L"Many", L"Names"})
    EXPECT_TRUE(Contains(branches, b)) << testing::PrintToString(std::wstring(b));
  EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L"")) << "already at the root";
  EXPECT_TRUE(FAILED(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"NoSuchBranch")));
  EXPECT_TRUE(FAILED(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Heartbeat")))
      << "a leaf is no branch";
  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Signals"));
  auto leaves = List(OPC_LEAF);
  EXPECT_TRUE(Contains(leaves, L"Ramp"));
  EXPECT_TRUE(Contains(leaves, L"Sine"));
  EXPECT_TRUE(List(OPC_BRANCH).empty());
  LPWSTR id = nullptr;
  ASSERT_EQ(S_OK, browse->GetItemID(const_cast<LPWSTR>(L"Ramp"), &id));
  EXPECT_STREQ(L"Signals.Ramp", id);
  CoTaskMemFree(id);
  EXPECT_TRUE(FAILED(browse->GetItemID(const_cast<LPWSTR>(L"Nope"), &id)));
  EXPECT_EQ(E_INVALIDARG, browse->GetItemID(nullptr, &id));
  EXPECT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
  EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
  EXPECT_EQ(E_INVALIDARG, browse->ChangeBrowsePosition(static_cast<OPCBROWSEDIRECTION>(9), L""));
}

TEST_F(SimBrowse, BrowseToAndDeepNesting) {
  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"Deep.Level1.Level2.Level3"));
  LPWSTR id = nullptr;
  ASSERT_EQ(S_OK, browse->GetItemID(const_cast<LPWSTR>(L"Value"), &id));
  EXPECT_STREQ(L"Deep.Level1.Level2.Level3.Value", id);
  CoTaskMemFree(id);
  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L""));
  EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
  EXPECT_TRUE(FAILED(browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"Deep.Nowhere")));

  // Thirty levels below "Deep"; climbing back takes thirty-one steps.
  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Deep"));
  int depth = 1;
  for (;;) {
    auto b = List(OPC_BRANCH);
    if (b.empty()) break;
    ASSERT_EQ(1u, b.size());
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, b[0].c_str()));
    ++depth;
  }
  EXPECT_EQ(31, depth);
  int ups = 0;
  while (browse->ChangeBrowsePosition(OPC_BROWSE_UP, L"") == S_OK) ++ups;
  EXPECT_EQ(31, ups);
}

TEST_F(SimBrowse, NameTypeAndAccessFilters) {
  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Many"));
  EXPECT_EQ(5000u, List(OPC_LEAF).size());
  EXPECT_EQ(9u, List(OPC_LEAF, L"Item000?").size());  // Item0001 to Item0009
  EXPECT_EQ(9u, List(OPC_LEAF, L"Item000#").size());
  EXPECT_EQ(0u, List(OPC_LEAF, L"Item000[a-z]").size());
  EXPECT_EQ(1u, List(OPC_LEAF, L"Item4711").size());
  EXPECT_EQ(5000u, List(OPC_LEAF, L"").size()) << "an empty filter is no filter";
  EXPECT_EQ(50u, List(OPC_LEAF, L"Item*00").size());  // Item0100, Item0200 ... Item5000
  EXPECT_EQ(1000u, List(OPC_LEAF, L"Item[1]*").size());
  EXPECT_EQ(4000u, List(OPC_LEAF, L"Item[!1]*").size());

  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"Access"));
  EXPECT_EQ(3u, List(OPC_LEAF, L"*", VT_EMPTY, 0).size());
  EXPECT_EQ(3u, List(OPC_LEAF, L"*", VT_EMPTY, OPC_READABLE | OPC_WRITEABLE).size());
  auto readable = List(OPC_LEAF, L"*", VT_EMPTY, OPC_READABLE);
  EXPECT_EQ(2u, readable.size());
  EXPECT_FALSE(Contains(readable, L"WriteOnly"));
  auto writeable = List(OPC_LEAF, L"*", VT_EMPTY, OPC_WRITEABLE);
  EXPECT_EQ(2u, writeable.size());
  EXPECT_FALSE(Contains(writeable, L"ReadOnly"));

  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"Types"));
  auto floats = List(OPC_LEAF, L"*", VT_R4);
  ASSERT_EQ(1u, floats.size());
  EXPECT_EQ(L"Float", floats[0]);
  // The types beyond the six filter as well.
  EXPECT_EQ(std::vector<std::wstring>{L"Date"}, List(OPC_LEAF, L"*", VT_DATE));
  EXPECT_EQ(std::vector<std::wstring>{L"ULongLong"}, List(OPC_LEAF, L"*", VT_UI8));
  EXPECT_EQ(std::vector<std::wstring>{L"Error"}, List(OPC_LEAF, L"*", VT_ERROR));
  EXPECT_EQ(std::vector<std::wstring>{L"Decimal"}, List(OPC_LEAF, L"*", VT_DECIMAL));
  HRESULT hr = S_OK;
  EXPECT_TRUE(List(OPC_LEAF, L"*", VT_ARRAY | VT_R4, 0, &hr).empty()) << "arrays are elsewhere";
  EXPECT_EQ(S_FALSE, hr) << "nothing matches: S_FALSE with an empty enumerator";
  EXPECT_TRUE(List(OPC_LEAF, L"zzz*", VT_EMPTY, 0, &hr).empty());
  EXPECT_EQ(S_FALSE, hr);
}

TEST_F(SimBrowse, FlatBrowseFromAPositionGivesFullIds) {
  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"Arrays"));
  auto ids = List(OPC_FLAT);
  EXPECT_TRUE(Contains(ids, L"Arrays.ShortArray"));
  EXPECT_TRUE(Contains(ids, L"Arrays.Static.String"));
  EXPECT_FALSE(Contains(ids, L"Signals.Ramp"));
  TComPtr<IEnumString> e;
  EXPECT_EQ(E_INVALIDARG,
            browse->BrowseOPCItemIDs(static_cast<OPCBROWSETYPE>(7), L"*", VT_EMPTY, 0, e.Put()));
  EXPECT_EQ(E_INVALIDARG, browse->BrowseOPCItemIDs(OPC_LEAF, L"*", VT_EMPTY, 0, nullptr));
  EXPECT_EQ(E_NOTIMPL, browse->BrowseAccessPaths(L"Signals.Ramp", e.Put()));
  EXPECT_FALSE(e);
}

TEST_F(SimBrowse, NamesWithSpacesAndChinese) {
  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Names"));
  auto leaves = List(OPC_LEAF);
  EXPECT_TRUE(Contains(leaves, L"Name With Spaces"));
  EXPECT_TRUE(Contains(leaves, L"温度"));
  auto branches = List(OPC_BRANCH);
  EXPECT_TRUE(Contains(branches, L"中文 分支"));
  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"中文 分支"));
  LPWSTR id = nullptr;
  ASSERT_EQ(S_OK, browse->GetItemID(const_cast<LPWSTR>(L"状态"), &id));
  EXPECT_STREQ(L"Names.中文 分支.状态", id);
  // The ID it hands out is one AddItems accepts.
  TComPtr<IOPCItemMgt> g = AddGroup(L"G");
  EXPECT_EQ(S_OK, AddItem(g.Get(), id, VT_EMPTY, 1));
  CoTaskMemFree(id);
}

TEST_F(SimBrowse, EnumStringNextSkipResetClone) {
  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Types"));
  TComPtr<IEnumString> e;
  ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_LEAF, L"*", VT_EMPTY, 0, e.Put()));
  LPOLESTR names[20] = {};
  ULONG got = 99;
  EXPECT_EQ(S_OK, e->Next(2, names, &got));
  EXPECT_EQ(2u, got);
  std::wstring third;
  {
    TComPtr<IEnumString> c;
    ASSERT_EQ(S_OK, e->Clone(c.Put()));
    LPOLESTR one = nullptr;
    ASSERT_EQ(S_OK, c->Next(1, &one, nullptr));
    third = one;
    CoTaskMemFree(one);
  }
  for (ULONG i = 0; i < got; ++i) CoTaskMemFree(names[i]);
  EXPECT_EQ(S_OK, e->Next(1, names, &got));
  EXPECT_EQ(third, names[0]) << "a clone continues from the same position";
  CoTaskMemFree(names[0]);
  EXPECT_EQ(S_OK, e->Skip(1));
  EXPECT_EQ(S_FALSE, e->Next(20, names, &got)) << "fewer than asked for";
  EXPECT_EQ(14u, got);  // eighteen types, four consumed
  for (ULONG i = 0; i < got; ++i) CoTaskMemFree(names[i]);
  EXPECT_EQ(S_FALSE, e->Next(1, names, &got));
  EXPECT_EQ(0u, got);
  EXPECT_EQ(S_FALSE, e->Skip(1));
  EXPECT_EQ(S_OK, e->Reset());
  EXPECT_EQ(18u, Drain(e.Get()).size());
  EXPECT_EQ(E_INVALIDARG, e->Next(2, names, nullptr)) << "more than one needs a fetched count";
}

TEST(SimBrowseFlat, FlatSpaceListsFullIdsAndHasNoPositions) {
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(PLOVER_SIM_FLAT_PROGID, &clsid));
  TComPtr<IOPCBrowseServerAddressSpace> browse;
  ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IOPCBrowseServerAddressSpace, browse.PutVoid()));
  TComPtr<IEnumString> e;
  ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_FLAT, L"Signals.*", VT_EMPTY, 0, e.Put()));
  auto ids = Drain(e.Get());
  EXPECT_TRUE(Contains(ids, L"Signals.Ramp"));
  EXPECT_EQ(20u, ids.size());
  ASSERT_EQ(S_FALSE, browse->BrowseOPCItemIDs(OPC_BRANCH, L"*", VT_EMPTY, 0, e.Put()));
  EXPECT_TRUE(Drain(e.Get()).empty());
  EXPECT_TRUE(FAILED(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Signals")));
  ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_FLAT, L"*", VT_EMPTY, 0, e.Put()));
  EXPECT_GT(Drain(e.Get()).size(), 5000u);
  LPWSTR id = nullptr;
  ASSERT_EQ(S_OK, browse->GetItemID(const_cast<LPWSTR>(L"Many.Item0042"), &id));
  EXPECT_STREQ(L"Many.Item0042", id);
  CoTaskMemFree(id);
}

TEST(SimBrowseLarge, LargeSpaceHasAHundredThousandBulkItems) {
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(PLOVER_SIM_LARGE_PROGID, &clsid));
  TComPtr<IOPCBrowseServerAddressSpace> browse;
  ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IOPCBrowseServerAddressSpace, browse.PutVoid()));
  ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Bulk"));
  TComPtr<IEnumString> e;
  ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_BRANCH, L"*", VT_EMPTY, 0, e.Put()));
  EXPECT_EQ(400u, Drain(e.Get()).size());
  ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_FLAT, L"*", VT_EMPTY, 0, e.Put()));
  EXPECT_EQ(100000u, Drain(e.Get()).size());
}
