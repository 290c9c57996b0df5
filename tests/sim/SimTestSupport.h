// Client-side helpers for the simulation server suites: smart pointer, a recording
// advise sink and a fixture that connects by ProgID.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "ComPtr.h"
#include "ServerProcess.h"
#include "SimControl.h"
#include "StreamDecode.h"
#include "opcda.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

template <class I>
TComPtr<I> Query(IUnknown* from) {
  TComPtr<I> p;
  if (from) from->QueryInterface(__uuidof(I), p.PutVoid());
  return p;
}

struct Formats {
  CLIPFORMAT data, dataTime, writeComplete;
};
const Formats& StreamFormats();

class RecordingSink : public IAdviseSink {
 public:
  struct Received {
    CLIPFORMAT format;
    DWORD tymed;
    std::vector<uint8_t> bytes;
    bool duringCall;  // arrived while the test was inside a server call
  };

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_ref; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_ref; }  // lives on the test's stack
  void STDMETHODCALLTYPE OnDataChange(FORMATETC* fe, STGMEDIUM* medium) override;
  void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {}
  void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
  void STDMETHODCALLTYPE OnSave() override {}
  void STDMETHODCALLTYPE OnClose() override {}

  ~RecordingSink() { EXPECT_EQ(0u, m_ref) << "a server still holds this sink"; }
  ULONG Refs() const { return m_ref; }
  std::vector<Received> received;
  bool inCall = false;           // set by the test around a server call
  std::function<void()> onData;  // run after each stream is recorded

  // Decodes received[i] as a data stream in its own format.
  DecodedData Data(size_t i) const;
  DecodedWrite WriteComplete(size_t i) const;

 private:
  // Bytes of stream i cut to the length its header gives (GlobalSize may round up); none,
  // with a test failure, when fewer streams arrived.
  bool StreamBytes(size_t i, size_t (*length)(const std::vector<uint8_t>&),
                   std::vector<uint8_t>* bytes) const;

  ULONG m_ref = 0;
};

// A client's IOPCDataCallback and IOPCShutdown object that records every call, copying
// what it keeps (the arrays are the server's).
class RecordingCallback : public IOPCDataCallback, public IOPCShutdown {
 public:
  enum Kind { kData, kRead, kWrite, kCancel };
  struct Call {
    Kind kind;
    DWORD transid;
    OPCHANDLE group;
    HRESULT master;  // master quality (data, read) or master error (write)
    HRESULT masterError;
    std::vector<OPCHANDLE> handles;
    std::vector<double> numbers;        // each value as VT_R8 where it converts, else NaN
    std::vector<std::wstring> strings;  // each VT_BSTR value, else empty
    std::vector<WORD> qualities;
    std::vector<HRESULT> errors;
    bool timeStamped;  // every time stamp was set
    std::vector<FILETIME> times;
  };

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_ref; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_ref; }  // lives on the test's stack
  HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                         VARIANT*, WORD*, FILETIME*, HRESULT*) override;
  HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                           VARIANT*, WORD*, FILETIME*, HRESULT*) override;
  HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*,
                                            HRESULT*) override;
  HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override;
  HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR reason) override;

  ~RecordingCallback() { EXPECT_EQ(0u, m_ref) << "a server still holds this callback"; }
  ULONG Refs() const { return m_ref; }
  IUnknown* Unknown() { return static_cast<IOPCDataCallback*>(this); }
  std::vector<Call> calls;
  std::vector<std::wstring> reasons;

 private:
  HRESULT Values(Kind kind, DWORD transid, OPCHANDLE group, HRESULT mq, HRESULT me, DWORD count,
                 OPCHANDLE* handles, VARIANT* values, WORD* qualities, FILETIME* times,
                 HRESULT* errors);
  ULONG m_ref = 0;
};

class SimFixture : public testing::Test {
 protected:
  void SetUp() override { Connect(PLOVER_SIM_PROGID); }
  void TearDown() override;
  void Connect(const wchar_t* progId, bool deterministic = true);

  TComPtr<IOPCItemMgt> AddGroup(const wchar_t* name, DWORD rate = 1000, OPCHANDLE hClient = 1,
                                float deadband = 0, BOOL active = TRUE,
                                OPCHANDLE* hServer = nullptr, DWORD* revisedRate = nullptr);
  // Adds one active item; returns the item's own HRESULT (or the call's failure).
  HRESULT AddItem(IUnknown* group, const wchar_t* id, VARTYPE requested, OPCHANDLE hClient,
                  OPCHANDLE* hServer = nullptr, OPCITEMRESULT* result = nullptr);
  DWORD Advise(IUnknown* group, CLIPFORMAT format, RecordingSink* sink, DWORD advf = 0);
  // One synchronous read; returns the item's HRESULT, value and quality.
  HRESULT ReadOne(IUnknown* group, OPCDATASOURCE source, OPCHANDLE h, VARIANT* value,
                  WORD* quality = nullptr, FILETIME* time = nullptr);
  HRESULT WriteOne(IUnknown* group, OPCHANDLE h, const VARIANT& value);
  PloverSimLiveCounts Counts();
  // A sink that outlives the server objects (released in TearDown).
  RecordingSink& Sink() { return m_sinks.emplace_back(); }
  RecordingCallback& Callback() { return m_callbacks.emplace_back(); }

  std::deque<RecordingSink> m_sinks;  // declared first: destroyed after the pointers below
  std::deque<RecordingCallback> m_callbacks;
  TComPtr<IOPCServer> server;
  TComPtr<IPloverSimControl> control;
  // The executable server's process, which must end once the test lets go of it.
  ServerProcessWatch m_serverProcess;
};

// Every string of an enumerator (in order), freeing them.
std::vector<std::wstring> Drain(IEnumString* e);
bool Contains(const std::vector<std::wstring>& list, const std::wstring& s);
VARIANT MakeVariant(double v);
VARIANT MakeVariant(const wchar_t* s);
// Processes posted messages of this thread (timers, deferred callbacks) for a while.
void PumpFor(DWORD ms);
