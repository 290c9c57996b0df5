// Entry points of the in-process server.
#include "ClassFactory.h"
#include "HiddenWindow.h"
#include "Registration.h"

#include <new>
#include <olectl.h>

namespace plover::sim {

namespace {
HINSTANCE g_instance;
}

HINSTANCE ModuleInstance() {
  return g_instance;
}

}  // namespace plover::sim

using namespace plover::sim;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_instance = instance;
  } else if (reason == DLL_PROCESS_DETACH && !reserved) {
    // A class left registered would point at code that is no longer mapped.
    HiddenWindow::UnregisterWindowClass();
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  size_t count = 0;
  const VariantInfo* variants = Variants(&count);
  for (size_t i = 0; i < count; ++i) {
    if (*variants[i].clsid != rclsid) continue;
    auto* factory = new (std::nothrow) ClassFactory(variants[i].variant);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return RegisterServers();
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return UnregisterServers();
}
