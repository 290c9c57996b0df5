// Registration of the proxy/stub DLL the way installers of OPC components do it, with one
// difference: an interface that already has another proxy/stub (a vendor's, the OPC
// Foundation's) keeps it. Replacing it would change marshalling for every other program.
// rpcproxy.h describes the proxy tables in C terms only.
#define CINTERFACE
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <rpcproxy.h>

#include <cstdio>
#include <string>

#include "ClassesRootKeys.h"

extern "C" void RPC_ENTRY GetProxyDllInfo(const ProxyFileInfo*** info, const CLSID** clsid);

namespace {

HINSTANCE g_instance;

std::wstring ReadDefault(const std::wstring& path) {
  wchar_t value[64] = {};
  DWORD size = sizeof(value);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                   &size) != ERROR_SUCCESS)
    return {};
  return value;
}

// regsvr32 shows no text of a DLL's own; the debugger channel and a console, where there is
// one, do.
void Say(const std::wstring& text) {
  OutputDebugStringW((text + L"\n").c_str());
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err && err != INVALID_HANDLE_VALUE) {
    std::string narrow(text.begin(), text.end());
    narrow += "\n";
    DWORD written = 0;
    WriteFile(err, narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr);
  }
}

template <class F>
void ForEachInterface(F f) {
  const ProxyFileInfo** files = nullptr;
  const CLSID* clsid = nullptr;
  GetProxyDllInfo(&files, &clsid);
  for (; *files; ++files)
    for (unsigned short i = 0; i < (*files)->TableSize; ++i)
      f(*(*files)->pStubVtblList[i]->header.piid, (*files)->pNamesArray[i],
        (*files)->pStubVtblList[i]->header.DispatchTableCount);
}

const CLSID& OurClsid() {
  const ProxyFileInfo** files = nullptr;
  const CLSID* clsid = nullptr;
  GetProxyDllInfo(&files, &clsid);
  return *clsid;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_instance = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(g_instance, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return SELFREG_E_CLASS;
  const std::wstring ours = GuidText(OurClsid());
  LONG rc = ERROR_SUCCESS;
  auto keep = [&rc](LONG r) {
    if (r != ERROR_SUCCESS) rc = r;
  };
  std::wstring cls = L"CLSID\\" + ours;
  keep(SetClassesRootValue(cls, nullptr, L"Plover OPC DA proxy/stub"));
  keep(SetClassesRootValue(cls + L"\\InprocServer32", nullptr, path));
  keep(SetClassesRootValue(cls + L"\\InprocServer32", L"ThreadingModel", L"Both"));
  ForEachInterface([&](const IID& iid, const char* name, unsigned long methods) {
    std::wstring key = L"Interface\\" + GuidText(iid);
    std::wstring wname(name, name + strlen(name));
    std::wstring current = ReadDefault(key + L"\\ProxyStubClsid32");
    if (!current.empty() && lstrcmpiW(current.c_str(), ours.c_str()) != 0) {
      Say(L"PloverPS: " + wname + L" keeps the proxy/stub " + current +
          L" registered before; not replaced.");
      return;
    }
    keep(SetClassesRootValue(key, nullptr, wname));
    keep(SetClassesRootValue(key + L"\\ProxyStubClsid32", nullptr, ours));
    keep(SetClassesRootValue(key + L"\\NumMethods", nullptr, std::to_wstring(methods)));
  });
  return rc == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  const std::wstring ours = GuidText(OurClsid());
  // Only the interfaces that name our proxy/stub: another vendor's stay.
  ForEachInterface([&](const IID& iid, const char*, unsigned long) {
    std::wstring key = L"Interface\\" + GuidText(iid);
    if (lstrcmpiW(ReadDefault(key + L"\\ProxyStubClsid32").c_str(), ours.c_str()) == 0)
      RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  });
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ours).c_str());
  return S_OK;
}
