#include "SimServer.h"

#include "EnumString.h"
#include "EnumUnknown.h"
#include "ErrorText.h"
#include "SimGroup.h"

#include <cmath>
#include <vector>

namespace plover::sim {

namespace {

constexpr DWORD kFastestRate = 50;
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

SimServer::SimServer(SimVariant variant)
    : ComRoot(LiveKind::Server),
      m_variant(variant),
      m_space(AddressSpaceFor(variant)),
      m_sim(m_space) {
  m_startTick = GetTickCount64();
  GetSystemTimeAsFileTime(&m_origin);
  Formats();
  m_window.Create(this);
}

SimServer::~SimServer() {
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
  if (riid == IID_IOPCBrowseServerAddressSpace && m_variant != SimVariant::NoBrowse)
    return static_cast<IOPCBrowseServerAddressSpace*>(this);
  if (riid == IID_IOPCCommon) return static_cast<IOPCCommon*>(this);
  if (riid == IID_IOPCItemProperties) return static_cast<IOPCItemProperties*>(this);
  if (riid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
  if (riid == IID_IPloverSimControl) return static_cast<IPloverSimControl*>(this);
  if (riid == IID_IPloverSimProcess) return static_cast<IPloverSimProcess*>(this);
  return nullptr;
}

uint64_t SimServer::NowMs() const {
  if (m_deterministic) return m_frozenMs;
  return GetTickCount64() - m_startTick;
}

DWORD SimServer::ReviseRate(DWORD requested) {
  if (requested < kFastestRate) return kFastestRate;
  if (requested > kSlowestRate) return kSlowestRate;
  // The timer works in steps of the fastest rate.
  return (requested + kFastestRate - 1) / kFastestRate * kFastestRate;
}

HRESULT SimServer::Injected(const wchar_t* method) {
  auto it = m_injections.find(method);
  if (it == m_injections.end()) it = m_injections.find(L"*");  // every method, as a vanished server
  if (it == m_injections.end()) return S_OK;
  HRESULT hr = it->second.hr;
  if (!it->second.always) m_injections.erase(it);
  return hr;
}

bool SimServer::Refuses(const std::wstring& itemId, VARTYPE requested) const {
  for (const std::wstring& key : {itemId, std::wstring(L"*")}) {
    auto range = m_refusals.equal_range(key);
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
  st->ftStartTime = m_origin;
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
  if (m_groups.find(h) == m_groups.end() || !group->State().active) {
    m_window.StopTimer(h);
    return;
  }
  group->SetNextDueMs(NowMs() + group->State().revisedRate);
  // In deterministic mode only AdvanceTime runs updates.
  if (m_deterministic)
    m_window.StopTimer(h);
  else
    m_window.StartTimer(h, group->State().revisedRate);
}

void SimServer::OnTimer(UINT_PTR id) {
  if (m_deterministic) return;
  auto it = m_groups.find(static_cast<OPCHANDLE>(id));
  if (it == m_groups.end()) {
    m_window.StopTimer(id);
    return;
  }
  KeepAlive<SimServer> self(this);
  SimGroup* group = it->second;
  KeepAlive<SimGroup> keep(group);
  group->UpdateCycle();
}

void SimServer::Defer(DWORD transactionId, std::function<void()> op) {
  m_deferred.push_back(Deferred{transactionId, std::move(op)});
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

void SimServer::OnPosted() {
  if (m_deferred.empty()) return;
  KeepAlive<SimServer> self(this);
  Deferred d = std::move(m_deferred.front());
  m_deferred.pop_front();
  d.op();
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
    m_injections.erase(method);
  else
    m_injections[method] = Injection{hr, always != FALSE};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::ClearFailures() {
  m_injections.clear();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::RefuseType(LPCWSTR itemId, VARTYPE requested) {
  if (!itemId) return E_POINTER;
  m_refusals.emplace(itemId, requested);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::ClearRefusals() {
  m_refusals.clear();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::SetNoDataObject(BOOL noDataObject) {
  m_noDataObject = noDataObject != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::SetStreamForm(DWORD pointerBytes, BOOL packed) {
  if (pointerBytes != 0 && pointerBytes != 4 && pointerBytes != 8) return E_INVALIDARG;
  m_streamPointerBytes = pointerBytes;
  m_streamPacked = packed != FALSE;
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
  bool on = deterministic != FALSE;
  if (on == m_deterministic) return S_OK;
  if (on) {
    // With no group yet nothing has seen the clock: start it at zero, so a test's values do
    // not depend on how long the server took to get here.
    m_frozenMs = m_groups.empty() ? 0 : NowMs();
  } else {
    // Continue the wall clock from the simulated time reached.
    m_startTick = GetTickCount64() - m_frozenMs;
  }
  m_deterministic = on;
  for (auto& [handle, group] : m_groups) Schedule(group);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::AdvanceTime(DWORD milliseconds) {
  if (!m_deterministic) return E_UNEXPECTED;
  KeepAlive<SimServer> self(this);
  uint64_t target = m_frozenMs + milliseconds;
  for (;;) {
    // The group due first runs next; callbacks may add or remove groups meanwhile.
    SimGroup* next = nullptr;
    for (auto& [handle, group] : m_groups)
      if (group->State().active && group->NextDueMs() <= target &&
          (!next || group->NextDueMs() < next->NextDueMs()))
        next = group;
    if (!next) break;
    m_frozenMs = next->NextDueMs();
    next->SetNextDueMs(m_frozenMs + next->State().revisedRate);
    KeepAlive<SimGroup> keep(next);
    next->UpdateCycle();
  }
  m_frozenMs = target;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::Flush() {
  KeepAlive<SimServer> self(this);
  while (!m_deferred.empty()) {
    Deferred d = std::move(m_deferred.front());
    m_deferred.pop_front();
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
