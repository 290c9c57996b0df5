// COpcDataSink against real records, a real handle table and a real window.
#include "SinkFixture.h"

#include <cstring>

#include "OpcDataCallback.h"

using namespace opcstream;

namespace {

constexpr uint64_t kTime = 0x01DA1234ABCD5678ull;

uint64_t TimeOf(const COpcItem* rec) {
  return (uint64_t{rec->m_ftTimeStamp.dwHighDateTime} << 32) | rec->m_ftTimeStamp.dwLowDateTime;
}

std::wstring Text(BSTR s) {
  return s ? std::wstring(s, SysStringLen(s)) : std::wstring();
}

// Counts its own references, to see a record let go of its old value.
class CountedUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 0;
};

}  // namespace

class Sink : public SinkFixture {};

TEST_F(Sink, WorkedExampleUpdatesTheRecordAndPostsOnce) {
  COpcItem* rec = AddRecord();
  rec->m_wQuality = 0;
  DeliverData(DataStream(1, {{rec->m_hClient, 0xC0, kTime, ScalarOf<float>(kVtR4, 12.5f)}}));
  EXPECT_EQ(VT_R4, rec->m_value.vt);
  EXPECT_EQ(12.5f, rec->m_value.fltVal);
  EXPECT_EQ(0xC0, rec->m_wQuality);
  EXPECT_EQ(kTime, TimeOf(rec));
  std::vector<MSG> posted = Posted();
  ASSERT_EQ(1u, posted.size());
  EXPECT_EQ(static_cast<UINT>(WM_OPC_DATACHANGE), posted[0].message);
  EXPECT_EQ(0u, posted[0].wParam);
  EXPECT_EQ(1, posted[0].lParam);
}

TEST_F(Sink, ScalarsOfEverySizeAndDecimalsAreCopiedAsSent) {
  const int64_t bits = 0x0123456789ABCDEFll;
  const uint16_t types[] = {kVtI1, kVtBool, kVtI4, kVtR8, kVtCy, kVtUi8, kVtNull};
  std::vector<TestItem> items;
  std::vector<COpcItem*> recs;
  for (uint16_t vt : types) {
    recs.push_back(AddRecord());
    items.push_back({recs.back()->m_hClient, 0x40, kTime, Scalar(vt, &bits, 8)});
  }
  // A DECIMAL fills the whole VARIANT, its reserved first word being where vt is.
  DECIMAL dec{};
  dec.scale = 2;
  dec.sign = DECIMAL_NEG;
  dec.Hi32 = 7;
  dec.Lo64 = 12345;
  recs.push_back(AddRecord());
  items.push_back({recs.back()->m_hClient, 0xC0, kTime, Bytes(16)});
  std::memcpy(items.back().value.data(), &dec, 16);
  Put16(items.back().value, 0, kVtDecimal);

  DeliverData(DataStream(2, items));
  for (size_t i = 0; i < std::size(types); ++i) {
    EXPECT_EQ(types[i], recs[i]->m_value.vt);
    EXPECT_EQ(0, std::memcmp(&recs[i]->m_value.llVal, &bits, FixedSize(types[i]))) << types[i];
    EXPECT_EQ(0x40, recs[i]->m_wQuality);
  }
  const VARIANT& d = recs.back()->m_value;
  ASSERT_EQ(VT_DECIMAL, d.vt);
  EXPECT_EQ(2, d.decVal.scale);
  EXPECT_EQ(DECIMAL_NEG, d.decVal.sign);
  EXPECT_EQ(7u, d.decVal.Hi32);
  EXPECT_EQ(12345u, d.decVal.Lo64);
}

TEST_F(Sink, StringsAndArraysLiveInMemoryTheRecordOwns) {
  COpcItem* str = AddRecord();
  COpcItem* odd = AddRecord();
  COpcItem* floats = AddRecord();
  COpcItem* bools = AddRecord();
  COpcItem* strings = AddRecord();
  COpcItem* empty = AddRecord();
  const float f[16] = {0.5f, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, -15.25f};
  const int16_t b[3] = {VARIANT_TRUE, VARIANT_FALSE, VARIANT_TRUE};
  Bytes oddString = String(u"abcd");
  Put32(oddString, 16, 3);
  {
    GlobalBlock block(
        DataStream(1, {{str->m_hClient, 0xC0, kTime, String(u"温度 sensor")},
                       {odd->m_hClient, 0xC0, kTime, oddString},
                       {floats->m_hClient, 0xC0, kTime, Array(kVtR4, f, 16, 4, -1)},
                       {bools->m_hClient, 0xC0, kTime, Array(kVtBool, b, 3, 2, 1)},
                       {strings->m_hClient, 0xC0, kTime, StringArray({u"one", u"", u"三"}, 10)},
                       {empty->m_hClient, 0xC0, kTime, Array(kVtR8, nullptr, 0, 8)}}));
    FORMATETC fe = {Clip().dataTime, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block.Get();
    m_sink->OnDataChange(&fe, &medium);
  }  // the block is scribbled over and freed here

  ASSERT_EQ(VT_BSTR, str->m_value.vt);
  EXPECT_EQ(L"温度 sensor", Text(str->m_value.bstrVal));
  EXPECT_EQ(0, str->m_value.bstrVal[SysStringLen(str->m_value.bstrVal)]) << "terminated";
  ASSERT_EQ(VT_BSTR, odd->m_value.vt);
  EXPECT_EQ(3u, SysStringByteLen(odd->m_value.bstrVal));
  EXPECT_EQ(0, std::memcmp(odd->m_value.bstrVal, u"ab", 3));

  ASSERT_EQ(VT_ARRAY | VT_R4, floats->m_value.vt);
  SAFEARRAY* psa = floats->m_value.parray;
  EXPECT_EQ(1u, SafeArrayGetDim(psa));
  LONG lb = 0, ub = 0;
  SafeArrayGetLBound(psa, 1, &lb);
  SafeArrayGetUBound(psa, 1, &ub);
  EXPECT_EQ(-1, lb);
  EXPECT_EQ(14, ub);
  float last = 0;
  LONG index = 14;
  ASSERT_EQ(S_OK, SafeArrayGetElement(psa, &index, &last));
  EXPECT_EQ(-15.25f, last);

  ASSERT_EQ(VT_ARRAY | VT_BOOL, bools->m_value.vt);
  EXPECT_EQ(2u, SafeArrayGetElemsize(bools->m_value.parray));
  VARIANT_BOOL third = 0;
  index = 3;
  ASSERT_EQ(S_OK, SafeArrayGetElement(bools->m_value.parray, &index, &third));
  EXPECT_EQ(VARIANT_TRUE, third);

  ASSERT_EQ(VT_ARRAY | VT_BSTR, strings->m_value.vt);
  SafeArrayGetLBound(strings->m_value.parray, 1, &lb);
  SafeArrayGetUBound(strings->m_value.parray, 1, &ub);
  EXPECT_EQ(10, lb);
  EXPECT_EQ(12, ub);
  std::vector<std::wstring> got;
  for (index = 10; index <= 12; ++index) {
    BSTR s = nullptr;
    ASSERT_EQ(S_OK, SafeArrayGetElement(strings->m_value.parray, &index, &s));
    got.push_back(Text(s));
    SysFreeString(s);
  }
  EXPECT_EQ((std::vector<std::wstring>{L"one", L"", L"三"}), got);

  ASSERT_EQ(VT_ARRAY | VT_R8, empty->m_value.vt);
  SafeArrayGetUBound(empty->m_value.parray, 1, &ub);
  EXPECT_EQ(-1, ub);
}

TEST_F(Sink, EveryFixedElementTypeMakesAnArrayOfItsOwnSize) {
  const uint16_t types[] = {kVtI1,  kVtUi1,  kVtI2,    kVtUi2, kVtBool,   kVtI4,
                            kVtUi4, kVtR4,   kVtError, kVtInt, kVtUint,   kVtR8,
                            kVtCy,  kVtDate, kVtI8,    kVtUi8, kVtDecimal};
  uint8_t pattern[3 * 16];
  for (size_t i = 0; i < sizeof pattern; ++i) pattern[i] = static_cast<uint8_t>(i * 7 + 1);
  std::vector<TestItem> items;
  std::vector<COpcItem*> recs;
  for (uint16_t vt : types) {
    const uint32_t size = static_cast<uint32_t>(FixedSize(vt));
    recs.push_back(AddRecord());
    items.push_back({recs.back()->m_hClient, 0xC0, kTime, Array(vt, pattern, 3, size, 4)});
  }
  DeliverData(DataStream(1, items));
  for (size_t i = 0; i < std::size(types); ++i) {
    SCOPED_TRACE(types[i]);
    const VARIANT& v = recs[i]->m_value;
    ASSERT_EQ(VT_ARRAY | types[i], v.vt);
    EXPECT_EQ(FixedSize(types[i]), SafeArrayGetElemsize(v.parray));
    LONG lb = 0, ub = 0;
    SafeArrayGetLBound(v.parray, 1, &lb);
    SafeArrayGetUBound(v.parray, 1, &ub);
    EXPECT_EQ(4, lb);
    EXPECT_EQ(6, ub);
    EXPECT_EQ(0, std::memcmp(v.parray->pvData, pattern, 3 * FixedSize(types[i])));
  }
}

TEST_F(Sink, OldValueIsFreedAndReplacedInEveryDirection) {
  COpcItem* rec = AddRecord();
  CountedUnknown held;
  held.AddRef();  // the record's reference
  rec->m_value.vt = VT_UNKNOWN;
  rec->m_value.punkVal = &held;
  const uint32_t h = rec->m_hClient;
  const float f[2] = {1, 2};
  DeliverData(DataStream(1, {{h, 0xC0, 1, ScalarOf<int32_t>(kVtI4, 7)}}));
  EXPECT_EQ(0u, held.refs) << "the old value was released";
  EXPECT_EQ(VT_I4, rec->m_value.vt);
  EXPECT_EQ(7, rec->m_value.lVal);
  DeliverData(DataStream(1, {{h, 0xC0, 2, String(u"x")}}));
  EXPECT_EQ(L"x", Text(rec->m_value.bstrVal));
  DeliverData(DataStream(1, {{h, 0xC0, 3, Array(kVtR4, f, 2, 4)}}));
  EXPECT_EQ(VT_ARRAY | VT_R4, rec->m_value.vt);
  DeliverData(DataStream(1, {{h, 0xC0, 4, StringArray({u"a"})}}));
  EXPECT_EQ(VT_ARRAY | VT_BSTR, rec->m_value.vt);
  DeliverData(DataStream(1, {{h, 0xC0, 5, ScalarOf<int16_t>(kVtI2, -2)}}));
  EXPECT_EQ(VT_I2, rec->m_value.vt);
  EXPECT_EQ(-2, rec->m_value.iVal);
  EXPECT_EQ(5u, TimeOf(rec));
}

TEST_F(Sink, ValueThatDoesNotFitLeavesTheRecordAlone) {
  COpcItem* bad = AddRecord();
  COpcItem* good = AddRecord();
  bad->m_value.vt = VT_I4;
  bad->m_value.lVal = 42;
  bad->m_wQuality = 0x18;
  bad->m_ftTimeStamp = {11, 22};
  const uint64_t before = TimeOf(bad);
  Bytes longString = String(u"abc");
  Put32(longString, 16, 0x7FFFFFFF);
  Bytes twoDims = Array(kVtI4, nullptr, 0, 4, 0, 2);
  Bytes pointer = ScalarOf<int32_t>(0x4003, 0);  // VT_BYREF | VT_I4
  for (const Bytes& value : {longString, twoDims, pointer}) {
    DeliverData(DataStream(3, {{bad->m_hClient, 0x00, kTime, value},
                               {good->m_hClient, 0x40, kTime, ScalarOf<int32_t>(kVtI4, 1)}}));
    EXPECT_EQ(VT_I4, bad->m_value.vt);
    EXPECT_EQ(42, bad->m_value.lVal);
    EXPECT_EQ(0x18, bad->m_wQuality);
    EXPECT_EQ(before, TimeOf(bad));
    EXPECT_EQ(0x40, good->m_wQuality) << "the rest of the stream is still decoded";
    good->m_wQuality = 0;
    EXPECT_EQ(1u, Posted().size());
  }
  // dwValueOffset far past the end.
  Bytes s = DataStream(3, {{bad->m_hClient, 0xC0, kTime, ScalarOf<int32_t>(kVtI4, 9)}});
  Put32(s, 24, 0xFFFFFFF0);
  DeliverData(s);
  EXPECT_EQ(42, bad->m_value.lVal);
  EXPECT_EQ(1u, Posted().size());
}

TEST_F(Sink, StaleAndUnknownHandlesAreSkipped) {
  COpcItem* gone = AddRecord();
  COpcItem* live = AddRecord();
  const uint32_t stale = gone->m_hClient;
  m_table.Remove(stale);
  COpcItem* reused = AddRecord();  // may take the freed slot with a new generation
  DeliverData(DataStream(1, {{stale, 0xC0, kTime, ScalarOf<int32_t>(kVtI4, 1)},
                             {0, 0xC0, kTime, ScalarOf<int32_t>(kVtI4, 2)},
                             {0xFFFFFFFF, 0xC0, kTime, ScalarOf<int32_t>(kVtI4, 3)},
                             {live->m_hClient, 0xC0, kTime, ScalarOf<int32_t>(kVtI4, 4)}}));
  EXPECT_EQ(VT_EMPTY, gone->m_value.vt);
  EXPECT_EQ(VT_EMPTY, reused->m_value.vt);
  EXPECT_EQ(0u, TimeOf(gone));
  EXPECT_EQ(4, live->m_value.lVal);
  EXPECT_EQ(1u, Posted().size());
}

TEST_F(Sink, FormatAndMediumDecideWhatHappens) {
  COpcItem* rec = AddRecord();
  // The transaction word of a data stream is where a write-complete stream has hrStatus.
  const Bytes stream =
      DataStream(6, {{rec->m_hClient, 0xC0, kTime, ScalarOf<int32_t>(kVtI4, 5)}}, true, 0x80004005);
  // Only the time-stamped data format is decoded as data; any other format is taken as a
  // write completion.
  for (CLIPFORMAT cf : {Clip().data, Clip().writeComplete, CLIPFORMAT(CF_TEXT)}) {
    Deliver(cf, stream);
    EXPECT_EQ(VT_EMPTY, rec->m_value.vt);
    std::vector<MSG> posted = Posted();
    ASSERT_EQ(1u, posted.size()) << cf;
    EXPECT_EQ(static_cast<UINT>(WM_OPC_WRITEERROR), posted[0].message);
    EXPECT_EQ(0x80004005u, posted[0].wParam);
  }
  // Anything but global memory is ignored.
  for (DWORD tymed : {DWORD(TYMED_ISTREAM), DWORD(TYMED_FILE), DWORD(TYMED_NULL)}) {
    Deliver(Clip().dataTime, stream, tymed);
    EXPECT_EQ(VT_EMPTY, rec->m_value.vt);
    EXPECT_TRUE(Posted().empty());
  }
  GlobalBlock block(stream);
  FORMATETC fe = {Clip().dataTime, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  medium.tymed = TYMED_ISTREAM;  // the format says global memory, the medium does not
  medium.hGlobal = block.Get();
  m_sink->OnDataChange(&fe, &medium);
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = nullptr;
  m_sink->OnDataChange(&fe, &medium);
  m_sink->OnDataChange(nullptr, &medium);
  m_sink->OnDataChange(&fe, nullptr);
  EXPECT_EQ(VT_EMPTY, rec->m_value.vt);
  EXPECT_TRUE(Posted().empty());
  DeliverData(stream);
  EXPECT_EQ(5, rec->m_value.lVal);
  EXPECT_EQ(1u, Posted().size());
}

TEST_F(Sink, NoWindowNoTableShortHeader) {
  COpcItem* rec = AddRecord();
  const Bytes stream = DataStream(8, {{rec->m_hClient, 0xC0, kTime, ScalarOf<int32_t>(kVtI4, 5)}});
  m_sink->SetNotifyWindow(nullptr);
  DeliverData(stream);
  Deliver(Clip().writeComplete, WriteStream(8, 0x80004005, {}));
  EXPECT_EQ(VT_EMPTY, rec->m_value.vt) << "ignored before it has a window";
  m_sink->SetNotifyWindow(m_wnd);
  EXPECT_TRUE(Posted().empty());

  m_sink->SetItemTable(nullptr);
  DeliverData(stream);
  EXPECT_EQ(VT_EMPTY, rec->m_value.vt) << "nothing to resolve handles with";
  std::vector<MSG> posted = Posted();
  ASSERT_EQ(1u, posted.size()) << "but the group is still told";
  EXPECT_EQ(8, posted[0].lParam);
  m_sink->SetItemTable(&m_table);

  DeliverData(DataStream(9, {}));
  posted = Posted();
  ASSERT_EQ(1u, posted.size()) << "an empty stream still posts";
  EXPECT_EQ(static_cast<UINT>(WM_OPC_DATACHANGE), posted[0].message);
  EXPECT_EQ(9, posted[0].lParam);

  DeliverData(Bytes(stream.begin(), stream.begin() + 19));
  Deliver(Clip().writeComplete, Bytes(15, 0xFF));
  EXPECT_TRUE(Posted().empty()) << "a header that does not fit names no group";
}

TEST_F(Sink, WriteCompletePostsOneMessagePerFailure) {
  // A failed request: exactly one message, whatever the entries say.
  Deliver(Clip().writeComplete,
          WriteStream(1, 0xC0040004, {{1, 0x80004005}, {2, 0x80070057}, {3, 0}}));
  std::vector<MSG> posted = Posted();
  ASSERT_EQ(1u, posted.size());
  EXPECT_EQ(static_cast<UINT>(WM_OPC_WRITEERROR), posted[0].message);
  EXPECT_EQ(0xC0040004u, posted[0].wParam);
  EXPECT_EQ(0, posted[0].lParam);

  Deliver(Clip().writeComplete,
          WriteStream(1, S_FALSE, {{1, 0x80004005}, {2, 0}, {3, 0x0004000E}, {4, 0xC0040007}}));
  posted = Posted();
  ASSERT_EQ(2u, posted.size()) << "success codes, warnings included, post nothing";
  EXPECT_EQ(0x80004005u, posted[0].wParam);
  EXPECT_EQ(0xC0040007u, posted[1].wParam);
  // Each names its item by its client handle.
  EXPECT_EQ(1, posted[0].lParam);
  EXPECT_EQ(4, posted[1].lParam);

  Deliver(Clip().writeComplete, WriteStream(1, S_OK, {{1, 0}, {2, 0}}));
  EXPECT_TRUE(Posted().empty());

  // A count larger than the block: only the entries inside it.
  Bytes b = WriteStream(1, S_OK, {{1, 0x80004005}, {2, 0x80004005}});
  Put32(b, 0, 1000000);
  Deliver(Clip().writeComplete, b);
  EXPECT_EQ(2u, Posted().size());
}

// The DA 2.0 callback fills the same records and posts the same messages as the streams.
TEST_F(Sink, Da2CallbackStoresValuesQualitiesAndTimesAndReportsWriteFailures) {
  COpcItem* number = AddRecord(L"number");
  COpcItem* text = AddRecord(L"text");
  const OPCHANDLE stale = number->m_hClient + (1u << 24);  // another generation
  ASSERT_EQ(nullptr, m_table.Resolve(stale));
  auto* callback = new COpcDataCallback;
  callback->AddRef();
  callback->SetItemTable(&m_table);

  LONG byRef = 77;
  VARIANT values[3];
  values[0].vt = VT_I4 | VT_BYREF;  // resolved into a value the record owns
  values[0].plVal = &byRef;
  values[1].vt = VT_BSTR;
  values[1].bstrVal = SysAllocString(L"温度");
  values[2].vt = VT_R8;
  values[2].dblVal = 1.5;
  OPCHANDLE handles[3] = {number->m_hClient, text->m_hClient, stale};
  WORD qualities[3] = {0x54, 0x18, 0xC0};
  FILETIME times[3] = {{0x5678, 0x01DA1234}, {0x9ABC, 0x01DA1234}, {1, 1}};
  HRESULT errors[3] = {S_OK, S_OK, S_OK};

  // Without a window nothing is taken.
  callback->OnDataChange(0, 7, S_FALSE, S_OK, 3, handles, values, qualities, times, errors);
  EXPECT_EQ(VT_EMPTY, number->m_value.vt);
  callback->SetNotifyWindow(m_wnd);
  EXPECT_TRUE(Posted().empty());

  callback->OnDataChange(0, 7, S_FALSE, S_OK, 3, handles, values, qualities, times, errors);
  byRef = 78;
  SysFreeString(values[1].bstrVal);
  ASSERT_EQ(VT_I4, number->m_value.vt);
  EXPECT_EQ(77, number->m_value.lVal);
  EXPECT_EQ(0x54, number->m_wQuality);
  EXPECT_EQ(0x01DA123400005678ull, TimeOf(number));
  ASSERT_EQ(VT_BSTR, text->m_value.vt);
  EXPECT_EQ(L"温度", Text(text->m_value.bstrVal));
  EXPECT_EQ(0x18, text->m_wQuality);
  std::vector<MSG> posted = Posted();
  ASSERT_EQ(1u, posted.size());
  EXPECT_EQ(static_cast<UINT>(WM_OPC_DATACHANGE), posted[0].message);
  EXPECT_EQ(0u, posted[0].wParam);
  EXPECT_EQ(7, posted[0].lParam);

  // A completed read lands the same way; without time stamps the old ones stay.
  values[0].vt = VT_R8;
  values[0].dblVal = 2.5;
  qualities[0] = 0xC0;
  callback->OnReadComplete(5, 8, S_OK, S_OK, 1, handles, values, qualities, nullptr, errors);
  EXPECT_EQ(VT_R8, number->m_value.vt);
  EXPECT_EQ(0xC0, number->m_wQuality);
  EXPECT_EQ(0x01DA123400005678ull, TimeOf(number));
  posted = Posted();
  ASSERT_EQ(1u, posted.size());
  EXPECT_EQ(8, posted[0].lParam);

  // Arrays a server left out: nothing read, nothing posted.
  callback->OnDataChange(0, 7, S_OK, S_OK, 1, handles, values, nullptr, times, errors);
  callback->OnDataChange(0, 7, S_OK, S_OK, 1, nullptr, values, qualities, times, errors);
  EXPECT_EQ(0xC0, number->m_wQuality);
  EXPECT_TRUE(Posted().empty());

  // Write completions: a failed request once, else one message per failed entry.
  const struct {
    HRESULT master;
    std::vector<HRESULT> entries, posted;
  } writes[] = {
      {HRESULT(0xC0040004), {E_FAIL, E_INVALIDARG, S_OK}, {HRESULT(0xC0040004)}},
      {S_FALSE, {E_FAIL, S_OK, 0x0004000E, HRESULT(0xC0040007)}, {E_FAIL, HRESULT(0xC0040007)}},
      {S_OK, {S_OK, S_OK}, {}},
  };
  for (const auto& w : writes) {
    std::vector<HRESULT> entries = w.entries;
    std::vector<OPCHANDLE> clients(entries.size(), number->m_hClient);
    callback->OnWriteComplete(9, 7, w.master, static_cast<DWORD>(entries.size()), clients.data(),
                              entries.data());
    std::vector<HRESULT> got;
    for (const MSG& m : Posted()) {
      EXPECT_EQ(static_cast<UINT>(WM_OPC_WRITEERROR), m.message);
      // A failed entry names its item; a failed request, none.
      EXPECT_EQ(FAILED(w.master) ? 0 : static_cast<LPARAM>(number->m_hClient), m.lParam);
      got.push_back(static_cast<HRESULT>(m.wParam));
    }
    EXPECT_EQ(w.posted, got) << std::hex << w.master;
  }
  EXPECT_EQ(S_OK, callback->OnCancelComplete(9, 7));
  EXPECT_TRUE(Posted().empty());
  EXPECT_EQ(0u, callback->Release());
}

TEST(SinkReferences, CountingAndInterfaces) {
  COpcDataSink* sink = new COpcDataSink;
  EXPECT_EQ(1u, sink->AddRef());
  IUnknown* unk = nullptr;
  ASSERT_EQ(S_OK, sink->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)));
  EXPECT_EQ(static_cast<IUnknown*>(sink), unk);
  IAdviseSink* advise = nullptr;
  ASSERT_EQ(S_OK, sink->QueryInterface(IID_IAdviseSink, reinterpret_cast<void**>(&advise)));
  EXPECT_EQ(static_cast<IAdviseSink*>(sink), advise);
  IDataObject* other = reinterpret_cast<IDataObject*>(1);
  EXPECT_EQ(E_NOINTERFACE, sink->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&other)));
  EXPECT_EQ(nullptr, other);
  EXPECT_EQ(E_POINTER, sink->QueryInterface(IID_IUnknown, nullptr));
  EXPECT_EQ(2u, unk->Release());
  EXPECT_EQ(1u, advise->Release());
  EXPECT_EQ(0u, sink->Release());
}
