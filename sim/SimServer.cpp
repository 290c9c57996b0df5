#include "SimServer.h"

#include "EnumString.h"
#include "EnumUnknown.h"
#include "ErrorText.h"
#include "SimGroup.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace plover::sim {

namespace {

constexpr DWORD kFastestRate = 50;
// The probe's timer: above every group handle, which count up from 1.
constexpr UINT_PTR kProbeTimer = 0x7FFF0000;
// A group's keep-alive timer: its handle with this bit.
constexpr UINT_PTR kKeepAliveTimer = 0x20000000;
constexpr DWORD kProbeMs = 2000;
// No client implements this: a live one answers E_NOINTERFACE, and the question crosses to
// its process because a proxy answers only the interfaces it already knows by itself.
// {6D2B8E41-93A7-4C0F-B5E2-7A1C4F08D3E9}
constexpr IID kProbeIid = {
    0x6d2b8e41, 0x93a7, 0x4c0f, {0xb5, 0xe2, 0x7a, 0x1c, 0x4f, 0x08, 0xd3, 0xe9}};
bool g_ownProcess = false;
constexpr DWORD kSlowestRate = 3600000;
const wchar_t kVendorInfo[] = L"Plover Simulation OPC DA Server";

}  // namespace

const StreamFormats& Formats() {
  static const StreamFormats formats = {
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(OPC_STM_FORMAT_DATA)),
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(OPC_STM_FORMAT_DATATIME)),
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(OPC_STM_FORMAT_WRITECOMPLETE)),
  };
  return formats;
}

LPWSTR CoTaskString(const std::wstring& s) {
  size_t bytes = (s.size() + 1) * sizeof(wchar_t);
  auto* p = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (p) memcpy(p, s.c_str(), bytes);
  return p;
}

SimShared::SimShared(SimVariant v)
    : variant(v), space(AddressSpaceFor(v)), sim(space), startTick(GetTickCount64()) {
  GetSystemTimeAsFileTime(&origin);
}

uint64_t SimShared::NowMs() const {
  if (deterministic) return frozenMs;
  return GetTickCount64() - startTick;
}

std::shared_ptr<SimShared> MakeShared(SimVariant variant) {
  try {
    return std::make_shared<SimShared>(variant);
  } catch (...) {
    return nullptr;
  }
}

SimServer::SimServer(SimVariant variant, std::shared_ptr<SimShared> shared)
    : ComRoot(LiveKind::Server),
      m_variant(variant),
      m_shared(shared ? std::move(shared) : std::make_shared<SimShared>(variant)),
      m_space(m_shared->space),
      m_sim(m_shared->sim) {
  m_shared->servers.push_back(this);
  // Continuation points of one object mean nothing to another.
  m_pointKey = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this) >> 4) ^
               static_cast<uint32_t>(GetTickCount64()) ^ GetCurrentProcessId();
  Formats();
  m_window.Create(this);
  if (g_ownProcess) m_window.StartTimer(kProbeTimer, kProbeMs);
}

void SimServer::SetOwnProcess(bool on) {
  g_ownProcess = on;
}

SimServer::~SimServer() {
  auto& servers = m_shared->servers;
  servers.erase(std::remove(servers.begin(), servers.end(), this), servers.end());
  m_window.Destroy();
  m_deferred.clear();
  m_shutdownPoint.Drop();
  std::map<OPCHANDLE, SimGroup*> groups;
  groups.swap(m_groups);
  for (auto& [handle, group] : groups) {
    group->Detach(true);
    group->InternalRelease();
  }
}

void* SimServer::Query(REFIID riid) {
  if (riid == IID_IUnknown || riid == IID_IOPCServer) return static_cast<IOPCServer*>(this);
  if (riid == IID_IOPCBrowseServerAddressSpace && m_variant != SimVariant::NoBrowse &&
      m_variant != SimVariant::Da3Only)
    return static_cast<IOPCBrowseServerAddressSpace*>(this);
  if (riid == IID_IOPCBrowse && m_variant != SimVariant::NoBrowse)
    return static_cast<IOPCBrowse*>(this);
  if (riid == IID_IOPCItemIO) return static_cast<IOPCItemIO*>(this);
  if (riid == IID_IOPCCommon) return static_cast<IOPCCommon*>(this);
  if (riid == IID_IOPCItemProperties) return static_cast<IOPCItemProperties*>(this);
  if (riid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
  if (riid == IID_IPloverSimControl) return static_cast<IPloverSimControl*>(this);
  if (riid == IID_IPloverSimProcess) return static_cast<IPloverSimProcess*>(this);
  return nullptr;
}

DWORD SimServer::ReviseRate(DWORD requested) {
  if (requested < kFastestRate) return kFastestRate;
  if (requested > kSlowestRate) return kSlowestRate;
  // The timer works in steps of the fastest rate.
  return (requested + kFastestRate - 1) / kFastestRate * kFastestRate;
}

HRESULT SimServer::Injected(const wchar_t* method) {
  auto& injections = m_shared->injections;
  auto it = injections.find(method);
  if (it == injections.end()) it = injections.find(L"*");  // every method, as a vanished server
  if (it == injections.end()) return S_OK;
  HRESULT hr = it->second.hr;
  if (!it->second.always) injections.erase(it);
  return hr;
}

bool SimServer::Refuses(const std::wstring& itemId, VARTYPE requested) const {
  for (const std::wstring& key : {itemId, std::wstring(L"*")}) {
    auto range = m_shared->refusals.equal_range(key);
    for (auto it = range.first; it != range.second; ++it)
      if (it->second == requested) return true;
  }
  return false;
}

bool SimServer::NameTaken(const std::wstring& name) const {
  for (const auto& [handle, group] : m_groups)
    if (group->State().name == name) return true;
  return false;
}

std::wstring SimServer::UniqueGroupName() {
  for (;;) {
    std::wstring name = L"Group_" + std::to_wstring(++m_nameCounter);
    if (!NameTaken(name)) return name;
  }
}

HRESULT SimServer::CreateGroup(const std::wstring& name, BOOL active, DWORD requestedRate,
                               OPCHANDLE hClient, LONG timeBias, float deadband, DWORD lcid,
                               SimGroup** group, DWORD* revisedRate) {
  GroupState st;
  st.name = name.empty() ? UniqueGroupName() : name;
  if (NameTaken(st.name)) return OPC_E_DUPLICATENAME;
  st.active = active != FALSE;
  st.requestedRate = requestedRate;
  st.revisedRate = ReviseRate(requestedRate);
  st.hClient = hClient;
  st.hServer = ++m_lastGroupHandle;
  st.timeBias = timeBias;
  st.deadband = deadband;
  st.lcid = lcid;
  auto* g = new (std::nothrow) SimGroup(this, st);
  if (!g) return E_OUTOFMEMORY;
  m_groups.emplace(st.hServer, g);
  g->InternalAddRef();  // the caller's reference
  Schedule(g);
  *group = g;
  if (revisedRate) *revisedRate = st.revisedRate;
  return st.revisedRate == requestedRate ? S_OK : OPC_S_UNSUPPORTEDRATE;
}

HRESULT STDMETHODCALLTYPE SimServer::AddGroup(LPCWSTR szName, BOOL bActive,
                                              DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                                              LONG* pTimeBias, FLOAT* pPercentDeadband,
                                              DWORD dwLCID, OPCHANDLE* phServerGroup,
                                              DWORD* pRevisedUpdateRate, REFIID riid,
                                              IUnknown** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  if (HRESULT hr = Injected(L"IOPCServer::AddGroup"); hr != S_OK) return hr;
  if (!ppUnk) return E_INVALIDARG;
  float deadband = pPercentDeadband ? *pPercentDeadband : 0.0f;
  if (!(deadband >= 0.0f && deadband <= 100.0f))  // NaN fails too
    return E_INVALIDARG;
  LONG bias = 0;
  if (pTimeBias) {
    bias = *pTimeBias;
  } else {
    TIME_ZONE_INFORMATION tz;
    if (GetTimeZoneInformation(&tz) != TIME_ZONE_ID_INVALID) bias = tz.Bias;
  }
  SimGroup* group = nullptr;
  DWORD revised = 0;
  HRESULT hr = CreateGroup(szName ? szName : L"", bActive, dwRequestedUpdateRate, hClientGroup,
                           bias, deadband, dwLCID, &group, &revised);
  if (FAILED(hr)) return hr;
  HRESULT qi = group->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
  OPCHANDLE handle = group->State().hServer;
  group->InternalRelease();
  if (FAILED(qi)) {
    RemoveGroup(handle, TRUE);
    return qi;
  }
  if (phServerGroup) *phServerGroup = handle;
  if (pRevisedUpdateRate) *pRevisedUpdateRate = revised;
  return hr;
}

HRESULT STDMETHODCALLTYPE SimServer::GetErrorString(HRESULT dwError, LCID dwLocale,
                                                    LPWSTR* ppString) {
  if (ppString) *ppString = nullptr;
  if (HRESULT hr = Injected(L"IOPCServer::GetErrorString"); hr != S_OK) return hr;
  if (!ppString) return E_INVALIDARG;
  if (!AnswersInLocale(dwLocale)) return E_INVALIDARG;
  std::wstring text;
  if (!LookupErrorText(dwError, &text)) return E_INVALIDARG;
  *ppString = CoTaskString(text);
  return *ppString ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE SimServer::GetGroupByName(LPCWSTR szName, REFIID riid, IUnknown** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  if (HRESULT hr = Injected(L"IOPCServer::GetGroupByName"); hr != S_OK) return hr;
  if (!szName || !ppUnk) return E_INVALIDARG;
  for (const auto& [handle, group] : m_groups)
    if (group->State().name == szName)
      return group->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
  return E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE SimServer::GetStatus(OPCSERVERSTATUS** ppServerStatus) {
  if (ppServerStatus) *ppServerStatus = nullptr;
  if (HRESULT hr = Injected(L"IOPCServer::GetStatus"); hr != S_OK) return hr;
  if (!ppServerStatus) return E_INVALIDARG;
  auto* st = CoTaskArray<OPCSERVERSTATUS>(1);
  if (!st) return E_OUTOFMEMORY;
  st->szVendorInfo = CoTaskString(kVendorInfo);
  if (!st->szVendorInfo) {
    CoTaskMemFree(st);
    return E_OUTOFMEMORY;
  }
  st->ftStartTime = m_shared->origin;
  st->ftCurrentTime = FileTimeAt(NowMs());
  if (m_sentAny) st->ftLastUpdateTime = FileTimeAt(m_lastUpdateMs);
  st->dwServerState = OPC_STATUS_RUNNING;
  st->dwGroupCount = static_cast<DWORD>(m_groups.size());
  st->dwBandWidth = 0xFFFFFFFF;
  st->wMajorVersion = 1;
  st->wMinorVersion = 0;
  st->wBuildNumber = 1;
  *ppServerStatus = st;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) {
  if (HRESULT hr = Injected(L"IOPCServer::RemoveGroup"); hr != S_OK) return hr;
  auto it = m_groups.find(hServerGroup);
  if (it == m_groups.end()) return E_INVALIDARG;
  SimGroup* group = it->second;
  m_groups.erase(it);
  m_window.StopTimer(hServerGroup);
  m_window.StopTimer(kKeepAliveTimer | hServerGroup);
  // Without force the group lives on while the client holds it, but stops working.
  bool inUse = group->RefCount() > 1;
  group->Detach(bForce != FALSE || !inUse);
  group->InternalRelease();
  return inUse && !bForce ? OPC_S_INUSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid,
                                                           IUnknown** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  if (HRESULT hr = Injected(L"IOPCServer::CreateGroupEnumerator"); hr != S_OK) return hr;
  if (!ppUnk || dwScope < OPC_ENUM_PRIVATE_CONNECTIONS || dwScope > OPC_ENUM_ALL)
    return E_INVALIDARG;
  // There are no public groups here.
  bool wantPrivate = dwScope != OPC_ENUM_PUBLIC_CONNECTIONS && dwScope != OPC_ENUM_PUBLIC;
  size_t count = wantPrivate ? m_groups.size() : 0;
  if (riid == IID_IEnumString) {
    std::vector<std::wstring> names;
    if (wantPrivate)
      for (const auto& [handle, group] : m_groups) names.push_back(group->State().name);
    auto* e = new (std::nothrow) EnumString(std::move(names));
    if (!e) return E_OUTOFMEMORY;
    *ppUnk = static_cast<IEnumString*>(e);
  } else if (riid == IID_IEnumUnknown) {
    std::vector<ComPtr<IUnknown>> groups;
    if (wantPrivate)
      for (const auto& [handle, group] : m_groups)
        groups.emplace_back(static_cast<IOPCGroupStateMgt*>(group));
    auto* e = new (std::nothrow) EnumUnknown(IID_IEnumUnknown, std::move(groups));
    if (!e) return E_OUTOFMEMORY;
    *ppUnk = static_cast<IEnumUnknown*>(e);
  } else {
    return E_NOINTERFACE;
  }
  return count ? S_OK : S_FALSE;
}

void SimServer::Schedule(SimGroup* group) {
  OPCHANDLE h = group->State().hServer;
  const UINT_PTR keepAliveTimer = kKeepAliveTimer | h;
  if (m_groups.find(h) == m_groups.end() || !group->State().active) {
    m_window.StopTimer(h);
    m_window.StopTimer(keepAliveTimer);
    return;
  }
  group->SetNextDueMs(NowMs() + group->State().revisedRate);
  group->RestartKeepAlive();
  // In deterministic mode only AdvanceTime runs updates.
  if (m_shared->deterministic) {
    m_window.StopTimer(h);
    m_window.StopTimer(keepAliveTimer);
    return;
  }
  m_window.StartTimer(h, group->State().revisedRate);
  if (group->State().keepAlive)
    m_window.StartTimer(keepAliveTimer, group->State().keepAlive);
  else
    m_window.StopTimer(keepAliveTimer);
}

void SimServer::OnTimer(UINT_PTR id) {
  if (id == kProbeTimer) {
    ProbeClient();
    return;
  }
  if (m_shared->deterministic) return;
  const bool keepAliveTimer = (id & kKeepAliveTimer) != 0;
  auto it = m_groups.find(static_cast<OPCHANDLE>(id & ~kKeepAliveTimer));
  if (it == m_groups.end()) {
    m_window.StopTimer(id);
    return;
  }
  KeepAlive<SimServer> self(this);
  SimGroup* group = it->second;
  KeepAlive<SimGroup> keep(group);
  if (!keepAliveTimer) {
    group->UpdateCycle();
    return;
  }
  // Data sent meanwhile moved the keep-alive on: wait for what is left of its time.
  const uint64_t now = NowMs();
  group->KeepAliveTick(now);
  if (group->State().keepAlive && GroupByHandle(group->State().hServer) == group) {
    const uint64_t due = group->KeepAliveDueMs();
    m_window.StartTimer(id, static_cast<UINT>(due > now ? due - now : 1));
  }
}

void SimServer::Defer(DWORD transactionId, std::function<void()> op, bool result) {
  m_deferred.push_back(Deferred{transactionId, std::move(op), result});
  m_window.Post();
}

bool SimServer::CancelDeferred(DWORD transactionId) {
  for (auto it = m_deferred.begin(); it != m_deferred.end(); ++it) {
    if (it->transactionId == transactionId) {
      m_deferred.erase(it);
      return true;
    }
  }
  return false;
}

SimGroup* SimServer::GroupByHandle(OPCHANDLE h) const {
  auto it = m_groups.find(h);
  return it == m_groups.end() ? nullptr : it->second;
}

bool SimServer::ResultsWaitForFlush() const {
  return g_ownProcess && m_shared->deterministic;
}

void SimServer::OnPosted() {
  const bool wait = ResultsWaitForFlush();
  auto it = std::find_if(m_deferred.begin(), m_deferred.end(),
                         [wait](const Deferred& d) { return !wait || !d.result; });
  if (it == m_deferred.end()) return;
  KeepAlive<SimServer> self(this);
  Deferred d = std::move(*it);
  m_deferred.erase(it);
  d.op();
}

// ---- clients that vanish ---------------------------------------------------------------
//
// Wine never tells a server that a client's process died, so the stubs keep the client's
// references to this object and its groups for ever, and the process would never end.
// The only sign is a call into the client: a callback, or the probe below, failing because
// its process is not there. Then this client is let go of: its groups stop, their sinks are
// released, and CoDisconnectObject drops the references its stubs held, so the objects go
// and the process can end once nobody else uses it. A client that gave no callback cannot
// be asked and is not noticed; it is kept until the session ends.

static bool ClientProcessGone(HRESULT hr) {
  switch (hr) {
    case RPC_E_DISCONNECTED:  // its object is gone: no call reaches this client again
    case RPC_E_SERVER_DIED:
    case RPC_E_SERVER_DIED_DNE:
    case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE):
      return true;
    default:
      return false;
  }
}

void SimServer::CallbackResult(HRESULT hr) {
  if (m_clientGone || !ClientProcessGone(hr)) return;
  m_clientGone = true;
  // Later, from the message loop: the failed callback's caller still uses the group. Not a
  // result: nobody may flush for a client that is gone.
  std::function<void()> drop = [this] { DropClient(); };
  Defer(0, std::move(drop), false);
}

void SimServer::ProbeClient() {
  if (m_clientGone) return;
  ComPtr<IUnknown> sink(m_shutdownPoint.Sink<IUnknown>());
  for (auto it = m_groups.begin(); !sink && it != m_groups.end(); ++it) {
    SimGroup* g = it->second;
    if (g->m_dataPoint.Connected())
      sink = ComPtr<IUnknown>(g->m_dataPoint.Sink<IUnknown>());
    else if (!g->m_connections.empty())
      sink = ComPtr<IUnknown>(g->m_connections.front().sink.Get());
  }
  if (!sink) return;
  KeepAlive<SimServer> self(this);
  IUnknown* answer = nullptr;
  const HRESULT hr = sink->QueryInterface(kProbeIid, reinterpret_cast<void**>(&answer));
  if (answer) answer->Release();
  CallbackResult(hr);
}

void SimServer::DropClient() {
  KeepAlive<SimServer> self(this);
  m_window.StopTimer(kProbeTimer);
  m_deferred.clear();
  m_shutdownPoint.Drop();
  std::map<OPCHANDLE, SimGroup*> groups;
  groups.swap(m_groups);
  for (auto& [handle, group] : groups) {
    m_window.StopTimer(handle);
    group->Detach(true);
    // The connection point is an object of its own to COM, with stubs of its own.
    CoDisconnectObject(&group->m_dataPoint, 0);
    CoDisconnectObject(static_cast<IOPCGroupStateMgt*>(group), 0);
    group->InternalRelease();
  }
  CoDisconnectObject(&m_shutdownPoint, 0);
  CoDisconnectObject(static_cast<IOPCServer*>(this), 0);
}

// ---- test hooks ----------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SimServer::GetLiveCounts(PloverSimLiveCounts* counts) {
  if (!counts) return E_POINTER;
  counts->servers = LiveCount(LiveKind::Server);
  counts->groups = LiveCount(LiveKind::Group);
  counts->enumerators = LiveCount(LiveKind::Enumerator);
  counts->connections = LiveCount(LiveKind::Connection);
  counts->others = LiveCount(LiveKind::Other);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::FailMethod(LPCWSTR method, HRESULT hr, BOOL always) {
  if (!method) return E_POINTER;
  if (hr == S_OK)
    m_shared->injections.erase(method);
  else
    m_shared->injections[method] = SimShared::Injection{hr, always != FALSE};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::ClearFailures() {
  m_shared->injections.clear();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::RefuseType(LPCWSTR itemId, VARTYPE requested) {
  if (!itemId) return E_POINTER;
  m_shared->refusals.emplace(itemId, requested);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::ClearRefusals() {
  m_shared->refusals.clear();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::SetNoDataObject(BOOL noDataObject) {
  m_shared->noDataObject = noDataObject != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::SetStreamForm(DWORD pointerBytes, BOOL packed) {
  if (pointerBytes != 0 && pointerBytes != 4 && pointerBytes != 8) return E_INVALIDARG;
  m_shared->streamPointerBytes = pointerBytes;
  m_shared->streamPacked = packed != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::PushStream(DWORD hServerGroup, DWORD clipFormat,
                                                const BYTE* data, DWORD size) {
  if (!data && size) return E_POINTER;
  auto it = m_groups.find(hServerGroup);
  if (it == m_groups.end()) return E_INVALIDARG;
  KeepAlive<SimServer> self(this);
  KeepAlive<SimGroup> keep(it->second);
  it->second->PushRaw(clipFormat, data, size);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::SetDeterministic(BOOL deterministic) {
  SimShared& sh = *m_shared;
  bool on = deterministic != FALSE;
  if (on == sh.deterministic) return S_OK;
  if (on) {
    // With no group yet nothing has seen the clock: start it at zero, so a test's values do
    // not depend on how long the server took to get here.
    bool anyGroup = false;
    for (SimServer* s : sh.servers) anyGroup = anyGroup || !s->m_groups.empty();
    sh.frozenMs = anyGroup ? sh.NowMs() : 0;
  } else {
    // Continue the wall clock from the simulated time reached.
    sh.startTick = GetTickCount64() - sh.frozenMs;
  }
  sh.deterministic = on;
  // The loop passed over results kept for Flush: a message for each, so it sends them now.
  if (!on && g_ownProcess)
    for (SimServer* s : sh.servers)
      for (size_t i = 0; i < s->m_deferred.size(); ++i) s->m_window.Post();
  // Every client's groups follow the one clock.
  for (SimServer* s : sh.servers)
    for (auto& [handle, group] : s->m_groups) s->Schedule(group);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::AdvanceTime(DWORD milliseconds) {
  SimShared& sh = *m_shared;
  if (!sh.deterministic) return E_UNEXPECTED;
  KeepAlive<SimServer> self(this);
  uint64_t target = sh.frozenMs + milliseconds;
  for (;;) {
    // The group due first, of any client, runs next; callbacks may add or remove groups and
    // servers meanwhile.
    SimServer* owner = nullptr;
    SimGroup* next = nullptr;
    for (SimServer* s : sh.servers)
      for (auto& [handle, group] : s->m_groups)
        if (group->State().active && group->NextEventMs() <= target &&
            (!next || group->NextEventMs() < next->NextEventMs())) {
          next = group;
          owner = s;
        }
    if (!next) break;
    sh.frozenMs = next->NextEventMs();
    KeepAlive<SimServer> keepOwner(owner);
    KeepAlive<SimGroup> keep(next);
    next->RunDue(sh.frozenMs);
  }
  sh.frozenMs = target;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::Flush() {
  KeepAlive<SimServer> self(this);
  // Every client's pending results; a callback may end another server object meanwhile.
  for (;;) {
    SimServer* owner = nullptr;
    for (SimServer* s : m_shared->servers)
      if (!s->m_deferred.empty()) owner = s;
    if (!owner) break;
    KeepAlive<SimServer> keep(owner);
    Deferred d = std::move(owner->m_deferred.front());
    owner->m_deferred.pop_front();
    d.op();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::GetSimTime(ULONGLONG* milliseconds) {
  if (!milliseconds) return E_POINTER;
  *milliseconds = NowMs();
  return S_OK;
}

}  // namespace plover::sim
