// A private group: state, items, synchronous and asynchronous I/O, the OPC DA 1.0
// data-object advise connections, the OPC DA 2.0 IOPCDataCallback connection point and the
// OPC DA 3.0 additions (reads by maximum age, writes of value, quality and time stamp,
// keep-alive, item deadbands). The server
// holds one reference to each of its groups; a group refers back to its server without a reference,
// and the server detaches its groups before it goes away.
#pragma once

#include "ComObject.h"
#include "Signals.h"
#include "SimConnectionPoint.h"
#include "StreamWriter.h"
#include "VariantUtil.h"
#include "opcda.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace plover::sim {

class SimServer;

struct GroupItem {
  OPCHANDLE hServer = 0;
  OPCHANDLE hClient = 0;
  uint32_t index = 0;  // into the address space
  bool active = true;
  VARTYPE requested = VT_EMPTY;
  std::wstring accessPath;
  // The group's cache: value in the requested type.
  Variant cacheValue;
  HRESULT cacheError = S_OK;  // conversion to the requested type failed
  WORD cacheQuality = 0;
  FILETIME cacheTime{};
  bool cached = false;
  // Last value accepted for the subscription (canonical type), for change and deadband.
  Variant sentValue;
  WORD sentQuality = 0;
  bool sent = false;
  float deadband = -1.0f;  // the item's own percent deadband; negative: the group's
};

struct GroupState {
  std::wstring name;
  bool active = true;
  DWORD requestedRate = 1000;
  DWORD revisedRate = 1000;
  OPCHANDLE hClient = 0;
  OPCHANDLE hServer = 0;
  LONG timeBias = 0;
  float deadband = 0;
  DWORD lcid = 0;
  DWORD keepAlive = 0;  // ms; 0: off
};

// The arrays of one IOPCDataCallback call. They belong to the server: built before any
// client code runs, and spoiled then freed after the call, so a client that keeps a pointer
// into them instead of a copy is caught.
struct CallbackBatch {
  explicit CallbackBatch(const std::vector<StreamItem>& items);
  ~CallbackBatch();
  CallbackBatch(const CallbackBatch&) = delete;
  CallbackBatch& operator=(const CallbackBatch&) = delete;
  bool Ok() const { return handles && values && qualities && times && errors; }

  DWORD count = 0;
  OPCHANDLE* handles = nullptr;
  VARIANT* values = nullptr;
  WORD* qualities = nullptr;
  FILETIME* times = nullptr;
  HRESULT* errors = nullptr;
  HRESULT masterQuality = S_OK;  // S_FALSE when any quality is not good
  HRESULT masterError = S_OK;    // S_FALSE when any error is not S_OK
};

class SimGroup final : public ComRoot,
                       public IOPCGroupStateMgt2,
                       public IOPCItemMgt,
                       public IOPCSyncIO2,
                       public IOPCAsyncIO,
                       public IOPCAsyncIO3,
                       public IOPCItemDeadbandMgt,
                       public IConnectionPointContainer,
                       public IDataObject,
                       private ConnectionPointHost {
 public:
  SimGroup(SimServer* server, const GroupState& state);

  PLOVER_COM_IUNKNOWN

  // IOPCGroupStateMgt
  HRESULT STDMETHODCALLTYPE GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName,
                                     LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID,
                                     OPCHANDLE* phClientGroup, OPCHANDLE* phServerGroup) override;
  HRESULT STDMETHODCALLTYPE SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate,
                                     BOOL* pActive, LONG* pTimeBias, FLOAT* pPercentDeadband,
                                     DWORD* pLCID, OPCHANDLE* phClientGroup) override;
  HRESULT STDMETHODCALLTYPE SetName(LPCWSTR szName) override;
  HRESULT STDMETHODCALLTYPE CloneGroup(LPCWSTR szName, REFIID riid, IUnknown** ppUnk) override;

  // IOPCItemMgt
  HRESULT STDMETHODCALLTYPE AddItems(DWORD dwCount, OPCITEMDEF* pItemArray,
                                     OPCITEMRESULT** ppAddResults, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL bBlobUpdate,
                                          OPCITEMRESULT** ppValidationResults,
                                          HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE RemoveItems(DWORD dwCount, OPCHANDLE* phServer,
                                        HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive,
                                           HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE SetClientHandles(DWORD dwCount, OPCHANDLE* phServer,
                                             OPCHANDLE* phClient, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE SetDatatypes(DWORD dwCount, OPCHANDLE* phServer,
                                         VARTYPE* pRequestedDatatypes, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE CreateEnumerator(REFIID riid, IUnknown** ppUnk) override;

  // IOPCSyncIO (Read and Write share their names with IOPCAsyncIO; the signatures differ)
  HRESULT STDMETHODCALLTYPE Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                                 OPCITEMSTATE** ppItemValues, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                  HRESULT** ppErrors) override;

  // IOPCAsyncIO
  HRESULT STDMETHODCALLTYPE Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount,
                                 OPCHANDLE* phServer, DWORD* pTransactionID,
                                 HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer,
                                  VARIANT* pItemValues, DWORD* pTransactionID,
                                  HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE Refresh(DWORD dwConnection, OPCDATASOURCE dwSource,
                                    DWORD* pTransactionID) override;
  HRESULT STDMETHODCALLTYPE Cancel(DWORD dwTransactionID) override;

  // IOPCAsyncIO2 (results through the IOPCDataCallback connection)
  HRESULT STDMETHODCALLTYPE Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID,
                                 DWORD* pdwCancelID, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                  DWORD dwTransactionID, DWORD* pdwCancelID,
                                  HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID,
                                     DWORD* pdwCancelID) override;
  HRESULT STDMETHODCALLTYPE Cancel2(DWORD dwCancelID) override;
  HRESULT STDMETHODCALLTYPE SetEnable(BOOL bEnable) override;
  HRESULT STDMETHODCALLTYPE GetEnable(BOOL* pbEnable) override;

  // IOPCGroupStateMgt2
  HRESULT STDMETHODCALLTYPE SetKeepAlive(DWORD dwKeepAliveTime,
                                         DWORD* pdwRevisedKeepAliveTime) override;
  HRESULT STDMETHODCALLTYPE GetKeepAlive(DWORD* pdwKeepAliveTime) override;

  // IOPCSyncIO2
  HRESULT STDMETHODCALLTYPE ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge,
                                       VARIANT** ppvValues, WORD** ppwQualities,
                                       FILETIME** ppftTimeStamps, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE WriteVQT(DWORD dwCount, OPCHANDLE* phServer, OPCITEMVQT* pItemVQT,
                                     HRESULT** ppErrors) override;

  // IOPCAsyncIO3
  HRESULT STDMETHODCALLTYPE ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge,
                                       DWORD dwTransactionID, DWORD* pdwCancelID,
                                       HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE WriteVQT(DWORD dwCount, OPCHANDLE* phServer, OPCITEMVQT* pItemVQT,
                                     DWORD dwTransactionID, DWORD* pdwCancelID,
                                     HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE RefreshMaxAge(DWORD dwMaxAge, DWORD dwTransactionID,
                                          DWORD* pdwCancelID) override;

  // IOPCItemDeadbandMgt
  HRESULT STDMETHODCALLTYPE SetItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                            FLOAT* pPercentDeadband, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE GetItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                            FLOAT** ppPercentDeadband, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE ClearItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                              HRESULT** ppErrors) override;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  // IDataObject
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* pformatetc) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* pformatectIn,
                                                  FORMATETC* pformatetcOut) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium,
                                    BOOL fRelease) override;
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD dwDirection,
                                          IEnumFORMATETC** ppenumFormatEtc) override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                                    DWORD* pdwConnection) override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

  const GroupState& State() const { return m_state; }
  // One update cycle: sample active items and send what changed (all: every active
  // item, as for a primed advise; onlyConnection: to that sink alone).
  void UpdateCycle(bool all = false, DWORD onlyConnection = 0);
  // Called by the server when it drops the group (force) or goes away. DA 2.0 requests still
  // waiting end with OnCancelComplete where the callback stays connected.
  void Detach(bool dropConnections);
  bool IsActive() const { return m_state.active && m_server; }
  uint64_t NextDueMs() const { return m_nextDueMs; }
  void SetNextDueMs(uint64_t ms) { m_nextDueMs = ms; }
  // When the next update or keep-alive is due, and running what is due by then (simulated
  // time); a keep-alive goes out when nothing else went to the callback for its time.
  uint64_t NextEventMs() const;
  void RunDue(uint64_t nowMs);
  uint64_t KeepAliveDueMs() const { return m_keepAliveDueMs; }
  void RestartKeepAlive();
  void KeepAliveTick(uint64_t nowMs);
  // Sends raw bytes to the sinks of a format (0: all data sinks). Test hook.
  void PushRaw(DWORD clipFormat, const BYTE* data, DWORD size);

 private:
  ~SimGroup() override;
  void* Query(REFIID riid) override;

  struct Connection {
    DWORD id;
    CLIPFORMAT format;
    ComPtr<IAdviseSink> sink;
  };

  HRESULT CheckAlive(const wchar_t* method);
  GroupItem* FindItem(OPCHANDLE h);
  // The handles an asynchronous read may serve; the others get their error in errors.
  std::vector<OPCHANDLE> ReadableItems(DWORD count, const OPCHANDLE* handles, HRESULT* errors);
  HRESULT ValidateDef(const OPCITEMDEF& def, int* index) const;
  void FillResult(const OPCITEMDEF& def, int index, OPCITEMRESULT* result) const;
  // Value of an item for a read: from the cache or freshly sampled ("device").
  void ReadItem(GroupItem& item, bool device, VARIANT* value, WORD* quality, FILETIME* time,
                HRESULT* error);
  // Refreshes the item's cache from the simulation.
  void LoadCache(GroupItem& item);
  void LoadCacheFrom(GroupItem& item, const ItemState& state);
  HRESULT WriteItem(GroupItem& item, const VARIANT& value, const OPCITEMVQT* vqt = nullptr);
  // Whether a read with this maximum age (ms) must go to the device.
  bool NeedsDevice(const GroupItem& item, DWORD maxAge) const;
  void SendKeepAlive(uint64_t nowMs);
  bool PassesDeadband(const GroupItem& item, const VARIANT& value) const;
  // Builds the data stream and hands it to the data sinks (or the one connection).
  void SendData(const std::vector<StreamItem>& items, DWORD transactionId, DWORD onlyConnection);
  StreamItem CacheEntry(const GroupItem& item, bool cacheRead) const;
  // handles: the server handle and the client handle at the time of the request.
  void CompleteRead(const std::vector<std::pair<OPCHANDLE, OPCHANDLE>>& handles, bool device,
                    DWORD transactionId, DWORD connection);
  void CompleteRefresh(bool device, DWORD transactionId, DWORD connection);
  void CompleteWrite(const std::vector<std::pair<OPCHANDLE, Variant>>& values,
                     const std::vector<OPCHANDLE>& clients, DWORD transactionId, DWORD connection);
  // The answer for an item removed between a request and its completion.
  static StreamItem RemovedEntry(OPCHANDLE hClient);
  bool IsDataFormat(CLIPFORMAT cf) const;
  void SendWriteComplete(const std::vector<WriteResult>& results, DWORD transactionId,
                         DWORD connection);
  void Deliver(const Connection& c, const std::vector<uint8_t>& bytes);
  const Connection* FindConnection(DWORD id) const;
  void DropConnections();
  void ScheduleMe();

  // ConnectionPointHost (the IOPCDataCallback point)
  IConnectionPointContainer* PointContainer() override { return this; }
  HRESULT PointCheck(const wchar_t* method, bool mustWork) override;
  DWORD PointCookie() override;
  void PointAdvised(DWORD cookie) override;
  // Hands values to the advised callback: OnReadComplete, or OnDataChange (transaction 0
  // only while enabled).
  void CallbackValues(CallbackBatch& batch, DWORD transactionId, bool read);
  // maxAges: one per handle (none: every item from the device).
  void CompleteRead2(const std::vector<std::pair<OPCHANDLE, OPCHANDLE>>& handles,
                     const std::vector<DWORD>& maxAges, DWORD transactionId);
  // stamps: the quality and time stamp parts of a WriteVQT, one per value (none: values alone).
  void CompleteWrite2(const std::vector<std::pair<OPCHANDLE, Variant>>& values,
                      const std::vector<OPCITEMVQT>& stamps, const std::vector<OPCHANDLE>& clients,
                      DWORD transactionId);
  void CompleteRefresh2(DWORD maxAge, DWORD transactionId);
  // The immediate half of IOPCAsyncIO2::Write and IOPCAsyncIO3::WriteVQT.
  HRESULT QueueWrite2(DWORD count, const OPCHANDLE* handles, const VARIANT* values,
                      const OPCITEMVQT* vqts, DWORD transactionId, DWORD* cancelId,
                      HRESULT** ppErrors);
  void CompleteCancel2(DWORD transactionId);
  // Books a DA 2.0 request for later; returns its cancel ID.
  DWORD Defer2(DWORD transactionId, std::function<void(SimGroup*)> op);

  SimServer* m_server;  // no reference; null once detached
  GroupState m_state;
  std::map<OPCHANDLE, GroupItem> m_items;
  OPCHANDLE m_lastItemHandle = 0;
  std::vector<Connection> m_connections;
  SimConnectionPoint m_dataPoint{this, IID_IOPCDataCallback};
  bool m_callbackEnabled = true;
  struct Pending2 {
    DWORD transactionId;     // the client's
    bool cancelled = false;  // answered by OnCancelComplete when its turn comes
  };
  std::map<DWORD, Pending2> m_pending2;  // by cancel ID
  uint64_t m_nextDueMs = 0;
  uint64_t m_keepAliveDueMs = 0;
  StreamWriter m_writer;

  friend class SimServer;
};

// An item's EU information as OPCITEMATTRIBUTES and item property 8 give it.
Variant EuInfo(const ItemDef& def);

// CoTaskMemAlloc'd array of n zeroed elements; null for n == 0 or out of memory.
template <class T>
T* CoTaskArray(size_t n) {
  if (n == 0) return nullptr;
  T* p = static_cast<T*>(CoTaskMemAlloc(n * sizeof(T)));
  if (p) ZeroMemory(p, n * sizeof(T));
  return p;
}

}  // namespace plover::sim
