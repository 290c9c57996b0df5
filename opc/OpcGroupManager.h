// Groups and items of the connected server: the group table, the current group, the
// settings block, and the reads and writes that act through a group.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
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
class IOpcItemObserver;

// One item of a batched add.
struct OpcItemRequest {
  std::wstring strItemId;
  std::wstring strAccessPath;  // empty: the server's default
  // true: the requested types the single add tries, in its order; false: vtRequested only.
  bool bTryTypes = true;
  VARTYPE vtRequested = VT_EMPTY;
  BOOL bActive = TRUE;
};

// What became of one request, at the same index as the request.
struct OpcItemOutcome {
  COpcItem* pItem = nullptr;  // the new record; none unless hr is S_OK
  // S_OK added; S_FALSE skipped (already in the group, or earlier in the same list);
  // E_ABORT not attempted (stopped, or the group or server went); else the server's code
  // (the whole call's when it failed, else the item's, of the first requested type that
  // did not fail for its type alone).
  HRESULT hr = E_ABORT;
};

// Told after every batch with the requests settled so far; returning false stops the add
// after that batch. It may let messages run: the add notices a group or server that went.
using OpcAddProgress = std::function<bool(size_t done, size_t total)>;

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
  // What each group subscribed through the DA 2.0 callback asks of its server: a keep-alive
  // callback at least this often (ms) while it has nothing else to send.
  static constexpr DWORD kKeepAliveMs = 1000;
  // The longest keep-alive period of the active groups that have one; 0 when none does,
  // and the server must be asked for its status instead.
  DWORD KeepAliveMs() const;
  // Where both the DA 1.0 sink and the DA 2.0 callback post their messages.
  void SetNotifyWindow(HWND hWnd);
  // Told of every value both ways store and of every write result; not counted, may be null.
  void SetItemObserver(IOpcItemObserver* observer);
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
  // The server's objects the groups hold (each group and its callback point), with one
  // reference more each for the caller.
  void HoldGroupObjects(std::vector<IUnknown*>& held) const;
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
  // Many items into one group, kAddBatchSize to a server call; one refused item does not
  // stop the others. Each new record is kept and read from the cache as AddItem does, and
  // a whole batch is settled (added, refused or skipped) before progress hears of it, so
  // stopping leaves the server and the records in agreement. Returns how many were added.
  static constexpr size_t kAddBatchSize = 1000;
  size_t AddItems(OPCHANDLE group, const std::vector<OpcItemRequest>& requests,
                  std::vector<OpcItemOutcome>& outcomes, const OpcAddProgress& progress = {});
  // Reads records of the current group in one call and stores value, quality and time
  // stamp of each the server read; errors gets one entry per record (OPC_E_INVALIDHANDLE
  // for a record the current group does not hold).
  HRESULT ReadItems(const std::vector<COpcItem*>& items, OPCDATASOURCE source,
                    std::vector<HRESULT>& errors);
  // Writes values (already in the types wanted) to records of the current group in one call.
  // Synchronous: errors holds each item's result. Asynchronous: errors holds whether each
  // write was accepted; the outcomes arrive later through the item observer.
  HRESULT WriteItems(const std::vector<COpcItem*>& items, std::vector<VARIANT>& values, bool async,
                     std::vector<HRESULT>& errors);
  // The requested types AddItem tries, in its order.
  static std::span<const VARTYPE> RequestedTypes();
  // One requested type only (VT_EMPTY: AddItem's tries), under the given access path.
  COpcItem* AddItemOfType(const std::wstring& itemId, const std::wstring& accessPath, VARTYPE type);
  // Why the last item add failed: the item's error or the call's (S_OK after a success).
  HRESULT m_hrLastAddItem = S_OK;
  COpcItem* FindItem(OPCHANDLE group, const std::wstring& itemId) const;
  BOOL RemoveItem(COpcItem* item);
  HRESULT SetItemActive(COpcItem* item, BOOL active);
  // Any records of any groups, one server call per group. errors gets each record's result
  // (E_FAIL for a record no group holds); returns the first failed call's code, else the
  // calls' own (S_FALSE when some item failed).
  HRESULT SetItemsActive(const std::vector<COpcItem*>& items, BOOL active,
                         std::vector<HRESULT>& errors);

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
  uint32_t m_nLastGroupSerial = 0;
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
  unsigned m_nGroupsCreated = 0;

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
  // One batch of AddItems: every request of `batch` settled in `outcomes`.
  void AddBatch(COpcGroup* group, const std::vector<OpcItemRequest>& requests,
                const std::vector<size_t>& batch, std::vector<OpcItemOutcome>& outcomes);
  // ReadItems through any group.
  HRESULT ReadItemsOf(COpcGroup* group, const std::vector<COpcItem*>& items, OPCDATASOURCE source,
                      std::vector<HRESULT>& errors);
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
