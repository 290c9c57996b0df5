#pragma once

#include "AddressSpace.h"
#include "ComObject.h"

namespace plover::sim {

class ClassFactory final : public ComRoot, public IClassFactory {
 public:
  explicit ClassFactory(SimVariant variant) : ComRoot(LiveKind::Other), m_variant(variant) {}

  PLOVER_COM_IUNKNOWN

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

  // Called after every server object a factory creates (the executable host serves one
  // client per process and stops taking new ones here).
  static void SetCreatedHook(void (*hook)());

 private:
  void* Query(REFIID riid) override;

  SimVariant m_variant;
};

}  // namespace plover::sim
