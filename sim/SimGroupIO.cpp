// IOPCSyncIO and IOPCAsyncIO of a group. Asynchronous results always arrive later,
// from the server's hidden window, never inside the call that asked for them.
#include "SimGroup.h"
#include "SimServer.h"

#include <olectl.h>

namespace plover::sim {

namespace {

bool ValidSource(OPCDATASOURCE source) {
  return source == OPC_DS_CACHE || source == OPC_DS_DEVICE;
}

}  // namespace

void SimGroup::ReadItem(GroupItem& item, bool device, VARIANT* value, WORD* quality, FILETIME* time,
                        HRESULT* error) {
  if (!(m_server->Space().Item(item.index).access & kReadable)) {
    *error = OPC_E_BADRIGHTS;
    return;
  }
  if (device || !item.cached) LoadCache(item);
  StreamItem e = CacheEntry(item, !device);
  CopyVariant(value, &item.cacheValue.v);
  *quality = e.quality;
  *time = e.timeStamp;
  *error = item.cacheError;
}

HRESULT SimGroup::WriteItem(GroupItem& item, const VARIANT& value, const OPCITEMVQT* vqt) {
  return m_server->WriteItem(item.index, value, vqt);
}

StreamItem SimGroup::RemovedEntry(OPCHANDLE hClient) {
  // Still answered, as a read of the handle now would be: bad, no value.
  StreamItem gone;
  gone.hClient = hClient;
  gone.quality = 0x00;
  gone.error = OPC_E_INVALIDHANDLE;
  return gone;
}

std::vector<OPCHANDLE> SimGroup::ReadableItems(DWORD count, const OPCHANDLE* handles,
                                               HRESULT* errors) {
  std::vector<OPCHANDLE> valid;
  for (DWORD i = 0; i < count; ++i) {
    GroupItem* item = FindItem(handles[i]);
    if (!item)
      errors[i] = OPC_E_INVALIDHANDLE;
    else if (!(m_server->Space().Item(item->index).access & kReadable))
      errors[i] = OPC_E_BADRIGHTS;
    else
      valid.push_back(handles[i]);
  }
  return valid;
}

HRESULT STDMETHODCALLTYPE SimGroup::Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                                         OPCITEMSTATE** ppItemValues, HRESULT** ppErrors) {
  if (ppItemValues) *ppItemValues = nullptr;
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCSyncIO::Read"); hr != S_OK) return hr;
  if (dwCount == 0 || !phServer || !ppItemValues || !ppErrors || !ValidSource(dwSource))
    return E_INVALIDARG;
  auto* states = CoTaskArray<OPCITEMSTATE>(dwCount);
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!states || !errors) {
    CoTaskMemFree(states);
    CoTaskMemFree(errors);
    return E_OUTOFMEMORY;
  }
  bool anyFailed = false;
  for (DWORD i = 0; i < dwCount; ++i) {
    VariantInit(&states[i].vDataValue);
    GroupItem* item = FindItem(phServer[i]);
    if (!item) {
      errors[i] = OPC_E_INVALIDHANDLE;
    } else {
      states[i].hClient = item->hClient;
      ReadItem(*item, dwSource == OPC_DS_DEVICE, &states[i].vDataValue, &states[i].wQuality,
               &states[i].ftTimeStamp, &errors[i]);
    }
    anyFailed = anyFailed || FAILED(errors[i]);
  }
  *ppItemValues = states;
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                          HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCSyncIO::Write"); hr != S_OK) return hr;
  if (dwCount == 0 || !phServer || !pItemValues || !ppErrors) return E_INVALIDARG;
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!errors) return E_OUTOFMEMORY;
  bool anyFailed = false;
  for (DWORD i = 0; i < dwCount; ++i) {
    GroupItem* item = FindItem(phServer[i]);
    errors[i] = item ? WriteItem(*item, pItemValues[i]) : OPC_E_INVALIDHANDLE;
    anyFailed = anyFailed || FAILED(errors[i]);
  }
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount,
                                         OPCHANDLE* phServer, DWORD* pTransactionID,
                                         HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO::Read"); hr != S_OK) return hr;
  if (dwCount == 0 || !phServer || !pTransactionID || !ppErrors || !ValidSource(dwSource))
    return E_INVALIDARG;
  const Connection* c = FindConnection(dwConnection);
  if (!c || !IsDataFormat(c->format)) return CONNECT_E_NOCONNECTION;
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!errors) return E_OUTOFMEMORY;
  std::vector<std::pair<OPCHANDLE, OPCHANDLE>> valid;
  for (OPCHANDLE h : ReadableItems(dwCount, phServer, errors))
    valid.emplace_back(h, FindItem(h)->hClient);
  DWORD tid = m_server->NextTransactionId();
  *pTransactionID = tid;
  if (!valid.empty()) {
    SimServer* server = m_server;
    OPCHANDLE group = m_state.hServer;
    bool device = dwSource == OPC_DS_DEVICE;
    server->Defer(tid, [server, group, valid, device, tid, dwConnection] {
      if (SimGroup* g = server->GroupByHandle(group))
        g->CompleteRead(valid, device, tid, dwConnection);
    });
  }
  *ppErrors = errors;
  return valid.size() == dwCount ? S_OK : S_FALSE;
}

void SimGroup::CompleteRead(const std::vector<std::pair<OPCHANDLE, OPCHANDLE>>& handles,
                            bool device, DWORD transactionId, DWORD connection) {
  std::vector<StreamItem> entries;
  for (const auto& [h, hClient] : handles) {
    GroupItem* item = FindItem(h);
    if (!item) {
      entries.push_back(RemovedEntry(hClient));
      continue;
    }
    if (device || !item->cached) LoadCache(*item);
    entries.push_back(CacheEntry(*item, !device));
  }
  SendData(entries, transactionId, connection);
}

HRESULT STDMETHODCALLTYPE SimGroup::Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer,
                                          VARIANT* pItemValues, DWORD* pTransactionID,
                                          HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO::Write"); hr != S_OK) return hr;
  if (dwCount == 0 || !phServer || !pItemValues || !pTransactionID || !ppErrors)
    return E_INVALIDARG;
  const Connection* c = FindConnection(dwConnection);
  if (!c || c->format != Formats().writeComplete) return CONNECT_E_NOCONNECTION;
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!errors) return E_OUTOFMEMORY;
  // Handles are checked now; rights, types and ranges when the write is carried out,
  // and reported in the write-complete stream.
  std::vector<std::pair<OPCHANDLE, Variant>> values;
  std::vector<OPCHANDLE> clients;
  for (DWORD i = 0; i < dwCount; ++i) {
    GroupItem* item = FindItem(phServer[i]);
    if (!item) {
      errors[i] = OPC_E_INVALIDHANDLE;
      continue;
    }
    Variant v;
    if (FAILED(CopyVariant(&v.v, &pItemValues[i]))) {
      errors[i] = OPC_E_BADTYPE;
      continue;
    }
    values.emplace_back(phServer[i], std::move(v));
    clients.push_back(item->hClient);
  }
  DWORD tid = m_server->NextTransactionId();
  *pTransactionID = tid;
  bool allQueued = values.size() == dwCount;
  if (!values.empty()) {
    SimServer* server = m_server;
    OPCHANDLE group = m_state.hServer;
    server->Defer(tid, [server, group, values = std::move(values), clients = std::move(clients),
                        tid, dwConnection] {
      if (SimGroup* g = server->GroupByHandle(group))
        g->CompleteWrite(values, clients, tid, dwConnection);
    });
  }
  *ppErrors = errors;
  return allQueued ? S_OK : S_FALSE;
}

void SimGroup::CompleteWrite(const std::vector<std::pair<OPCHANDLE, Variant>>& values,
                             const std::vector<OPCHANDLE>& clients, DWORD transactionId,
                             DWORD connection) {
  std::vector<WriteResult> results;
  for (size_t i = 0; i < values.size(); ++i) {
    WriteResult r;
    GroupItem* item = FindItem(values[i].first);
    r.hClient = item ? item->hClient : clients[i];  // a removed item under its last handle
    r.error = item ? WriteItem(*item, values[i].second.v) : OPC_E_INVALIDHANDLE;
    results.push_back(r);
  }
  SendWriteComplete(results, transactionId, connection);
}

HRESULT STDMETHODCALLTYPE SimGroup::Refresh(DWORD dwConnection, OPCDATASOURCE dwSource,
                                            DWORD* pTransactionID) {
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO::Refresh"); hr != S_OK) return hr;
  if (!pTransactionID || !ValidSource(dwSource)) return E_INVALIDARG;
  const Connection* c = FindConnection(dwConnection);
  if (!c || !IsDataFormat(c->format)) return CONNECT_E_NOCONNECTION;
  bool anyActive = false;
  for (const auto& [h, item] : m_items) anyActive = anyActive || item.active;
  if (!m_state.active || !anyActive) return E_FAIL;  // nothing a refresh could report
  DWORD tid = m_server->NextTransactionId();
  *pTransactionID = tid;
  SimServer* server = m_server;
  OPCHANDLE group = m_state.hServer;
  bool device = dwSource == OPC_DS_DEVICE;
  server->Defer(tid, [server, group, device, tid, dwConnection] {
    if (SimGroup* g = server->GroupByHandle(group)) g->CompleteRefresh(device, tid, dwConnection);
  });
  return S_OK;
}

void SimGroup::CompleteRefresh(bool device, DWORD transactionId, DWORD connection) {
  // Like Refresh2: the active items of an active group now, an empty stream when there are
  // none any more, so the transaction still ends.
  std::vector<StreamItem> entries;
  for (auto& [h, item] : m_items) {
    if (!m_state.active || !item.active || !(m_server->Space().Item(item.index).access & kReadable))
      continue;
    if (device || !item.cached) LoadCache(item);
    entries.push_back(CacheEntry(item, false));
  }
  SendData(entries, transactionId, connection);
}

HRESULT STDMETHODCALLTYPE SimGroup::Cancel(DWORD dwTransactionID) {
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO::Cancel"); hr != S_OK) return hr;
  // Transaction 0 is never handed out (primed advises use it internally).
  if (dwTransactionID == 0 || !m_server->CancelDeferred(dwTransactionID)) return E_FAIL;
  return S_OK;
}

}  // namespace plover::sim
