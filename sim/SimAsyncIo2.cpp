// The OPC DA 2.0 side of a group: the IOPCDataCallback connection point and IOPCAsyncIO2.
// Results always arrive later, from the server's hidden window, never inside the call
// that asked for them.
#include "EnumUnknown.h"
#include "SimGroup.h"
#include "SimServer.h"

#include <olectl.h>

#include <cstring>
#include <cwchar>
#include <new>

namespace plover::sim {

namespace {

// Overwrites what a value points to, before it is freed.
void Spoil(VARIANT& v) {
  if (v.vt == VT_BSTR && v.bstrVal) {
    std::wmemset(v.bstrVal, L'#', SysStringLen(v.bstrVal));
    return;
  }
  SAFEARRAY* psa = (v.vt & VT_ARRAY) ? v.parray : nullptr;
  if (!psa || !psa->pvData) return;
  size_t n = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) n *= psa->rgsabound[d].cElements;
  const VARTYPE elem = v.vt & VT_TYPEMASK;
  if (elem == VT_BSTR) {
    BSTR* strings = static_cast<BSTR*>(psa->pvData);
    for (size_t i = 0; i < n; ++i)
      if (strings[i]) std::wmemset(strings[i], L'#', SysStringLen(strings[i]));
  } else if (elem != VT_VARIANT) {
    std::memset(psa->pvData, 0xA5, n * psa->cbElements);
  }
}

bool ValidSource(OPCDATASOURCE source) {
  return source == OPC_DS_CACHE || source == OPC_DS_DEVICE;
}

}  // namespace

CallbackBatch::CallbackBatch(const std::vector<StreamItem>& items) {
  const size_t n = items.size();
  // Never null, even for an empty batch: a proxy refuses null arrays.
  const size_t room = n ? n : 1;
  handles = CoTaskArray<OPCHANDLE>(room);
  values = CoTaskArray<VARIANT>(room);  // zeroed: VT_EMPTY
  qualities = CoTaskArray<WORD>(room);
  times = CoTaskArray<FILETIME>(room);
  errors = CoTaskArray<HRESULT>(room);
  if (!Ok()) return;
  count = static_cast<DWORD>(n);
  for (size_t i = 0; i < n; ++i) {
    const StreamItem& e = items[i];
    handles[i] = e.hClient;
    qualities[i] = e.quality;
    times[i] = e.timeStamp;
    errors[i] = e.error;
    if (e.value && FAILED(CopyVariant(&values[i], e.value))) errors[i] = E_OUTOFMEMORY;
    if ((e.quality & 0xC0) != 0xC0) masterQuality = S_FALSE;
    if (errors[i] != S_OK) masterError = S_FALSE;
  }
}

CallbackBatch::~CallbackBatch() {
  for (DWORD i = 0; i < count; ++i) {
    Spoil(values[i]);
    VariantClear(&values[i]);
  }
  CoTaskMemFree(handles);
  CoTaskMemFree(values);
  CoTaskMemFree(qualities);
  CoTaskMemFree(times);
  CoTaskMemFree(errors);
}

// ---- the connection point -------------------------------------------------------------------

HRESULT SimGroup::PointCheck(const wchar_t* method, bool mustWork) {
  if (!m_server) return mustWork ? E_FAIL : S_OK;
  return m_server->Injected(method);
}

DWORD SimGroup::PointCookie() {
  return m_server ? m_server->NextConnectionId() : 0;
}

void SimGroup::PointAdvised(DWORD cookie) {
  if (!m_server || !m_state.active) return;
  // The first values come later, like any other callback.
  SimServer* server = m_server;
  OPCHANDLE group = m_state.hServer;
  server->Defer(0, [server, group, cookie] {
    if (SimGroup* g = server->GroupByHandle(group)) g->UpdateCycle(true, cookie);
  });
}

HRESULT STDMETHODCALLTYPE SimGroup::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  if (HRESULT hr = CheckAlive(L"IConnectionPointContainer::EnumConnectionPoints"); hr != S_OK)
    return hr;
  auto* e = new (std::nothrow) plover::sim::EnumConnectionPoints(
      IID_IEnumConnectionPoints, {ComPtr<IConnectionPoint>(&m_dataPoint)});
  if (!e) return E_OUTOFMEMORY;
  *ppEnum = e;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  if (HRESULT hr = CheckAlive(L"IConnectionPointContainer::FindConnectionPoint"); hr != S_OK)
    return hr;
  if (riid != m_dataPoint.Iid()) return CONNECT_E_NOCONNECTION;
  *ppCP = &m_dataPoint;
  m_dataPoint.AddRef();
  return S_OK;
}

void SimGroup::CallbackValues(CallbackBatch& b, DWORD transactionId, bool read) {
  const bool subscription = !read && transactionId == 0;
  if (subscription && !m_callbackEnabled) return;
  IOPCDataCallback* raw = m_dataPoint.Sink<IOPCDataCallback>();
  // A transaction is answered even with nothing in it; subscription traffic only with news.
  if (!raw || !b.Ok() || (subscription && b.count == 0)) return;
  ComPtr<IOPCDataCallback> sink(raw);  // the client may unadvise inside the call
  KeepAlive<SimGroup> self(this);
  const OPCHANDLE hGroup = m_state.hClient;
  const HRESULT hr =
      read ? sink->OnReadComplete(transactionId, hGroup, b.masterQuality, b.masterError, b.count,
                                  b.handles, b.values, b.qualities, b.times, b.errors)
           : sink->OnDataChange(transactionId, hGroup, b.masterQuality, b.masterError, b.count,
                                b.handles, b.values, b.qualities, b.times, b.errors);
  RestartKeepAlive();  // anything sent counts as a sign of life
  if (m_server) m_server->CallbackResult(hr);
}

// ---- IOPCAsyncIO2 ---------------------------------------------------------------------------

// Every request booked here ends in exactly one callback: its completion, or OnCancelComplete
// after Cancel2 or when the group is removed first (see Detach).
DWORD SimGroup::Defer2(DWORD transactionId, std::function<void(SimGroup*)> op) {
  DWORD cancelId = m_server->NextTransactionId();
  m_pending2[cancelId] = Pending2{transactionId};
  SimServer* server = m_server;
  OPCHANDLE group = m_state.hServer;
  server->Defer(cancelId, [server, group, cancelId, op = std::move(op)] {
    SimGroup* g = server->GroupByHandle(group);
    if (!g) return;  // removed: Detach has answered for it
    auto it = g->m_pending2.find(cancelId);
    if (it == g->m_pending2.end()) return;
    const Pending2 request = it->second;
    g->m_pending2.erase(it);
    if (request.cancelled)
      g->CompleteCancel2(request.transactionId);
    else
      op(g);
  });
  return cancelId;
}

HRESULT STDMETHODCALLTYPE SimGroup::Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID,
                                         DWORD* pdwCancelID, HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO2::Read"); hr != S_OK) return hr;
  if (!m_dataPoint.Connected()) return CONNECT_E_NOCONNECTION;
  if (dwCount == 0 || !phServer || !pdwCancelID || !ppErrors) return E_INVALIDARG;
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!errors) return E_OUTOFMEMORY;
  std::vector<std::pair<OPCHANDLE, OPCHANDLE>> valid;
  for (OPCHANDLE h : ReadableItems(dwCount, phServer, errors))
    valid.emplace_back(h, FindItem(h)->hClient);
  // Items rejected now are left out of the callback; with none left there is none.
  *pdwCancelID = valid.empty() ? 0 : Defer2(dwTransactionID, [valid, dwTransactionID](SimGroup* g) {
    g->CompleteRead2(valid, {}, dwTransactionID);
  });
  *ppErrors = errors;
  return valid.size() == dwCount ? S_OK : S_FALSE;
}

void SimGroup::CompleteRead2(const std::vector<std::pair<OPCHANDLE, OPCHANDLE>>& handles,
                             const std::vector<DWORD>& maxAges, DWORD transactionId) {
  std::vector<StreamItem> entries;
  for (size_t i = 0; i < handles.size(); ++i) {
    GroupItem* item = FindItem(handles[i].first);
    if (!item) {
      entries.push_back(RemovedEntry(handles[i].second));
      continue;
    }
    // Without an age: from the device, whatever the active states.
    const DWORD maxAge = maxAges.empty() ? 0 : maxAges[i];
    if (NeedsDevice(*item, maxAge)) LoadCache(*item);
    entries.push_back(CacheEntry(*item, maxAge == OPC_MAXAGE_CACHE));
  }
  CallbackBatch batch(entries);
  CallbackValues(batch, transactionId, true);
}

HRESULT STDMETHODCALLTYPE SimGroup::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                          DWORD dwTransactionID, DWORD* pdwCancelID,
                                          HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO2::Write"); hr != S_OK) return hr;
  if (!m_dataPoint.Connected()) return CONNECT_E_NOCONNECTION;
  if (dwCount == 0 || !phServer || !pItemValues || !pdwCancelID || !ppErrors) return E_INVALIDARG;
  return QueueWrite2(dwCount, phServer, pItemValues, nullptr, dwTransactionID, pdwCancelID,
                     ppErrors);
}

HRESULT SimGroup::QueueWrite2(DWORD count, const OPCHANDLE* handles, const VARIANT* values,
                              const OPCITEMVQT* vqts, DWORD transactionId, DWORD* cancelId,
                              HRESULT** ppErrors) {
  auto* errors = CoTaskArray<HRESULT>(count);
  if (!errors) return E_OUTOFMEMORY;
  // Handles are checked now; rights, types and ranges when the write is carried out.
  std::vector<std::pair<OPCHANDLE, Variant>> queued;
  std::vector<OPCITEMVQT> stamps;
  std::vector<OPCHANDLE> clients;
  for (DWORD i = 0; i < count; ++i) {
    Variant v;
    GroupItem* item = FindItem(handles[i]);
    const VARIANT& value = vqts ? vqts[i].vDataValue : values[i];
    if (!item) {
      errors[i] = OPC_E_INVALIDHANDLE;
    } else if (FAILED(CopyVariant(&v.v, &value))) {
      errors[i] = OPC_E_BADTYPE;
    } else {
      queued.emplace_back(handles[i], std::move(v));
      clients.push_back(item->hClient);
      if (vqts) {
        OPCITEMVQT stamp = vqts[i];
        VariantInit(&stamp.vDataValue);  // the value travels in queued
        stamps.push_back(stamp);
      }
    }
  }
  const bool allQueued = queued.size() == count;
  *cancelId = queued.empty() ? 0
                             : Defer2(transactionId,
                                      [queued = std::move(queued), stamps = std::move(stamps),
                                       clients = std::move(clients), transactionId](SimGroup* g) {
                                        g->CompleteWrite2(queued, stamps, clients, transactionId);
                                      });
  *ppErrors = errors;
  return allQueued ? S_OK : S_FALSE;
}

void SimGroup::CompleteWrite2(const std::vector<std::pair<OPCHANDLE, Variant>>& values,
                              const std::vector<OPCITEMVQT>& stamps,
                              const std::vector<OPCHANDLE>& clients, DWORD transactionId) {
  IOPCDataCallback* raw = m_dataPoint.Sink<IOPCDataCallback>();
  const size_t n = values.size();
  auto* handles = CoTaskArray<OPCHANDLE>(n);
  auto* errors = CoTaskArray<HRESULT>(n);
  HRESULT master = S_OK;
  for (size_t i = 0; handles && errors && i < n; ++i) {
    GroupItem* item = FindItem(values[i].first);
    handles[i] = item ? item->hClient : clients[i];  // a removed item under its last handle
    errors[i] = item ? WriteItem(*item, values[i].second.v, stamps.empty() ? nullptr : &stamps[i])
                     : OPC_E_INVALIDHANDLE;
    if (errors[i] != S_OK) master = S_FALSE;
  }
  if (raw && handles && errors) {
    ComPtr<IOPCDataCallback> sink(raw);
    KeepAlive<SimGroup> self(this);
    const HRESULT hr = sink->OnWriteComplete(transactionId, m_state.hClient, master,
                                             static_cast<DWORD>(n), handles, errors);
    RestartKeepAlive();
    if (m_server) m_server->CallbackResult(hr);
  }
  CoTaskMemFree(handles);
  CoTaskMemFree(errors);
}

HRESULT STDMETHODCALLTYPE SimGroup::Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID,
                                             DWORD* pdwCancelID) {
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO2::Refresh2"); hr != S_OK) return hr;
  if (!m_dataPoint.Connected()) return CONNECT_E_NOCONNECTION;
  if (!pdwCancelID || !ValidSource(dwSource)) return E_INVALIDARG;
  bool anyActive = false;
  for (const auto& [h, item] : m_items) anyActive = anyActive || item.active;
  if (!m_state.active || !anyActive) return E_FAIL;  // nothing a refresh could report
  const DWORD maxAge = dwSource == OPC_DS_DEVICE ? 0 : OPC_MAXAGE_CACHE;
  *pdwCancelID = Defer2(dwTransactionID, [maxAge, dwTransactionID](SimGroup* g) {
    g->CompleteRefresh2(maxAge, dwTransactionID);
  });
  return S_OK;
}

void SimGroup::CompleteRefresh2(DWORD maxAge, DWORD transactionId) {
  // The active items of an active group now: with the group or every item made inactive
  // since the request there are none, and the answer is an empty batch under the request's
  // transaction (not a cancel completion: the client cancelled nothing).
  std::vector<StreamItem> entries;
  for (auto& [h, item] : m_items) {
    if (!m_state.active || !item.active || !(m_server->Space().Item(item.index).access & kReadable))
      continue;
    if (NeedsDevice(item, maxAge)) LoadCache(item);
    entries.push_back(CacheEntry(item, false));
  }
  // A refresh answers through OnDataChange with its own transaction, enabled or not.
  CallbackBatch batch(entries);
  CallbackValues(batch, transactionId, false);
}

HRESULT STDMETHODCALLTYPE SimGroup::Cancel2(DWORD dwCancelID) {
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO2::Cancel2"); hr != S_OK) return hr;
  if (!m_dataPoint.Connected()) return CONNECT_E_NOCONNECTION;
  auto it = m_pending2.find(dwCancelID);
  if (it == m_pending2.end() || it->second.cancelled) return E_FAIL;
  // Answered when the request's turn comes, with OnCancelComplete instead of its work.
  it->second.cancelled = true;
  return S_OK;
}

void SimGroup::CompleteCancel2(DWORD transactionId) {
  IOPCDataCallback* raw = m_dataPoint.Sink<IOPCDataCallback>();
  if (!raw) return;
  ComPtr<IOPCDataCallback> sink(raw);
  KeepAlive<SimGroup> self(this);
  sink->OnCancelComplete(transactionId, m_state.hClient);
}

HRESULT STDMETHODCALLTYPE SimGroup::SetEnable(BOOL bEnable) {
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO2::SetEnable"); hr != S_OK) return hr;
  if (!m_dataPoint.Connected()) return CONNECT_E_NOCONNECTION;
  m_callbackEnabled = bEnable != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::GetEnable(BOOL* pbEnable) {
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO2::GetEnable"); hr != S_OK) return hr;
  if (!m_dataPoint.Connected()) return CONNECT_E_NOCONNECTION;
  if (!pbEnable) return E_INVALIDARG;
  *pbEnable = m_callbackEnabled ? TRUE : FALSE;
  return S_OK;
}

}  // namespace plover::sim
