#include "SimGroup.h"

#include "SimServer.h"

#include <cmath>
#include <memory>

namespace plover::sim {

SimGroup::SimGroup(SimServer* server, const GroupState& state)
    : ComRoot(LiveKind::Group), m_server(server), m_state(state) {
  // Handles of different groups never coincide (up to 65535 items a group), so a handle from
  // the wrong group fails.
  m_lastItemHandle = state.hServer << 16;
}

SimGroup::~SimGroup() {
  DropConnections();
}

void* SimGroup::Query(REFIID riid) {
  // The 3.0 interfaces extend the 2.0 ones: one vtable answers both.
  if (riid == IID_IUnknown || riid == IID_IOPCGroupStateMgt || riid == IID_IOPCGroupStateMgt2)
    return static_cast<IOPCGroupStateMgt2*>(this);
  if (riid == IID_IOPCItemMgt) return static_cast<IOPCItemMgt*>(this);
  if (riid == IID_IOPCSyncIO || riid == IID_IOPCSyncIO2) return static_cast<IOPCSyncIO2*>(this);
  if (riid == IID_IOPCAsyncIO && !(m_server && m_server->NoDa1Async()))
    return static_cast<IOPCAsyncIO*>(this);
  if (riid == IID_IOPCAsyncIO2 || riid == IID_IOPCAsyncIO3) return static_cast<IOPCAsyncIO3*>(this);
  if (riid == IID_IOPCItemDeadbandMgt) return static_cast<IOPCItemDeadbandMgt*>(this);
  if (riid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
  if (riid == IID_IDataObject && !(m_server && m_server->NoDataObject()))
    return static_cast<IDataObject*>(this);
  return nullptr;
}

HRESULT SimGroup::CheckAlive(const wchar_t* method) {
  if (!m_server) return E_FAIL;  // removed from its server, or the server is gone
  return m_server->Injected(method);
}

void SimGroup::Detach(bool dropConnections) {
  SimServer* server = m_server;
  m_server = nullptr;
  if (dropConnections) DropConnections();
  std::map<DWORD, Pending2> pending;
  pending.swap(m_pending2);
  for (const auto& [cancelId, request] : pending) {
    if (!server || !server->CancelDeferred(cancelId) || !m_dataPoint.Connected()) continue;
    // Not findable by handle any more: the answer holds the group itself.
    ComPtr<IOPCGroupStateMgt> keep(this);
    server->Defer(0, [keep, transactionId = request.transactionId] {
      static_cast<SimGroup*>(keep.Get())->CompleteCancel2(transactionId);
    });
  }
}

void SimGroup::DropConnections() {
  std::vector<Connection> gone;
  gone.swap(m_connections);
  for (size_t i = 0; i < gone.size(); ++i) LiveCountRemove(LiveKind::Connection);
  m_dataPoint.Drop();
  // The sinks are released here, after the group no longer lists them.
}

void SimGroup::ScheduleMe() {
  if (m_server) m_server->Schedule(this);
}

GroupItem* SimGroup::FindItem(OPCHANDLE h) {
  auto it = m_items.find(h);
  return it == m_items.end() ? nullptr : &it->second;
}

// ---- IOPCGroupStateMgt ----------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SimGroup::GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName,
                                             LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID,
                                             OPCHANDLE* phClientGroup, OPCHANDLE* phServerGroup) {
  if (ppName) *ppName = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCGroupStateMgt::GetState"); hr != S_OK) return hr;
  if (ppName) {
    *ppName = CoTaskString(m_state.name);
    if (!*ppName) return E_OUTOFMEMORY;
  }
  if (pUpdateRate) *pUpdateRate = m_state.revisedRate;
  if (pActive) *pActive = m_state.active ? TRUE : FALSE;
  if (pTimeBias) *pTimeBias = m_state.timeBias;
  if (pPercentDeadband) *pPercentDeadband = m_state.deadband;
  if (pLCID) *pLCID = m_state.lcid;
  if (phClientGroup) *phClientGroup = m_state.hClient;
  if (phServerGroup) *phServerGroup = m_state.hServer;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate,
                                             BOOL* pActive, LONG* pTimeBias,
                                             FLOAT* pPercentDeadband, DWORD* pLCID,
                                             OPCHANDLE* phClientGroup) {
  if (HRESULT hr = CheckAlive(L"IOPCGroupStateMgt::SetState"); hr != S_OK) return hr;
  // Check everything before changing anything.
  if (pPercentDeadband && !(*pPercentDeadband >= 0.0f && *pPercentDeadband <= 100.0f))
    return E_INVALIDARG;
  bool reschedule = false;
  HRESULT result = S_OK;
  if (pRequestedUpdateRate) {
    DWORD revised = SimServer::ReviseRate(*pRequestedUpdateRate);
    reschedule = revised != m_state.revisedRate;
    m_state.requestedRate = *pRequestedUpdateRate;
    m_state.revisedRate = revised;
    if (revised != *pRequestedUpdateRate) result = OPC_S_UNSUPPORTEDRATE;
  }
  if (pActive) {
    bool active = *pActive != FALSE;
    if (active && !m_state.active) {
      // An activated group reports every active item once.
      for (auto& [h, item] : m_items) item.sent = false;
    }
    reschedule = reschedule || active != m_state.active;
    m_state.active = active;
  }
  if (pTimeBias) m_state.timeBias = *pTimeBias;
  if (pPercentDeadband) m_state.deadband = *pPercentDeadband;
  if (pLCID) m_state.lcid = *pLCID;
  if (phClientGroup) m_state.hClient = *phClientGroup;
  if (pRevisedUpdateRate) *pRevisedUpdateRate = m_state.revisedRate;
  if (reschedule) ScheduleMe();
  return result;
}

HRESULT STDMETHODCALLTYPE SimGroup::SetName(LPCWSTR szName) {
  if (HRESULT hr = CheckAlive(L"IOPCGroupStateMgt::SetName"); hr != S_OK) return hr;
  if (!szName || !*szName) return E_INVALIDARG;
  if (m_state.name == szName) return S_OK;
  if (m_server->NameTaken(szName)) return OPC_E_DUPLICATENAME;
  m_state.name = szName;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::CloneGroup(LPCWSTR szName, REFIID riid, IUnknown** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCGroupStateMgt::CloneGroup"); hr != S_OK) return hr;
  if (!ppUnk) return E_INVALIDARG;
  SimGroup* clone = nullptr;
  // A clone starts inactive and without advise connections; items and settings carry over.
  HRESULT hr =
      m_server->CreateGroup(szName ? szName : L"", FALSE, m_state.requestedRate, m_state.hClient,
                            m_state.timeBias, m_state.deadband, m_state.lcid, &clone, nullptr);
  if (FAILED(hr)) return hr;
  // The clone's items get handles of its own, in the same order; the client learns them from
  // the clone's item enumerator.
  for (const auto& [h, item] : m_items) {
    GroupItem copy;
    copy.hServer = ++clone->m_lastItemHandle;
    copy.hClient = item.hClient;
    copy.index = item.index;
    copy.active = item.active;
    copy.requested = item.requested;
    copy.accessPath = item.accessPath;
    clone->m_items.emplace(copy.hServer, std::move(copy));
  }
  HRESULT qi = clone->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
  OPCHANDLE handle = clone->m_state.hServer;
  clone->InternalRelease();
  if (FAILED(qi)) {
    m_server->RemoveGroup(handle, TRUE);
    return qi;
  }
  return S_OK;
}

// ---- subscription ---------------------------------------------------------------------

bool SimGroup::IsDataFormat(CLIPFORMAT cf) const {
  return cf == Formats().data || cf == Formats().dataTime;
}

bool SimGroup::PassesDeadband(const GroupItem& item, const VARIANT& value) const {
  const ItemDef& def = m_server->Space().Item(item.index);
  const float percent = item.deadband >= 0.0f ? item.deadband : m_state.deadband;
  if (def.euType != kEuAnalog || percent <= 0.0f) return true;
  double now = 0, before = 0;
  if (!ValueAsDouble(value, &now) || !ValueAsDouble(item.sentValue.v, &before)) return true;
  double band = (def.euHigh - def.euLow) * percent / 100.0;
  return std::fabs(now - before) > band;
}

void SimGroup::LoadCacheFrom(GroupItem& item, const ItemState& state) {
  item.cacheError = ConvertValue(state.value.v, item.requested, &item.cacheValue.v);
  if (FAILED(item.cacheError)) {
    item.cacheValue.Clear();
    item.cacheQuality = 0x04;  // bad, configuration error: no value in the requested type
    item.cacheError = item.cacheError == DISP_E_OVERFLOW ? OPC_E_RANGE : OPC_E_BADTYPE;
  } else {
    item.cacheQuality = state.quality;
  }
  item.cacheTime = m_server->StampOf(state);
  item.cached = true;
}

void SimGroup::LoadCache(GroupItem& item) {
  LoadCacheFrom(item, m_server->Sim().Sample(item.index, m_server->NowMs()));
}

StreamItem SimGroup::CacheEntry(const GroupItem& item, bool cacheRead) const {
  StreamItem e;
  e.hClient = item.hClient;
  e.quality = item.cacheQuality;
  if (cacheRead && (!item.active || !m_state.active)) e.quality = 0x1C;  // bad, out of service
  e.timeStamp = item.cacheTime;
  e.value = &item.cacheValue.v;
  e.error = item.cacheError;
  return e;
}

void SimGroup::UpdateCycle(bool all, DWORD onlyConnection) {
  if (!m_server || !m_state.active) return;
  uint64_t now = m_server->NowMs();
  std::vector<StreamItem> changed;
  for (auto& [h, item] : m_items) {
    if (!item.active || !(m_server->Space().Item(item.index).access & kReadable)) continue;
    const ItemState& st = m_server->Sim().Sample(item.index, now);
    bool send = all || !item.sent || st.quality != item.sentQuality ||
                (!SameValue(st.value.v, item.sentValue.v) && PassesDeadband(item, st.value.v));
    if (!send) continue;
    item.sentValue = st.value;
    item.sentQuality = st.quality;
    item.sent = true;
    LoadCacheFrom(item, st);
    changed.push_back(CacheEntry(item, false));
  }
  if (!changed.empty()) SendData(changed, 0, onlyConnection);
}

void SimGroup::SendData(const std::vector<StreamItem>& items, DWORD transactionId,
                        DWORD onlyConnection) {
  std::vector<Connection> targets;
  bool needTime = false, needPlain = false;
  for (const Connection& c : m_connections) {
    if (onlyConnection ? c.id != onlyConnection : !IsDataFormat(c.format)) continue;
    targets.push_back(c);
    (c.format == Formats().dataTime ? needTime : needPlain) = true;
  }
  // OPC DA 2.0 subscribers get the same values through their callback.
  const bool toCallback =
      m_dataPoint.Connected() && (onlyConnection == 0 || onlyConnection == m_dataPoint.Cookie());
  if (targets.empty() && !toCallback) return;
  // Like OPC DA 2.0's master quality: S_FALSE when any value is not good.
  HRESULT status = S_OK;
  for (const StreamItem& e : items)
    if ((e.quality & 0xC0) != 0xC0) status = S_FALSE;
  if (m_server) m_writer.SetForm(m_server->StreamPointerBytes(), m_server->StreamPacked());
  // Both forms are built before the first callback, which may change the group.
  std::vector<uint8_t> withTime, plain;
  if (needTime) {
    m_writer.BuildData(m_state.hClient, transactionId, status, true, items.data(), items.size());
    withTime = m_writer.Bytes();
  }
  if (needPlain) {
    m_writer.BuildData(m_state.hClient, transactionId, status, false, items.data(), items.size());
    plain = m_writer.Bytes();
  }
  std::unique_ptr<CallbackBatch> batch;
  if (toCallback) batch = std::make_unique<CallbackBatch>(items);
  if (m_server) m_server->NoteDataSent();
  KeepAlive<SimGroup> self(this);
  for (const Connection& c : targets) Deliver(c, c.format == Formats().dataTime ? withTime : plain);
  if (batch) CallbackValues(*batch, transactionId, false);
}

void SimGroup::SendWriteComplete(const std::vector<WriteResult>& results, DWORD transactionId,
                                 DWORD connection) {
  const Connection* c = FindConnection(connection);
  if (!c) return;
  Connection target = *c;
  HRESULT status = S_OK;
  for (const WriteResult& r : results)
    if (FAILED(r.error)) status = S_FALSE;
  m_writer.BuildWriteComplete(m_state.hClient, transactionId, status, results.data(),
                              results.size());
  std::vector<uint8_t> bytes = m_writer.Bytes();
  KeepAlive<SimGroup> self(this);
  Deliver(target, bytes);
}

void SimGroup::Deliver(const Connection& c, const std::vector<uint8_t>& bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
  if (!h) return;
  if (void* p = GlobalLock(h)) {
    if (!bytes.empty()) memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(h);
  }
  FORMATETC fe = {c.format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM stg{};
  stg.tymed = TYMED_HGLOBAL;
  stg.hGlobal = h;
  stg.pUnkForRelease = nullptr;
  // The sink does not own the medium: it is freed here once the call returns.
  c.sink->OnDataChange(&fe, &stg);
  GlobalFree(h);
}

const SimGroup::Connection* SimGroup::FindConnection(DWORD id) const {
  for (const Connection& c : m_connections)
    if (c.id == id) return &c;
  return nullptr;
}

void SimGroup::PushRaw(DWORD clipFormat, const BYTE* data, DWORD size) {
  std::vector<Connection> targets;
  for (const Connection& c : m_connections)
    if (clipFormat ? c.format == clipFormat : IsDataFormat(c.format)) targets.push_back(c);
  std::vector<uint8_t> bytes(data, data + size);
  for (const Connection& c : targets) Deliver(c, bytes);
}

}  // namespace plover::sim
