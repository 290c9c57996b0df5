// Everything the program knows about one connected OPC DA server. A facade: groups,
// items and I/O go to the group manager, the address space to the browser.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "ComPtr.h"
#include "OpcAliveCheck.h"
#include "OpcBrowser.h"
#include "OpcGroupManager.h"
#include "OpcItemProperties.h"
#include "OpcServerWatch.h"
#include "OpcStatus.h"
#include "OpcUiPorts.h"
#include "opcda.h"

// The call that sets the process's COM security; replaceable so tests can play a process
// where security was already set. nullptr restores the system call.
using OpcSecurityFn = HRESULT (*)();
OpcSecurityFn SetOpcInitializeSecurity(OpcSecurityFn fn);
// Remote creation, replaceable for the same reason: a node's DCOM answers cannot be had
// on one machine. nullptr restores CoCreateInstanceEx.
using OpcCreateRemoteFn = HRESULT (*)(REFCLSID clsid, DWORD context, COSERVERINFO* server,
                                      DWORD count, MULTI_QI* results);
OpcCreateRemoteFn SetOpcCreateRemote(OpcCreateRemoteFn fn);

class COpcServer {
 public:
  COpcServer();
  ~COpcServer();
  COpcServer(const COpcServer&) = delete;
  COpcServer& operator=(const COpcServer&) = delete;

  // Connection.
  BOOL Initialize(HWND notifyWnd);
  BOOL Connect(const std::wstring& progId, const std::wstring& node);
  void Disconnect();
  BOOL IsConnected() const { return m_bConnected; }
  // Asks a connected server for its status, so that a server whose process has died or
  // stopped answering is noticed without a user's action (the loss is posted as for a
  // shutdown notice). Called every few seconds by the window that owns the connection.
  void CheckAlive() { CheckAlive(COpcAliveCheck::Limit()); }
  // The same with a limit of the caller's (a console watch waits less than a window).
  void CheckAlive(DWORD limitMs);
  // After WM_OPC_SERVERSHUTDOWN: why the server went (its own reason text, possibly empty,
  // or the system's text for the code a call failed with) and that code (S_OK for the
  // server's shutdown notice). Kept until the next Connect.
  std::wstring GetShutdownReason() const { return m_pWatch->Reason(); }
  HRESULT GetShutdownCode() const { return m_pWatch->Code(); }

  // Discovery.
  int EnumerateServers(const std::wstring& node);
  int FillServerList(IOpcServerList* list, const std::wstring& node);

  // Browsing.
  BOOL CanBrowse() const { return m_browser.CanBrowse(); }
  void SetBrowseRootName(const std::wstring& name) { m_browser.SetBrowseRootName(name); }
  void SetBrowseFilter(const std::wstring& filter) { m_browser.SetBrowseFilter(filter); }
  std::wstring GetBrowseFilter() const { return m_browser.GetBrowseFilter(); }
  void SetBrowseDataType(VARTYPE vt) { m_browser.SetBrowseDataType(vt); }
  VARTYPE GetBrowseDataType() const { return m_browser.GetBrowseDataType(); }
  void SetBrowseAccessRights(BYTE rights) { m_browser.SetBrowseAccessRights(rights); }
  BYTE GetBrowseAccessRights() const { return m_browser.GetBrowseAccessRights(); }
  void BuildBrowseTree(IOpcTree* tree) { m_browser.BuildBrowseTree(tree); }
  void BuildFlatTree(IOpcTree* tree) { m_browser.BuildFlatTree(tree); }
  // The tree as it is opened: the root's children now, a branch's when ListBrowseBranch is
  // called for it, a leaf's item ID when it is used.
  void BuildBrowseTop(IOpcTree* tree) { m_browser.BuildBrowseTop(tree); }
  bool ListBrowseBranch(OpcTreeNode node) { return m_browser.ListBranch(node); }
  void ListBrowseSubtree(OpcTreeNode node) { m_browser.ListSubtree(node); }
  std::wstring GetBrowseItemId(int index) { return m_browser.GetBrowseItemId(index); }

  // Groups.
  void SetGroupActive(BOOL active) { m_groupManager.SetGroupActive(active); }
  void SetGroupUpdateRate(DWORD ms) { m_groupManager.SetGroupUpdateRate(ms); }
  void SetGroupDeadband(float deadband) { m_groupManager.SetGroupDeadband(deadband); }
  HRESULT AddGroup(OPCHANDLE handle, const std::wstring& name) {
    return m_groupManager.AddGroup(handle, name);
  }
  BOOL RemoveGroup(OPCHANDLE handle, BOOL force) {
    return m_groupManager.RemoveGroup(handle, force);
  }
  void RemoveAllGroups(BOOL force) { m_groupManager.RemoveAllGroups(force); }
  COpcGroup* SelectGroup(OPCHANDLE handle) { return m_groupManager.SelectGroup(handle); }
  COpcGroup* GetGroup(OPCHANDLE handle) const { return m_groupManager.GetGroup(handle); }
  COpcGroup* FindGroup(const std::wstring& name) const { return m_groupManager.FindGroup(name); }
  OPCHANDLE GetGroupHandle(const std::wstring& name) const {
    return m_groupManager.GetGroupHandle(name);
  }
  int GetGroupHandles(std::vector<int>& handles) const {
    return m_groupManager.GetGroupHandles(handles);
  }
  int GetGroupItemCount(OPCHANDLE handle) const { return m_groupManager.GetGroupItemCount(handle); }
  HRESULT RenameGroup(const std::wstring& name) { return m_groupManager.RenameGroup(name); }
  HRESULT ChangeGroupActive(BOOL active) { return m_groupManager.ChangeGroupActive(active); }
  HRESULT ChangeGroupUpdateRate(DWORD ms) { return m_groupManager.ChangeGroupUpdateRate(ms); }
  HRESULT ChangeGroupDeadband(float deadband) {
    return m_groupManager.ChangeGroupDeadband(deadband);
  }

  // Items.
  COpcItem* AddItem(const std::wstring& itemId) { return m_groupManager.AddItem(itemId); }
  // Many items into that group in batched server calls (COpcGroupManager::AddItems).
  size_t AddItems(OPCHANDLE group, const std::vector<OpcItemRequest>& requests,
                  std::vector<OpcItemOutcome>& outcomes, const OpcAddProgress& progress = {}) {
    return m_groupManager.AddItems(group, requests, outcomes, progress);
  }
  COpcItem* AddItemOfType(const std::wstring& itemId, const std::wstring& accessPath,
                          VARTYPE type) {
    return m_groupManager.AddItemOfType(itemId, accessPath, type);
  }
  COpcItem* FindItem(OPCHANDLE group, const std::wstring& itemId) const {
    return m_groupManager.FindItem(group, itemId);
  }
  BOOL RemoveItem(COpcItem* item) { return m_groupManager.RemoveItem(item); }
  // The live record behind an item client handle, or nullptr once it is gone.
  COpcItem* ResolveItem(OPCHANDLE hClient) const {
    return m_groupManager.m_itemTable.Resolve(hClient);
  }
  HRESULT SetItemActive(COpcItem* item, BOOL active) {
    return m_groupManager.SetItemActive(item, active);
  }
  HRESULT SetItemsActive(const std::vector<COpcItem*>& items, BOOL active,
                         std::vector<HRESULT>& errors) {
    return m_groupManager.SetItemsActive(items, active, errors);
  }

  // Reads, writes and refreshes.
  BOOL ReadCache(COpcItem* item) { return m_groupManager.ReadCache(item); }
  BOOL ReadDevice(COpcItem* item) { return m_groupManager.ReadDevice(item); }
  BOOL AsyncReadCache(COpcItem* item) { return m_groupManager.AsyncReadCache(item); }
  BOOL AsyncReadDevice(COpcItem* item) { return m_groupManager.AsyncReadDevice(item); }
  BOOL RefreshCache() { return m_groupManager.RefreshCache(); }
  BOOL RefreshDevice() { return m_groupManager.RefreshDevice(); }
  BOOL WriteSync(COpcItem* item, const std::wstring& text, HRESULT* convertError = nullptr,
                 HRESULT* failure = nullptr) {
    return m_groupManager.WriteSync(item, text, convertError, failure);
  }
  BOOL WriteAsync(COpcItem* item, const std::wstring& text, HRESULT* convertError = nullptr,
                  HRESULT* failure = nullptr) {
    return m_groupManager.WriteAsync(item, text, convertError, failure);
  }

  // Text forms.
  std::wstring GetValueText(const COpcItem* item) const;
  std::wstring GetValueTypeText(const COpcItem* item) const;
  static std::wstring GetTypeName(VARTYPE vt);
  static VARTYPE ParseTypeName(const std::wstring& text);
  void GetItemAttributes(const COpcItem* item, ItemAttributeText& info) const;
  // All items of that group in one scan, by item client handle; empty for no such group.
  void GetGroupAttributes(OPCHANDLE group, ItemAttributeMap& byClient) const;
  // Only the items' active flags, as above.
  void GetGroupActiveStates(OPCHANDLE group, ItemActiveMap& byClient) const;
  // The item's OPC DA 2.0 properties as rows ("(id) description", value text); returns the
  // number of rows, 0 for a server without them.
  int GetItemProperties(const COpcItem* item, std::vector<OpcPropertyRow>& rows) const;
  void GetServerStatus(ServerStatusText& info) const;
  std::wstring GetErrorText(const std::wstring& prefix, DWORD code) const;
  void ReportError(const std::wstring& prefix, DWORD code) const;

  BOOL m_bInitialized = FALSE;
  BOOL m_bConnected = FALSE;
  std::vector<std::wstring> m_serverNames;
  std::wstring m_strProgId;
  std::wstring m_strNode;
  TComPtr<IOPCServer> m_pServer;
  COpcBrowser m_browser;
  COpcGroupManager m_groupManager;
  // The shutdown notice's receiver (one counted reference) and where it is advised.
  TComPtr<COpcServerWatch> m_pWatch;
  TComPtr<IConnectionPoint> m_pShutdownPoint;
  DWORD m_dwShutdownCookie = 0;
  COpcAliveCheck m_aliveCheck;
  bool m_bProxy = false;  // the server lives in another process

 private:
  void AdviseShutdown();
  // Creates the server object on this machine or on m_strNode; reports its own failures.
  HRESULT CreateServerObject(const CLSID& clsid, TComPtr<IUnknown>& object);
};
