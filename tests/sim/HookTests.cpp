// The private test hooks, and live-object counts after everything is released.
#include "SimTestSupport.h"

class SimHooks : public SimFixture {};

TEST_F(SimHooks, InjectedFailuresOnceOrAlways) {
  ASSERT_EQ(S_OK, control->FailMethod(L"IOPCServer::AddGroup", E_OUTOFMEMORY, FALSE));
  TComPtr<IUnknown> g;
  OPCHANDLE h = 0;
  DWORD revised = 0;
  EXPECT_EQ(E_OUTOFMEMORY, server->AddGroup(L"G", TRUE, 1000, 1, nullptr, nullptr, 0, &h, &revised,
                                            IID_IUnknown, g.PutUnknown()));
  EXPECT_FALSE(g);
  TComPtr<IOPCItemMgt> group = AddGroup(L"G");
  ASSERT_TRUE(group) << "only once";
  OPCHANDLE item = 0;
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.Long", VT_EMPTY, 1, &item));
  ASSERT_EQ(S_OK, control->FailMethod(L"IOPCSyncIO::Read", OPC_E_INVALIDHANDLE, TRUE));
  VARIANT v;
  EXPECT_EQ(OPC_E_INVALIDHANDLE, ReadOne(group.Get(), OPC_DS_CACHE, item, &v));
  EXPECT_EQ(OPC_E_INVALIDHANDLE, ReadOne(group.Get(), OPC_DS_CACHE, item, &v));
  ASSERT_EQ(S_OK, control->FailMethod(L"IOPCSyncIO::Read", S_OK, FALSE));
  EXPECT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_CACHE, item, &v));
  ASSERT_EQ(S_OK, control->FailMethod(L"IDataObject::DAdvise", E_FAIL, TRUE));
  TComPtr<IDataObject> data = Query<IDataObject>(group.Get());
  RecordingSink& sink = Sink();
  FORMATETC fe = {StreamFormats().dataTime, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  DWORD c = 0;
  EXPECT_EQ(E_FAIL, data->DAdvise(&fe, 0, &sink, &c));
  ASSERT_EQ(S_OK, control->ClearFailures());
  EXPECT_EQ(S_OK, data->DAdvise(&fe, 0, &sink, &c));
  EXPECT_EQ(S_OK, data->DUnadvise(c));
}

TEST_F(SimHooks, RefusedTypesForChosenItems) {
  TComPtr<IOPCItemMgt> group = AddGroup(L"G");
  ASSERT_EQ(S_OK, control->RefuseType(L"Types.Long", VT_R4));
  EXPECT_EQ(OPC_E_BADTYPE, AddItem(group.Get(), L"Types.Long", VT_R4, 1));
  EXPECT_EQ(S_OK, AddItem(group.Get(), L"Types.Short", VT_R4, 2)) << "other items are not affected";
  EXPECT_EQ(S_OK, AddItem(group.Get(), L"Types.Long", VT_R8, 3));
  ASSERT_EQ(S_OK, control->RefuseType(L"*", VT_R8));
  EXPECT_EQ(OPC_E_BADTYPE, AddItem(group.Get(), L"Types.Double", VT_R8, 4));
  ASSERT_EQ(S_OK, control->ClearRefusals());
  EXPECT_EQ(S_OK, AddItem(group.Get(), L"Types.Long", VT_R4, 5));
}

TEST_F(SimHooks, GroupsWithoutDataObject) {
  ASSERT_EQ(S_OK, control->SetNoDataObject(TRUE));
  TComPtr<IOPCItemMgt> group = AddGroup(L"G");
  EXPECT_FALSE(Query<IDataObject>(group.Get()));
  EXPECT_TRUE(Query<IOPCSyncIO>(group.Get()));
  ASSERT_EQ(S_OK, control->SetNoDataObject(FALSE));
  EXPECT_TRUE(Query<IDataObject>(group.Get()));
}

TEST_F(SimHooks, PushStreamDeliversRawBytes) {
  OPCHANDLE hGroup = 0;
  TComPtr<IOPCItemMgt> group = AddGroup(L"G", 1000, 1, 0, TRUE, &hGroup);
  RecordingSink& data = Sink();
  RecordingSink& write = Sink();
  Advise(group.Get(), StreamFormats().dataTime, &data);
  Advise(group.Get(), StreamFormats().writeComplete, &write);
  const BYTE junk[] = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
  ASSERT_EQ(S_OK, control->PushStream(hGroup, 0, junk, sizeof(junk)));
  ASSERT_EQ(1u, data.received.size());
  EXPECT_TRUE(write.received.empty());
  ASSERT_GE(data.received[0].bytes.size(), sizeof(junk));
  EXPECT_EQ(0, memcmp(junk, data.received[0].bytes.data(), sizeof(junk)));
  ASSERT_EQ(S_OK, control->PushStream(hGroup, StreamFormats().writeComplete, junk, 4));
  EXPECT_EQ(1u, write.received.size());
  EXPECT_EQ(E_INVALIDARG, control->PushStream(999, 0, junk, 4));
}

TEST(SimLifetime, LiveObjectCountsReturnToZero) {
  // A probe server of its own reads the process-wide counts.
  TComPtr<IPloverSimControl> probe;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_PloverSimServer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IPloverSimControl, probe.PutVoid()));
  PloverSimLiveCounts base{};
  ASSERT_EQ(S_OK, probe->GetLiveCounts(&base));
  EXPECT_EQ(1, base.servers);
  EXPECT_EQ(0, base.groups);
  EXPECT_EQ(0, base.enumerators);
  EXPECT_EQ(0, base.connections);
  RecordingSink sink;
  RecordingCallback callback;
  {
    TComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_PloverSimServer, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IOPCServer, server.PutVoid()));
    TComPtr<IOPCItemMgt> group;
    OPCHANDLE h = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, server->AddGroup(L"G", TRUE, 1000, 1, nullptr, nullptr, 0, &h, &revised,
                                     IID_IOPCItemMgt, group.PutUnknown()));
    OPCITEMDEF def{};
    def.szItemID = const_cast<LPWSTR>(L"Types.Long");
    def.bActive = TRUE;
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_OK, group->AddItems(1, &def, &results, &errors));
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    TComPtr<IEnumOPCItemAttributes> attrs;
    ASSERT_EQ(S_OK, group->CreateEnumerator(IID_IEnumOPCItemAttributes, attrs.PutUnknown()));
    TComPtr<IEnumUnknown> groups;
    ASSERT_EQ(S_OK,
              server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumUnknown, groups.PutUnknown()));
    TComPtr<IEnumString> names;
    TComPtr<IOPCBrowseServerAddressSpace> browse =
        Query<IOPCBrowseServerAddressSpace>(server.Get());
    ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_BRANCH, L"*", VT_EMPTY, 0, names.Put()));
    TComPtr<IDataObject> data = Query<IDataObject>(group.Get());
    FORMATETC fe = {StreamFormats().dataTime, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD c = 0;
    ASSERT_EQ(S_OK, data->DAdvise(&fe, ADVF_PRIMEFIRST, &sink, &c));
    // The DA 2.0 points too, each released right after its advise (the cookie is enough).
    DWORD cookie = 0;
    for (IUnknown* container :
         {static_cast<IUnknown*>(group.Get()), static_cast<IUnknown*>(server.Get())}) {
      TComPtr<IConnectionPoint> point;
      ASSERT_EQ(S_OK, Query<IConnectionPointContainer>(container)->FindConnectionPoint(
                          container == server.Get() ? IID_IOPCShutdown : IID_IOPCDataCallback,
                          point.Put()));
      ASSERT_EQ(S_OK, point->Advise(callback.Unknown(), &cookie));
    }
    PloverSimLiveCounts busy{};
    ASSERT_EQ(S_OK, probe->GetLiveCounts(&busy));
    EXPECT_EQ(2, busy.servers);
    EXPECT_EQ(1, busy.groups);
    EXPECT_EQ(3, busy.enumerators);
    EXPECT_EQ(3, busy.connections);
    EXPECT_GT(sink.Refs(), 0u);
    EXPECT_EQ(2u, callback.Refs());
    // The client lets go of the server first and of its group last, without unadvising.
    server.Release();
    browse.Release();
    groups.Release();
    PloverSimLiveCounts orphan{};
    ASSERT_EQ(S_OK, probe->GetLiveCounts(&orphan));
    EXPECT_EQ(1, orphan.servers);
    EXPECT_EQ(1, orphan.groups) << "still held by the client";
    EXPECT_EQ(0, orphan.connections) << "a vanished server drops its advises";
    OPCITEMDEF again = def;
    EXPECT_EQ(E_FAIL, group->AddItems(1, &again, &results, &errors))
        << "an orphaned group refuses work";
    EXPECT_EQ(OLE_E_NOCONNECTION, data->DUnadvise(c));
  }
  PumpFor(50);  // pending callbacks of the released server find nothing
  PloverSimLiveCounts after{};
  ASSERT_EQ(S_OK, probe->GetLiveCounts(&after));
  EXPECT_EQ(1, after.servers);
  EXPECT_EQ(0, after.groups);
  EXPECT_EQ(0, after.enumerators);
  EXPECT_EQ(0, after.connections);
  EXPECT_EQ(0u, sink.Refs());
  EXPECT_EQ(0u, callback.Refs());
  EXPECT_TRUE(sink.received.empty()) << "the primed stream died with its server";
  EXPECT_TRUE(callback.calls.empty());
}

TEST_F(SimHooks, NullAndEmptyArgumentsAreRefusedNotFollowed) {
  OPCHANDLE hGroup = 0;
  TComPtr<IOPCItemMgt> items = AddGroup(L"G", 1000, 1, 0, TRUE, &hGroup);
  TComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(items.Get());
  TComPtr<IOPCSyncIO> sync = Query<IOPCSyncIO>(items.Get());
  TComPtr<IOPCAsyncIO> async = Query<IOPCAsyncIO>(items.Get());
  TComPtr<IDataObject> data = Query<IDataObject>(items.Get());
  TComPtr<IOPCBrowseServerAddressSpace> browse = Query<IOPCBrowseServerAddressSpace>(server.Get());
  OPCHANDLE h = 1;
  HRESULT* errors = nullptr;
  OPCITEMRESULT* results = nullptr;
  DWORD tid = 0;
  EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(L"G", IID_IUnknown, nullptr));
  EXPECT_EQ(E_INVALIDARG, server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumString, nullptr));
  EXPECT_EQ(E_INVALIDARG, browse->GetItemID(const_cast<LPWSTR>(L"Signals"), nullptr));
  EXPECT_EQ(E_INVALIDARG, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, nullptr));
  EXPECT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, nullptr)) << "null is the root";
  EXPECT_EQ(E_INVALIDARG, state->CloneGroup(L"C", IID_IUnknown, nullptr));
  EXPECT_EQ(S_OK, state->GetState(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr));
  EXPECT_EQ(E_INVALIDARG, items->ValidateItems(0, nullptr, FALSE, &results, &errors));
  EXPECT_EQ(E_INVALIDARG, items->RemoveItems(1, nullptr, &errors));
  EXPECT_EQ(E_INVALIDARG, items->RemoveItems(1, &h, nullptr));
  EXPECT_EQ(E_INVALIDARG, items->SetActiveState(0, &h, TRUE, &errors));
  EXPECT_EQ(E_INVALIDARG, items->SetClientHandles(1, &h, nullptr, &errors));
  EXPECT_EQ(E_INVALIDARG, items->SetDatatypes(1, &h, nullptr, &errors));
  EXPECT_EQ(E_INVALIDARG, items->CreateEnumerator(IID_IEnumOPCItemAttributes, nullptr));
  EXPECT_EQ(E_INVALIDARG, sync->Write(0, &h, nullptr, &errors));
  EXPECT_EQ(E_INVALIDARG, async->Read(1, OPC_DS_CACHE, 1, &h, nullptr, &errors));
  EXPECT_EQ(E_INVALIDARG, async->Write(1, 1, &h, nullptr, &tid, &errors));
  EXPECT_EQ(E_FAIL, async->Cancel(0));
  EXPECT_EQ(E_INVALIDARG, data->DAdvise(nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(OLE_E_NOCONNECTION, data->DUnadvise(0));
  EXPECT_EQ(E_POINTER, control->GetLiveCounts(nullptr));
  EXPECT_EQ(E_POINTER, control->PushStream(hGroup, 0, nullptr, 10));
  EXPECT_EQ(nullptr, errors);
  EXPECT_EQ(nullptr, results);
  ASSERT_EQ(S_OK, control->SetDeterministic(FALSE));
  EXPECT_EQ(E_UNEXPECTED, control->AdvanceTime(10)) << "the wall clock is running";
}
