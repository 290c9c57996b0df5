#include "ClassFactory.h"

#include "SimServer.h"

#include <new>

namespace plover::sim {

namespace {
void (*g_createdHook)();
}

void ClassFactory::SetCreatedHook(void (*hook)()) {
  g_createdHook = hook;
}

void* ClassFactory::Query(REFIID riid) {
  if (riid == IID_IUnknown || riid == IID_IClassFactory) return static_cast<IClassFactory*>(this);
  return nullptr;
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                       void** ppvObject) {
  if (!ppvObject) return E_POINTER;
  *ppvObject = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  auto* server = new (std::nothrow) SimServer(m_variant);
  if (!server) return E_OUTOFMEMORY;
  HRESULT hr = server->QueryInterface(riid, ppvObject);
  server->Release();
  if (SUCCEEDED(hr) && g_createdHook) g_createdHook();
  return hr;
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL fLock) {
  if (fLock)
    ModuleLock();
  else
    ModuleUnlock();
  return S_OK;
}

}  // namespace plover::sim
