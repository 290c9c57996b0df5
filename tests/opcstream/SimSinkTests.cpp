// The sink advised to a real group of the simulation server, through the registry and
// IDataObject::DAdvise, as the group manager does it.
#include "SinkFixture.h"

#include <oleauto.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "ComPtr.h"
#include "OpcServerLayout.h"
#include "OpcText.h"
#include "SimControl.h"
#include "SimServer.h"
#include "opcda.h"

using namespace opcstream;

namespace {

bool SameValue(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  if (a.vt == (VT_ARRAY | VT_BSTR)) {
    LONG la = 0, ua = -1, lb = 0, ub = -1;
    SafeArrayGetLBound(a.parray, 1, &la);
    SafeArrayGetUBound(a.parray, 1, &ua);
    SafeArrayGetLBound(b.parray, 1, &lb);
    SafeArrayGetUBound(b.parray, 1, &ub);
    if (la != lb || ua != ub) return false;
    const BSTR* x = static_cast<const BSTR*>(a.parray->pvData);
    const BSTR* y = static_cast<const BSTR*>(b.parray->pvData);
    for (LONG i = 0; i <= ua - la; ++i)
      if (VarBstrCmp(x[i], y[i], 0, 0) != VARCMP_EQ) return false;
    return true;
  }
  if (a.vt & VT_ARRAY) {
    // Same bounds and the same element bytes (fixed-size elements only).
    LONG la = 0, ua = -1, lb = 0, ub = -1;
    SafeArrayGetLBound(a.parray, 1, &la);
    SafeArrayGetUBound(a.parray, 1, &ua);
    SafeArrayGetLBound(b.parray, 1, &lb);
    SafeArrayGetUBound(b.parray, 1, &ub);
    return la == lb && ua == ub && ua >= la &&
           SafeArrayGetElemsize(a.parray) == SafeArrayGetElemsize(b.parray) &&
           std::memcmp(a.parray->pvData, b.parray->pvData,
                       size_t(ua - la + 1) * SafeArrayGetElemsize(a.parray)) == 0;
  }
  // A DECIMAL by all its bytes but the type word, so that 1.0 and 1.00 differ.
  if (a.vt == VT_DECIMAL)
    return std::memcmp(reinterpret_cast<const char*>(&a.decVal) + 2,
                       reinterpret_cast<const char*>(&b.decVal) + 2, sizeof(DECIMAL) - 2) == 0;
  // Wine's VarCmp knows no unsigned, VT_I1, VT_INT or VT_ERROR values: those by their bytes.
  size_t bytes = 0;
  if (a.vt == VT_I1 || a.vt == VT_UI1) bytes = 1;
  if (a.vt == VT_UI2) bytes = 2;
  if (a.vt == VT_UI4 || a.vt == VT_INT || a.vt == VT_UINT || a.vt == VT_ERROR) bytes = 4;
  if (a.vt == VT_UI8) bytes = 8;
  if (bytes) return std::memcmp(&a.llVal, &b.llVal, bytes) == 0;
  return VarCmp(const_cast<VARIANT*>(&a), const_cast<VARIANT*>(&b), 0, 0) == VARCMP_EQ;
}

}  // namespace

class SimSink : public SinkFixture {
 protected:
  void SetUp() override {
    SinkFixture::SetUp();
    ASSERT_EQ(S_OK, CreateSimServer(PLOVER_SIM_PROGID, m_server)) << "is PloverSim.dll registered?";
    ASSERT_EQ(S_OK, m_control.QueryFrom(m_server.Get()));
    ASSERT_EQ(S_OK, m_control->SetDeterministic(TRUE));
    float deadband = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, m_server->AddGroup(L"Group1", TRUE, 1000, 1, nullptr, &deadband, 0, &m_hGroup,
                                       &revised, IID_IOPCItemMgt, m_items.PutUnknown()));
  }
  void TearDown() override {
    if (m_data && m_connection) {
      EXPECT_EQ(S_OK, m_data->DUnadvise(m_connection));
    }
    m_data.Release();
    m_items.Release();
    if (m_server) m_server->RemoveGroup(m_hGroup, TRUE);
    m_control.Release();
    m_server.Release();
    SinkFixture::TearDown();  // checks that the server let go of the sink
  }

  COpcItem* AddItem(const wchar_t* id) {
    COpcItem* rec = AddRecord(id);
    OPCITEMDEF def{};
    def.szAccessPath = const_cast<LPWSTR>(L"");
    def.szItemID = const_cast<LPWSTR>(id);
    def.bActive = TRUE;
    def.hClient = rec->m_hClient;
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    EXPECT_EQ(S_OK, m_items->AddItems(1, &def, &results, &errors));
    if (results) {
      EXPECT_EQ(S_OK, errors[0]) << id;
      rec->m_hServer = results[0].hServer;
      CoTaskMemFree(results[0].pBlob);
    }
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return rec;
  }

  void Advise() {
    ASSERT_EQ(S_OK, m_data.QueryFrom(m_items.Get()));
    FORMATETC fe = {Clip().dataTime, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    ASSERT_EQ(S_OK, m_data->DAdvise(&fe, 0, m_sink, &m_connection));
  }

  // The server's cached value of an item.
  VARIANT Cached(const COpcItem* rec) {
    VARIANT v;
    VariantInit(&v);
    TComPtr<IOPCSyncIO> io;
    EXPECT_EQ(S_OK, io.QueryFrom(m_items.Get()));
    OPCHANDLE h = rec->m_hServer;
    OPCITEMSTATE* states = nullptr;
    HRESULT* errors = nullptr;
    if (SUCCEEDED(io->Read(OPC_DS_CACHE, 1, &h, &states, &errors))) {
      v = states[0].vDataValue;
      CoTaskMemFree(states);
      CoTaskMemFree(errors);
    }
    return v;
  }

  TComPtr<IOPCServer> m_server;
  TComPtr<IPloverSimControl> m_control;
  TComPtr<IOPCItemMgt> m_items;
  TComPtr<IDataObject> m_data;
  OPCHANDLE m_hGroup = 0;
  DWORD m_connection = 0;
};

TEST_F(SimSink, LiveUpdatesReachTheRecords) {
  COpcItem* ramp = AddItem(L"Signals.Ramp");
  COpcItem* text = AddItem(L"Types.String");
  COpcItem* floats = AddItem(L"Arrays.FloatArray");
  COpcItem* strings = AddItem(L"Arrays.StringArray");
  Advise();
  ASSERT_EQ(S_OK, m_control->AdvanceTime(1000));
  std::vector<MSG> posted = Posted();
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(static_cast<UINT>(WM_OPC_DATACHANGE), posted.back().message);
  EXPECT_EQ(1, posted.back().lParam);
  for (COpcItem* rec : {ramp, text, floats}) {
    VARIANT cached = Cached(rec);
    EXPECT_TRUE(SameValue(cached, rec->m_value)) << rec->m_value.vt;
    EXPECT_NE(0u, rec->m_ftTimeStamp.dwHighDateTime);
    VariantClear(&cached);
  }
  EXPECT_EQ(VT_R4, ramp->m_value.vt);
  EXPECT_EQ(VT_BSTR, text->m_value.vt);
  EXPECT_EQ(VT_ARRAY | VT_R4, floats->m_value.vt);
  ASSERT_EQ(VT_ARRAY | VT_BSTR, strings->m_value.vt);
  LONG index = 0;
  BSTR first = nullptr;
  LONG lb = 0;
  SafeArrayGetLBound(strings->m_value.parray, 1, &lb);
  index = lb;
  ASSERT_EQ(S_OK, SafeArrayGetElement(strings->m_value.parray, &index, &first));
  EXPECT_NE(nullptr, first) << "strings of a BSTR array are decoded, not left null";
  SysFreeString(first);

  // A later update replaces the value.
  const float before = ramp->m_value.fltVal;
  ASSERT_EQ(S_OK, m_control->AdvanceTime(2000));
  EXPECT_NE(before, ramp->m_value.fltVal);
  EXPECT_FALSE(Posted().empty());
}

TEST_F(SimSink, MalformedBytesFromTheServerAreHarmless) {
  COpcItem* rec = AddItem(L"Types.Long");
  Advise();
  ASSERT_EQ(S_OK, m_control->AdvanceTime(1000));
  const VARIANT before = rec->m_value;  // a scalar: a plain copy is enough
  const WORD quality = rec->m_wQuality;
  Posted();

  std::vector<Bytes> junk;
  junk.push_back(Bytes{0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3});
  Bytes huge = DataStream(1, {{rec->m_hClient, 0, 5, ScalarOf<int32_t>(kVtI4, 99)}});
  Put32(huge, 4, 0xFFFFFFFF);   // count; the lone header still decodes, the rest is garbage
  Put32(huge, 24, 0x7FFFFFF0);  // and its value is nowhere near the block
  junk.push_back(huge);
  Bytes str = DataStream(1, {{rec->m_hClient, 0, 5, String(u"abc")}});
  Put32(str, ValueOffset(str, 0) + 16, 0xFFFFFFF0);
  junk.push_back(str);
  Bytes arr = DataStream(1, {{rec->m_hClient, 0, 5, Array(kVtR8, nullptr, 0, 8)}});
  Put32(arr, ValueOffset(arr, 0) + 32, 0x20000000);
  junk.push_back(arr);
  for (const Bytes& bytes : junk) {
    ASSERT_EQ(S_OK, m_control->PushStream(m_hGroup, 0, bytes.data(), DWORD(bytes.size())));
    EXPECT_EQ(before.vt, rec->m_value.vt);
    EXPECT_EQ(before.lVal, rec->m_value.lVal);
    EXPECT_EQ(quality, rec->m_wQuality);
  }
  EXPECT_EQ(junk.size() - 1, Posted().size()) << "all but the 7-byte block name a group";

  // Servers may hold the sink after the records are gone: with no table, nothing is touched.
  m_sink->SetItemTable(nullptr);
  Bytes good = DataStream(1, {{rec->m_hClient, 0xC0, 5, ScalarOf<int32_t>(kVtI4, 99)}});
  ASSERT_EQ(S_OK, m_control->PushStream(m_hGroup, 0, good.data(), DWORD(good.size())));
  EXPECT_EQ(before.lVal, rec->m_value.lVal);
  EXPECT_EQ(1u, Posted().size());
  m_sink->SetItemTable(&m_table);
  ASSERT_EQ(S_OK, m_control->PushStream(m_hGroup, 0, good.data(), DWORD(good.size())));
  EXPECT_EQ(99, rec->m_value.lVal);
}

// The server writes its build's own value layout by default and, through its hook, the
// other one and the packed form of independent servers; whichever layout the sink
// prefers, every record ends up equal to the server's cache.
TEST_F(SimSink, EveryLayoutAndEncodingThroughTheRealAdvise) {
  std::vector<COpcItem*> recs;
  for (const wchar_t* id : {L"Types.String", L"Arrays.FloatArray", L"Arrays.StringArray",
                            L"Arrays.Static.String", L"Arrays.Static.Double", L"Signals.Ramp",
                            L"Names.说明", L"Signals.Byte", L"Arrays.BoolArray"})
    recs.push_back(AddItem(id));
  Advise();
  TComPtr<IOPCAsyncIO> async;
  ASSERT_EQ(S_OK, async.QueryFrom(m_items.Get()));
  const struct {
    DWORD pointerBytes;
    BOOL packed;
  } forms[] = {{0, FALSE}, {4, FALSE}, {8, FALSE}, {4, TRUE}, {8, TRUE}};
  for (const auto& form : forms) {
    ASSERT_EQ(S_OK, m_control->SetStreamForm(form.pointerBytes, form.packed));
    for (const Layout preferred : {Layout::k32, Layout::k64}) {
      SCOPED_TRACE(testing::Message() << "pointer bytes " << form.pointerBytes << " packed "
                                      << form.packed << " preferred " << int(preferred));
      m_sink->SetServerLayout(preferred);
      for (COpcItem* rec : recs) {
        VariantClear(&rec->m_value);
        rec->m_wQuality = 0;
      }
      DWORD transaction = 0;
      ASSERT_EQ(S_OK, async->Refresh(m_connection, OPC_DS_CACHE, &transaction));
      ASSERT_EQ(S_OK, m_control->Flush());
      for (COpcItem* rec : recs) {
        VARIANT cached = Cached(rec);
        EXPECT_NE(VT_EMPTY, cached.vt);
        EXPECT_TRUE(SameValue(cached, rec->m_value))
            << std::string(rec->m_strItemId.begin(), rec->m_strItemId.end()) << " vt "
            << rec->m_value.vt;
        EXPECT_EQ(0xC0, rec->m_wQuality);
        VariantClear(&cached);
      }
      EXPECT_FALSE(Posted().empty());
    }
  }
  m_sink->SetServerLayout(kOwnLayout);
}

// Every type beyond the six, scalar and array, static and changing, through every stream
// form and layout (a DECIMAL filling its whole slot in both) into the records: each record
// equals the server's cache and shows the text and type name the list gives it (never "?",
// nor a float in place of a byte).
TEST_F(SimSink, EveryTypeReachesItsRecordAndItsText) {
  const struct {
    const wchar_t* name;
    VARTYPE vt;
    const wchar_t* typeName;
    const wchar_t* staticText;  // of Types.<name>, as the list shows it
  } types[] = {
      {L"Char", VT_I1, L"CHAR", L"-5"},
      {L"Byte", VT_UI1, L"BYTE", L"0"},
      {L"Word", VT_UI2, L"WORD", L"40000"},
      {L"DWord", VT_UI4, L"DWORD", L"3000000000"},
      {L"Int", VT_INT, L"INTEGER", L"-7"},
      {L"UInt", VT_UINT, L"UINT", L"7"},
      {L"LongLong", VT_I8, L"LLONG", L"-9007199254740992"},
      {L"ULongLong", VT_UI8, L"ULLONG", L"9007199254740992"},
      {L"Currency", VT_CY, L"CURRENCY", L"12.3456"},
      {L"Date", VT_DATE, L"DATE", L"12/9/25 12:00:00"},
      {L"Error", VT_ERROR, L"ERROR", L"0x80004005"},
      // All 96 bits of the mantissa and a scale: whole, as no double could carry it.
      {L"Decimal", VT_DECIMAL, L"DECIMAL", L"-7922816251426433759354395033.5"},
  };
  struct Rec {
    COpcItem* rec;
    VARTYPE vt;
    const wchar_t* text;  // expected, where the value is fixed
  };
  std::vector<Rec> recs;
  for (const auto& t : types) {
    const std::wstring name = t.name;
    recs.push_back({AddItem((L"Types." + name).c_str()), t.vt, t.staticText});
    recs.push_back(
        {AddItem((L"Arrays.Static." + name).c_str()), VARTYPE(VT_ARRAY | t.vt), nullptr});
    if (t.vt != VT_UI1) recs.push_back({AddItem((L"Signals." + name).c_str()), t.vt, nullptr});
    recs.push_back(
        {AddItem((L"Arrays." + name + L"Array").c_str()), VARTYPE(VT_ARRAY | t.vt), nullptr});
    EXPECT_EQ(t.typeName, GetTypeName(t.vt));
  }
  Advise();
  ASSERT_EQ(S_OK, m_control->AdvanceTime(1500));
  TComPtr<IOPCAsyncIO> async;
  ASSERT_EQ(S_OK, async.QueryFrom(m_items.Get()));
  const struct {
    DWORD pointerBytes;
    BOOL packed;
  } forms[] = {{4, FALSE}, {8, FALSE}, {4, TRUE}, {8, TRUE}};
  for (const auto& form : forms) {
    ASSERT_EQ(S_OK, m_control->SetStreamForm(form.pointerBytes, form.packed));
    for (const Layout preferred : {Layout::k32, Layout::k64}) {
      SCOPED_TRACE(testing::Message() << "pointer bytes " << form.pointerBytes << " packed "
                                      << form.packed << " preferred " << int(preferred));
      m_sink->SetServerLayout(preferred);
      for (const Rec& r : recs) VariantClear(&r.rec->m_value);
      DWORD transaction = 0;
      ASSERT_EQ(S_OK, async->Refresh(m_connection, OPC_DS_CACHE, &transaction));
      ASSERT_EQ(S_OK, m_control->Flush());
      for (const Rec& r : recs) {
        const std::string id(r.rec->m_strItemId.begin(), r.rec->m_strItemId.end());
        VARIANT cached = Cached(r.rec);
        EXPECT_EQ(r.vt, r.rec->m_value.vt) << id;
        EXPECT_TRUE(SameValue(cached, r.rec->m_value)) << id;
        const std::wstring text = GetValueText(r.rec->m_value, 0xC0);
        EXPECT_EQ(GetValueText(cached, 0xC0), text) << id;
        if (r.text) {
          EXPECT_EQ(r.text, text) << id;
        }
        EXPECT_TRUE(text != L"?" && !text.empty()) << id;
        if (r.vt & VT_ARRAY) {
          EXPECT_EQ(3, std::count(text.begin(), text.end(), L',')) << id;
        }
        VariantClear(&cached);
      }
    }
  }
  m_sink->SetServerLayout(kOwnLayout);
}

// Where the server's bitness is known, the sink prefers its layout: an in-process server
// has this build's, a local server its executable's machine type.
TEST(ServerLayout, FromTheRegistrationAndTheExecutable) {
  EXPECT_EQ(kOwnLayout, ServerLayoutOf(CLSID_PloverSimServer));
  wchar_t dir[MAX_PATH], path[MAX_PATH];
  ASSERT_NE(0u, GetTempPathW(MAX_PATH, dir));
  ASSERT_NE(0u, GetTempFileNameW(dir, L"plv", 0, path));
  // {6A1F3C0E-2B7D-4E55-9C3A-0D7E5B1A9F42}: a class of this test only (Wine does not show
  // the user's classes under HKEY_CLASSES_ROOT, so it goes to the root itself).
  const CLSID clsid = {
      0x6a1f3c0e, 0x2b7d, 0x4e55, {0x9c, 0x3a, 0x0d, 0x7e, 0x5b, 0x1a, 0x9f, 0x42}};
  const wchar_t* key = L"CLSID\\{6A1F3C0E-2B7D-4E55-9C3A-0D7E5B1A9F42}";
  const std::wstring command = L"\"" + std::wstring(path) + L"\" -Embedding";
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetKeyValueW(HKEY_CLASSES_ROOT, (std::wstring(key) + L"\\LocalServer32").c_str(),
                            nullptr, REG_SZ, command.c_str(), DWORD((command.size() + 1) * 2)));
  const struct {
    uint16_t machine;
    Layout layout;
  } cases[] = {{0x014C, Layout::k32}, {0x8664, Layout::k64}, {0x0200, kOwnLayout}};
  for (const auto& c : cases) {
    uint8_t head[0x100] = {'M', 'Z'};
    head[0x3C] = 0x80;
    head[0x80] = 'P';
    head[0x81] = 'E';
    std::memcpy(head + 0x84, &c.machine, 2);
    EXPECT_EQ(c.layout, LayoutOfExecutable(head, sizeof head, kOwnLayout)) << c.machine;
    EXPECT_EQ(kOwnLayout, LayoutOfExecutable(head, 0x85, kOwnLayout)) << "cut header";
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    DWORD written = 0;
    WriteFile(f, head, sizeof head, &written, nullptr);
    CloseHandle(f);
    EXPECT_EQ(c.layout, ServerLayoutOf(clsid)) << c.machine;
  }
  RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
  DeleteFileW(path);
  EXPECT_EQ(kOwnLayout, ServerLayoutOf(clsid)) << "an unregistered class";
}
