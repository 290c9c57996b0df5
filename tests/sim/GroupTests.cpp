// IOPCServer group management and IOPCGroupStateMgt.
#include "SimTestSupport.h"

#include <cmath>

class SimGroups : public SimFixture {};

TEST_F(SimGroups, AddGroupRevisesRatesAndChecksArguments) {
  struct {
    DWORD requested, revised;
    HRESULT hr;
  } cases[] = {{1000, 1000, S_OK},
               {0, 50, OPC_S_UNSUPPORTEDRATE},
               {333, 350, OPC_S_UNSUPPORTEDRATE},
               {0xFFFFFFFF, 3600000, OPC_S_UNSUPPORTEDRATE}};
  int n = 0;
  for (const auto& c : cases) {
    TComPtr<IOPCGroupStateMgt> g;
    OPCHANDLE h = 0;
    DWORD revised = 0;
    float deadband = 0;
    std::wstring name = L"Rate" + std::to_wstring(n++);
    EXPECT_EQ(c.hr, server->AddGroup(name.c_str(), TRUE, c.requested, 7, nullptr, &deadband, 0, &h,
                                     &revised, IID_IOPCGroupStateMgt, g.PutUnknown()));
    EXPECT_EQ(c.revised, revised);
    EXPECT_NE(0u, h);
    EXPECT_TRUE(g);
  }
  TComPtr<IUnknown> g;
  OPCHANDLE h = 0;
  DWORD revised = 0;
  for (float bad : {-0.5f, 100.5f, std::nanf("")}) {
    EXPECT_EQ(E_INVALIDARG, server->AddGroup(L"Bad", TRUE, 1000, 1, nullptr, &bad, 0, &h, &revised,
                                             IID_IUnknown, g.PutUnknown()));
    EXPECT_FALSE(g);
  }
  EXPECT_EQ(E_INVALIDARG, server->AddGroup(L"NoOut", TRUE, 1000, 1, nullptr, nullptr, 0, &h,
                                           &revised, IID_IUnknown, nullptr));
  EXPECT_EQ(E_NOINTERFACE, server->AddGroup(L"NoIface", TRUE, 1000, 1, nullptr, nullptr, 0, &h,
                                            &revised, IID_IDispatch, g.PutUnknown()));
  EXPECT_FALSE(g);
  // The refused groups left nothing behind.
  EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(L"NoIface", IID_IUnknown, g.PutUnknown()));
  EXPECT_EQ(4, Counts().groups);
}

TEST_F(SimGroups, NamesAreUniqueAndEmptyNamesAreInvented) {
  TComPtr<IOPCItemMgt> a = AddGroup(L"Group1");
  TComPtr<IUnknown> dup;
  OPCHANDLE h = 0;
  DWORD revised = 0;
  EXPECT_EQ(OPC_E_DUPLICATENAME, server->AddGroup(L"Group1", TRUE, 1000, 2, nullptr, nullptr, 0, &h,
                                                  &revised, IID_IUnknown, dup.PutUnknown()));
  TComPtr<IOPCGroupStateMgt> e1, e2;
  ASSERT_EQ(S_OK, server->AddGroup(L"", TRUE, 1000, 3, nullptr, nullptr, 0, &h, &revised,
                                   IID_IOPCGroupStateMgt, e1.PutUnknown()));
  ASSERT_EQ(S_OK, server->AddGroup(nullptr, TRUE, 1000, 4, nullptr, nullptr, 0, &h, &revised,
                                   IID_IOPCGroupStateMgt, e2.PutUnknown()));
  LPWSTR n1 = nullptr, n2 = nullptr;
  ASSERT_EQ(S_OK, e1->GetState(nullptr, nullptr, &n1, nullptr, nullptr, nullptr, nullptr, nullptr));
  ASSERT_EQ(S_OK, e2->GetState(nullptr, nullptr, &n2, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STRNE(L"", n1);
  EXPECT_STRNE(n1, n2);
  // Renaming follows the same rule.
  EXPECT_EQ(OPC_E_DUPLICATENAME, e1->SetName(L"Group1"));
  EXPECT_EQ(S_OK, e1->SetName(n1));
  EXPECT_EQ(E_INVALIDARG, e1->SetName(nullptr));
  EXPECT_EQ(S_OK, e1->SetName(L"Renamed"));
  TComPtr<IOPCGroupStateMgt> found;
  EXPECT_EQ(S_OK, server->GetGroupByName(L"Renamed", IID_IOPCGroupStateMgt, found.PutUnknown()));
  EXPECT_EQ(e1.Get(), found.Get());
  EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(n1, IID_IUnknown, dup.PutUnknown()));
  EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(nullptr, IID_IUnknown, dup.PutUnknown()));
  CoTaskMemFree(n1);
  CoTaskMemFree(n2);
}

TEST_F(SimGroups, GetStateAndSetState) {
  OPCHANDLE hServer = 0;
  TComPtr<IOPCItemMgt> items = AddGroup(L"S", 1000, 42, 12.5f, TRUE, &hServer);
  TComPtr<IOPCGroupStateMgt> g = Query<IOPCGroupStateMgt>(items.Get());
  DWORD rate = 0, lcid = 0;
  BOOL active = FALSE;
  LPWSTR name = nullptr;
  LONG bias = 0;
  FLOAT deadband = 0;
  OPCHANDLE hc = 0, hs = 0;
  ASSERT_EQ(S_OK, g->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &hc, &hs));
  EXPECT_EQ(1000u, rate);
  EXPECT_TRUE(active);
  EXPECT_STREQ(L"S", name);
  EXPECT_FLOAT_EQ(12.5f, deadband);
  EXPECT_EQ(0x409u, lcid);
  EXPECT_EQ(42u, hc);
  EXPECT_EQ(hServer, hs);
  CoTaskMemFree(name);

  DWORD requested = 120, revised = 0;
  BOOL inactive = FALSE;
  OPCHANDLE newClient = 43;
  EXPECT_EQ(OPC_S_UNSUPPORTEDRATE,
            g->SetState(&requested, &revised, &inactive, nullptr, nullptr, nullptr, &newClient));
  EXPECT_EQ(150u, revised);
  requested = 500;
  EXPECT_EQ(S_OK, g->SetState(&requested, &revised, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(500u, revised);
  FLOAT bad = 101;
  EXPECT_EQ(E_INVALIDARG, g->SetState(nullptr, nullptr, nullptr, nullptr, &bad, nullptr, nullptr));
  EXPECT_EQ(S_OK, g->SetState(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  ASSERT_EQ(S_OK, g->GetState(&rate, &active, nullptr, nullptr, &deadband, nullptr, &hc, nullptr));
  EXPECT_EQ(500u, rate);
  EXPECT_FALSE(active);
  EXPECT_FLOAT_EQ(12.5f, deadband) << "a refused SetState changes nothing";
  EXPECT_EQ(43u, hc);
}

TEST_F(SimGroups, CloneGroupCopiesItemsButStartsInactive) {
  TComPtr<IOPCItemMgt> items = AddGroup(L"Original", 1000, 5, 3.0f);
  OPCHANDLE hItem = 0;
  ASSERT_EQ(S_OK, AddItem(items.Get(), L"Types.Long", VT_I4, 77, &hItem));
  TComPtr<IOPCGroupStateMgt> g = Query<IOPCGroupStateMgt>(items.Get());
  TComPtr<IOPCItemMgt> clone;
  EXPECT_EQ(OPC_E_DUPLICATENAME, g->CloneGroup(L"Original", IID_IOPCItemMgt, clone.PutUnknown()));
  ASSERT_EQ(S_OK, g->CloneGroup(L"Copy", IID_IOPCItemMgt, clone.PutUnknown()));
  TComPtr<IOPCGroupStateMgt> cs = Query<IOPCGroupStateMgt>(clone.Get());
  BOOL active = TRUE;
  FLOAT deadband = 0;
  OPCHANDLE hs = 0, hsOriginal = 0;
  ASSERT_EQ(S_OK,
            cs->GetState(nullptr, &active, nullptr, nullptr, &deadband, nullptr, nullptr, &hs));
  ASSERT_EQ(S_OK, g->GetState(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &hsOriginal));
  EXPECT_FALSE(active);
  EXPECT_FLOAT_EQ(3.0f, deadband);
  EXPECT_NE(hsOriginal, hs);
  TComPtr<IEnumOPCItemAttributes> e;
  ASSERT_EQ(S_OK, clone->CreateEnumerator(IID_IEnumOPCItemAttributes, e.PutUnknown()));
  OPCITEMATTRIBUTES* attrs = nullptr;
  ULONG got = 0;
  ASSERT_EQ(S_OK, e->Next(1, &attrs, &got));
  EXPECT_STREQ(L"Types.Long", attrs[0].szItemID);
  EXPECT_EQ(77u, attrs[0].hClient);
  const OPCHANDLE hCloned = attrs[0].hServer;
  CoTaskMemFree(attrs[0].szItemID);
  CoTaskMemFree(attrs[0].szAccessPath);
  VariantClear(&attrs[0].vEUInfo);
  CoTaskMemFree(attrs);

  // The clone's item has a handle of its own: each group's handles work in that group only.
  EXPECT_NE(hItem, hCloned);
  ASSERT_EQ(S_OK, WriteOne(items.Get(), hItem, MakeVariant(42.0)));
  const struct {
    IOPCItemMgt* group;
    OPCHANDLE handle;
    HRESULT expected;
  } reads[] = {{clone.Get(), hCloned, S_OK},
               {clone.Get(), hItem, OPC_E_INVALIDHANDLE},
               {items.Get(), hItem, S_OK},
               {items.Get(), hCloned, OPC_E_INVALIDHANDLE}};
  for (const auto& r : reads) {
    VARIANT v;
    EXPECT_EQ(r.expected, ReadOne(r.group, OPC_DS_DEVICE, r.handle, &v)) << std::hex << r.handle;
    if (r.expected == S_OK) {
      EXPECT_EQ(VT_I4, v.vt);
      EXPECT_EQ(42, v.lVal);
    }
    VariantClear(&v);
  }
}

TEST_F(SimGroups, RemoveGroupHonoursReferencesAndForce) {
  OPCHANDLE h1 = 0, h2 = 0, h3 = 0;
  TComPtr<IOPCItemMgt> g1 = AddGroup(L"One", 1000, 1, 0, TRUE, &h1);
  TComPtr<IOPCItemMgt> g2 = AddGroup(L"Two", 1000, 2, 0, TRUE, &h2);
  TComPtr<IOPCItemMgt> g3 = AddGroup(L"Three", 1000, 3, 0, TRUE, &h3);
  EXPECT_EQ(E_INVALIDARG, server->RemoveGroup(12345, FALSE));
  // Still referenced by the client: removed from the server, alive until released.
  EXPECT_EQ(OPC_S_INUSE, server->RemoveGroup(h1, FALSE));
  EXPECT_EQ(E_INVALIDARG, server->RemoveGroup(h1, FALSE)) << "already gone";
  TComPtr<IUnknown> any;
  EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(L"One", IID_IUnknown, any.PutUnknown()));
  EXPECT_EQ(3, Counts().groups);
  OPCHANDLE item = 0;
  EXPECT_EQ(E_FAIL, AddItem(g1.Get(), L"Types.Long", VT_EMPTY, 1, &item))
      << "a removed group refuses work";
  g1.Release();
  EXPECT_EQ(2, Counts().groups);
  EXPECT_EQ(S_OK, server->RemoveGroup(h2, TRUE));
  g2.Release();
  g3.Release();
  EXPECT_EQ(S_OK, server->RemoveGroup(h3, FALSE)) << "no client reference left";
  EXPECT_EQ(0, Counts().groups);
}

TEST_F(SimGroups, GroupEnumeratorsListPrivateGroups) {
  TComPtr<IOPCItemMgt> a = AddGroup(L"A");
  TComPtr<IOPCItemMgt> b = AddGroup(L"B");
  TComPtr<IEnumString> names;
  ASSERT_EQ(S_OK, server->CreateGroupEnumerator(OPC_ENUM_PRIVATE_CONNECTIONS, IID_IEnumString,
                                                names.PutUnknown()));
  auto list = Drain(names.Get());
  EXPECT_EQ(2u, list.size());
  EXPECT_TRUE(Contains(list, L"A"));
  TComPtr<IEnumUnknown> objects;
  ASSERT_EQ(S_OK,
            server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumUnknown, objects.PutUnknown()));
  IUnknown* got[3] = {};
  ULONG n = 0;
  EXPECT_EQ(S_FALSE, objects->Next(3, got, &n));
  ASSERT_EQ(2u, n);
  EXPECT_TRUE(Query<IOPCItemMgt>(got[0]));
  got[0]->Release();
  got[1]->Release();
  EXPECT_EQ(S_FALSE,
            server->CreateGroupEnumerator(OPC_ENUM_PUBLIC, IID_IEnumString, names.PutUnknown()));
  EXPECT_TRUE(Drain(names.Get()).empty());
  EXPECT_EQ(E_INVALIDARG, server->CreateGroupEnumerator(static_cast<OPCENUMSCOPE>(0),
                                                        IID_IEnumString, names.PutUnknown()));
  EXPECT_EQ(E_NOINTERFACE,
            server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IDataObject, names.PutUnknown()));
}
