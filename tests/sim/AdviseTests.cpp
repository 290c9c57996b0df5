// IDataObject advise connections and the data streams they carry.
#include "SimTestSupport.h"

#include <map>

class SimAdvise : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    group = AddGroup(L"Live", 1000, 0x1234);
    ASSERT_TRUE(group);
  }
  OPCHANDLE Add(const wchar_t* id, OPCHANDLE hClient, VARTYPE vt = VT_EMPTY) {
    OPCHANDLE h = 0;
    EXPECT_EQ(S_OK, AddItem(group.Get(), id, vt, hClient, &h));
    return h;
  }
  TComPtr<IOPCItemMgt> group;
};

TEST_F(SimAdvise, DAdviseAcceptsOnlyTheThreeFormatsInGlobalMemory) {
  TComPtr<IDataObject> data = Query<IDataObject>(group.Get());
  ASSERT_TRUE(data);
  RecordingSink& sink = Sink();
  DWORD c = 0;
  FORMATETC fe = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(DV_E_FORMATETC, data->DAdvise(&fe, 0, &sink, &c));
  fe.cfFormat = StreamFormats().dataTime;
  fe.tymed = TYMED_ISTREAM;
  EXPECT_EQ(DV_E_FORMATETC, data->DAdvise(&fe, 0, &sink, &c));
  fe.tymed = TYMED_HGLOBAL;
  EXPECT_EQ(E_INVALIDARG, data->DAdvise(&fe, 0, nullptr, &c));
  EXPECT_EQ(E_INVALIDARG, data->DAdvise(nullptr, 0, &sink, &c));
  EXPECT_EQ(0u, sink.Refs());
  for (CLIPFORMAT cf :
       {StreamFormats().data, StreamFormats().dataTime, StreamFormats().writeComplete}) {
    fe.cfFormat = cf;
    ASSERT_EQ(S_OK, data->DAdvise(&fe, 0, &sink, &c));
    EXPECT_NE(0u, c);
    EXPECT_EQ(S_OK, data->DUnadvise(c));
    EXPECT_EQ(OLE_E_NOCONNECTION, data->DUnadvise(c));
  }
  EXPECT_EQ(0u, sink.Refs()) << "unadvising releases the sink";
  STGMEDIUM medium{};
  EXPECT_EQ(E_NOTIMPL, data->GetData(&fe, &medium));
  EXPECT_EQ(E_NOTIMPL, data->QueryGetData(&fe));
  IEnumFORMATETC* formats = nullptr;
  EXPECT_EQ(E_NOTIMPL, data->EnumFormatEtc(DATADIR_GET, &formats));
}

TEST_F(SimAdvise, TimeStampedStreamCarriesChangedValuesOnly) {
  OPCHANDLE ramp = Add(L"Signals.Ramp", 1);
  OPCHANDLE text = Add(L"Types.String", 2);
  OPCHANDLE strings = Add(L"Arrays.StringArray", 3);
  Add(L"Arrays.ShortArray", 4);
  Add(L"Access.WriteOnly", 5);  // never reported: it cannot be read
  RecordingSink& sink = Sink();
  Advise(group.Get(), StreamFormats().dataTime, &sink);
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  ASSERT_EQ(1u, sink.received.size());
  EXPECT_EQ(DWORD(TYMED_HGLOBAL), sink.received[0].tymed);
  DecodedData d = sink.Data(0);
  EXPECT_EQ(0x1234u, d.hClientGroup);
  EXPECT_EQ(0u, d.transactionId);
  ASSERT_EQ(4u, d.items.size());
  std::map<DWORD, const DecodedValue*> byClient;
  for (const auto& item : d.items) byClient[item.hClient] = &item;
  ASSERT_TRUE(byClient.count(1) && byClient.count(2) && byClient.count(3) && byClient.count(4));
  EXPECT_EQ(VT_R4, byClient[1]->value.vt);
  EXPECT_NEAR(10.0f, byClient[1]->value.fltVal, 0.5f) << "the ramp covers 0..100 in 10 s";
  EXPECT_STREQ(L"Hello", byClient[2]->value.bstrVal);
  ASSERT_EQ(VT_ARRAY | VT_BSTR, byClient[3]->value.vt);
  EXPECT_EQ(4u, byClient[3]->value.parray->rgsabound[0].cElements);
  EXPECT_EQ(VT_ARRAY | VT_I2, byClient[4]->value.vt);
  // Each time stamp is the time that value changed: the sync read agrees.
  VARIANT v;
  FILETIME t{};
  WORD q = 0;
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_CACHE, text, &v, &q, &t));
  VariantClear(&v);
  EXPECT_EQ(0, CompareFileTime(&t, &byClient[2]->timeStamp));
  EXPECT_EQ(0xC0, byClient[2]->quality);
  FILETIME rampTime = byClient[1]->timeStamp;
  EXPECT_GT(CompareFileTime(&rampTime, &t), 0) << "the ramp changed after the static text was set";

  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  ASSERT_EQ(2u, sink.received.size());
  DecodedData d2 = sink.Data(1);
  for (const auto& item : d2.items) {
    EXPECT_NE(2u, item.hClient) << "the static text did not change";
    EXPECT_NE(3u, item.hClient) << "the string array changes every 3 s";
  }
  EXPECT_FALSE(sink.received[0].duringCall);
  (void)ramp;
  (void)strings;
}

TEST_F(SimAdvise, PlainDataFormatHasShortHeaders) {
  Add(L"Types.Double", 9, VT_I4);
  RecordingSink& sink = Sink();
  Advise(group.Get(), StreamFormats().data, &sink);
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  ASSERT_EQ(1u, sink.received.size());
  DecodedData d = sink.Data(0);
  ASSERT_EQ(1u, d.items.size());
  EXPECT_EQ(9u, d.items[0].hClient);
  EXPECT_EQ(VT_I4, d.items[0].value.vt) << "delivered in the requested type";
  EXPECT_EQ(32u, d.items[0].valueOffset) << "20-byte header and one 12-byte item header";
  EXPECT_EQ(32u + (sizeof(void*) == 8 ? 24 : 16), d.size) << "a slot of the build's own layout";
}

TEST_F(SimAdvise, UpdatesFollowTheRevisedRate) {
  Add(L"Signals.Counter", 1);
  RecordingSink& sink = Sink();
  Advise(group.Get(), StreamFormats().dataTime, &sink);
  TComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(group.Get());
  DWORD rate = 480, revised = 0;
  EXPECT_EQ(OPC_S_UNSUPPORTEDRATE,
            state->SetState(&rate, &revised, nullptr, nullptr, nullptr, nullptr, nullptr));
  ASSERT_EQ(500u, revised);
  ASSERT_EQ(S_OK, control->AdvanceTime(2000));
  EXPECT_EQ(4u, sink.received.size());
  BOOL inactive = FALSE;
  ASSERT_EQ(S_OK, state->SetState(nullptr, nullptr, &inactive, nullptr, nullptr, nullptr, nullptr));
  ASSERT_EQ(S_OK, control->AdvanceTime(5000));
  EXPECT_EQ(4u, sink.received.size()) << "an inactive group sends nothing";
  BOOL active = TRUE;
  ASSERT_EQ(S_OK, state->SetState(nullptr, nullptr, &active, nullptr, nullptr, nullptr, nullptr));
  ASSERT_EQ(S_OK, control->AdvanceTime(499));
  EXPECT_EQ(4u, sink.received.size());
  ASSERT_EQ(S_OK, control->AdvanceTime(1));
  EXPECT_EQ(5u, sink.received.size());
}

TEST_F(SimAdvise, PercentDeadbandFiltersAnalogItemsOnly) {
  TComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(group.Get());
  FLOAT deadband = 10.0f;
  ASSERT_EQ(S_OK, state->SetState(nullptr, nullptr, nullptr, nullptr, &deadband, nullptr, nullptr));
  OPCHANDLE analog = Add(L"EU.Analog", 1);  // EU range 0..100, starts at 50
  OPCHANDLE plain = Add(L"EU.None", 2);     // no EU range: every change counts
  RecordingSink& sink = Sink();
  Advise(group.Get(), StreamFormats().dataTime, &sink);
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  ASSERT_EQ(1u, sink.received.size());
  EXPECT_EQ(2u, sink.Data(0).items.size());

  EXPECT_EQ(S_OK, WriteOne(group.Get(), analog, MakeVariant(59.0)));  // 9 %: inside the band
  EXPECT_EQ(S_OK, WriteOne(group.Get(), plain, MakeVariant(0.001)));
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  ASSERT_EQ(2u, sink.received.size());
  DecodedData d = sink.Data(1);
  ASSERT_EQ(1u, d.items.size());
  EXPECT_EQ(2u, d.items[0].hClient);

  EXPECT_EQ(S_OK,
            WriteOne(group.Get(), analog, MakeVariant(60.5)));  // 10.5 % from the last one sent
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  ASSERT_EQ(3u, sink.received.size());
  d = sink.Data(2);
  ASSERT_EQ(1u, d.items.size());
  EXPECT_EQ(1u, d.items[0].hClient);
  EXPECT_EQ(60.5, d.items[0].value.dblVal);
}

TEST_F(SimAdvise, PrimeFirstSendsEverythingLaterNotInsideTheCall) {
  Add(L"Types.Long", 1);
  Add(L"Types.Boolean", 2);
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));  // nothing advised yet: nothing to see
  RecordingSink& sink = Sink();
  sink.inCall = true;
  Advise(group.Get(), StreamFormats().dataTime, &sink, ADVF_PRIMEFIRST);
  sink.inCall = false;
  EXPECT_TRUE(sink.received.empty());
  ASSERT_EQ(S_OK, control->Flush());
  ASSERT_EQ(1u, sink.received.size());
  EXPECT_EQ(2u, sink.Data(0).items.size());
  EXPECT_FALSE(sink.received[0].duringCall);
  ASSERT_EQ(S_OK, control->AdvanceTime(3000));
  EXPECT_EQ(1u, sink.received.size()) << "static values are not sent again";
}

TEST_F(SimAdvise, ActivatingAnItemSendsItsValueOnce) {
  OPCHANDLE h = Add(L"Types.Long", 1);
  RecordingSink& sink = Sink();
  Advise(group.Get(), StreamFormats().dataTime, &sink);
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  ASSERT_EQ(1u, sink.received.size());
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_OK, group->SetActiveState(1, &h, FALSE, &errors));
  CoTaskMemFree(errors);
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  ASSERT_EQ(S_OK, group->SetActiveState(1, &h, TRUE, &errors));
  CoTaskMemFree(errors);
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  ASSERT_EQ(2u, sink.received.size());
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  EXPECT_EQ(2u, sink.received.size());
}

TEST_F(SimAdvise, LiveTimersDeliverOnTheClientThread) {
  Connect(PLOVER_SIM_PROGID, false);
  TComPtr<IOPCItemMgt> live = AddGroup(L"Fast", 100, 7);
  ASSERT_EQ(S_OK, AddItem(live.Get(), L"Signals.Counter", VT_EMPTY, 1));
  RecordingSink& sink = Sink();
  DWORD c = Advise(live.Get(), StreamFormats().dataTime, &sink);
  // Pump until three updates came (a loaded machine may be slow), but never faster
  // than the 100 ms rate allows.
  ULONGLONG start = GetTickCount64();
  while (sink.received.size() < 3 && GetTickCount64() - start < 10000) PumpFor(20);
  ULONGLONG elapsed = GetTickCount64() - start;
  ASSERT_GE(sink.received.size(), 3u);
  EXPECT_LE(sink.received.size(), elapsed / 100 + 1);
  for (size_t i = 0; i < sink.received.size(); ++i) EXPECT_EQ(1u, sink.Data(i).items.size());
  TComPtr<IDataObject> data = Query<IDataObject>(live.Get());
  EXPECT_EQ(S_OK, data->DUnadvise(c));
  size_t before = sink.received.size();
  PumpFor(300);
  EXPECT_EQ(before, sink.received.size());
  OPCSERVERSTATUS* st = nullptr;
  ASSERT_EQ(S_OK, server->GetStatus(&st));
  EXPECT_NE(0u, st->ftLastUpdateTime.dwHighDateTime);
  CoTaskMemFree(st->szVendorInfo);
  CoTaskMemFree(st);
}

TEST_F(SimAdvise, OneRealValueMakesA56ByteStream) {
  Add(L"Signals.Ramp", 0xABCD, VT_R4);
  RecordingSink& sink = Sink();
  Advise(group.Get(), StreamFormats().dataTime, &sink);
  // 56 bytes in the 32-bit layout; the 64-bit one's VARIANT slot is 8 bytes longer.
  const struct {
    DWORD pointerBytes;
    DWORD size;
  } forms[] = {{4, 56}, {8, 64}};
  float previous = 0;
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_EQ(S_OK, control->SetStreamForm(forms[i].pointerBytes, FALSE));
    ASSERT_EQ(S_OK, control->AdvanceTime(1000));
    ASSERT_EQ(i + 1, sink.received.size());
    const std::vector<uint8_t>& b = sink.received[i].bytes;
    ASSERT_GE(b.size(), forms[i].size);
    auto dw = [&](size_t at) {
      DWORD v;
      memcpy(&v, b.data() + at, 4);
      return v;
    };
    EXPECT_EQ(forms[i].size, dw(0));  // dwSize
    EXPECT_EQ(1u, dw(4));             // dwItemCount
    EXPECT_EQ(0x1234u, dw(8));        // hClientGroup
    EXPECT_EQ(0u, dw(12));            // dwTransactionID of a subscription update
    EXPECT_EQ(0xABCDu, dw(20));       // hClient
    EXPECT_EQ(40u, dw(24));           // dwValueOffset
    EXPECT_EQ(0xC0u, dw(28) & 0xFFFF);
    EXPECT_NE(0u, dw(36));  // time stamp, high part
    EXPECT_EQ(VT_R4, dw(40) & 0xFFFF);
    float f = 0;
    memcpy(&f, b.data() + 48, 4);
    // The simulated clock stops some milliseconds after the server object starts: the
    // ramp is a little past ten per second, and exactly ten further each second.
    EXPECT_NEAR(10.0f * float(i + 1), f, 1.0f) << "the ramp each second into its ten";
    if (i) {
      EXPECT_NEAR(10.0f, f - previous, 0.01f);
    }
    previous = f;
  }
  EXPECT_EQ(E_INVALIDARG, control->SetStreamForm(2, FALSE));
}

// A DECIMAL fills its whole 16-byte slot exactly as the platform lays it in a VARIANT (its
// reserved first word is where vt is), in both layouts, and 16 bytes per array element; an
// error code sits in the value bytes like a LONG. Each value is a fresh write, so a writer
// that left any byte where the reader expects another fails here.
TEST_F(SimAdvise, DecimalsAndErrorCodesAsTheVariantLaysThemOut) {
  const OPCHANDLE dec = Add(L"Types.Decimal", 1), code = Add(L"Types.Error", 2),
                  decs = Add(L"Arrays.Static.Decimal", 3);
  RecordingSink& sink = Sink();
  Advise(group.Get(), StreamFormats().dataTime, &sink);
  for (const DWORD pointerBytes : {4u, 8u}) {
    SCOPED_TRACE(testing::Message() << "pointer bytes " << pointerBytes);
    ASSERT_EQ(S_OK, control->SetStreamForm(pointerBytes, FALSE));
    VARIANT d;
    VariantInit(&d);
    d.decVal.Hi32 = 0x89ABCDEF + pointerBytes;
    d.decVal.Lo64 = 0x0123456789ABCDEFull;
    d.decVal.scale = static_cast<BYTE>(20 + pointerBytes);
    d.decVal.sign = DECIMAL_NEG;
    d.vt = VT_DECIMAL;
    VARIANT e;
    VariantInit(&e);
    e.vt = VT_ERROR;
    e.scode = static_cast<SCODE>(0xC0040000u + pointerBytes);
    VARIANT a;
    VariantInit(&a);
    a.vt = VT_ARRAY | VT_DECIMAL;
    a.parray = SafeArrayCreateVector(VT_DECIMAL, 0, 4);
    ASSERT_TRUE(a.parray);
    for (LONG i = 0; i < 4; ++i) {
      DECIMAL x = d.decVal;
      x.wReserved = 0;
      x.Lo64 += static_cast<ULONGLONG>(i);
      x.scale = static_cast<BYTE>(i);
      ASSERT_EQ(S_OK, SafeArrayPutElement(a.parray, &i, &x));
    }
    ASSERT_EQ(S_OK, WriteOne(group.Get(), dec, d));
    ASSERT_EQ(S_OK, WriteOne(group.Get(), code, e));
    ASSERT_EQ(S_OK, WriteOne(group.Get(), decs, a));
    const size_t before = sink.received.size();
    ASSERT_EQ(S_OK, control->AdvanceTime(1000));
    ASSERT_EQ(before + 1, sink.received.size());
    const std::vector<uint8_t>& b = sink.received.back().bytes;
    auto dw = [&](size_t at) {
      DWORD v = 0;
      if (at + 4 <= b.size()) memcpy(&v, b.data() + at, 4);
      return v;
    };
    ASSERT_EQ(3u, dw(4));
    const size_t slot = pointerBytes == 8 ? 24 : 16, countAt = pointerBytes == 8 ? 24 : 16;
    for (DWORD k = 0; k < 3; ++k) {
      const DWORD hClient = dw(20 + k * 20), at = dw(24 + k * 20);
      ASSERT_LE(at + slot, b.size());
      const uint8_t* v = b.data() + at;
      const WORD vt = static_cast<WORD>(dw(at) & 0xFFFF);
      if (hClient == 1) {
        EXPECT_EQ(VT_DECIMAL, vt);
        EXPECT_EQ(0, memcmp(v + 2, reinterpret_cast<const uint8_t*>(&d) + 2, 14));
      } else if (hClient == 2) {
        EXPECT_EQ(VT_ERROR, vt);
        EXPECT_EQ(static_cast<DWORD>(e.scode), dw(at + 8));
      } else {
        ASSERT_EQ(3u, hClient);
        EXPECT_EQ(VT_ARRAY | VT_DECIMAL, vt);
        EXPECT_EQ(1u, dw(at + slot) & 0xFFFF);   // cDims
        EXPECT_EQ(16u, dw(at + slot + 4));       // cbElements
        EXPECT_EQ(4u, dw(at + slot + countAt));  // cElements
        const size_t data = at + slot + (pointerBytes == 8 ? 32 : 24);
        ASSERT_LE(data + 4 * 16, b.size());
        EXPECT_EQ(0, memcmp(b.data() + data, a.parray->pvData, 4 * 16));
      }
    }
    VariantClear(&a);
  }
}

TEST_F(SimAdvise, ClientMayTearEverythingDownInsideACallback) {
  TComPtr<IPloverSimControl> probe;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_PloverSimServer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IPloverSimControl, probe.PutVoid()));
  OPCHANDLE hGroup = 0;
  TComPtr<IOPCItemMgt> g = AddGroup(L"Doomed", 500, 9, 0, TRUE, &hGroup);
  OPCHANDLE item = 0;
  ASSERT_EQ(S_OK, AddItem(g.Get(), L"Signals.Counter", VT_EMPTY, 1, &item));
  RecordingSink& first = Sink();
  RecordingSink& second = Sink();
  Advise(g.Get(), StreamFormats().dataTime, &first);
  Advise(g.Get(), StreamFormats().data, &second);
  // From here the server is held through this raw pointer only.
  IPloverSimControl* raw = control.Get();
  raw->AddRef();
  control.Release();
  first.onData = [&] {
    // Read the value again, then drop the group and the whole server mid-delivery.
    VARIANT v;
    EXPECT_EQ(S_OK, ReadOne(g.Get(), OPC_DS_CACHE, item, &v));
    EXPECT_EQ(S_OK, server->RemoveGroup(hGroup, TRUE));
    g.Release();
    group.Release();
    server.Release();
    raw->Release();
  };
  ASSERT_EQ(S_OK, raw->AdvanceTime(500));
  EXPECT_EQ(1u, first.received.size());
  EXPECT_EQ(1u, second.received.size()) << "the other sink still gets the stream being delivered";
  PumpFor(50);
  PloverSimLiveCounts c{};
  ASSERT_EQ(S_OK, probe->GetLiveCounts(&c));
  EXPECT_EQ(1, c.servers) << "only the probe is left";
  EXPECT_EQ(0, c.groups);
  EXPECT_EQ(0, c.connections);
  EXPECT_EQ(0u, first.Refs());
  EXPECT_EQ(0u, second.Refs());
}
