// IOPCItemMgt and IEnumOPCItemAttributes.
#include "SimTestSupport.h"

class SimItems : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    group = AddGroup(L"Items");
    ASSERT_TRUE(group);
  }
  TComPtr<IOPCItemMgt> group;
};

TEST_F(SimItems, AddItemsReportsEachItemsOutcome) {
  OPCITEMDEF defs[6] = {};
  const wchar_t* ids[6] = {L"Types.Short",  L"No.Such.Item",    L"Bad..Id", L"",
                           L"Types.String", L"Arrays.LongArray"};
  VARTYPE types[6] = {VT_R4, VT_EMPTY, VT_EMPTY, VT_EMPTY, VT_R8, VT_EMPTY};
  for (int i = 0; i < 6; ++i) {
    defs[i].szItemID = const_cast<LPWSTR>(ids[i]);
    defs[i].szAccessPath = const_cast<LPWSTR>(L"");
    defs[i].bActive = TRUE;
    defs[i].hClient = 100 + i;
    defs[i].vtRequestedDataType = types[i];
  }
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_FALSE, group->AddItems(6, defs, &results, &errors));
  EXPECT_EQ(S_OK, errors[0]);
  EXPECT_EQ(VT_I2, results[0].vtCanonicalDataType) << "canonical type, whatever was requested";
  EXPECT_EQ(DWORD(OPC_READABLE | OPC_WRITEABLE), results[0].dwAccessRights);
  EXPECT_NE(0u, results[0].hServer);
  EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[1]);
  EXPECT_EQ(OPC_E_INVALIDITEMID, errors[2]);
  EXPECT_EQ(OPC_E_INVALIDITEMID, errors[3]);
  EXPECT_EQ(OPC_E_BADTYPE, errors[4]) << "text cannot promise a number";
  EXPECT_EQ(S_OK, errors[5]);
  EXPECT_EQ(VT_ARRAY | VT_I4, results[5].vtCanonicalDataType);
  EXPECT_NE(results[0].hServer, results[5].hServer);
  CoTaskMemFree(results);
  CoTaskMemFree(errors);

  results = reinterpret_cast<OPCITEMRESULT*>(1);
  EXPECT_EQ(E_INVALIDARG, group->AddItems(0, defs, &results, &errors));
  EXPECT_EQ(nullptr, results);
  EXPECT_EQ(E_INVALIDARG, group->AddItems(1, nullptr, &results, &errors));
  EXPECT_EQ(E_INVALIDARG, group->AddItems(1, defs, nullptr, &errors));
  OPCITEMDEF nullId = defs[0];
  nullId.szItemID = nullptr;
  ASSERT_EQ(S_FALSE, group->AddItems(1, &nullId, &results, &errors));
  EXPECT_EQ(OPC_E_INVALIDITEMID, errors[0]);
  CoTaskMemFree(results);
  CoTaskMemFree(errors);
}

TEST_F(SimItems, RequestedTypesFollowTheClientsTryOrder) {
  // The client tries VT_R4, VT_R8, VT_I2, VT_I4, VT_BOOL, then VT_EMPTY.
  EXPECT_EQ(S_OK, AddItem(group.Get(), L"Signals.Triangle", VT_R4, 1));
  EXPECT_EQ(S_OK, AddItem(group.Get(), L"Signals.Square", VT_R4, 2))
      << "a Boolean converts to a number";
  for (VARTYPE vt : {VT_R4, VT_R8, VT_I2, VT_I4, VT_BOOL})
    EXPECT_EQ(OPC_E_BADTYPE, AddItem(group.Get(), L"Arrays.ShortArray", vt, 3)) << vt;
  OPCITEMRESULT r{};
  EXPECT_EQ(S_OK, AddItem(group.Get(), L"Arrays.ShortArray", VT_EMPTY, 3, nullptr, &r));
  EXPECT_EQ(VT_ARRAY | VT_I2, r.vtCanonicalDataType);
  EXPECT_EQ(S_OK, AddItem(group.Get(), L"Arrays.ShortArray", VT_ARRAY | VT_R8, 4))
      << "arrays convert per element";
  EXPECT_EQ(OPC_E_BADTYPE, AddItem(group.Get(), L"Types.Long", VT_ARRAY | VT_I4, 5));
  EXPECT_EQ(OPC_E_BADTYPE, AddItem(group.Get(), L"Types.Long", VT_DISPATCH, 5));
  EXPECT_EQ(S_OK, AddItem(group.Get(), L"Types.String", VT_BSTR, 6));
}

TEST_F(SimItems, ValidateRemoveActivateAndHandles) {
  OPCHANDLE a = 0, b = 0;
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.Long", VT_EMPTY, 1, &a));
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.Long", VT_R8, 2, &b))
      << "the same ID twice is allowed";
  EXPECT_NE(a, b);

  OPCITEMDEF def{};
  def.szItemID = const_cast<LPWSTR>(L"Signals.Sine");
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_OK, group->ValidateItems(1, &def, FALSE, &results, &errors));
  EXPECT_EQ(VT_R8, results[0].vtCanonicalDataType);
  EXPECT_EQ(DWORD(OPC_READABLE), results[0].dwAccessRights);
  CoTaskMemFree(results);
  CoTaskMemFree(errors);
  TComPtr<IEnumOPCItemAttributes> e;
  ASSERT_EQ(S_OK, group->CreateEnumerator(IID_IEnumOPCItemAttributes, e.PutUnknown()));
  OPCITEMATTRIBUTES* attrs = nullptr;
  ULONG n = 0;
  EXPECT_EQ(S_FALSE, e->Next(5, &attrs, &n)) << "validation added nothing";
  EXPECT_EQ(2u, n);
  for (ULONG i = 0; i < n; ++i) {
    CoTaskMemFree(attrs[i].szItemID);
    CoTaskMemFree(attrs[i].szAccessPath);
    VariantClear(&attrs[i].vEUInfo);
  }
  CoTaskMemFree(attrs);

  OPCHANDLE handles[3] = {a, 0xDEAD, b};
  ASSERT_EQ(S_FALSE, group->SetActiveState(3, handles, FALSE, &errors));
  EXPECT_EQ(S_OK, errors[0]);
  EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[1]);
  CoTaskMemFree(errors);
  OPCHANDLE clients[3] = {11, 12, 13};
  ASSERT_EQ(S_FALSE, group->SetClientHandles(3, handles, clients, &errors));
  CoTaskMemFree(errors);
  VARTYPE types[3] = {VT_BSTR, VT_I2, VT_ARRAY | VT_I2};
  ASSERT_EQ(S_FALSE, group->SetDatatypes(3, handles, types, &errors));
  EXPECT_EQ(S_OK, errors[0]);
  EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[1]);
  EXPECT_EQ(OPC_E_BADTYPE, errors[2]);
  CoTaskMemFree(errors);

  ASSERT_EQ(S_OK, group->CreateEnumerator(IID_IEnumOPCItemAttributes, e.PutUnknown()));
  ASSERT_EQ(S_OK, e->Next(1, &attrs, &n));
  EXPECT_FALSE(attrs[0].bActive);
  EXPECT_EQ(11u, attrs[0].hClient);
  EXPECT_EQ(VT_BSTR, attrs[0].vtRequestedDataType);
  EXPECT_EQ(VT_I4, attrs[0].vtCanonicalDataType);
  CoTaskMemFree(attrs[0].szItemID);
  CoTaskMemFree(attrs[0].szAccessPath);
  CoTaskMemFree(attrs);

  ASSERT_EQ(S_FALSE, group->RemoveItems(3, handles, &errors));
  EXPECT_EQ(S_OK, errors[0]);
  EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[1]);
  EXPECT_EQ(S_OK, errors[2]);
  CoTaskMemFree(errors);
  ASSERT_EQ(S_FALSE, group->RemoveItems(1, handles, &errors));
  EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[0]) << "removed already";
  CoTaskMemFree(errors);
  e.Release();
  EXPECT_EQ(S_FALSE, group->CreateEnumerator(IID_IEnumOPCItemAttributes, e.PutUnknown()))
      << "empty group";
  EXPECT_FALSE(e);
  EXPECT_EQ(E_NOINTERFACE, group->CreateEnumerator(IID_IEnumString, e.PutUnknown()));
}

TEST_F(SimItems, HandlesOfAnotherGroupAreInvalid) {
  TComPtr<IOPCItemMgt> other = AddGroup(L"Other");
  OPCHANDLE mine = 0, theirs = 0;
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.Long", VT_EMPTY, 1, &mine));
  ASSERT_EQ(S_OK, AddItem(other.Get(), L"Types.Long", VT_EMPTY, 1, &theirs));
  VARIANT v;
  EXPECT_EQ(OPC_E_INVALIDHANDLE, ReadOne(group.Get(), OPC_DS_CACHE, theirs, &v));
}

TEST_F(SimItems, AttributesCarryAccessRightsAndEngineeringUnits) {
  const wchar_t* ids[] = {L"EU.Analog", L"EU.Enumerated", L"Access.WriteOnly"};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(S_OK, AddItem(group.Get(), ids[i], VT_EMPTY, DWORD(i + 1)));
  TComPtr<IEnumOPCItemAttributes> e;
  ASSERT_EQ(S_OK, group->CreateEnumerator(IID_IEnumOPCItemAttributes, e.PutUnknown()));
  OPCITEMATTRIBUTES* a = nullptr;
  ULONG n = 0;
  ASSERT_EQ(S_OK, e->Next(3, &a, &n));
  ASSERT_EQ(3u, n);
  EXPECT_EQ(OPC_ANALOG, a[0].dwEUType);
  ASSERT_EQ(VT_ARRAY | VT_R8, a[0].vEUInfo.vt);
  double lo = -1, hi = -1;
  LONG i0 = 0, i1 = 1;
  SafeArrayGetElement(a[0].vEUInfo.parray, &i0, &lo);
  SafeArrayGetElement(a[0].vEUInfo.parray, &i1, &hi);
  EXPECT_EQ(0.0, lo);
  EXPECT_EQ(100.0, hi);
  EXPECT_EQ(OPC_ENUMERATED, a[1].dwEUType);
  EXPECT_EQ(VT_ARRAY | VT_BSTR, a[1].vEUInfo.vt);
  EXPECT_EQ(OPC_NOENUM, a[2].dwEUType);
  EXPECT_EQ(DWORD(OPC_WRITEABLE), a[2].dwAccessRights);
  for (ULONG i = 0; i < n; ++i) {
    CoTaskMemFree(a[i].szItemID);
    CoTaskMemFree(a[i].szAccessPath);
    VariantClear(&a[i].vEUInfo);
  }
  CoTaskMemFree(a);
  TComPtr<IEnumOPCItemAttributes> clone;
  ASSERT_EQ(S_OK, e->Clone(clone.Put()));
  EXPECT_EQ(S_FALSE, clone->Skip(1)) << "the clone is at the end too";
  EXPECT_EQ(S_OK, clone->Reset());
  EXPECT_EQ(S_OK, clone->Skip(3));
}
