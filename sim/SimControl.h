// Private test hooks of the Plover simulation server. Reached by QueryInterface on the
// server object; ordinary OPC clients never ask for it. Each server object has its own
// hooks and its own simulated clock.
#pragma once

#include <windows.h>
#include <objbase.h>

// The four registered variants of the simulation server.
#define PLOVER_SIM_PROGID L"Plover.SimServer.1"
#define PLOVER_SIM_FLAT_PROGID L"Plover.SimServer.Flat.1"
#define PLOVER_SIM_NOBROWSE_PROGID L"Plover.SimServer.NoBrowse.1"
#define PLOVER_SIM_LARGE_PROGID L"Plover.SimServer.Large.1"

// {0FBAF7E9-6C85-4D16-8BD4-77D51BA9EEAD}
inline constexpr CLSID CLSID_PloverSimServer = {
    0x0fbaf7e9, 0x6c85, 0x4d16, {0x8b, 0xd4, 0x77, 0xd5, 0x1b, 0xa9, 0xee, 0xad}};
// {F433E789-859A-4CC6-83E2-C9CA4B96ECF5}
inline constexpr CLSID CLSID_PloverSimServerFlat = {
    0xf433e789, 0x859a, 0x4cc6, {0x83, 0xe2, 0xc9, 0xca, 0x4b, 0x96, 0xec, 0xf5}};
// {55048F5E-CFF5-4A69-A236-B6C92FB72E31}
inline constexpr CLSID CLSID_PloverSimServerNoBrowse = {
    0x55048f5e, 0xcff5, 0x4a69, {0xa2, 0x36, 0xb6, 0xc9, 0x2f, 0xb7, 0x2e, 0x31}};
// {0E611DF6-B3C5-412A-9DFC-814D5E2E1C84}
inline constexpr CLSID CLSID_PloverSimServerLarge = {
    0x0e611df6, 0xb3c5, 0x412a, {0x9d, 0xfc, 0x81, 0x4d, 0x5e, 0x2e, 0x1c, 0x84}};
// {A9F26A8C-6E07-42A9-AE80-0A6E04C613BB}
inline constexpr IID IID_IPloverSimControl = {
    0xa9f26a8c, 0x6e07, 0x42a9, {0xae, 0x80, 0x0a, 0x6e, 0x04, 0xc6, 0x13, 0xbb}};

// Live objects of the whole process (all server objects of the DLL together).
struct PloverSimLiveCounts {
  LONG servers;
  LONG groups;
  LONG enumerators;  // IEnumString, IEnumUnknown, IEnumOPCItemAttributes
  LONG connections;  // IDataObject advise connections and connection-point advises
  LONG others;       // class factories and anything else
};

struct IPloverSimControl : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLiveCounts(PloverSimLiveCounts* counts) = 0;
  // Makes "Interface::Method" (e.g. L"IOPCServer::AddGroup", L"IOPCSyncIO::Read",
  // L"IDataObject::DAdvise", L"IConnectionPoint::Advise") return hr without doing
  // anything, once or until cleared. hr S_OK clears that method. L"*" names every method
  // that has no failure of its own: with RPC_E_DISCONNECTED and the like the server plays
  // one whose process has gone.
  virtual HRESULT STDMETHODCALLTYPE FailMethod(LPCWSTR method, HRESULT hr, BOOL always) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearFailures() = 0;
  // AddItems, ValidateItems and SetDatatypes refuse this requested type for this item
  // with OPC_E_BADTYPE. An item ID of "*" applies to every item.
  virtual HRESULT STDMETHODCALLTYPE RefuseType(LPCWSTR itemId, VARTYPE requested) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearRefusals() = 0;
  // While set, groups do not hand out IDataObject.
  virtual HRESULT STDMETHODCALLTYPE SetNoDataObject(BOOL noDataObject) = 0;
  // Sends the bytes as they are, at once, to the group's advise sinks registered for the
  // clipboard format (0: every data sink of the group, whatever its format).
  virtual HRESULT STDMETHODCALLTYPE PushStream(DWORD hServerGroup, DWORD clipFormat,
                                               const BYTE* data, DWORD size) = 0;
  // Deterministic mode: the simulated clock stops and update timers do nothing; time
  // moves only through AdvanceTime, which runs every update the interval holds. A server in
  // a process of its own then sends asynchronous results only through Flush.
  virtual HRESULT STDMETHODCALLTYPE SetDeterministic(BOOL deterministic) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdvanceTime(DWORD milliseconds) = 0;
  // Delivers every pending asynchronous result now. In deterministic mode every callback
  // asked for before has reached the client when it returns (IAdviseSink calls are one-way:
  // their streams may come later).
  virtual HRESULT STDMETHODCALLTYPE Flush() = 0;
  // Simulated milliseconds since the server object was created.
  virtual HRESULT STDMETHODCALLTYPE GetSimTime(ULONGLONG* milliseconds) = 0;
  // While set, groups hand out neither IDataObject nor IOPCAsyncIO: a DA 2.0-only server.
  virtual HRESULT STDMETHODCALLTYPE SetNoDa1Async(BOOL noDa1Async) = 0;
  // Calls IOPCShutdown::ShutdownRequest on the advised client at once (null: an empty
  // reason). S_FALSE when no client is advised.
  virtual HRESULT STDMETHODCALLTYPE SendShutdown(LPCWSTR reason) = 0;
  // The form of the data streams sent from now on: the value layout of 4- or 8-byte
  // pointers (0: this build's own, the default) and, with packed, values back to back at
  // any offset and BSTR arrays without element slots or padding, as some independent
  // servers write them.
  virtual HRESULT STDMETHODCALLTYPE SetStreamForm(DWORD pointerBytes, BOOL packed) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IPloverSimControl, 0xa9f26a8c, 0x6e07, 0x42a9, 0xae, 0x80, 0x0a, 0x6e, 0x04, 0xc6,
                0x13, 0xbb)
#endif
