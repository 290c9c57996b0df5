#include "ClassFactory.h"

#include "SimServer.h"

#include <new>

namespace plover::sim {

namespace {
void (*g_createdHook)();
LONG g_factories;
}  // namespace

ClassFactory::ClassFactory(SimVariant variant, bool share)
    : ComRoot(LiveKind::Other), m_variant(variant), m_share(share) {
  InterlockedIncrement(&g_factories);
}

ClassFactory::~ClassFactory() {
  InterlockedDecrement(&g_factories);
}

long ClassFactory::LiveFactories() {
  return g_factories;
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
  // Built at the first client, not at the start: the large address space takes a while.
  if (m_share && !m_shared) m_shared = MakeShared(m_variant);
  if (m_share && !m_shared) return E_OUTOFMEMORY;
  auto* server =
      new (std::nothrow) SimServer(m_variant, m_share ? m_shared : MakeShared(m_variant));
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
