// The OPC DA 3.0 side of the server, in this process and across the process boundary (the
// proxy/stub carries every new interface): IOPCBrowse against the 2.0 browse of the same
// space, IOPCItemIO, and a group's IOPCSyncIO2, IOPCAsyncIO3, IOPCGroupStateMgt2 and
// IOPCItemDeadbandMgt.
#include "SimTestSupport.h"

#include "SimProcess.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using Kind = RecordingCallback::Kind;

class Da3 : public SimFixture, public testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    Connect(GetParam() ? PLOVER_SIM_LOCAL_PRIVATE_PROGID : PLOVER_SIM_PROGID);
  }
};

struct Level {
  HRESULT hr = S_OK;  // the first failure, or the last call's result
  std::vector<std::wstring> names, ids;
  std::vector<DWORD> flags;
  std::vector<size_t> pointLengths;  // of every point handed back, 0 for none
  int calls = 0;
};

// One level through IOPCBrowse, following continuation points; frees everything.
Level Browse3(IOPCBrowse* b, const wchar_t* id, DWORD max,
              OPCBROWSEFILTER filter = OPC_BROWSE_FILTER_ALL, const wchar_t* name = L"") {
  Level out;
  // The first point: none, or an empty one the server frees, which then grows.
  LPWSTR point = nullptr;
  if (max == 1) {
    point = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(wchar_t)));
    point[0] = 0;
  }
  DWORD none = 0;  // [ref]: never null, even for no properties
  do {
    BOOL more = TRUE;
    DWORD count = 0;
    OPCBROWSEELEMENT* e = nullptr;
    out.hr = b->Browse(const_cast<LPWSTR>(id), &point, max, filter, const_cast<LPWSTR>(name),
                       const_cast<LPWSTR>(L""), FALSE, FALSE, 0, &none, &more, &count, &e);
    ++out.calls;
    out.pointLengths.push_back(point ? wcslen(point) : 0);
    EXPECT_FALSE(more);
    for (DWORD i = 0; i < count; ++i) {
      out.names.push_back(e[i].szName);
      out.ids.push_back(e[i].szItemID);
      out.flags.push_back(e[i].dwFlagValue);
      CoTaskMemFree(e[i].szName);
      CoTaskMemFree(e[i].szItemID);
    }
    CoTaskMemFree(e);
  } while (SUCCEEDED(out.hr) && point && *point && out.calls < 1000);
  CoTaskMemFree(point);
  return out;
}

// Branches then leaves of one level through the 2.0 browse.
std::vector<std::wstring> Browse2(IOPCBrowseServerAddressSpace* b, const wchar_t* id,
                                  OPCBROWSETYPE only = OPC_FLAT) {
  EXPECT_EQ(S_OK, b->ChangeBrowsePosition(OPC_BROWSE_TO, id));
  std::vector<std::wstring> all;
  for (OPCBROWSETYPE t : {OPC_BRANCH, OPC_LEAF}) {
    if (only != OPC_FLAT && t != only) continue;
    TComPtr<IEnumString> e;
    EXPECT_TRUE(SUCCEEDED(b->BrowseOPCItemIDs(t, L"", VT_EMPTY, 0, e.Put())));
    for (const std::wstring& s : Drain(e.Get())) all.push_back(s);
  }
  return all;
}

int64_t Ms(const FILETIME& later, const FILETIME& earlier) {
  auto v = [](const FILETIME& f) { return (int64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  return (v(later) - v(earlier)) / 10000;
}

TEST_P(Da3, BrowseLevelsPropertiesAndItemIo) {
  TComPtr<IOPCBrowse> b3 = Query<IOPCBrowse>(server.Get());
  TComPtr<IOPCBrowseServerAddressSpace> b2 = Query<IOPCBrowseServerAddressSpace>(server.Get());
  TComPtr<IOPCItemIO> io = Query<IOPCItemIO>(server.Get());
  ASSERT_TRUE(b3 && b2 && io);

  // Every level the same as the 2.0 browse gives, in one piece or in pieces of awkward sizes;
  // each piece but the last hands back a point of one length (it grows from none).
  for (const wchar_t* id : {L"", L"Access", L"Arrays"}) {
    const std::vector<std::wstring> want = Browse2(b2.Get(), id);
    const DWORD n = static_cast<DWORD>(want.size());
    for (DWORD max : {DWORD(0), DWORD(1), DWORD(2), n, n + 1}) {
      SCOPED_TRACE(testing::Message()
                   << "level '" << testing::PrintToString(std::wstring(id)) << "' max " << max);
      Level l = Browse3(b3.Get(), id, max);
      EXPECT_EQ(S_OK, l.hr);
      EXPECT_EQ(want, l.names);
      const int calls = max == 0 || max >= n ? 1 : int((n + max - 1) / max);
      EXPECT_EQ(calls, l.calls);
      for (int i = 0; i < l.calls; ++i) EXPECT_EQ(i + 1 < l.calls ? 26u : 0u, l.pointLengths[i]);
    }
  }
  // Flags and IDs: branches can be browsed further, items used.
  Level arrays = Browse3(b3.Get(), L"Arrays", 0);
  ASSERT_FALSE(arrays.names.empty());
  EXPECT_EQ(L"Static", arrays.names[0]);
  EXPECT_EQ(L"Arrays.Static", arrays.ids[0]);
  EXPECT_EQ(DWORD(OPC_BROWSE_HASCHILDREN), arrays.flags[0]);
  EXPECT_EQ(L"Arrays.ShortArray", arrays.ids[1]);
  EXPECT_EQ(DWORD(OPC_BROWSE_ISITEM), arrays.flags[1]);

  // Filters apply together; the calls a client can get wrong fail cleanly.
  const struct {
    const wchar_t* id;
    OPCBROWSEFILTER filter;
    const wchar_t* name;
    HRESULT hr;
    std::vector<std::wstring> names;
  } filtered[] = {
      {L"Arrays", OPC_BROWSE_FILTER_BRANCHES, L"", S_OK, {L"Static"}},
      {L"Access", OPC_BROWSE_FILTER_ITEMS, L"*Only", S_OK, {L"ReadOnly", L"WriteOnly"}},
      {L"Access", OPC_BROWSE_FILTER_BRANCHES, L"", S_OK, {}},
      {L"Access.ReadOnly", OPC_BROWSE_FILTER_ALL, L"", S_OK, {}},  // an item: no children
      {L"Nowhere", OPC_BROWSE_FILTER_ALL, L"", OPC_E_UNKNOWNITEMID, {}},
      {L"Access..X", OPC_BROWSE_FILTER_ALL, L"", OPC_E_INVALIDITEMID, {}},
      {L"Access", static_cast<OPCBROWSEFILTER>(4), L"", E_INVALIDARG, {}},
  };
  for (const auto& f : filtered) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(f.id)));
    Level l = Browse3(b3.Get(), f.id, 0, f.filter, f.name);
    EXPECT_EQ(f.hr, l.hr);
    EXPECT_EQ(f.names, l.names);
  }
  EXPECT_EQ(Browse2(b2.Get(), L"Arrays", OPC_LEAF),
            Browse3(b3.Get(), L"Arrays", 0, OPC_BROWSE_FILTER_ITEMS).names);
  // A point is good only for the arguments it was made for.
  DWORD ids[] = {OPC_PROPERTY_DATATYPE, OPC_PROPERTY_ACCESS_RIGHTS, OPC_PROPERTY_EU_UNITS, 9999};
  LPWSTR point = nullptr;
  BOOL more = FALSE;
  DWORD count = 0;
  OPCBROWSEELEMENT* e = nullptr;
  ASSERT_EQ(S_OK, b3->Browse(const_cast<LPWSTR>(L"Access"), &point, 1, OPC_BROWSE_FILTER_ALL,
                             const_cast<LPWSTR>(L""), const_cast<LPWSTR>(L""), FALSE, FALSE, 0, ids,
                             &more, &count, &e));
  CoTaskMemFree(e[0].szName);
  CoTaskMemFree(e[0].szItemID);
  CoTaskMemFree(e);
  ASSERT_TRUE(point && *point);
  EXPECT_EQ(OPC_E_INVALIDCONTINUATIONPOINT,
            b3->Browse(const_cast<LPWSTR>(L"Access"), &point, 1, OPC_BROWSE_FILTER_ALL,
                       const_cast<LPWSTR>(L"*"), const_cast<LPWSTR>(L""), FALSE, FALSE, 0, ids,
                       &more, &count, &e));
  EXPECT_EQ(nullptr, e);
  CoTaskMemFree(point);

  // Properties with the elements: the IDs asked for, in that order, values where asked for.
  for (BOOL values : {FALSE, TRUE}) {
    point = nullptr;
    ASSERT_EQ(S_FALSE, b3->Browse(const_cast<LPWSTR>(L"EU"), &point, 0, OPC_BROWSE_FILTER_ITEMS,
                                  const_cast<LPWSTR>(L"Analog"), const_cast<LPWSTR>(L""), FALSE,
                                  values, 4, ids, &more, &count, &e));
    ASSERT_EQ(1u, count);
    const OPCITEMPROPERTIES& p = e[0].ItemProperties;
    EXPECT_EQ(S_FALSE, p.hrErrorID);
    ASSERT_EQ(4u, p.dwNumProperties);
    const struct {
      DWORD id;
      VARTYPE vt;
      HRESULT hr;
      double value;
    } want[] = {{1, VT_I2, S_OK, VT_R8},
                {5, VT_I4, S_OK, 3},
                {100, VT_BSTR, S_OK, NAN},
                {9999, VT_EMPTY, OPC_E_INVALID_PID, NAN}};
    for (int i = 0; i < 4; ++i) {
      const OPCITEMPROPERTY& q = p.pItemProperties[i];
      EXPECT_EQ(want[i].id, q.dwPropertyID);
      EXPECT_EQ(want[i].vt, q.vtDataType);
      EXPECT_EQ(want[i].hr, q.hrErrorID);
      EXPECT_EQ(want[i].hr == S_OK, q.szDescription != nullptr);
      EXPECT_EQ(nullptr, q.szItemID);
      if (!values || FAILED(q.hrErrorID))
        EXPECT_EQ(VT_EMPTY, q.vValue.vt) << i;
      else if (q.vValue.vt == VT_BSTR)
        EXPECT_STREQ(L"DEGC", q.vValue.bstrVal);
      else
        EXPECT_EQ(want[i].value, q.vValue.vt == VT_I2 ? q.vValue.iVal : q.vValue.lVal);
      CoTaskMemFree(q.szDescription);
      VariantClear(&p.pItemProperties[i].vValue);
    }
    CoTaskMemFree(p.pItemProperties);
    CoTaskMemFree(e[0].szName);
    CoTaskMemFree(e[0].szItemID);
    CoTaskMemFree(e);
    EXPECT_EQ(nullptr, point);
  }
  // GetProperties: every property of each item with none asked for; bad IDs per item.
  LPWSTR items[] = {const_cast<LPWSTR>(L"EU.Analog"), const_cast<LPWSTR>(L"No.Such"),
                    const_cast<LPWSTR>(L"")};
  OPCITEMPROPERTIES* props = nullptr;
  ASSERT_EQ(S_FALSE, b3->GetProperties(3, items, FALSE, 0, ids, &props));
  DWORD available = 0, *pids = nullptr;
  LPWSTR* texts = nullptr;
  VARTYPE* types = nullptr;
  TComPtr<IOPCItemProperties> ip = Query<IOPCItemProperties>(server.Get());
  ASSERT_EQ(S_OK, ip->QueryAvailableProperties(items[0], &available, &pids, &texts, &types));
  EXPECT_EQ(S_OK, props[0].hrErrorID);
  EXPECT_EQ(available, props[0].dwNumProperties);
  EXPECT_EQ(OPC_E_UNKNOWNITEMID, props[1].hrErrorID);
  EXPECT_EQ(OPC_E_INVALIDITEMID, props[2].hrErrorID);
  EXPECT_EQ(0u, props[1].dwNumProperties + props[2].dwNumProperties);
  for (DWORD i = 0; i < available; ++i) {
    EXPECT_EQ(pids[i], props[0].pItemProperties[i].dwPropertyID);
    CoTaskMemFree(texts[i]);
    CoTaskMemFree(props[0].pItemProperties[i].szDescription);
  }
  CoTaskMemFree(pids);
  CoTaskMemFree(texts);
  CoTaskMemFree(types);
  CoTaskMemFree(props[0].pItemProperties);
  CoTaskMemFree(props);

  // IOPCItemIO: value, quality and time stamp written together, or nothing.
  FILETIME stamp = {0x12345678, 0x01D00000};
  const struct {
    const wchar_t* id;
    double value;  // NaN: none (VT_EMPTY)
    BOOL quality, time;
    HRESULT hr;
  } writes[] = {
      {L"Types.Double", 2.5, TRUE, TRUE, S_OK},
      {L"Types.Long", 9, FALSE, FALSE, S_OK},
      {L"Types.Short", NAN, TRUE, FALSE, S_OK},  // quality alone
      {L"Types.Float", NAN, FALSE, FALSE, OPC_E_BADTYPE},
      {L"Arrays.Static.Short", 1, TRUE, FALSE, OPC_E_NOTSUPPORTED},
      {L"Access.ReadOnly", 1, FALSE, FALSE, OPC_E_BADRIGHTS},
      {L"No.Such", 1, FALSE, FALSE, OPC_E_UNKNOWNITEMID},
  };
  constexpr DWORD kW = sizeof(writes) / sizeof(writes[0]);
  LPCWSTR wids[kW];
  OPCITEMVQT vqt[kW] = {};
  for (DWORD i = 0; i < kW; ++i) {
    wids[i] = writes[i].id;
    if (!std::isnan(writes[i].value)) vqt[i].vDataValue = MakeVariant(writes[i].value);
    vqt[i].bQualitySpecified = writes[i].quality;
    vqt[i].wQuality = 0x54;
    vqt[i].bTimeStampSpecified = writes[i].time;
    vqt[i].ftTimeStamp = stamp;
  }
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_FALSE, io->WriteVQT(kW, wids, vqt, &errors));
  for (DWORD i = 0; i < kW; ++i) EXPECT_EQ(writes[i].hr, errors[i]) << i;
  CoTaskMemFree(errors);
  DWORD ages[kW] = {};  // from the device
  VARIANT* values = nullptr;
  WORD* qualities = nullptr;
  FILETIME* times = nullptr;
  ASSERT_EQ(S_FALSE, io->Read(kW, wids, ages, &values, &qualities, &times, &errors));
  EXPECT_EQ(VT_R8, values[0].vt) << "the canonical type";
  EXPECT_EQ(2.5, values[0].dblVal);
  EXPECT_EQ(0x54, qualities[0]);
  EXPECT_EQ(0, Ms(times[0], stamp));
  EXPECT_EQ(VT_I4, values[1].vt);
  EXPECT_EQ(9, values[1].lVal);
  EXPECT_EQ(0xC0, qualities[1]);
  EXPECT_EQ(0x54, qualities[2]);
  EXPECT_EQ(0, values[2].iVal) << "the value stays";
  const HRESULT readErrors[] = {S_OK, S_OK, S_OK, S_OK, S_OK, S_OK, OPC_E_UNKNOWNITEMID};
  for (DWORD i = 0; i < kW; ++i) {
    EXPECT_EQ(readErrors[i], errors[i]) << i;
    VariantClear(&values[i]);
  }
  EXPECT_EQ(0, qualities[6]);
  EXPECT_EQ(0u, times[6].dwHighDateTime);
  CoTaskMemFree(values);
  CoTaskMemFree(qualities);
  CoTaskMemFree(times);
  CoTaskMemFree(errors);

  // MaxAge on the simulated clock: the last sample serves while young enough.
  const struct {
    DWORD advance, maxAge;
    int64_t stampMs;  // after the first read
  } ages2[] = {
      {0, 0, 0}, {500, 1000, 0}, {0, 100, 500}, {500, OPC_MAXAGE_CACHE, 500}, {0, 0, 1000}};
  FILETIME first{};
  for (const auto& a : ages2) {
    SCOPED_TRACE(testing::Message() << "max age " << a.maxAge);
    if (a.advance) {
      ASSERT_EQ(S_OK, control->AdvanceTime(a.advance));
    }
    LPCWSTR ramp = L"Signals.Ramp";
    DWORD age = a.maxAge;
    ASSERT_EQ(S_OK, io->Read(1, &ramp, &age, &values, &qualities, &times, &errors));
    if (&a == ages2) first = times[0];
    EXPECT_EQ(a.stampMs, Ms(times[0], first));
    VariantClear(&values[0]);
    CoTaskMemFree(values);
    CoTaskMemFree(qualities);
    CoTaskMemFree(times);
    CoTaskMemFree(errors);
  }
}

TEST_P(Da3, GroupReadsByAgeWritesVqtKeepsAliveAndHonoursItemDeadbands) {
  OPCHANDLE hGroup = 0;
  TComPtr<IOPCItemMgt> group = AddGroup(L"G3", 1000, 31, 0, TRUE, &hGroup);
  TComPtr<IOPCSyncIO2> sync = Query<IOPCSyncIO2>(group.Get());
  TComPtr<IOPCAsyncIO3> async = Query<IOPCAsyncIO3>(group.Get());
  TComPtr<IOPCGroupStateMgt2> state = Query<IOPCGroupStateMgt2>(group.Get());
  TComPtr<IOPCItemDeadbandMgt> deadband = Query<IOPCItemDeadbandMgt>(group.Get());
  ASSERT_TRUE(sync && async && state && deadband);
  OPCHANDLE hRamp = 0, hDouble = 0, hAnalog = 0, hReadOnly = 0;
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Signals.Ramp", VT_R8, 1, &hRamp));
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.Double", VT_R8, 2, &hDouble));
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"EU.Analog", VT_R8, 3, &hAnalog));
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Access.ReadOnly", VT_EMPTY, 4, &hReadOnly));
  DWORD cancel = 0, revised = 0, ka = 0;
  HRESULT* errors = nullptr;
  EXPECT_EQ(CONNECT_E_NOCONNECTION, async->RefreshMaxAge(0, 1, &cancel));
  TComPtr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, Query<IConnectionPointContainer>(group.Get())
                      ->FindConnectionPoint(IID_IOPCDataCallback, point.Put()));
  RecordingCallback& cb = Callback();
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, point->Advise(cb.Unknown(), &cookie));
  ASSERT_EQ(S_OK, control->Flush());
  ASSERT_EQ(1u, cb.calls.size());

  // Sync reads by age: the update at 1000 ms filled the cache; at 1500 ms an age of 1000
  // takes it, 100 goes to the device, which refreshes the cache.
  ASSERT_EQ(S_OK, control->AdvanceTime(1500));
  OPCHANDLE handles[] = {hRamp, hRamp, hRamp, hRamp, 999};
  DWORD ages[] = {1000, OPC_MAXAGE_CACHE, 100, OPC_MAXAGE_CACHE, 0};
  VARIANT* values = nullptr;
  WORD* qualities = nullptr;
  FILETIME* times = nullptr;
  ASSERT_EQ(S_FALSE, sync->ReadMaxAge(5, handles, ages, &values, &qualities, &times, &errors));
  const int64_t stampMs[] = {0, 0, 500, 500};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(S_OK, errors[i]);
    EXPECT_EQ(stampMs[i], Ms(times[i], times[0])) << i;
  }
  EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[4]);
  for (int i = 0; i < 5; ++i) VariantClear(&values[i]);
  CoTaskMemFree(values);
  CoTaskMemFree(qualities);
  CoTaskMemFree(times);
  CoTaskMemFree(errors);

  // Sync and async WriteVQT; the async one and ReadMaxAge/RefreshMaxAge answer later under
  // the client's transaction.
  OPCITEMVQT vqt[2] = {};
  vqt[0].vDataValue = MakeVariant(7.5);
  vqt[0].bQualitySpecified = TRUE;
  vqt[0].wQuality = 0xD8;
  vqt[1].vDataValue = MakeVariant(1);
  OPCHANDLE targets[] = {hDouble, hReadOnly};
  ASSERT_EQ(S_FALSE, sync->WriteVQT(2, targets, vqt, &errors));
  EXPECT_EQ(S_OK, errors[0]);
  EXPECT_EQ(OPC_E_BADRIGHTS, errors[1]);
  CoTaskMemFree(errors);
  vqt[0].vDataValue = MakeVariant(8.5);
  cb.calls.clear();  // the updates so far
  ASSERT_EQ(S_OK, async->WriteVQT(1, targets, vqt, 78, &cancel, &errors));
  CoTaskMemFree(errors);
  DWORD zero = 0;
  ASSERT_EQ(S_OK, async->ReadMaxAge(1, targets, &zero, 77, &cancel, &errors));
  CoTaskMemFree(errors);
  ASSERT_EQ(S_OK, async->RefreshMaxAge(OPC_MAXAGE_CACHE, 79, &cancel));
  ASSERT_EQ(S_OK, control->Flush());
  ASSERT_EQ(3u, cb.calls.size());
  EXPECT_EQ(Kind::kWrite, cb.calls[0].kind);
  EXPECT_EQ(78u, cb.calls[0].transid);
  EXPECT_EQ((std::vector<HRESULT>{S_OK}), cb.calls[0].errors);
  EXPECT_EQ(Kind::kRead, cb.calls[1].kind);
  EXPECT_EQ(77u, cb.calls[1].transid);
  EXPECT_EQ((std::vector<double>{8.5}), cb.calls[1].numbers);
  EXPECT_EQ((std::vector<WORD>{0xD8}), cb.calls[1].qualities);
  EXPECT_EQ(Kind::kData, cb.calls[2].kind);
  EXPECT_EQ(79u, cb.calls[2].transid);
  EXPECT_EQ(4u, cb.calls[2].handles.size()) << "every readable active item";

  // Item deadbands: checked per item, and the item's own replaces the group's.
  OPCHANDLE three[] = {hAnalog, hDouble, 999};
  FLOAT bands[] = {10, 5, 5};
  ASSERT_EQ(S_FALSE, deadband->SetItemDeadband(3, three, bands, &errors));
  EXPECT_EQ((std::vector<HRESULT>{S_OK, OPC_E_DEADBANDNOTSUPPORTED, OPC_E_INVALIDHANDLE}),
            std::vector<HRESULT>(errors, errors + 3));
  CoTaskMemFree(errors);
  FLOAT tooMuch = 101;
  ASSERT_EQ(S_FALSE, deadband->SetItemDeadband(1, three, &tooMuch, &errors));
  EXPECT_EQ(E_INVALIDARG, errors[0]);
  CoTaskMemFree(errors);
  FLOAT* got = nullptr;
  ASSERT_EQ(S_FALSE, deadband->GetItemDeadband(2, three, &got, &errors));
  EXPECT_EQ(10.0f, got[0]);
  EXPECT_EQ(OPC_E_DEADBANDNOTSET, errors[1]);
  CoTaskMemFree(got);
  CoTaskMemFree(errors);
  // Ramp and the written double quiet: only the analog item can report.
  HRESULT* ignored = nullptr;
  OPCHANDLE quiet[] = {hRamp, hDouble, hReadOnly};
  ASSERT_EQ(S_OK, group->SetActiveState(3, quiet, FALSE, &ignored));
  CoTaskMemFree(ignored);
  for (double v : {55.0, 65.0}) {  // 5 % of 0..100 stays inside 10 %, 15 % does not
    const size_t before = cb.calls.size();
    ASSERT_EQ(S_OK, WriteOne(group.Get(), hAnalog, MakeVariant(v)));
    ASSERT_EQ(S_OK, control->AdvanceTime(1000));
    ASSERT_EQ(before + (v == 65.0 ? 1 : 0), cb.calls.size()) << v;
  }
  ASSERT_EQ(S_OK, deadband->ClearItemDeadband(1, three, &errors));
  CoTaskMemFree(errors);
  ASSERT_EQ(S_FALSE, deadband->ClearItemDeadband(1, three, &errors));
  EXPECT_EQ(OPC_E_DEADBANDNOTSET, errors[0]);
  CoTaskMemFree(errors);

  // Keep-alive: revised to the timer's steps; a callback without items once nothing else
  // was sent for that long, never on a fixed beat, none for an inactive group.
  EXPECT_EQ(S_OK, state->GetKeepAlive(&ka));
  EXPECT_EQ(0u, ka);
  EXPECT_EQ(OPC_S_UNSUPPORTEDRATE, state->SetKeepAlive(1020, &revised));
  EXPECT_EQ(1050u, revised);
  ASSERT_EQ(S_OK, state->SetKeepAlive(3000, &revised));
  EXPECT_EQ(S_OK, state->GetKeepAlive(&ka));
  EXPECT_EQ(3000u, ka);
  const struct {
    DWORD advance;
    double write;  // to the analog item first; NaN: none
    size_t data, keepAlives;
  } beats[] = {{2999, NAN, 0, 0}, {1, NAN, 0, 1},    {3000, NAN, 0, 2},
               {1000, 70, 1, 2},  {2999, NAN, 1, 2}, {1, NAN, 1, 3}};
  const size_t base = cb.calls.size();
  for (const auto& beat : beats) {
    if (!std::isnan(beat.write)) {
      ASSERT_EQ(S_OK, WriteOne(group.Get(), hAnalog, MakeVariant(beat.write)));
    }
    ASSERT_EQ(S_OK, control->AdvanceTime(beat.advance));
    size_t data = 0, keepAlives = 0;
    for (size_t i = base; i < cb.calls.size(); ++i) {
      EXPECT_EQ(0u, cb.calls[i].transid);
      (cb.calls[i].handles.empty() ? keepAlives : data)++;
    }
    EXPECT_EQ(beat.data, data) << beat.advance;
    EXPECT_EQ(beat.keepAlives, keepAlives) << beat.advance;
  }
  BOOL inactive = FALSE;
  ASSERT_EQ(S_OK,
            state->SetState(nullptr, &revised, &inactive, nullptr, nullptr, nullptr, nullptr));
  const size_t quietFrom = cb.calls.size();
  ASSERT_EQ(S_OK, control->AdvanceTime(10000));
  EXPECT_EQ(quietFrom, cb.calls.size());
  ASSERT_EQ(S_OK, state->SetKeepAlive(0, &revised));
  EXPECT_EQ(0u, revised);
  ASSERT_EQ(S_OK, point->Unadvise(cookie));
}

INSTANTIATE_TEST_SUITE_P(Paths, Da3, testing::Bool(), [](const auto& info) {
  return std::string(info.param ? "OwnProcess" : "InProcess");
});

// Some servers browse through OPC DA 3.0 alone.
TEST(SimDa3Only, OwnProcess_OffersTheNewBrowseButNotTheOld) {
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(PLOVER_SIM_LOCAL_DA3ONLY_PROGID, &clsid));
  TComPtr<IOPCServer> server;
  ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                                   server.PutVoid()));
  IUnknown* old = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(E_NOINTERFACE, server->QueryInterface(IID_IOPCBrowseServerAddressSpace,
                                                  reinterpret_cast<void**>(&old)));
  EXPECT_EQ(nullptr, old);
  TComPtr<IOPCBrowse> b3 = Query<IOPCBrowse>(server.Get());
  ASSERT_TRUE(b3);
  Level access = Browse3(b3.Get(), L"Access", 2);
  EXPECT_EQ(S_OK, access.hr);
  EXPECT_EQ(
      (std::vector<std::wstring>{L"Access.ReadOnly", L"Access.WriteOnly", L"Access.ReadWrite"}),
      access.ids);
}

}  // namespace
