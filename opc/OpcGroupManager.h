// Groups and items of the connected server: the group table, the current group, the
// settings block, and the reads and writes that act through a group.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "ItemHandleTable.h"
#include "OpcDataSink.h"
#include "OpcGroup.h"
#include "OpcItem.h"
#include "opcda.h"

class COpcDataCallback;

// The data types AddItem requests an item as, in the order tried until one is accepted. An
// item accepted as VT_EMPTY whose own type has no value text is added again as the next.
const std::vector<VARTYPE>& RequestedItemTypes();
class COpcServerWatch;

class COpcGroupManager {
 public:
  COpcGroupManager();
  ~COpcGroupManager();
  COpcGroupManager(const COpcGroupManager&) = delete;
  COpcGroupManager& operator=(const COpcGroupManager&) = delete;

  // Clears the server pointer, current group, connections, handles and names (the table
  // is empty by then); the rates, deadband, active flag and locale keep their values.
  void Reset();
  void SetServer(IOPCServer* server) { m_pServer = server; }
  COpcDataSink* GetSink() const { return m_pSink.Get(); }
  COpcDataCallback* GetCallback() const { return m_pCallback.Get(); }
  // Where both the DA 1.0 sink and the DA 2.0 callback post their messages.
  void SetNotifyWindow(HWND hWnd);
  // Told of every failed server call (a vanished server); not counted, may be null.
  void SetWatch(COpcServerWatch* watch) { m_pWatch = watch; }

  // Settings for the next AddGroup; no server call.
  void SetGroupActive(BOOL active) { m_bActive = active; }
  void SetGroupUpdateRate(DWORD ms) { m_dwRequestedRate = ms; }
  void SetGroupDeadband(float deadband) { m_fDeadband = deadband; }

  HRESULT AddGroup(OPCHANDLE handle, const std::wstring& name);
  BOOL RemoveGroup(OPCHANDLE handle, BOOL force);
  void RemoveAllGroups(BOOL force);
  // For a server that has gone: every record goes without a server call.
  void ForgetAllGroups();
  COpcGroup* SelectGroup(OPCHANDLE handle);
  COpcGroup* GetGroup(OPCHANDLE handle) const;
  COpcGroup* FindGroup(const std::wstring& name) const;
  OPCHANDLE GetGroupHandle(const std::wstring& name) const;
  int GetGroupHandles(std::vector<int>& handles) const;
  int GetGroupItemCount(OPCHANDLE handle) const;
  COpcGroup* GetCurrentGroup() const { return m_pCurrent; }

  HRESULT RenameGroup(const std::wstring& name);
  HRESULT ChangeGroupActive(BOOL active);
  HRESULT ChangeGroupUpdateRate(DWORD ms);
  HRESULT ChangeGroupDeadband(float deadband);

  COpcItem* AddItem(const std::wstring& itemId);
  COpcItem* FindItem(OPCHANDLE group, const std::wstring& itemId) const;
  BOOL RemoveItem(COpcItem* item);
  HRESULT SetItemActive(COpcItem* item, BOOL active);

  BOOL ReadCache(COpcItem* item) { return SyncRead(item, OPC_DS_CACHE); }
  BOOL ReadDevice(COpcItem* item) { return SyncRead(item, OPC_DS_DEVICE); }
  BOOL AsyncReadCache(COpcItem* item) { return AsyncRead(item, OPC_DS_CACHE); }
  BOOL AsyncReadDevice(COpcItem* item) { return AsyncRead(item, OPC_DS_DEVICE); }
  BOOL RefreshCache() { return Refresh(OPC_DS_CACHE); }
  BOOL RefreshDevice() { return Refresh(OPC_DS_DEVICE); }
  // A text that does not convert to the item's value type stops the write before any
  // server call; *convertError (if given) then holds the conversion's HRESULT for the
  // caller to report. Otherwise it is S_OK. *failure (if given) holds the code of any
  // failure, the conversion's, the call's or the item's own, for the user to be told why.
  BOOL WriteSync(COpcItem* item, const std::wstring& text, HRESULT* convertError = nullptr,
                 HRESULT* failure = nullptr);
  BOOL WriteAsync(COpcItem* item, const std::wstring& text, HRESULT* convertError = nullptr,
                  HRESULT* failure = nullptr);

  // The server pointer (borrowed, not counted) and the current group.
  IOPCServer* m_pServer = nullptr;
  COpcGroup* m_pCurrent = nullptr;
  TComPtr<COpcDataSink> m_pSink;          // the manager's own reference
  TComPtr<COpcDataCallback> m_pCallback;  // the manager's own reference, shared by every group
  COpcServerWatch* m_pWatch = nullptr;
  std::map<uint16_t, std::unique_ptr<COpcGroup>> m_groupTable;
  // Item client handles: what the server sends back in its streams.
  CItemHandleTable m_itemTable;
  DWORD m_dwDataConnection = 0;
  DWORD m_dwWriteConnection = 0;
  DWORD m_dwTransactionId = 0;
  DWORD m_dwLastClientTransaction = 0;  // the IOPCAsyncIO2 transactions this client numbers
  BOOL m_bTimeStamped = TRUE;
  std::wstring m_strAccessPath;

  // The settings block: parameters of the next AddGroup, mirror of the current group.
  std::wstring m_strName;
  BOOL m_bActive = TRUE;
  DWORD m_dwRequestedRate = 10000;
  DWORD m_dwRevisedRate = 0;
  float m_fDeadband = 1.0f;
  DWORD m_dwLcid = 0;
  OPCHANDLE m_hClient = 0;
  OPCHANDLE m_hServer = 0;

 private:
  static uint16_t Key(OPCHANDLE handle) { return static_cast<uint16_t>(handle & 0xFFFF); }
  void AdviseGroup();
  bool AdviseStreams(IDataObject* data);
  bool AdviseCallback(COpcGroup* group);
  void UnadviseGroup(COpcGroup* group);
  // Passes a server call's result through the watch.
  HRESULT Checked(HRESULT hr) const;
  DWORD NextClientTransaction();
  HRESULT ApplyGroupState();
  COpcItem* AddItemAs(const std::wstring& itemId, VARTYPE type);
  void DeleteItem(COpcItem* item);
  // Deletes a group's item records (no server calls) and their handles.
  void DeleteItems(COpcGroup* group);
  // Deletes every record without server calls and empties the table.
  void DropAllGroups();
  // The group an item operation goes through: the current group must exist; the item
  // must be one of a live group's records.
  COpcGroup* OwnerOf(const COpcItem* item) const;
  BOOL SyncRead(COpcItem* item, OPCDATASOURCE source);
  BOOL AsyncRead(COpcItem* item, OPCDATASOURCE source);
  BOOL Refresh(OPCDATASOURCE source);
  BOOL Write(COpcItem* item, const std::wstring& text, bool async, HRESULT* convertError,
             HRESULT* failure);
};
