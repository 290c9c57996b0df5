#include "OpcCallGuard.h"

HRESULT COpcCallGuard::Install() {
  // One filter per thread; it holds no state, so one object serves every thread.
  static COpcCallGuard guard;
  static thread_local bool installed = false;
  if (installed) return S_OK;
  IMessageFilter* previous = nullptr;
  HRESULT hr = ::CoRegisterMessageFilter(&guard, &previous);
  if (FAILED(hr)) return S_FALSE;
  // A filter the host installed before stays out of use; ours only decides about time.
  if (previous) previous->Release();
  installed = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COpcCallGuard::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IMessageFilter) return E_NOINTERFACE;
  *ppv = static_cast<IMessageFilter*>(this);
  return S_OK;
}

DWORD COpcCallGuard::SetCallLimit(DWORD ms) {
  DWORD old = s_limitMs;
  s_limitMs = ms;
  return old;
}
