#include "SimTestSupport.h"

#include <cmath>

const Formats& StreamFormats() {
  static const Formats f = {
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"OPCSTMFORMATDATA")),
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"OPCSTMFORMATDATATIME")),
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"OPCSTMFORMATWRITECOMPLETE")),
  };
  return f;
}

HRESULT STDMETHODCALLTYPE RecordingSink::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IAdviseSink) return E_NOINTERFACE;
  *ppv = static_cast<IAdviseSink*>(this);
  AddRef();
  return S_OK;
}

void STDMETHODCALLTYPE RecordingSink::OnDataChange(FORMATETC* fe, STGMEDIUM* medium) {
  Received r{fe ? fe->cfFormat : CLIPFORMAT(0), medium ? medium->tymed : 0u, {}, inCall};
  if (medium && medium->tymed == TYMED_HGLOBAL && medium->hGlobal) {
    SIZE_T n = GlobalSize(medium->hGlobal);
    if (const auto* p = static_cast<const uint8_t*>(GlobalLock(medium->hGlobal))) {
      r.bytes.assign(p, p + n);
      GlobalUnlock(medium->hGlobal);
    }
  }
  received.push_back(std::move(r));
  if (onData) onData();
}

HRESULT STDMETHODCALLTYPE RecordingCallback::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IOPCDataCallback)
    *ppv = static_cast<IOPCDataCallback*>(this);
  else if (riid == IID_IOPCShutdown)
    *ppv = static_cast<IOPCShutdown*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

HRESULT RecordingCallback::Values(Kind kind, DWORD transid, OPCHANDLE group, HRESULT mq, HRESULT me,
                                  DWORD count, OPCHANDLE* handles, VARIANT* values, WORD* qualities,
                                  FILETIME* times, HRESULT* errors) {
  Call c{kind, transid, group, mq, me, {}, {}, {}, {}, {}, true, {}};
  for (DWORD i = 0; i < count; ++i) {
    c.handles.push_back(handles[i]);
    VARIANT d;
    VariantInit(&d);
    c.numbers.push_back(SUCCEEDED(VariantChangeType(&d, &values[i], 0, VT_R8)) ? d.dblVal
                                                                               : std::nan(""));
    c.strings.push_back(values[i].vt == VT_BSTR && values[i].bstrVal ? values[i].bstrVal : L"");
    c.qualities.push_back(qualities[i]);
    c.errors.push_back(errors[i]);
    c.timeStamped = c.timeStamped && times[i].dwHighDateTime != 0;
    c.times.push_back(times[i]);
  }
  calls.push_back(std::move(c));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingCallback::OnDataChange(DWORD t, OPCHANDLE g, HRESULT mq,
                                                          HRESULT me, DWORD n, OPCHANDLE* h,
                                                          VARIANT* v, WORD* q, FILETIME* f,
                                                          HRESULT* e) {
  return Values(kData, t, g, mq, me, n, h, v, q, f, e);
}

HRESULT STDMETHODCALLTYPE RecordingCallback::OnReadComplete(DWORD t, OPCHANDLE g, HRESULT mq,
                                                            HRESULT me, DWORD n, OPCHANDLE* h,
                                                            VARIANT* v, WORD* q, FILETIME* f,
                                                            HRESULT* e) {
  return Values(kRead, t, g, mq, me, n, h, v, q, f, e);
}

HRESULT STDMETHODCALLTYPE RecordingCallback::OnWriteComplete(DWORD t, OPCHANDLE g, HRESULT me,
                                                             DWORD n, OPCHANDLE* h, HRESULT* e) {
  Call c{kWrite, t, g, me, me, {}, {}, {}, {}, {}, false, {}};
  for (DWORD i = 0; i < n; ++i) {
    c.handles.push_back(h[i]);
    c.errors.push_back(e[i]);
  }
  calls.push_back(std::move(c));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingCallback::OnCancelComplete(DWORD t, OPCHANDLE g) {
  calls.push_back(Call{kCancel, t, g, S_OK, S_OK, {}, {}, {}, {}, {}, false, {}});
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingCallback::ShutdownRequest(LPCWSTR reason) {
  reasons.push_back(reason ? reason : L"<null>");
  return S_OK;
}

bool RecordingSink::StreamBytes(size_t i, size_t (*length)(const std::vector<uint8_t>&),
                                std::vector<uint8_t>* bytes) const {
  if (i >= received.size()) {
    ADD_FAILURE() << "no stream " << i;
    return false;
  }
  *bytes = received[i].bytes;
  if (bytes->size() >= 4) {
    size_t n = length(*bytes);
    if (n <= bytes->size()) bytes->resize(n);
  }
  return true;
}

namespace {
DWORD FirstWord(const std::vector<uint8_t>& b) {
  DWORD w = 0;
  memcpy(&w, b.data(), 4);
  return w;
}
// A data stream's dwSize; a write-complete stream is its header and dwItemCount entries.
size_t DataLength(const std::vector<uint8_t>& b) {
  return FirstWord(b);
}
size_t WriteCompleteLength(const std::vector<uint8_t>& b) {
  return 16 + size_t(FirstWord(b)) * 8;
}
}  // namespace

DecodedData RecordingSink::Data(size_t i) const {
  DecodedData d;
  std::string why;
  std::vector<uint8_t> bytes;
  if (!StreamBytes(i, DataLength, &bytes)) return d;
  EXPECT_TRUE(DecodeData(bytes, received[i].format == StreamFormats().dataTime, &d, &why)) << why;
  return d;
}

DecodedWrite RecordingSink::WriteComplete(size_t i) const {
  DecodedWrite d;
  std::string why;
  std::vector<uint8_t> bytes;
  if (!StreamBytes(i, WriteCompleteLength, &bytes)) return d;
  EXPECT_TRUE(DecodeWriteComplete(bytes, &d, &why)) << why;
  return d;
}

void SimFixture::Connect(const wchar_t* progId, bool deterministic) {
  control.Release();
  server.Release();
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(progId, &clsid)) << "is PloverSim.dll registered?";
  ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IOPCServer, server.PutVoid()));
  m_serverProcess.Watch(server.Get());
  control = Query<IPloverSimControl>(server.Get());
  ASSERT_TRUE(control);
  if (deterministic) {
    ASSERT_EQ(S_OK, control->SetDeterministic(TRUE));
  }
}

void SimFixture::TearDown() {
  control.Release();
  server.Release();
  m_serverProcess.ExpectEnded();
}

TComPtr<IOPCItemMgt> SimFixture::AddGroup(const wchar_t* name, DWORD rate, OPCHANDLE hClient,
                                          float deadband, BOOL active, OPCHANDLE* hServer,
                                          DWORD* revisedRate) {
  TComPtr<IOPCItemMgt> group;
  OPCHANDLE h = 0;
  DWORD revised = 0;
  HRESULT hr = server->AddGroup(name, active, rate, hClient, nullptr, &deadband, 0x409, &h,
                                &revised, IID_IOPCItemMgt, group.PutUnknown());
  EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
  if (hServer) *hServer = h;
  if (revisedRate) *revisedRate = revised;
  return group;
}

HRESULT SimFixture::AddItem(IUnknown* group, const wchar_t* id, VARTYPE requested,
                            OPCHANDLE hClient, OPCHANDLE* hServer, OPCITEMRESULT* result) {
  TComPtr<IOPCItemMgt> mgt = Query<IOPCItemMgt>(group);
  if (!mgt) return E_NOINTERFACE;
  OPCITEMDEF def{};
  def.szAccessPath = const_cast<LPWSTR>(L"");
  def.szItemID = const_cast<LPWSTR>(id);
  def.bActive = TRUE;
  def.hClient = hClient;
  def.vtRequestedDataType = requested;
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  HRESULT hr = mgt->AddItems(1, &def, &results, &errors);
  if (FAILED(hr)) return hr;
  HRESULT item = errors[0];
  if (hServer) *hServer = results[0].hServer;
  if (result) *result = results[0];
  CoTaskMemFree(results[0].pBlob);
  CoTaskMemFree(results);
  CoTaskMemFree(errors);
  return item;
}

DWORD SimFixture::Advise(IUnknown* group, CLIPFORMAT format, RecordingSink* sink, DWORD advf) {
  TComPtr<IDataObject> data = Query<IDataObject>(group);
  EXPECT_TRUE(data);
  if (!data) return 0;
  FORMATETC fe = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  DWORD connection = 0;
  EXPECT_EQ(S_OK, data->DAdvise(&fe, advf, sink, &connection));
  return connection;
}

HRESULT SimFixture::ReadOne(IUnknown* group, OPCDATASOURCE source, OPCHANDLE h, VARIANT* value,
                            WORD* quality, FILETIME* time) {
  TComPtr<IOPCSyncIO> io = Query<IOPCSyncIO>(group);
  if (!io) return E_NOINTERFACE;
  OPCITEMSTATE* states = nullptr;
  HRESULT* errors = nullptr;
  HRESULT hr = io->Read(source, 1, &h, &states, &errors);
  if (FAILED(hr)) return hr;
  HRESULT item = errors[0];
  VariantInit(value);
  *value = states[0].vDataValue;  // ownership passes to the caller
  if (quality) *quality = states[0].wQuality;
  if (time) *time = states[0].ftTimeStamp;
  CoTaskMemFree(states);
  CoTaskMemFree(errors);
  return item;
}

HRESULT SimFixture::WriteOne(IUnknown* group, OPCHANDLE h, const VARIANT& value) {
  TComPtr<IOPCSyncIO> io = Query<IOPCSyncIO>(group);
  if (!io) return E_NOINTERFACE;
  HRESULT* errors = nullptr;
  VARIANT v = value;
  HRESULT hr = io->Write(1, &h, &v, &errors);
  if (FAILED(hr)) return hr;
  HRESULT item = errors[0];
  CoTaskMemFree(errors);
  return item;
}

PloverSimLiveCounts SimFixture::Counts() {
  PloverSimLiveCounts c{};
  EXPECT_EQ(S_OK, control->GetLiveCounts(&c));
  return c;
}

std::vector<std::wstring> Drain(IEnumString* e) {
  std::vector<std::wstring> out;
  if (!e) return out;
  for (;;) {
    LPOLESTR names[7] = {};
    ULONG got = 0;
    HRESULT hr = e->Next(7, names, &got);
    for (ULONG i = 0; i < got; ++i) {
      out.emplace_back(names[i]);
      CoTaskMemFree(names[i]);
    }
    if (hr != S_OK) break;
  }
  return out;
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& s) {
  for (const auto& x : list)
    if (x == s) return true;
  return false;
}

VARIANT MakeVariant(double v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_R8;
  x.dblVal = v;
  return x;
}

VARIANT MakeVariant(const wchar_t* s) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BSTR;
  x.bstrVal = SysAllocString(s);
  return x;
}

void PumpFor(DWORD ms) {
  ULONGLONG end = GetTickCount64() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (GetTickCount64() < end);
}
