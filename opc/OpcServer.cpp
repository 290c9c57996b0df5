#include "OpcServer.h"

#include "OpcDataCallback.h"
#include "OpcDataSink.h"
#include "OpcDiscovery.h"
#include "OpcErrorText.h"
#include "OpcUiPorts.h"
#include "OpcServerLayout.h"
#include "OpcText.h"

namespace {
// CLSCTX_INPROC_SERVER | INPROC_HANDLER | LOCAL_SERVER | REMOTE_SERVER.
constexpr DWORD kClsctxAll = 23;

HRESULT SystemInitializeSecurity() {
  return ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                                RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
}
OpcSecurityFn g_initializeSecurity = SystemInitializeSecurity;

HRESULT SystemCreateRemote(REFCLSID clsid, DWORD context, COSERVERINFO* server, DWORD count,
                           MULTI_QI* results) {
  return ::CoCreateInstanceEx(clsid, nullptr, context, server, count, results);
}
OpcCreateRemoteFn g_createRemote = SystemCreateRemote;
}  // namespace

OpcCreateRemoteFn SetOpcCreateRemote(OpcCreateRemoteFn fn) {
  OpcCreateRemoteFn old = g_createRemote;
  g_createRemote = fn ? fn : SystemCreateRemote;
  return old;
}

OpcSecurityFn SetOpcInitializeSecurity(OpcSecurityFn fn) {
  OpcSecurityFn old = g_initializeSecurity;
  g_initializeSecurity = fn ? fn : SystemInitializeSecurity;
  return old;
}

COpcServer::COpcServer() : m_pWatch(new COpcServerWatch) {
  m_groupManager.SetWatch(m_pWatch.Get());
}

COpcServer::~COpcServer() {
  Disconnect();
  // A server may still hold the watch; it must post nothing for a view that is gone.
  m_groupManager.SetWatch(nullptr);
  m_pWatch->SetNotifyWindow(nullptr);
  // The members go in reverse order: the manager (and its sink reference), the browser,
  // then the server reference if one is still held.
}

BOOL COpcServer::Initialize(HWND notifyWnd) {
  m_bInitialized = FALSE;
  HRESULT hr = g_initializeSecurity();
  // Security can be set once per process; a later Initialize (a new document) finds it
  // already set, which is as good as setting it.
  if (FAILED(hr) && hr != RPC_E_TOO_LATE) return FALSE;
  m_strProgId.clear();
  m_strNode.clear();
  m_groupManager.SetNotifyWindow(notifyWnd);
  m_pWatch->SetNotifyWindow(notifyWnd);
  m_bInitialized = TRUE;
  return TRUE;
}

BOOL COpcServer::Connect(const std::wstring& progId, const std::wstring& node) {
  m_strProgId = progId;
  m_strNode = node;
  if (!m_bInitialized) return FALSE;
  COpcBusyScope busy;

  HKEY key = nullptr;
  LONG result = ::RegOpenKeyW(HKEY_CLASSES_ROOT, m_strProgId.c_str(), &key);
  if (result != ERROR_SUCCESS) {
    ReportError(L"RegOpenKey: ", static_cast<DWORD>(result));
    return FALSE;
  }
  wchar_t clsidText[128] = {};  // 256 bytes
  LONG cb = sizeof(clsidText);
  result = ::RegQueryValueW(key, L"CLSID", clsidText, &cb);
  ::RegCloseKey(key);
  if (result != ERROR_SUCCESS) {
    ReportError(L"RegQueryValue: ", static_cast<DWORD>(result));
    return FALSE;
  }
  clsidText[127] = L'\0';
  CLSID clsid;
  HRESULT hr = ::CLSIDFromString(clsidText, &clsid);
  if (FAILED(hr)) {
    ReportError(L"CLSIDFromString: ", static_cast<DWORD>(hr));
    return FALSE;
  }

  TComPtr<IUnknown> object;
  if (FAILED(CreateServerObject(clsid, object))) return FALSE;

  if (m_pServer.Get() != reinterpret_cast<IOPCServer*>(object.Get())) {
    m_pServer.Release();
    m_pServer.QueryFrom(object.Get());
  }
  object.Release();  // the creation reference
  if (!m_pServer) {
    OpcMessageBox(OpcBoxOwner::ActiveWindow, OpcUiString(OpcUiText::ProxyNotRegistered),
                  kOpcAppTitle, MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }

  m_browser.Attach(m_pServer.Get());
  m_groupManager.Reset();
  // The layout the server's streams are read in first; a remote server's is not known.
  m_groupManager.GetSink()->SetServerLayout(m_strNode.empty() ? ServerLayoutOf(clsid)
                                                              : opcstream::kOwnLayout);
  m_groupManager.SetServer(m_pServer.Get());
  AdviseShutdown();
  m_pWatch->Arm();
  m_bProxy = m_aliveCheck.Start(m_pServer.Get());
  m_bConnected = TRUE;
  return m_bConnected;
}

// Servers after OPC DA 1.0 tell their clients when they must stop; older ones have no
// such point, which is no failure.
void COpcServer::AdviseShutdown() {
  m_pShutdownPoint.Release();
  m_dwShutdownCookie = 0;
  TComPtr<IConnectionPointContainer> container;
  if (FAILED(container.QueryFrom(m_pServer.Get())) || !container) return;
  TComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(IID_IOPCShutdown, point.Put())) || !point) return;
  TComPtr<IUnknown> unknown;
  if (FAILED(unknown.QueryFrom(m_pWatch.Get())) || !unknown) return;
  DWORD cookie = 0;
  if (FAILED(point->Advise(unknown.Get(), &cookie))) return;
  m_pShutdownPoint = point;
  m_dwShutdownCookie = cookie;
}

HRESULT COpcServer::CreateServerObject(const CLSID& clsid, TComPtr<IUnknown>& object) {
  if (m_strNode.empty()) {
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, kClsctxAll, IID_IUnknown, object.PutVoid());
    if (SUCCEEDED(hr) && !object) hr = E_NOINTERFACE;
    if (FAILED(hr)) {
      ReportError(OpcUiString(OpcUiText::ConnectFailed, {m_strProgId}), static_cast<DWORD>(hr));
    }
    return hr;
  }

  COSERVERINFO server = {0, const_cast<LPWSTR>(m_strNode.c_str()), nullptr, 0};
  MULTI_QI mqi = {&IID_IOPCServer, nullptr, S_OK};
  HRESULT hr = g_createRemote(clsid, kClsctxAll, &server, 1, &mqi);
  if (FAILED(hr)) {
    ReportError(OpcUiString(OpcUiText::ConnectFailedEx, {m_strProgId}), static_cast<DWORD>(hr));
    return hr;
  }
  // The returned reference is ours whether or not the call succeeded.
  object.Attach(mqi.pItf);
  if (FAILED(mqi.hr) || !object) {
    object.Release();
    hr = FAILED(mqi.hr) ? mqi.hr : E_NOINTERFACE;
    ReportError(L"MultiQI: ", static_cast<DWORD>(hr));
    return hr;
  }
  return S_OK;
}

void COpcServer::Disconnect() {
  if (!m_bConnected) return;
  // Failures while letting go are no news.
  m_pWatch->Disarm();
  m_aliveCheck.Stop();
  // The last references to a lost server's proxies go on a thread of their own: even a
  // proxy's last release asks its server, and one that hangs would hold this thread.
  std::vector<IUnknown*> held;
  if (m_pWatch->Vanished()) {
    // Nothing to tell a server whose process is gone; every call would only wait and fail.
    if (m_bProxy) {
      m_groupManager.HoldGroupObjects(held);
      for (IUnknown* object : {static_cast<IUnknown*>(m_pServer.Get()),
                               static_cast<IUnknown*>(m_pShutdownPoint.Get())}) {
        if (!object) continue;
        object->AddRef();
        held.push_back(object);
      }
    }
    m_groupManager.ForgetAllGroups();
    // Its stubs would hold our sinks for the life of the process, with no one left to
    // release them; nothing it queued can reach them after.
    if (m_bProxy)
      for (IUnknown* object : {static_cast<IUnknown*>(m_groupManager.GetSink()),
                               static_cast<IUnknown*>(m_groupManager.GetCallback()),
                               static_cast<IUnknown*>(m_pWatch.Get())})
        ::CoDisconnectObject(object, 0);
  } else {
    if (m_pShutdownPoint) m_pShutdownPoint->Unadvise(m_dwShutdownCookie);
    m_groupManager.RemoveAllGroups(FALSE);
  }
  m_pShutdownPoint.Release();
  m_dwShutdownCookie = 0;
  m_browser.Detach();
  m_pServer.Release();
  ReleaseOnOwnThread(std::move(held));
  m_bProxy = false;
  ::Sleep(100);
  m_bConnected = FALSE;
}

void COpcServer::CheckAlive(DWORD limitMs) {
  if (!m_bConnected || !m_pServer || m_pWatch->Lost()) return;
  if (const DWORD keepAlive = m_groupManager.KeepAliveMs()) {
    // The server's own callbacks say it is there; asking would only add calls.
    if (m_aliveCheck.TickKeepAlive(keepAlive, m_groupManager.GetCallback()->LastHeard(), limitMs) ==
        RPC_E_TIMEOUT)
      m_pWatch->StoppedAnswering(limitMs);
    return;
  }
  HRESULT hr = m_aliveCheck.Tick(limitMs);
  // A check that did not come back, or came back failed with any code: the server is lost.
  if (hr == RPC_E_TIMEOUT)
    m_pWatch->StoppedAnswering(limitMs);
  else if (FAILED(hr))
    m_pWatch->Check(COpcServerWatch::IsVanishedCode(hr) ? hr : RPC_E_DISCONNECTED);
}

int COpcServer::EnumerateServers(const std::wstring& node) {
  return ::EnumerateServers(node, m_serverNames);
}

int COpcServer::FillServerList(IOpcServerList* list, const std::wstring& node) {
  return ::FillServerList(list, node, m_serverNames);
}

std::wstring COpcServer::GetValueText(const COpcItem* item) const {
  return item ? ::GetValueText(item->m_value, item->m_wQuality) : std::wstring();
}

std::wstring COpcServer::GetValueTypeText(const COpcItem* item) const {
  return item ? ::GetTypeName(item->m_value.vt) : std::wstring();
}

std::wstring COpcServer::GetTypeName(VARTYPE vt) {
  return ::GetTypeName(vt);
}

VARTYPE COpcServer::ParseTypeName(const std::wstring& text) {
  return ::ParseTypeName(text);
}

void COpcServer::GetItemAttributes(const COpcItem* item, ItemAttributeText& info) const {
  COpcGroup* current = m_groupManager.GetCurrentGroup();
  if (!current || !item) return;
  FillItemAttributes(current->m_pGroup.Get(), item->m_hClient, info);
}

void COpcServer::GetGroupAttributes(OPCHANDLE group, ItemAttributeMap& byClient) const {
  byClient.clear();
  if (COpcGroup* g = m_groupManager.GetGroup(group))
    FillGroupAttributes(g->m_pGroup.Get(), byClient);
}

void COpcServer::GetGroupActiveStates(OPCHANDLE group, ItemActiveMap& byClient) const {
  byClient.clear();
  if (COpcGroup* g = m_groupManager.GetGroup(group))
    FillGroupActiveStates(g->m_pGroup.Get(), byClient);
}

int COpcServer::GetItemProperties(const COpcItem* item, std::vector<OpcPropertyRow>& rows) const {
  rows.clear();
  if (!item || !m_pServer) return 0;
  m_pWatch->Check(ListItemProperties(m_pServer.Get(), item->m_strItemId, rows));
  return static_cast<int>(rows.size());
}

void COpcServer::GetServerStatus(ServerStatusText& info) const {
  if (!m_pServer) return;
  FillServerStatus(m_pServer.Get(), info);
  info.m_strDaVersions = ServerDaVersions(m_strNode, m_strProgId);
}

std::wstring COpcServer::GetErrorText(const std::wstring& prefix, DWORD code) const {
  return ::GetErrorText(prefix, code, m_pServer.Get());
}

void COpcServer::ReportError(const std::wstring& prefix, DWORD code) const {
  ::ReportError(prefix, code, m_pServer.Get());
}
