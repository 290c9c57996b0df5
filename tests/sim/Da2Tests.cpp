// The OPC DA 2.0 and Common side of the server: the group's callback point with
// IOPCAsyncIO2, item properties, locale and error texts, the shutdown notice, and the hooks
// that make it a DA 2.0-only or a vanished server.
#include "SimTestSupport.h"

#include <algorithm>
#include <iterator>

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

}  // namespace
