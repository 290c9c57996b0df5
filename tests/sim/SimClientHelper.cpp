// A second client process for the shared-server tests: connects to the executable server,
// looks for a group of the given name, adds one of its own, writes a value, and prints what
// it saw on one line. With "hold" it then keeps an active group with a callback and waits
// to be killed, as a client that vanishes.
//   sim_client_helper.exe PROGID ITEM VALUE GROUP [hold]
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>

#include <cstdio>
#include <cwchar>

#include "SimProcess.h"
#include "opcda.h"

namespace {

class Callback : public IOPCDataCallback {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = riid == IID_IUnknown || riid == IID_IOPCDataCallback ? this : nullptr;
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                         VARIANT*, WORD*, FILETIME*, HRESULT*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                           VARIANT*, WORD*, FILETIME*, HRESULT*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*,
                                            HRESULT*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
};

Callback g_callback;

// Adds the group and one item; returns the call's result.
HRESULT AddGroupWithItem(IOPCServer* server, const wchar_t* name, const wchar_t* item,
                         IUnknown** group, OPCHANDLE* hItem) {
  OPCHANDLE hGroup = 0;
  DWORD revised = 0;
  HRESULT hr = server->AddGroup(name, TRUE, 50, 1, nullptr, nullptr, 0x409, &hGroup, &revised,
                                IID_IOPCItemMgt, group);
  if (FAILED(hr)) return hr;
  IOPCItemMgt* items = nullptr;
  (*group)->QueryInterface(IID_IOPCItemMgt, reinterpret_cast<void**>(&items));
  OPCITEMDEF def{};
  def.szItemID = const_cast<LPWSTR>(item);
  def.bActive = TRUE;
  def.hClient = 7;
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  hr = items->AddItems(1, &def, &results, &errors);
  if (SUCCEEDED(hr)) {
    hr = errors[0];
    *hItem = results[0].hServer;
  }
  CoTaskMemFree(results);
  CoTaskMemFree(errors);
  items->Release();
  return hr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  const bool hold = argc > 5 && !wcscmp(argv[5], L"hold");
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                       RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
  CLSID clsid;
  IOPCServer* server = nullptr;
  if (FAILED(CLSIDFromProgID(argv[1], &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                              reinterpret_cast<void**>(&server))))
    return 4;
  DWORD pid = 0;
  IPloverSimProcess* process = nullptr;
  if (SUCCEEDED(
          server->QueryInterface(IID_IPloverSimProcess, reinterpret_cast<void**>(&process)))) {
    process->GetServerProcessId(&pid);
    process->Release();
  }
  IUnknown* found = nullptr;
  const HRESULT seen = server->GetGroupByName(argv[4], IID_IUnknown, &found);
  if (found) found->Release();
  IUnknown* group = nullptr;
  OPCHANDLE hItem = 0;
  const HRESULT added = AddGroupWithItem(server, argv[4], argv[2], &group, &hItem);
  HRESULT wrote = E_FAIL;
  IOPCSyncIO* io = nullptr;
  if (group && SUCCEEDED(group->QueryInterface(IID_IOPCSyncIO, reinterpret_cast<void**>(&io)))) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = _wtol(argv[3]);
    HRESULT* errors = nullptr;
    wrote = io->Write(1, &hItem, &v, &errors);
    if (SUCCEEDED(wrote)) wrote = errors[0];
    CoTaskMemFree(errors);
    io->Release();
  }
  DWORD groups = 0;
  OPCSERVERSTATUS* status = nullptr;
  if (SUCCEEDED(server->GetStatus(&status))) {
    groups = status->dwGroupCount;
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
  }
  DWORD cookie = 0;
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  if (hold && group &&
      SUCCEEDED(group->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(&container))) &&
      SUCCEEDED(container->FindConnectionPoint(IID_IOPCDataCallback, &point)))
    point->Advise(&g_callback, &cookie);
  std::printf("pid=%lu seen=%08lx added=%08lx wrote=%08lx groups=%lu advised=%d\n",
              static_cast<unsigned long>(pid), static_cast<unsigned long>(seen),
              static_cast<unsigned long>(added), static_cast<unsigned long>(wrote),
              static_cast<unsigned long>(groups), cookie != 0);
  std::fflush(stdout);
  if (hold) {
    // Served until killed: callbacks arrive through this loop.
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  }
  if (point) point->Release();
  if (container) container->Release();
  if (group) group->Release();
  server->Release();
  CoUninitialize();
  return 0;
}
