#include "SimConnectionPoint.h"

#include "ComObject.h"

#include <olectl.h>

namespace plover::sim {

HRESULT STDMETHODCALLTYPE SimConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
  *ppv = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimConnectionPoint::GetConnectionInterface(IID* pIID) {
  if (!pIID) return E_POINTER;
  *pIID = m_iid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
SimConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
  if (!ppCPC) return E_POINTER;
  *ppCPC = m_host->PointContainer();
  (*ppCPC)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (pdwCookie) *pdwCookie = 0;
  if (HRESULT hr = m_host->PointCheck(L"IConnectionPoint::Advise", true); hr != S_OK) return hr;
  if (!pUnkSink || !pdwCookie) return E_POINTER;
  if (m_sink) return CONNECT_E_ADVISELIMIT;
  // The client hands over its IUnknown; the point asks it for the callback interface.
  void* sink = nullptr;
  if (FAILED(pUnkSink->QueryInterface(m_iid, &sink)) || !sink) return CONNECT_E_CANNOTCONNECT;
  m_sink = sink;
  m_cookie = m_host->PointCookie();
  LiveCountAdd(LiveKind::Connection);
  *pdwCookie = m_cookie;
  m_host->PointAdvised(m_cookie);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimConnectionPoint::Unadvise(DWORD dwCookie) {
  // Allowed after the owner stopped working: a client unadvises whatever it advised.
  if (HRESULT hr = m_host->PointCheck(L"IConnectionPoint::Unadvise", false); hr != S_OK) return hr;
  if (!m_sink || dwCookie != m_cookie) return CONNECT_E_NOCONNECTION;
  Drop();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (ppEnum) *ppEnum = nullptr;
  return E_NOTIMPL;
}

void SimConnectionPoint::Drop() {
  if (!m_sink) return;
  auto* sink = static_cast<IUnknown*>(m_sink);
  m_sink = nullptr;
  m_cookie = 0;
  LiveCountRemove(LiveKind::Connection);
  sink->Release();  // last: the client's Release may call back into the owner
}

}  // namespace plover::sim
