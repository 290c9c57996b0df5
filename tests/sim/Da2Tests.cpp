// The OPC DA 2.0 and Common side of the server: the group's callback point with
// IOPCAsyncIO2, item properties, locale and error texts, the shutdown notice, and the hooks
// that make it a DA 2.0-only or a vanished server.
#include "SimTestSupport.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <string>

namespace {

class SimDa2 : public SimFixture {};

using Kind = RecordingCallback::Kind;

TEST_F(SimDa2, CallbackSubscriptionAndAsyncIo2) {
  ASSERT_EQ(S_OK, control->SetNoDa1Async(TRUE));
  TComPtr<IOPCItemMgt> group = AddGroup(L"G", 1000, 55);
  ASSERT_TRUE(group);
  EXPECT_FALSE(Query<IOPCAsyncIO>(group.Get())) << "a DA 2.0-only server";
  EXPECT_FALSE(Query<IDataObject>(group.Get()));
  EXPECT_TRUE(Query<IOPCSyncIO>(group.Get()));
  TComPtr<IOPCAsyncIO2> io = Query<IOPCAsyncIO2>(group.Get());
  TComPtr<IConnectionPointContainer> container = Query<IConnectionPointContainer>(group.Get());
  ASSERT_TRUE(io && container);
  OPCHANDLE hLong = 0, hReadOnly = 0, hText = 0;
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.Long", VT_EMPTY, 1, &hLong));
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Access.ReadOnly", VT_EMPTY, 2, &hReadOnly));
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.String", VT_EMPTY, 3, &hText));

  // Without an advised callback every IOPCAsyncIO2 method refuses.
  DWORD cancel = 0;
  HRESULT* errors = nullptr;
  BOOL enabled = FALSE;
  EXPECT_EQ(CONNECT_E_NOCONNECTION, io->Read(1, &hLong, 9, &cancel, &errors));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, io->Refresh2(OPC_DS_CACHE, 9, &cancel));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, io->SetEnable(FALSE));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, io->GetEnable(&enabled));
  EXPECT_EQ(nullptr, errors);

  TComPtr<IConnectionPoint> point, none;
  ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_IOPCDataCallback, point.Put()));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IOPCShutdown, none.Put()));
  IID iid{};
  EXPECT_EQ(S_OK, point->GetConnectionInterface(&iid));
  EXPECT_TRUE(IsEqualIID(iid, IID_IOPCDataCallback));
  RecordingCallback& cb = Callback();
  const LONG connections = Counts().connections;
  DWORD cookie = 0, second = 0;
  ASSERT_EQ(S_OK, point->Advise(cb.Unknown(), &cookie));
  EXPECT_NE(0u, cookie);
  EXPECT_EQ(connections + 1, Counts().connections);
  RecordingCallback other;
  EXPECT_EQ(CONNECT_E_ADVISELIMIT, point->Advise(other.Unknown(), &second));
  EXPECT_TRUE(cb.calls.empty()) << "the first values come later";
  ASSERT_EQ(S_OK, control->Flush());
  ASSERT_EQ(1u, cb.calls.size());
  EXPECT_EQ(Kind::kData, cb.calls[0].kind);
  EXPECT_EQ(0u, cb.calls[0].transid);
  EXPECT_EQ(55u, cb.calls[0].group);
  EXPECT_EQ((std::vector<OPCHANDLE>{1, 2, 3}), cb.calls[0].handles);
  EXPECT_EQ(L"Hello", cb.calls[0].strings[2]);
  EXPECT_EQ(42.0, cb.calls[0].numbers[1]);
  EXPECT_EQ(S_OK, cb.calls[0].master);
  EXPECT_TRUE(cb.calls[0].timeStamped);

  EXPECT_EQ((std::vector<WORD>{0xC0, 0xC0, 0xC0}), cb.calls[0].qualities);

  // Reads, writes and refreshes answer later, under the client's own transaction IDs. A
  // read from the device gives an inactive item its device quality, not "out of service".
  // A bad quality makes the master quality S_FALSE; a write-only item is never refreshed.
  OPCHANDLE hBad = 0, hWriteOnly = 0;
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Quality.Bad", VT_EMPTY, 4, &hBad));
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Access.WriteOnly", VT_EMPTY, 5, &hWriteOnly));
  OPCHANDLE quiet[2] = {hText, hBad};
  HRESULT* activeErrors = nullptr;
  ASSERT_EQ(S_OK, group->SetActiveState(2, quiet, FALSE, &activeErrors));
  CoTaskMemFree(activeErrors);
  OPCHANDLE reads[4] = {hLong, 0xBAD, hText, hBad};
  ASSERT_EQ(S_FALSE, io->Read(4, reads, 41, &cancel, &errors));
  EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[1]);
  CoTaskMemFree(errors);
  EXPECT_NE(0u, cancel);
  OPCHANDLE writes[3] = {hLong, hReadOnly, 0xBAD};
  VARIANT values[3] = {MakeVariant(17.0), MakeVariant(5.0), MakeVariant(6.0)};
  ASSERT_EQ(S_FALSE, io->Write(3, writes, values, 42, &cancel, &errors));
  EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[2]);
  CoTaskMemFree(errors);
  ASSERT_EQ(S_OK, io->Refresh2(OPC_DS_DEVICE, 43, &cancel));
  EXPECT_EQ(1u, cb.calls.size());
  ASSERT_EQ(S_OK, control->Flush());
  ASSERT_EQ(4u, cb.calls.size());
  EXPECT_EQ(Kind::kRead, cb.calls[1].kind);
  EXPECT_EQ(41u, cb.calls[1].transid);
  EXPECT_EQ((std::vector<OPCHANDLE>{1, 3, 4}), cb.calls[1].handles) << "rejected items left out";
  EXPECT_EQ((std::vector<WORD>{0xC0, 0xC0, 0x18}), cb.calls[1].qualities);
  EXPECT_EQ(S_FALSE, cb.calls[1].master);
  EXPECT_EQ(L"Hello", cb.calls[1].strings[1]);
  EXPECT_EQ(Kind::kWrite, cb.calls[2].kind);
  EXPECT_EQ(42u, cb.calls[2].transid);
  EXPECT_EQ(S_FALSE, cb.calls[2].master);
  EXPECT_EQ((std::vector<HRESULT>{S_OK, OPC_E_BADRIGHTS}), cb.calls[2].errors);
  EXPECT_EQ(Kind::kData, cb.calls[3].kind);
  EXPECT_EQ(43u, cb.calls[3].transid);
  EXPECT_EQ((std::vector<OPCHANDLE>{1, 2}), cb.calls[3].handles) << "active, readable items only";
  EXPECT_EQ(17.0, cb.calls[3].numbers[0]);

  // Disabled: no subscription callbacks, yet a refresh still answers.
  ASSERT_EQ(S_OK, io->SetEnable(FALSE));
  ASSERT_EQ(S_OK, io->GetEnable(&enabled));
  EXPECT_FALSE(enabled);
  ASSERT_EQ(S_OK, WriteOne(group.Get(), hLong, MakeVariant(18.0)));
  ASSERT_EQ(S_OK, control->AdvanceTime(3000));
  EXPECT_EQ(4u, cb.calls.size());
  ASSERT_EQ(S_OK, io->Refresh2(OPC_DS_CACHE, 44, &cancel));
  ASSERT_EQ(S_OK, control->Flush());
  ASSERT_EQ(5u, cb.calls.size());
  EXPECT_EQ(44u, cb.calls[4].transid);
  EXPECT_EQ(18.0, cb.calls[4].numbers[0]);

  // A cancelled read answers with OnCancelComplete instead, once.
  ASSERT_EQ(S_OK, io->Read(1, &hLong, 45, &cancel, &errors));
  CoTaskMemFree(errors);
  EXPECT_EQ(S_OK, io->Cancel2(cancel));
  EXPECT_EQ(E_FAIL, io->Cancel2(cancel));
  ASSERT_EQ(S_OK, control->Flush());
  ASSERT_EQ(6u, cb.calls.size());
  EXPECT_EQ(Kind::kCancel, cb.calls[5].kind);
  EXPECT_EQ(45u, cb.calls[5].transid);

  // An inactive group has nothing to refresh, and says so at once.
  TComPtr<IOPCGroupStateMgt> state = Query<IOPCGroupStateMgt>(group.Get());
  ASSERT_TRUE(state);
  BOOL inactive = FALSE;
  ASSERT_EQ(S_OK, state->SetState(nullptr, nullptr, &inactive, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(E_FAIL, io->Refresh2(OPC_DS_CACHE, 47, &cancel));
  ASSERT_EQ(S_OK, control->Flush());
  EXPECT_EQ(6u, cb.calls.size());

  EXPECT_EQ(S_OK, point->Unadvise(cookie));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie));
  EXPECT_EQ(connections, Counts().connections);
  EXPECT_EQ(0u, cb.Refs());
  // Advised to an inactive group: no first values.
  ASSERT_EQ(S_OK, point->Advise(other.Unknown(), &second));
  ASSERT_EQ(S_OK, control->Flush());
  EXPECT_TRUE(other.calls.empty()) << "an inactive group sends nothing";
  EXPECT_EQ(S_OK, point->Unadvise(second));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, io->Read(1, &hLong, 46, &cancel, &errors));
  ASSERT_EQ(S_OK, control->SetNoDa1Async(FALSE));
  EXPECT_TRUE(Query<IOPCAsyncIO>(group.Get()));
}

// Property IDs each kind of item offers, and their values for one analog item.
TEST_F(SimDa2, ItemPropertiesCommonAndShutdown) {
  TComPtr<IOPCItemProperties> props = Query<IOPCItemProperties>(server.Get());
  TComPtr<IOPCCommon> common = Query<IOPCCommon>(server.Get());
  TComPtr<IConnectionPointContainer> container = Query<IConnectionPointContainer>(server.Get());
  ASSERT_TRUE(props && common && container);
  const struct {
    const wchar_t* item;
    std::vector<DWORD> ids;
  } kinds[] = {{L"EU.Analog", {1, 2, 3, 4, 5, 6, 7, 8, 100, 101, 102, 103}},
               {L"Types.Boolean", {1, 2, 3, 4, 5, 6, 7, 8, 101, 106, 107}},
               {L"Arrays.Static.Long", {1, 2, 3, 4, 5, 6, 7, 8, 101}}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(testing::Message() << "item " << testing::PrintToString(std::wstring(k.item)));
    DWORD n = 0;
    DWORD* ids = nullptr;
    LPWSTR* texts = nullptr;
    VARTYPE* types = nullptr;
    ASSERT_EQ(S_OK, props->QueryAvailableProperties(const_cast<LPWSTR>(k.item), &n, &ids, &texts,
                                                    &types));
    EXPECT_EQ(k.ids, std::vector<DWORD>(ids, ids + n));
    EXPECT_STREQ(L"Item Canonical DataType", texts[0]);
    const size_t description = std::find(ids, ids + n, DWORD(101)) - ids;
    ASSERT_LT(description, size_t(n));
    EXPECT_STREQ(L"Item Description", texts[description]);
    EXPECT_EQ(VT_I2, types[0]);
    for (DWORD i = 0; i < n; ++i) CoTaskMemFree(texts[i]);
    CoTaskMemFree(ids);
    CoTaskMemFree(texts);
    CoTaskMemFree(types);
  }

  DWORD ids[] = {1, 2, 3, 5, 7, 8, 100, 102, 103, 4711, 4};
  VARIANT* values = nullptr;
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_FALSE,
            props->GetItemProperties(const_cast<LPWSTR>(L"EU.Analog"), 11, ids, &values, &errors));
  const struct {
    VARTYPE vt;
    double number;
  } expected[] = {{VT_I2, VT_R8},        {VT_R8, 50},  {VT_I2, 0xC0}, {VT_I4, 3}, {VT_I4, 1},
                  {VT_ARRAY | VT_R8, 0}, {VT_BSTR, 0}, {VT_R8, 100},  {VT_R8, 0}, {VT_EMPTY, 0}};
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(testing::Message() << "property " << ids[i]);
    EXPECT_EQ(expected[i].vt, values[i].vt);
    VARIANT d;
    VariantInit(&d);
    if (expected[i].vt == VT_I2 || expected[i].vt == VT_I4 || expected[i].vt == VT_R8) {
      ASSERT_EQ(S_OK, VariantChangeType(&d, &values[i], 0, VT_R8));
      EXPECT_EQ(expected[i].number, d.dblVal);
    }
    EXPECT_EQ(ids[i] == 4711 ? OPC_E_INVALID_PID : S_OK, errors[i]);
  }
  EXPECT_EQ(2u, values[5].parray->rgsabound[0].cElements);
  EXPECT_STREQ(L"DEGC", values[6].bstrVal);
  EXPECT_EQ(VT_DATE, values[10].vt);
  for (int i = 0; i < 11; ++i) VariantClear(&values[i]);
  CoTaskMemFree(values);
  CoTaskMemFree(errors);
  DWORD readable[] = {2, 5};
  ASSERT_EQ(S_FALSE, props->GetItemProperties(const_cast<LPWSTR>(L"Access.WriteOnly"), 2, readable,
                                              &values, &errors));
  EXPECT_EQ(OPC_E_BADRIGHTS, errors[0]);
  EXPECT_EQ(S_OK, errors[1]);
  CoTaskMemFree(values);
  CoTaskMemFree(errors);
  EXPECT_EQ(OPC_E_UNKNOWNITEMID,
            props->GetItemProperties(const_cast<LPWSTR>(L"No.Such"), 1, ids, &values, &errors));
  EXPECT_EQ(nullptr, values);
  EXPECT_EQ(OPC_E_INVALIDITEMID,
            props->GetItemProperties(const_cast<LPWSTR>(L"EU..Analog"), 1, ids, &values, &errors));
  LPWSTR* newIds = nullptr;
  ASSERT_EQ(S_FALSE,
            props->LookupItemIDs(const_cast<LPWSTR>(L"EU.Analog"), 2, ids, &newIds, &errors));
  EXPECT_EQ(OPC_E_INVALID_PID, errors[1]);
  EXPECT_EQ(nullptr, newIds[0]);
  CoTaskMemFree(newIds);
  CoTaskMemFree(errors);

  // Locale and error texts of the session.
  LCID lcid = 0;
  ASSERT_EQ(S_OK, common->GetLocaleID(&lcid));
  EXPECT_EQ(LCID(LOCALE_SYSTEM_DEFAULT), lcid);
  EXPECT_EQ(S_OK, common->SetLocaleID(0x409));
  EXPECT_EQ(E_INVALIDARG, common->SetLocaleID(0x411));
  ASSERT_EQ(S_OK, common->GetLocaleID(&lcid));
  EXPECT_EQ(0x409u, lcid);
  DWORD count = 0;
  LCID* locales = nullptr;
  ASSERT_EQ(S_OK, common->QueryAvailableLocaleIDs(&count, &locales));
  EXPECT_TRUE(std::find(locales, locales + count, LCID(0x409)) != locales + count);
  CoTaskMemFree(locales);
  LPWSTR text = nullptr, text1 = nullptr;
  ASSERT_EQ(S_OK, common->GetErrorString(OPC_E_UNKNOWNITEMID, &text));
  ASSERT_EQ(S_OK, server->GetErrorString(OPC_E_UNKNOWNITEMID, 0x800, &text1));
  EXPECT_STREQ(text1, text);
  CoTaskMemFree(text);
  CoTaskMemFree(text1);
  EXPECT_EQ(S_OK, common->SetClientName(L"NODE1 Plover.exe"));

  // The shutdown notice: an empty reason is an empty string, never null.
  TComPtr<IConnectionPoint> point, none;
  ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_IOPCShutdown, point.Put()));
  EXPECT_EQ(CONNECT_E_NOCONNECTION,
            container->FindConnectionPoint(IID_IOPCDataCallback, none.Put()));
  EXPECT_EQ(S_FALSE, control->SendShutdown(L"nobody listens"));
  RecordingCallback& cb = Callback();
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, point->Advise(cb.Unknown(), &cookie));
  EXPECT_EQ(S_OK, control->SendShutdown(L"维护 maintenance"));
  EXPECT_EQ(S_OK, control->SendShutdown(nullptr));
  EXPECT_EQ((std::vector<std::wstring>{L"维护 maintenance", L""}), cb.reasons);

  // A vanished server: every method fails with the same code, unless it has its own.
  ASSERT_EQ(S_OK, control->FailMethod(L"*", RPC_E_DISCONNECTED, TRUE));
  ASSERT_EQ(S_OK, control->FailMethod(L"IOPCCommon::GetLocaleID", E_OUTOFMEMORY, TRUE));
  OPCSERVERSTATUS* status = nullptr;
  EXPECT_EQ(RPC_E_DISCONNECTED, server->GetStatus(&status));
  EXPECT_EQ(RPC_E_DISCONNECTED,
            props->GetItemProperties(const_cast<LPWSTR>(L"EU.Analog"), 1, ids, &values, &errors));
  EXPECT_EQ(RPC_E_DISCONNECTED, point->Unadvise(cookie));
  EXPECT_EQ(E_OUTOFMEMORY, common->GetLocaleID(&lcid));
  ASSERT_EQ(S_OK, control->ClearFailures());
  EXPECT_EQ(S_OK, point->Unadvise(cookie));
}

// Property 4 is the time stamp a device read gives at the same frozen time, to the
// millisecond, for changing, static and written items.
TEST_F(SimDa2, TimestampPropertyIsTheReadTimeStamp) {
  TComPtr<IOPCItemProperties> props = Query<IOPCItemProperties>(server.Get());
  TComPtr<IOPCItemMgt> group = AddGroup(L"Times");
  ASSERT_TRUE(props && group);
  const wchar_t* const items[] = {L"Signals.Counter", L"Signals.Ramp", L"Types.Long"};
  OPCHANDLE handles[3] = {};
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(S_OK, AddItem(group.Get(), items[i], VT_EMPTY, i, &handles[i]));
  // Steps that leave the milliseconds at 0, 1, 124, 624 and 999 past the start: a conversion
  // that drops them is off by more than a millisecond at most of them.
  const DWORD steps[] = {0, 1, 123, 500, 375, 3000, 86400000};
  for (DWORD step : steps) {
    ASSERT_EQ(S_OK, control->AdvanceTime(step));
    if (step == 3000) {
      ASSERT_EQ(S_OK, WriteOne(group.Get(), handles[2], MakeVariant(7.0)));
    }
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(testing::Message() << "after " << step << " ms, item " << i);
      VARIANT value;
      FILETIME read{};
      ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, handles[i], &value, nullptr, &read));
      VariantClear(&value);
      DWORD id = 4;
      VARIANT* values = nullptr;
      HRESULT* errors = nullptr;
      ASSERT_EQ(S_OK,
                props->GetItemProperties(const_cast<LPWSTR>(items[i]), 1, &id, &values, &errors));
      EXPECT_EQ(S_OK, errors[0]);
      ASSERT_EQ(VT_DATE, values[0].vt);
      const DATE date = values[0].date;
      CoTaskMemFree(values);
      CoTaskMemFree(errors);
      // Days since 1899-12-30 to 100 ns units since 1601-01-01.
      const double ticks = (date + 109205.0) * 864000000000.0;
      const double readTicks =
          static_cast<double>((uint64_t(read.dwHighDateTime) << 32) | read.dwLowDateTime);
      EXPECT_LT(std::fabs(ticks - readTicks), 10000.0) << "100 ns units apart";
      // The same calendar second as the system's own conversion, which keeps whole seconds.
      SYSTEMTIME st;
      DATE whole = 0;
      ASSERT_TRUE(FileTimeToSystemTime(&read, &st) && SystemTimeToVariantTime(&st, &whole));
      EXPECT_LT(std::fabs(date - whole), 1.0 / 86400.0);
    }
  }
}

// Every accepted IOPCAsyncIO2 request ends in exactly one callback, whatever happens to its
// group or items before its turn comes.
TEST_F(SimDa2, EveryAcceptedTransactionEndsInOneCallback) {
  enum Op { kReadBoth, kWriteBoth, kRefresh };
  struct Case {
    const char* what;
    Op op;
    std::function<void(IOPCItemMgt*, IOPCAsyncIO2*, const OPCHANDLE*, DWORD cancelId)> meanwhile;
    Kind kind;
    std::vector<OPCHANDLE> clients;
    std::vector<HRESULT> errors;
  };
  auto removeItems = [](std::vector<int> which) {
    return [which](IOPCItemMgt* g, IOPCAsyncIO2*, const OPCHANDLE* h, DWORD) {
      for (int i : which) {
        HRESULT* e = nullptr;
        OPCHANDLE one = h[i];
        ASSERT_EQ(S_OK, g->RemoveItems(1, &one, &e));
        CoTaskMemFree(e);
      }
    };
  };
  auto deactivateItems = [](std::vector<int> which) {
    return [which](IOPCItemMgt* g, IOPCAsyncIO2*, const OPCHANDLE* h, DWORD) {
      for (int i : which) {
        HRESULT* e = nullptr;
        OPCHANDLE one = h[i];
        ASSERT_EQ(S_OK, g->SetActiveState(1, &one, FALSE, &e));
        CoTaskMemFree(e);
      }
    };
  };
  auto deactivateGroup = [](IOPCItemMgt* g, IOPCAsyncIO2*, const OPCHANDLE*, DWORD) {
    BOOL inactive = FALSE;
    ASSERT_EQ(S_OK, Query<IOPCGroupStateMgt>(g)->SetState(nullptr, nullptr, &inactive, nullptr,
                                                          nullptr, nullptr, nullptr));
  };
  auto cancel = [](IOPCItemMgt*, IOPCAsyncIO2* io, const OPCHANDLE*, DWORD id) {
    ASSERT_EQ(S_OK, io->Cancel2(id));
  };
  auto disable = [](IOPCItemMgt*, IOPCAsyncIO2* io, const OPCHANDLE*, DWORD) {
    ASSERT_EQ(S_OK, io->SetEnable(FALSE));
  };
  auto nothing = [](IOPCItemMgt*, IOPCAsyncIO2*, const OPCHANDLE*, DWORD) {};
  const HRESULT gone = OPC_E_INVALIDHANDLE;
  const Case cases[] = {
      {"read", kReadBoth, nothing, Kind::kRead, {1, 2}, {S_OK, S_OK}},
      {"read, one item removed", kReadBoth, removeItems({1}), Kind::kRead, {1, 2}, {S_OK, gone}},
      {"read, both items removed",
       kReadBoth,
       removeItems({0, 1}),
       Kind::kRead,
       {1, 2},
       {gone, gone}},
      {"read of inactive items",
       kReadBoth,
       deactivateItems({0, 1}),
       Kind::kRead,
       {1, 2},
       {S_OK, S_OK}},
      {"read, cancelled", kReadBoth, cancel, Kind::kCancel, {}, {}},
      {"write, one item removed", kWriteBoth, removeItems({0}), Kind::kWrite, {1, 2}, {gone, S_OK}},
      {"write, cancelled", kWriteBoth, cancel, Kind::kCancel, {}, {}},
      {"refresh", kRefresh, nothing, Kind::kData, {1, 2}, {S_OK, S_OK}},
      {"refresh, callbacks disabled", kRefresh, disable, Kind::kData, {1, 2}, {S_OK, S_OK}},
      {"refresh, one item inactive", kRefresh, deactivateItems({0}), Kind::kData, {2}, {S_OK}},
      {"refresh, every item inactive", kRefresh, deactivateItems({0, 1}), Kind::kData, {}, {}},
      {"refresh, group inactive", kRefresh, deactivateGroup, Kind::kData, {}, {}},
      {"refresh, one item removed", kRefresh, removeItems({1}), Kind::kData, {1}, {S_OK}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OPCHANDLE hGroup = 0;
    const std::wstring name = L"T" + std::to_wstring(++n);
    TComPtr<IOPCItemMgt> group = AddGroup(name.c_str(), 1000, 60 + n, 0, TRUE, &hGroup);
    TComPtr<IOPCAsyncIO2> io = Query<IOPCAsyncIO2>(group.Get());
    TComPtr<IConnectionPoint> point;
    ASSERT_TRUE(io);
    ASSERT_EQ(S_OK, Query<IConnectionPointContainer>(group.Get())
                        ->FindConnectionPoint(IID_IOPCDataCallback, point.Put()));
    OPCHANDLE h[2] = {};
    ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.Long", VT_EMPTY, 1, &h[0]));
    ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.Double", VT_EMPTY, 2, &h[1]));
    RecordingCallback& cb = Callback();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(cb.Unknown(), &cookie));
    ASSERT_EQ(S_OK, control->Flush());
    cb.calls.clear();  // the first values after Advise

    const DWORD tid = 500 + n;
    DWORD cancelId = 0;
    HRESULT* errors = nullptr;
    VARIANT values[2] = {MakeVariant(3.0), MakeVariant(4.0)};
    HRESULT accepted = E_FAIL;
    if (c.op == kReadBoth) accepted = io->Read(2, h, tid, &cancelId, &errors);
    if (c.op == kWriteBoth) accepted = io->Write(2, h, values, tid, &cancelId, &errors);
    if (c.op == kRefresh) accepted = io->Refresh2(OPC_DS_DEVICE, tid, &cancelId);
    ASSERT_EQ(S_OK, accepted);
    CoTaskMemFree(errors);
    c.meanwhile(group.Get(), io.Get(), h, cancelId);
    EXPECT_TRUE(cb.calls.empty()) << "never inside a call";
    ASSERT_EQ(S_OK, control->Flush());
    ASSERT_EQ(S_OK, control->Flush());
    ASSERT_EQ(1u, cb.calls.size()) << "exactly one callback";
    const RecordingCallback::Call& call = cb.calls[0];
    EXPECT_EQ(c.kind, call.kind);
    EXPECT_EQ(tid, call.transid);
    EXPECT_EQ(OPCHANDLE(60 + n), call.group);
    EXPECT_EQ(c.clients, call.handles);
    EXPECT_EQ(c.errors, call.errors);
    const bool allOk =
        std::all_of(c.errors.begin(), c.errors.end(), [](HRESULT e) { return e == S_OK; });
    EXPECT_EQ(allOk ? S_OK : S_FALSE, call.kind == Kind::kWrite ? call.master : call.masterError);
    EXPECT_EQ(E_FAIL, io->Cancel2(cancelId)) << "the transaction is over";
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
  }

  // A group removed while the client still holds it cancels what it had not done.
  const LONG groups = Counts().groups;
  OPCHANDLE hGroup = 0;
  TComPtr<IOPCItemMgt> group = AddGroup(L"Removed", 1000, 99, 0, TRUE, &hGroup);
  TComPtr<IOPCAsyncIO2> io = Query<IOPCAsyncIO2>(group.Get());
  TComPtr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, Query<IConnectionPointContainer>(group.Get())
                      ->FindConnectionPoint(IID_IOPCDataCallback, point.Put()));
  OPCHANDLE h = 0;
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.Long", VT_EMPTY, 1, &h));
  RecordingCallback& cb = Callback();
  DWORD cookie = 0, cancelRead = 0, cancelRefresh = 0;
  ASSERT_EQ(S_OK, point->Advise(cb.Unknown(), &cookie));
  ASSERT_EQ(S_OK, control->Flush());
  cb.calls.clear();
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_OK, io->Read(1, &h, 71, &cancelRead, &errors));
  CoTaskMemFree(errors);
  ASSERT_EQ(S_OK, io->Refresh2(OPC_DS_CACHE, 72, &cancelRefresh));
  ASSERT_EQ(S_OK, io->Cancel2(cancelRead));
  EXPECT_EQ(OPC_S_INUSE, server->RemoveGroup(hGroup, FALSE));
  EXPECT_TRUE(cb.calls.empty()) << "never inside a call";
  // Delivered by the server's own posted messages, as a client's message loop gets them (the
  // other cases use Flush); messages left over from requests Detach took back find nothing.
  auto pumpPosted = [] {
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i)
      DispatchMessageW(&msg);
  };
  pumpPosted();
  ASSERT_EQ(2u, cb.calls.size());
  EXPECT_EQ(Kind::kCancel, cb.calls[0].kind);
  EXPECT_EQ(Kind::kCancel, cb.calls[1].kind);
  EXPECT_EQ((std::vector<DWORD>{71, 72}),
            (std::vector<DWORD>{cb.calls[0].transid, cb.calls[1].transid}));
  EXPECT_EQ(99u, cb.calls[1].group);
  EXPECT_EQ(S_OK, point->Unadvise(cookie));
  point.Release();
  io.Release();
  group.Release();
  EXPECT_EQ(0u, cb.Refs());
  EXPECT_EQ(groups, Counts().groups) << "the answers held the removed group no longer";

  // The server released with a request still queued and its group still held by the client:
  // nothing answers afterwards, whatever the message loop delivers, and the callback is let go.
  group = AddGroup(L"Orphan", 1000, 98);
  io = Query<IOPCAsyncIO2>(group.Get());
  ASSERT_EQ(S_OK, Query<IConnectionPointContainer>(group.Get())
                      ->FindConnectionPoint(IID_IOPCDataCallback, point.Put()));
  ASSERT_EQ(S_OK, AddItem(group.Get(), L"Types.Long", VT_EMPTY, 1, &h));
  ASSERT_EQ(S_OK, point->Advise(cb.Unknown(), &cookie));
  ASSERT_EQ(S_OK, io->Read(1, &h, 73, &cancelRead, &errors));
  CoTaskMemFree(errors);
  control.Release();
  server.Release();
  pumpPosted();
  EXPECT_EQ(2u, cb.calls.size()) << "no answer from a server that is gone";
  EXPECT_EQ(0u, cb.Refs());
  EXPECT_EQ(E_FAIL, io->Refresh2(OPC_DS_CACHE, 74, &cancelRefresh));
  point.Release();
  io.Release();
  group.Release();
  pumpPosted();
}

// Each connection point container enumerates its one point: the shutdown point of the server,
// the data callback point of a group.
TEST_F(SimDa2, ConnectionPointEnumerators) {
  OPCHANDLE hGroup = 0;
  TComPtr<IOPCItemMgt> group = AddGroup(L"Points", 1000, 1, 0, TRUE, &hGroup);
  const LONG enumerators = Counts().enumerators;
  const struct {
    IUnknown* object;
    IID iid;
  } cases[] = {{server.Get(), IID_IOPCShutdown}, {group.Get(), IID_IOPCDataCallback}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.object == server.Get() ? "server" : "group");
    TComPtr<IConnectionPointContainer> container = Query<IConnectionPointContainer>(c.object);
    ASSERT_TRUE(container);
    EXPECT_EQ(E_POINTER, container->EnumConnectionPoints(nullptr));
    TComPtr<IEnumConnectionPoints> e;
    ASSERT_EQ(S_OK, container->EnumConnectionPoints(e.Put()));
    ASSERT_TRUE(e);
    EXPECT_EQ(enumerators + 1, Counts().enumerators);
    EXPECT_TRUE(Query<IEnumConnectionPoints>(e.Get()));
    EXPECT_FALSE(Query<IEnumUnknown>(e.Get()));
    IConnectionPoint* got[2] = {};
    ULONG fetched = 7;
    EXPECT_EQ(E_INVALIDARG, e->Next(2, got, nullptr));
    ASSERT_EQ(S_FALSE, e->Next(2, got, &fetched));
    ASSERT_EQ(1u, fetched);
    TComPtr<IConnectionPoint> point;
    point.Attach(got[0]);
    IID iid{};
    ASSERT_EQ(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(c.iid, iid));
    TComPtr<IConnectionPoint> found;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(c.iid, found.Put()));
    EXPECT_EQ(found.Get(), point.Get()) << "the same point FindConnectionPoint gives";
    TComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(S_OK, point->GetConnectionPointContainer(back.Put()));
    EXPECT_EQ(container.Get(), back.Get());
    // The end, Reset, Skip past the end, and a clone keeping the position.
    EXPECT_EQ(S_FALSE, e->Next(1, got, nullptr));
    EXPECT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_FALSE, e->Skip(2));
    EXPECT_EQ(S_FALSE, e->Next(1, got, nullptr));
    EXPECT_EQ(S_OK, e->Reset());
    TComPtr<IEnumConnectionPoints> clone;
    ASSERT_EQ(S_OK, e->Clone(clone.Put()));
    EXPECT_EQ(S_OK, e->Skip(1));
    ASSERT_EQ(S_OK, clone->Next(1, got, nullptr));
    EXPECT_EQ(point.Get(), got[0]);
    got[0]->Release();
    // The enumerated point is a working one.
    RecordingCallback& cb = Callback();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(cb.Unknown(), &cookie));
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
    EXPECT_EQ(0u, cb.Refs());
    clone.Release();
    e.Release();
    EXPECT_EQ(enumerators, Counts().enumerators);
  }
  // A removed group refuses, as it refuses FindConnectionPoint.
  EXPECT_EQ(OPC_S_INUSE, server->RemoveGroup(hGroup, FALSE));
  TComPtr<IEnumConnectionPoints> none;
  EXPECT_EQ(E_FAIL,
            Query<IConnectionPointContainer>(group.Get())->EnumConnectionPoints(none.Put()));
  EXPECT_FALSE(none);
}

}  // namespace
