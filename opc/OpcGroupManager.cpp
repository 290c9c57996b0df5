#include "OpcGroupManager.h"

#include "OpcDataCallback.h"
#include "OpcDataSink.h"
#include "OpcUiPorts.h"
#include "OpcServerWatch.h"
#include "OpcStreamFormats.h"

bool COpcGroup::Holds(const COpcItem* item) const {
  if (!item) return false;
  auto it = m_itemsByName.find(item->m_strItemId);
  return it != m_itemsByName.end() && it->second == item;
}

COpcGroupManager::COpcGroupManager()
    : m_pSink(new COpcDataSink), m_pCallback(new COpcDataCallback) {
  m_pSink->SetItemTable(&m_itemTable);
  m_pCallback->SetItemTable(&m_itemTable);
  Reset();
}

COpcGroupManager::~COpcGroupManager() {
  // Groups still here (no Disconnect) go without server calls.
  DropAllGroups();
  // A server may still hold the sink through an advise connection; it must not reach
  // records that are gone.
  m_pSink->SetItemTable(nullptr);
  m_pCallback->SetItemTable(nullptr);
}

void COpcGroupManager::SetNotifyWindow(HWND hWnd) {
  m_pSink->SetNotifyWindow(hWnd);
  m_pCallback->SetNotifyWindow(hWnd);
}

void COpcGroupManager::SetItemObserver(IOpcItemObserver* observer) {
  m_pSink->SetItemObserver(observer);
  m_pCallback->SetItemObserver(observer);
}

HRESULT COpcGroupManager::Checked(HRESULT hr) const {
  return m_pWatch ? m_pWatch->Check(hr) : hr;
}

DWORD COpcGroupManager::NextClientTransaction() {
  if (++m_dwLastClientTransaction == 0) ++m_dwLastClientTransaction;  // 0 means "subscription"
  return m_dwLastClientTransaction;
}

void COpcGroupManager::Reset() {
  m_pServer = nullptr;
  m_pCurrent = nullptr;
  m_dwDataConnection = 0;
  m_dwWriteConnection = 0;
  m_dwTransactionId = 0;
  m_hClient = 0;
  m_hServer = 0;
  m_strName.clear();
  m_strAccessPath.clear();
  m_bTimeStamped = TRUE;
  // Empty by now; a record still here would be orphaned, so it is released, not leaked.
  DropAllGroups();
}

void COpcGroupManager::DropAllGroups() {
  for (auto& [key, group] : m_groupTable) DeleteItems(group.get());
  m_groupTable.clear();
}

void COpcGroupManager::DeleteItems(COpcGroup* group) {
  for (COpcItem* item : group->m_items) DeleteItem(item);
  group->m_items.clear();
  group->m_itemsByName.clear();
}

HRESULT COpcGroupManager::AddGroup(OPCHANDLE handle, const std::wstring& name) {
  if (m_groupTable.count(Key(handle))) return E_FAIL;
  m_hClient = handle;
  m_strName = name;
  if (!m_pServer) return E_FAIL;

  auto group = std::make_unique<COpcGroup>();
  HRESULT hr = Checked(m_pServer->AddGroup(
      m_strName.c_str(), m_bActive, m_dwRequestedRate, m_hClient, nullptr, &m_fDeadband, m_dwLcid,
      &m_hServer, &m_dwRevisedRate, IID_IOPCGroupStateMgt, group->m_pGroup.PutUnknown()));
  if (FAILED(hr)) return hr;
  if (!group->m_pGroup) return E_NOINTERFACE;  // success without a group object is useless

  group->m_strName = m_strName;
  group->m_bActive = m_bActive;
  group->m_dwRequestedRate = m_dwRequestedRate;
  group->m_hClient = m_hClient;
  group->m_fDeadband = m_fDeadband;
  group->m_hServer = m_hServer;
  group->m_dwRevisedRate = m_dwRevisedRate;
  group->m_nSerial = ++m_nLastGroupSerial;
  group->m_nCreated = ++m_nGroupsCreated;
  m_pCurrent = group.get();
  m_groupTable.emplace(Key(handle), std::move(group));
  m_dwDataConnection = 0;
  m_dwWriteConnection = 0;
  AdviseGroup();
  return hr;
}

// DA 1.0 streams where the group offers IDataObject; the DA 2.0 callback where it does not
// or the streams cannot be advised. Only a group with neither gets the message.
void COpcGroupManager::AdviseGroup() {
  if (!m_pCurrent) return;
  TComPtr<IDataObject> data;
  const bool hasData = SUCCEEDED(data.QueryFrom(m_pCurrent->m_pGroup.Get())) && data;
  if (hasData && AdviseStreams(data.Get())) return;
  if (AdviseCallback(m_pCurrent)) return;
  if (!hasData)
    OpcMessageBox(OpcBoxOwner::None, OpcUiString(OpcUiText::NoDataObject), L"Plover Client", MB_OK);
}

bool COpcGroupManager::AdviseStreams(IDataObject* data) {
  TComPtr<IAdviseSink> sink;
  if (FAILED(sink.QueryFrom(m_pSink.Get())) || !sink) return false;
  static const COpcStreamFormats formats;
  FORMATETC fe = {static_cast<CLIPFORMAT>(formats.m_cfWriteComplete), nullptr, DVASPECT_CONTENT, -1,
                  TYMED_HGLOBAL};
  // The write-complete stream is advised first.
  if (FAILED(Checked(data->DAdvise(&fe, ADVF_PRIMEFIRST, sink.Get(), &m_dwWriteConnection)))) {
    m_dwWriteConnection = 0;
    return false;
  }
  fe.cfFormat = static_cast<CLIPFORMAT>(m_bTimeStamped ? formats.m_cfDataTime : formats.m_cfData);
  if (FAILED(Checked(data->DAdvise(&fe, ADVF_PRIMEFIRST, sink.Get(), &m_dwDataConnection)))) {
    // Half a subscription is none: the other way gets the group whole.
    data->DUnadvise(m_dwWriteConnection);
    m_dwWriteConnection = 0;
    m_dwDataConnection = 0;
    return false;
  }
  m_pCurrent->m_dwDataConnection = m_dwDataConnection;
  m_pCurrent->m_dwWriteConnection = m_dwWriteConnection;
  return true;
}

bool COpcGroupManager::AdviseCallback(COpcGroup* group) {
  TComPtr<IConnectionPointContainer> container;
  if (FAILED(container.QueryFrom(group->m_pGroup.Get())) || !container) return false;
  TComPtr<IConnectionPoint> point;
  if (FAILED(Checked(container->FindConnectionPoint(IID_IOPCDataCallback, point.Put()))) || !point)
    return false;
  // The callback object's IUnknown, not its IOPCDataCallback: the server asks for that
  // itself, which is what lets proxies marshal it.
  TComPtr<IUnknown> unknown;
  if (FAILED(unknown.QueryFrom(m_pCallback.Get())) || !unknown) return false;
  DWORD cookie = 0;
  if (FAILED(Checked(point->Advise(unknown.Get(), &cookie)))) return false;
  group->m_pCallbackPoint = point;
  group->m_dwCallbackCookie = cookie;
  // A DA 3.0 group calls back now and then even when nothing changes, so a silent server
  // shows without asking it; the period is the server's to revise.
  TComPtr<IOPCGroupStateMgt2> keepAlive;
  DWORD revised = 0;
  if (FAILED(keepAlive.QueryFrom(group->m_pGroup.Get())))
    keepAlive.Detach();  // a failed query hands back nothing we may release
  else if (keepAlive && SUCCEEDED(Checked(keepAlive->SetKeepAlive(kKeepAliveMs, &revised))))
    group->m_dwKeepAlive = revised;
  return true;
}

DWORD COpcGroupManager::KeepAliveMs() const {
  DWORD longest = 0;
  for (const auto& [key, group] : m_groupTable)
    if (group->UsesCallback() && group->m_bActive && group->m_dwKeepAlive > longest)
      longest = group->m_dwKeepAlive;
  return longest;
}

void COpcGroupManager::UnadviseGroup(COpcGroup* group) {
  if (group->m_pCallbackPoint) {
    // The point is a reference on the group: gone before the group is removed.
    Checked(group->m_pCallbackPoint->Unadvise(group->m_dwCallbackCookie));
    group->m_pCallbackPoint.Release();
    group->m_dwCallbackCookie = 0;
  }
  TComPtr<IDataObject> data;
  if (FAILED(data.QueryFrom(group->m_pGroup.Get())) || !data) return;
  data->DUnadvise(group->m_dwDataConnection);
  data->DUnadvise(group->m_dwWriteConnection);
}

void COpcGroupManager::DeleteItem(COpcItem* item) {
  m_itemTable.Remove(item->m_hClient);
  delete item;
}

BOOL COpcGroupManager::RemoveGroup(OPCHANDLE handle, BOOL force) {
  auto it = m_groupTable.find(Key(handle));
  if (it == m_groupTable.end()) return FALSE;
  COpcGroup* group = it->second.get();
  // No stream may name an item record once it is deleted: unadvise first.
  UnadviseGroup(group);
  HRESULT hr = m_pServer ? Checked(m_pServer->RemoveGroup(group->m_hServer, force)) : E_FAIL;
  DeleteItems(group);
  if (m_pCurrent == group) m_pCurrent = nullptr;
  m_groupTable.erase(it);
  return SUCCEEDED(hr) ? TRUE : FALSE;
}

void COpcGroupManager::RemoveAllGroups(BOOL force) {
  std::vector<OPCHANDLE> handles;
  for (auto& [key, group] : m_groupTable) handles.push_back(group->m_hClient);
  for (OPCHANDLE h : handles) RemoveGroup(h, force);
  DropAllGroups();
  m_pServer = nullptr;
  m_pCurrent = nullptr;
}

void COpcGroupManager::ForgetAllGroups() {
  DropAllGroups();  // the records release their connection points and groups unasked
  m_pServer = nullptr;
  m_pCurrent = nullptr;
}

void COpcGroupManager::HoldGroupObjects(std::vector<IUnknown*>& held) const {
  for (const auto& [key, group] : m_groupTable) {
    for (IUnknown* object : {static_cast<IUnknown*>(group->m_pGroup.Get()),
                             static_cast<IUnknown*>(group->m_pCallbackPoint.Get())}) {
      if (!object) continue;
      object->AddRef();
      held.push_back(object);
    }
  }
}

COpcGroup* COpcGroupManager::SelectGroup(OPCHANDLE handle) {
  if (handle == 0) return nullptr;
  COpcGroup* group = GetGroup(handle);
  if (!group) return nullptr;
  m_strName = group->m_strName;
  m_bActive = group->m_bActive;
  m_dwRequestedRate = group->m_dwRequestedRate;
  m_fDeadband = group->m_fDeadband;
  m_hServer = group->m_hServer;
  m_hClient = group->m_hClient;
  m_dwRevisedRate = group->m_dwRevisedRate;
  m_dwDataConnection = group->m_dwDataConnection;
  m_dwWriteConnection = group->m_dwWriteConnection;
  m_pCurrent = group;
  return group;
}

COpcGroup* COpcGroupManager::GetGroup(OPCHANDLE handle) const {
  auto it = m_groupTable.find(Key(handle));
  return it == m_groupTable.end() ? nullptr : it->second.get();
}

COpcGroup* COpcGroupManager::FindGroup(const std::wstring& name) const {
  for (auto& [key, group] : m_groupTable)
    if (group->m_strName == name) return group.get();
  return nullptr;
}

OPCHANDLE COpcGroupManager::GetGroupHandle(const std::wstring& name) const {
  if (name.empty()) return m_hClient;
  COpcGroup* group = FindGroup(name);
  return group ? group->m_hClient : 0xFFFFFFFF;
}

int COpcGroupManager::GetGroupHandles(std::vector<int>& handles) const {
  handles.clear();
  for (auto& [key, group] : m_groupTable) handles.push_back(key);
  return static_cast<int>(handles.size());
}

int COpcGroupManager::GetGroupItemCount(OPCHANDLE handle) const {
  COpcGroup* group = GetGroup(handle);
  return group ? static_cast<int>(group->m_items.size()) : 0;
}

HRESULT COpcGroupManager::RenameGroup(const std::wstring& name) {
  if (!m_pCurrent) return E_FAIL;
  HRESULT hr = Checked(m_pCurrent->m_pGroup->SetName(name.c_str()));
  if (SUCCEEDED(hr)) {
    m_strName = name;
    m_pCurrent->m_strName = name;
  }
  return hr;
}

HRESULT COpcGroupManager::ChangeGroupActive(BOOL active) {
  m_bActive = active;
  return ApplyGroupState();
}

HRESULT COpcGroupManager::ChangeGroupUpdateRate(DWORD ms) {
  m_dwRequestedRate = ms;
  return ApplyGroupState();
}

HRESULT COpcGroupManager::ChangeGroupDeadband(float deadband) {
  m_fDeadband = deadband;
  return ApplyGroupState();
}

HRESULT COpcGroupManager::ApplyGroupState() {
  if (!m_pCurrent) return E_FAIL;
  // Every call sends the whole block.
  HRESULT hr =
      Checked(m_pCurrent->m_pGroup->SetState(&m_dwRequestedRate, &m_dwRevisedRate, &m_bActive,
                                             nullptr, &m_fDeadband, &m_dwLcid, &m_hClient));
  if (SUCCEEDED(hr)) {
    m_pCurrent->m_bActive = m_bActive;
    m_pCurrent->m_dwRequestedRate = m_dwRequestedRate;
    m_pCurrent->m_fDeadband = m_fDeadband;
    m_pCurrent->m_dwRevisedRate = m_dwRevisedRate;
  }
  return hr;
}
