// The OPC Common side of the server object: locale, error texts, client name, and the
// connection point for the shutdown notice.
#include "EnumUnknown.h"
#include "ErrorText.h"
#include "SimGroup.h"
#include "SimServer.h"

#include <olectl.h>

#include <new>

namespace plover::sim {

namespace {

// Error texts exist in English only: no locale of another language is offered.
const LCID kLocales[] = {LOCALE_SYSTEM_DEFAULT, LOCALE_USER_DEFAULT, 0x0409};

}  // namespace

HRESULT STDMETHODCALLTYPE SimServer::SetLocaleID(LCID dwLcid) {
  if (HRESULT hr = Injected(L"IOPCCommon::SetLocaleID"); hr != S_OK) return hr;
  if (!AnswersInLocale(dwLcid)) return E_INVALIDARG;
  m_lcid = dwLcid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::GetLocaleID(LCID* pdwLcid) {
  if (HRESULT hr = Injected(L"IOPCCommon::GetLocaleID"); hr != S_OK) return hr;
  if (!pdwLcid) return E_INVALIDARG;
  *pdwLcid = m_lcid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) {
  if (pdwLcid) *pdwLcid = nullptr;
  if (pdwCount) *pdwCount = 0;
  if (HRESULT hr = Injected(L"IOPCCommon::QueryAvailableLocaleIDs"); hr != S_OK) return hr;
  if (!pdwCount || !pdwLcid) return E_INVALIDARG;
  const DWORD n = sizeof(kLocales) / sizeof(kLocales[0]);
  LCID* list = CoTaskArray<LCID>(n);
  if (!list) return E_OUTOFMEMORY;
  for (DWORD i = 0; i < n; ++i) list[i] = kLocales[i];
  *pdwCount = n;
  *pdwLcid = list;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::GetErrorString(HRESULT dwError, LPWSTR* ppString) {
  if (ppString) *ppString = nullptr;
  if (HRESULT hr = Injected(L"IOPCCommon::GetErrorString"); hr != S_OK) return hr;
  if (!ppString) return E_INVALIDARG;
  std::wstring text;
  if (!LookupErrorText(dwError, &text)) return E_INVALIDARG;
  *ppString = CoTaskString(text);
  return *ppString ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE SimServer::SetClientName(LPCWSTR szName) {
  if (HRESULT hr = Injected(L"IOPCCommon::SetClientName"); hr != S_OK) return hr;
  if (!szName) return E_INVALIDARG;
  m_clientName = szName;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  if (HRESULT hr = Injected(L"IConnectionPointContainer::EnumConnectionPoints"); hr != S_OK)
    return hr;
  auto* e = new (std::nothrow) plover::sim::EnumConnectionPoints(
      IID_IEnumConnectionPoints, {ComPtr<IConnectionPoint>(&m_shutdownPoint)});
  if (!e) return E_OUTOFMEMORY;
  *ppEnum = e;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  if (HRESULT hr = Injected(L"IConnectionPointContainer::FindConnectionPoint"); hr != S_OK)
    return hr;
  if (riid != m_shutdownPoint.Iid()) return CONNECT_E_NOCONNECTION;
  *ppCP = &m_shutdownPoint;
  m_shutdownPoint.AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::SetNoDa1Async(BOOL noDa1Async) {
  m_shared->noDa1Async = noDa1Async != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::SendShutdown(LPCWSTR reason) {
  IOPCShutdown* sink = m_shutdownPoint.Sink<IOPCShutdown>();
  if (!sink) return S_FALSE;
  KeepAlive<SimServer> self(this);
  ComPtr<IOPCShutdown> keep(sink);  // the client may unadvise inside the call
  // The standard passes an empty string, never null, when there is no reason.
  keep->ShutdownRequest(reason ? reason : L"");
  return S_OK;
}

}  // namespace plover::sim
