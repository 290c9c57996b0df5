// IOPCAsyncIO: results arrive later as streams on the named connection.
#include "SimTestSupport.h"

class SimAsyncIo : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    group = AddGroup(L"Async", 1000, 77);
    ASSERT_TRUE(group);
    io = Query<IOPCAsyncIO>(group.Get());
    ASSERT_TRUE(io);
    dataConnection = Advise(group.Get(), StreamFormats().dataTime, &dataSink);
    writeConnection = Advise(group.Get(), StreamFormats().writeComplete, &writeSink);
  }
  OPCHANDLE Add(const wchar_t* id, OPCHANDLE hClient) {
    OPCHANDLE h = 0;
    EXPECT_EQ(S_OK, AddItem(group.Get(), id, VT_EMPTY, hClient, &h));
    return h;
  }
  TComPtr<IOPCItemMgt> group;
  TComPtr<IOPCAsyncIO> io;
  RecordingSink& dataSink = Sink();
  RecordingSink& writeSink = Sink();
  DWORD dataConnection = 0, writeConnection = 0;
};

TEST_F(SimAsyncIo, ReadArrivesLaterWithItsTransaction) {
  OPCHANDLE handles[3] = {Add(L"Types.Long", 1), 0xBAD, Add(L"Access.WriteOnly", 3)};
  DWORD tid = 0;
  HRESULT* errors = nullptr;
  dataSink.inCall = true;
  ASSERT_EQ(S_FALSE, io->Read(dataConnection, OPC_DS_DEVICE, 3, handles, &tid, &errors));
  dataSink.inCall = false;
  EXPECT_EQ(S_OK, errors[0]);
  EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[1]);
  EXPECT_EQ(OPC_E_BADRIGHTS, errors[2]);
  CoTaskMemFree(errors);
  EXPECT_NE(0u, tid);
  EXPECT_TRUE(dataSink.received.empty()) << "never inside the call";
  PumpFor(50);  // delivered from the message loop
  ASSERT_EQ(1u, dataSink.received.size());
  DecodedData d = dataSink.Data(0);
  EXPECT_EQ(tid, d.transactionId);
  EXPECT_EQ(77u, d.hClientGroup);
  ASSERT_EQ(1u, d.items.size());
  EXPECT_EQ(1u, d.items[0].hClient);
  EXPECT_TRUE(writeSink.received.empty());
}

TEST_F(SimAsyncIo, ConnectionsMustMatchTheOperation) {
  OPCHANDLE h = Add(L"Types.Long", 1);
  DWORD tid = 0;
  HRESULT* errors = nullptr;
  VARIANT v = MakeVariant(1.0);
  EXPECT_EQ(CONNECT_E_NOCONNECTION, io->Read(4711, OPC_DS_CACHE, 1, &h, &tid, &errors));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, io->Read(writeConnection, OPC_DS_CACHE, 1, &h, &tid, &errors));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, io->Write(dataConnection, 1, &h, &v, &tid, &errors));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, io->Refresh(4711, OPC_DS_CACHE, &tid));
  EXPECT_EQ(nullptr, errors);
  EXPECT_EQ(E_INVALIDARG, io->Read(dataConnection, OPC_DS_CACHE, 0, &h, &tid, &errors));
  EXPECT_EQ(E_INVALIDARG, io->Refresh(dataConnection, OPC_DS_CACHE, nullptr));
  control->Flush();
  EXPECT_TRUE(dataSink.received.empty());
}

TEST_F(SimAsyncIo, WriteCompleteReportsEachItem) {
  OPCHANDLE handles[4] = {Add(L"Types.Short", 1), Add(L"Access.ReadOnly", 2), Add(L"Types.Long", 3),
                          0xBAD};
  VARIANT values[4] = {MakeVariant(12.0), MakeVariant(1.0), MakeVariant(L"nope"), MakeVariant(1.0)};
  DWORD tid = 0;
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_FALSE, io->Write(writeConnection, 4, handles, values, &tid, &errors));
  VariantClear(&values[2]);
  EXPECT_EQ(S_OK, errors[0]);
  EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[3]);
  CoTaskMemFree(errors);
  EXPECT_TRUE(writeSink.received.empty());
  ASSERT_EQ(S_OK, control->Flush());
  ASSERT_EQ(1u, writeSink.received.size());
  DecodedWrite w = writeSink.WriteComplete(0);
  EXPECT_EQ(tid, w.transactionId);
  EXPECT_EQ(77u, w.hClientGroup);
  EXPECT_EQ(S_FALSE, w.status) << "some items failed";
  ASSERT_EQ(3u, w.results.size());
  EXPECT_EQ(1u, w.results[0].first);
  EXPECT_EQ(S_OK, w.results[0].second);
  EXPECT_EQ(OPC_E_BADRIGHTS, w.results[1].second);
  EXPECT_EQ(OPC_E_BADTYPE, w.results[2].second);
  VARIANT r;
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, handles[0], &r));
  EXPECT_EQ(12, r.iVal);

  ASSERT_EQ(S_OK, io->Write(writeConnection, 1, handles, values, &tid, &errors));
  CoTaskMemFree(errors);
  control->Flush();
  ASSERT_EQ(2u, writeSink.received.size());
  EXPECT_EQ(S_OK, writeSink.WriteComplete(1).status);
  EXPECT_TRUE(dataSink.received.empty()) << "writes report on the write connection only";
}

TEST_F(SimAsyncIo, RefreshSendsAllActiveItemsAndCancelStopsIt) {
  OPCHANDLE a = Add(L"Types.Long", 1);
  Add(L"Types.Double", 2);
  Add(L"Access.WriteOnly", 3);
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_OK, group->SetActiveState(1, &a, FALSE, &errors));
  CoTaskMemFree(errors);
  DWORD tid = 0;
  ASSERT_EQ(S_OK, io->Refresh(dataConnection, OPC_DS_CACHE, &tid));
  control->Flush();
  ASSERT_EQ(1u, dataSink.received.size());
  DecodedData d = dataSink.Data(0);
  EXPECT_EQ(tid, d.transactionId);
  ASSERT_EQ(1u, d.items.size()) << "active and readable items only";
  EXPECT_EQ(2u, d.items[0].hClient);

  ASSERT_EQ(S_OK, io->Refresh(dataConnection, OPC_DS_DEVICE, &tid));
  EXPECT_EQ(S_OK, io->Cancel(tid));
  EXPECT_EQ(E_FAIL, io->Cancel(tid)) << "nothing left to cancel";
  PumpFor(50);
  control->Flush();
  EXPECT_EQ(1u, dataSink.received.size());

  TComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(group.Get());
  BOOL inactive = FALSE;
  ASSERT_EQ(S_OK, state->SetState(nullptr, nullptr, &inactive, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(E_FAIL, io->Refresh(dataConnection, OPC_DS_CACHE, &tid))
      << "an inactive group has nothing to refresh";
}

// What happens to the group or its items before a request's turn comes, each accepted
// request is still answered by one stream.
TEST_F(SimAsyncIo, EveryAcceptedRequestIsAnsweredOnce) {
  OPCHANDLE h[2] = {Add(L"Types.Long", 1), Add(L"Types.Double", 2)};
  DWORD read = 0, write = 0, refreshItems = 0, refreshGroup = 0;
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_OK, io->Read(dataConnection, OPC_DS_DEVICE, 2, h, &read, &errors));
  CoTaskMemFree(errors);
  VARIANT values[2] = {MakeVariant(3.0), MakeVariant(4.0)};
  ASSERT_EQ(S_OK, io->Write(writeConnection, 2, h, values, &write, &errors));
  CoTaskMemFree(errors);
  ASSERT_EQ(S_OK, group->RemoveItems(1, &h[1], &errors));  // both requests named it
  CoTaskMemFree(errors);
  ASSERT_EQ(S_OK, io->Refresh(dataConnection, OPC_DS_CACHE, &refreshItems));
  ASSERT_EQ(S_OK, group->SetActiveState(1, &h[0], FALSE, &errors));  // the only item left
  CoTaskMemFree(errors);
  ASSERT_EQ(S_OK, group->SetActiveState(1, &h[0], TRUE, &errors));
  CoTaskMemFree(errors);
  ASSERT_EQ(S_OK, io->Refresh(dataConnection, OPC_DS_CACHE, &refreshGroup));
  BOOL inactive = FALSE;
  ASSERT_EQ(S_OK, Query<IOPCGroupStateMgt>(group.Get())
                      ->SetState(nullptr, nullptr, &inactive, nullptr, nullptr, nullptr, nullptr));
  EXPECT_TRUE(dataSink.received.empty() && writeSink.received.empty()) << "never inside a call";
  ASSERT_EQ(S_OK, control->Flush());
  ASSERT_EQ(3u, dataSink.received.size());
  ASSERT_EQ(1u, writeSink.received.size());
  DecodedData r = dataSink.Data(0);
  EXPECT_EQ(read, r.transactionId);
  ASSERT_EQ(2u, r.items.size());
  EXPECT_EQ(2u, r.items[1].hClient) << "the removed item, under its client handle";
  EXPECT_EQ(0u, r.items[1].quality) << "bad";
  EXPECT_EQ(VT_EMPTY, r.items[1].value.vt);
  EXPECT_EQ(0xC0u, r.items[0].quality);
  DecodedWrite w = writeSink.WriteComplete(0);
  EXPECT_EQ(write, w.transactionId);
  EXPECT_EQ((std::vector<std::pair<DWORD, HRESULT>>{{1, S_OK}, {2, OPC_E_INVALIDHANDLE}}),
            w.results);
  for (size_t i : {size_t(1), size_t(2)}) {
    DecodedData d = dataSink.Data(i);
    EXPECT_EQ(i == 1 ? refreshItems : refreshGroup, d.transactionId);
    EXPECT_TRUE(d.items.empty()) << "no active item left: an empty answer";
  }
}

TEST_F(SimAsyncIo, ResultsForARemovedGroupAreDropped) {
  OPCHANDLE h = Add(L"Types.Long", 1);
  DWORD tid = 0;
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_OK, io->Read(dataConnection, OPC_DS_CACHE, 1, &h, &tid, &errors));
  CoTaskMemFree(errors);
  OPCHANDLE hGroup = 0;
  TComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(group.Get());
  state->GetState(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &hGroup);
  state.Release();
  io.Release();
  group.Release();
  EXPECT_EQ(S_OK, server->RemoveGroup(hGroup, FALSE));
  control->Flush();
  EXPECT_TRUE(dataSink.received.empty());
  EXPECT_EQ(0u, dataSink.Refs());
  EXPECT_EQ(0u, writeSink.Refs());
}
