#pragma once

#include "AddressSpace.h"
#include "ComObject.h"
#include "SimShared.h"

#include <memory>

namespace plover::sim {

class ClassFactory final : public ComRoot, public IClassFactory {
 public:
  // share: every object it creates serves the one address space, clock and hooks (the
  // executable's shared variants); otherwise each object has its own.
  explicit ClassFactory(SimVariant variant, bool share = false);
  ~ClassFactory() override;

  PLOVER_COM_IUNKNOWN

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

  // Called after every server object a factory creates (the executable's private variant
  // serves one client per process and stops taking new ones here).
  static void SetCreatedHook(void (*hook)());
  // Factories alive: COM holds the registered ones, which keep no server process up.
  static long LiveFactories();

 private:
  void* Query(REFIID riid) override;

  SimVariant m_variant;
  bool m_share;
  std::shared_ptr<SimShared> m_shared;  // made by the first object, kept while registered
};

}  // namespace plover::sim
