// IDataObject of a group: only the OPC DA 1.0 advise mechanism is offered.
#include "SimGroup.h"
#include "SimServer.h"

namespace plover::sim {

HRESULT STDMETHODCALLTYPE SimGroup::DAdvise(FORMATETC* pformatetc, DWORD advf,
                                            IAdviseSink* pAdvSink, DWORD* pdwConnection) {
  if (pdwConnection) *pdwConnection = 0;
  if (HRESULT hr = CheckAlive(L"IDataObject::DAdvise"); hr != S_OK) return hr;
  if (!pformatetc || !pAdvSink || !pdwConnection) return E_INVALIDARG;
  CLIPFORMAT cf = pformatetc->cfFormat;
  bool known = IsDataFormat(cf) || cf == Formats().writeComplete;
  if (!known || !(pformatetc->tymed & TYMED_HGLOBAL) || pformatetc->dwAspect != DVASPECT_CONTENT)
    return DV_E_FORMATETC;
  Connection c{m_server->NextConnectionId(), cf, ComPtr<IAdviseSink>(pAdvSink)};
  m_connections.push_back(c);
  LiveCountAdd(LiveKind::Connection);
  *pdwConnection = c.id;
  if ((advf & ADVF_PRIMEFIRST) && IsDataFormat(cf) && m_state.active) {
    // The first stream comes later, like any other callback.
    SimServer* server = m_server;
    OPCHANDLE group = m_state.hServer;
    DWORD id = c.id;
    server->Defer(0, [server, group, id] {
      if (SimGroup* g = server->GroupByHandle(group)) g->UpdateCycle(true, id);
    });
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::DUnadvise(DWORD dwConnection) {
  // Allowed after removal too: a client unadvises whatever it advised.
  if (m_server) {
    if (HRESULT hr = m_server->Injected(L"IDataObject::DUnadvise"); hr != S_OK) return hr;
  }
  for (auto it = m_connections.begin(); it != m_connections.end(); ++it) {
    if (it->id == dwConnection) {
      Connection gone = std::move(*it);
      m_connections.erase(it);
      LiveCountRemove(LiveKind::Connection);
      return S_OK;  // the sink is released as `gone` leaves scope
    }
  }
  return OLE_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE SimGroup::GetData(FORMATETC*, STGMEDIUM* pmedium) {
  if (pmedium) ZeroMemory(pmedium, sizeof(*pmedium));
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimGroup::GetDataHere(FORMATETC*, STGMEDIUM*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimGroup::QueryGetData(FORMATETC*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimGroup::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pformatetcOut) {
  if (pformatetcOut) pformatetcOut->ptd = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimGroup::SetData(FORMATETC*, STGMEDIUM*, BOOL) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimGroup::EnumFormatEtc(DWORD, IEnumFORMATETC** ppenumFormatEtc) {
  if (ppenumFormatEtc) *ppenumFormatEtc = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimGroup::EnumDAdvise(IEnumSTATDATA** ppenumAdvise) {
  if (ppenumAdvise) *ppenumAdvise = nullptr;
  return E_NOTIMPL;
}

}  // namespace plover::sim
