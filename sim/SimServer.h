// The server object: IOPCServer, IOPCBrowseServerAddressSpace (not in the NoBrowse and
// Da3Only variants), the OPC DA 2.0 and Common interfaces (IOPCCommon, IOPCItemProperties and a
// connection point container with the IOPCShutdown point), the OPC DA 3.0 ones (IOPCBrowse, not
// in the NoBrowse variant, and IOPCItemIO) and the private test hooks. It owns its
// groups, its simulated clock and the hidden window that drives timers and asynchronous
// completions.
#pragma once

#include "AddressSpace.h"
#include "ComObject.h"
#include "HiddenWindow.h"
#include "SimControl.h"
#include "SimConnectionPoint.h"
#include "SimProcess.h"
#include "SimShared.h"
#include "Signals.h"
#include "opcda.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace plover::sim {

class SimGroup;

// Registered numbers of the three stream formats.
struct StreamFormats {
  CLIPFORMAT data;
  CLIPFORMAT dataTime;
  CLIPFORMAT writeComplete;
};
const StreamFormats& Formats();

class SimServer final : public ComRoot,
                        public IOPCServer,
                        public IOPCBrowseServerAddressSpace,
                        public IOPCCommon,
                        public IOPCItemProperties,
                        public IOPCBrowse,
                        public IOPCItemIO,
                        public IConnectionPointContainer,
                        public IPloverSimControl,
                        public IPloverSimProcess,
                        private WindowHandler,
                        private ConnectionPointHost {
 public:
  // shared null: a state of its own (the DLL, and the executable's private variant).
  explicit SimServer(SimVariant variant, std::shared_ptr<SimShared> shared = nullptr);

  PLOVER_COM_IUNKNOWN

  // IOPCServer
  HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                                     OPCHANDLE hClientGroup, LONG* pTimeBias,
                                     FLOAT* pPercentDeadband, DWORD dwLCID,
                                     OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                                     REFIID riid, IUnknown** ppUnk) override;
  HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LCID dwLocale,
                                           LPWSTR* ppString) override;
  HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR szName, REFIID riid, IUnknown** ppUnk) override;
  HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS** ppServerStatus) override;
  HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override;
  HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid,
                                                  IUnknown** ppUnk) override;

  // IOPCBrowseServerAddressSpace
  HRESULT STDMETHODCALLTYPE QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override;
  HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection,
                                                 LPCWSTR szString) override;
  HRESULT STDMETHODCALLTYPE BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType,
                                             LPCWSTR szFilterCriteria, VARTYPE vtDataTypeFilter,
                                             DWORD dwAccessRightsFilter,
                                             IEnumString** ppIEnumString) override;
  HRESULT STDMETHODCALLTYPE GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) override;
  HRESULT STDMETHODCALLTYPE BrowseAccessPaths(LPCWSTR szItemID,
                                              IEnumString** ppIEnumString) override;

  // IOPCCommon
  HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) override;
  HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pdwLcid) override;
  HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override;
  HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR* ppString) override;
  HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR szName) override;

  // IOPCItemProperties
  HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount,
                                                     DWORD** ppPropertyIDs, LPWSTR** ppDescriptions,
                                                     VARTYPE** ppvtDataTypes) override;
  HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                              VARIANT** ppvData, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                          LPWSTR** ppszNewItemIDs, HRESULT** ppErrors) override;

  // IOPCBrowse
  HRESULT STDMETHODCALLTYPE GetProperties(DWORD dwItemCount, LPWSTR* pszItemIDs,
                                          BOOL bReturnPropertyValues, DWORD dwPropertyCount,
                                          DWORD* pdwPropertyIDs,
                                          OPCITEMPROPERTIES** ppItemProperties) override;
  HRESULT STDMETHODCALLTYPE Browse(LPWSTR szItemID, LPWSTR* pszContinuationPoint,
                                   DWORD dwMaxElementsReturned, OPCBROWSEFILTER dwBrowseFilter,
                                   LPWSTR szElementNameFilter, LPWSTR szVendorFilter,
                                   BOOL bReturnAllProperties, BOOL bReturnPropertyValues,
                                   DWORD dwPropertyCount, DWORD* pdwPropertyIDs,
                                   BOOL* pbMoreElements, DWORD* pdwCount,
                                   OPCBROWSEELEMENT** ppBrowseElements) override;

  // IOPCItemIO
  HRESULT STDMETHODCALLTYPE Read(DWORD dwCount, LPCWSTR* pszItemIDs, DWORD* pdwMaxAge,
                                 VARIANT** ppvValues, WORD** ppwQualities,
                                 FILETIME** ppftTimeStamps, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE WriteVQT(DWORD dwCount, LPCWSTR* pszItemIDs, OPCITEMVQT* pItemVQT,
                                     HRESULT** ppErrors) override;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  // IPloverSimControl
  HRESULT STDMETHODCALLTYPE GetLiveCounts(PloverSimLiveCounts* counts) override;
  HRESULT STDMETHODCALLTYPE FailMethod(LPCWSTR method, HRESULT hr, BOOL always) override;
  HRESULT STDMETHODCALLTYPE ClearFailures() override;
  HRESULT STDMETHODCALLTYPE RefuseType(LPCWSTR itemId, VARTYPE requested) override;
  HRESULT STDMETHODCALLTYPE ClearRefusals() override;
  HRESULT STDMETHODCALLTYPE SetNoDataObject(BOOL noDataObject) override;
  HRESULT STDMETHODCALLTYPE PushStream(DWORD hServerGroup, DWORD clipFormat, const BYTE* data,
                                       DWORD size) override;
  HRESULT STDMETHODCALLTYPE SetDeterministic(BOOL deterministic) override;
  HRESULT STDMETHODCALLTYPE AdvanceTime(DWORD milliseconds) override;
  HRESULT STDMETHODCALLTYPE Flush() override;
  HRESULT STDMETHODCALLTYPE GetSimTime(ULONGLONG* milliseconds) override;
  HRESULT STDMETHODCALLTYPE SetNoDa1Async(BOOL noDa1Async) override;
  HRESULT STDMETHODCALLTYPE SendShutdown(LPCWSTR reason) override;
  HRESULT STDMETHODCALLTYPE SetStreamForm(DWORD pointerBytes, BOOL packed) override;

  // IPloverSimProcess
  HRESULT STDMETHODCALLTYPE GetServerProcessId(DWORD* pid) override {
    if (!pid) return E_POINTER;
    *pid = GetCurrentProcessId();
    return S_OK;
  }

  // Services for the groups.
  Simulation& Sim() { return m_sim; }
  const AddressSpace& Space() const { return m_space; }
  uint64_t NowMs() const { return m_shared->NowMs(); }
  FILETIME FileTimeAt(uint64_t ms) const { return SimFileTime(m_shared->origin, ms); }
  // An item's time stamp: when it last changed, or what a client wrote.
  FILETIME StampOf(const ItemState& st) const {
    return st.stampWritten ? st.stamp : FileTimeAt(st.changedAtMs);
  }
  // Milliseconds from the time stamp to now; 0 for one in the future.
  uint64_t AgeMs(const FILETIME& stamp) const;
  // The write of one item through any interface: the value, and quality and time stamp where
  // vqt asks for them (null: the value alone).
  HRESULT WriteItem(uint32_t index, const VARIANT& value, const OPCITEMVQT* vqt);
  // The injected failure for "Interface::Method", or S_OK.
  HRESULT Injected(const wchar_t* method);
  bool Refuses(const std::wstring& itemId, VARTYPE requested) const;
  bool NoDataObject() const { return m_shared->noDataObject || m_shared->noDa1Async; }
  bool NoDa1Async() const { return m_shared->noDa1Async; }
  DWORD StreamPointerBytes() const { return m_shared->streamPointerBytes; }
  bool StreamPacked() const { return m_shared->streamPacked; }
  bool NameTaken(const std::wstring& name) const;
  std::wstring UniqueGroupName();
  DWORD NextTransactionId() { return ++m_lastTransaction; }
  DWORD NextConnectionId() { return ++m_lastConnection; }
  void NoteDataSent() {
    m_lastUpdateMs = NowMs();
    m_sentAny = true;
  }
  // Starts, moves or stops the group's update timer after a state change.
  void Schedule(SimGroup* group);
  // Runs op later, from the message loop (or Flush); dropped if Cancel names it first.
  // result: an answer for the client (see ResultsWaitForFlush), not housekeeping.
  void Defer(DWORD transactionId, std::function<void()> op, bool result = true);
  bool CancelDeferred(DWORD transactionId);
  // The registered group with that server handle, or null.
  SimGroup* GroupByHandle(OPCHANDLE h) const;
  // Creates, registers and returns a group (one reference for the caller).
  HRESULT CreateGroup(const std::wstring& name, BOOL active, DWORD requestedRate, OPCHANDLE hClient,
                      LONG timeBias, float deadband, DWORD lcid, SimGroup** group,
                      DWORD* revisedRate);

  static DWORD ReviseRate(DWORD requested);

  // A client callback's result: a transport failure that says the client's process is gone
  // lets go of that client (see DropClient).
  void CallbackResult(HRESULT hr);
  // The executable: its clients live in other processes. It asks every client with a
  // callback now and then whether its process is still there (Wine does no pinging of its
  // own), and in deterministic mode keeps their results for Flush.
  static void SetOwnProcess(bool on);

 private:
  ~SimServer() override;
  void* Query(REFIID riid) override;
  void OnTimer(UINT_PTR id) override;
  void OnPosted() override;
  // A result sent from this process's own loop is a call the client did not wait for: it
  // may reach the client after the reply to a Flush the client made meanwhile (the server
  // takes that Flush while its callback is under way, and finds nothing left to send). So
  // with the clock held, only Flush sends them.
  bool ResultsWaitForFlush() const;
  HRESULT BrowseFlat(uint32_t branch, LPCWSTR filter, VARTYPE vt, DWORD access,
                     std::vector<std::wstring>* names) const;
  bool IsFlat() const { return m_variant == SimVariant::Flat; }
  // The item for a property call, or the call's error.
  HRESULT PropertyItem(LPCWSTR itemId, uint32_t* index) const;
  // Property id of the item: its value (S_OK), or OPC_E_INVALID_PID / OPC_E_BADRIGHTS.
  HRESULT PropertyValue(uint32_t index, const ItemState& state, DWORD id, VARIANT* v) const;
  // The IDs of every property the item has.
  std::vector<DWORD> PropertyIds(uint32_t index) const;
  // The DA 3.0 entries of an item's properties (ids null: all of them); false when out of
  // memory.
  bool FillProperties(uint32_t index, const DWORD* ids, DWORD count, bool values,
                      OPCITEMPROPERTIES* out);
  // The elements one Browse call may return, before the continuation point cuts them.
  struct BrowseElement {
    std::wstring name, id;
    DWORD flags;
    int item;  // -1: a branch
  };
  HRESULT BrowseChildren(const std::wstring& id, std::vector<BrowseElement>* out) const;
  void ProbeClient();
  void DropClient();

  // ConnectionPointHost (the shutdown point)
  IConnectionPointContainer* PointContainer() override { return this; }
  HRESULT PointCheck(const wchar_t* method, bool) override { return Injected(method); }
  DWORD PointCookie() override { return NextConnectionId(); }
  void PointAdvised(DWORD) override {}

  struct Deferred {
    DWORD transactionId;
    std::function<void()> op;
    bool result;
  };

  SimVariant m_variant;
  std::shared_ptr<SimShared> m_shared;
  const AddressSpace& m_space;
  Simulation& m_sim;
  HiddenWindow m_window;
  std::map<OPCHANDLE, SimGroup*> m_groups;  // one reference each
  OPCHANDLE m_lastGroupHandle = 0;
  DWORD m_lastTransaction = 0;
  DWORD m_lastConnection = 0;
  DWORD m_nameCounter = 0;
  uint32_t m_browseBranch = 0;
  uint32_t m_pointKey = 0;  // makes this object's continuation points its own
  std::deque<Deferred> m_deferred;
  LCID m_lcid = LOCALE_SYSTEM_DEFAULT;
  std::wstring m_clientName;
  SimConnectionPoint m_shutdownPoint{this, IID_IOPCShutdown};
  uint64_t m_lastUpdateMs = 0;
  bool m_sentAny = false;
  bool m_clientGone = false;
};

// Copies a string into CoTaskMemAlloc memory; null when out of memory.
LPWSTR CoTaskString(const std::wstring& s);
// Frees what an OPCITEMPROPERTIES points to and empties it.
void ClearItemProperties(OPCITEMPROPERTIES* p);

}  // namespace plover::sim
