// The client-side record of one OPC group and the items it owns.
#pragma once
#include <windows.h>

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>

#include "ComPtr.h"
#include "opcda.h"

class COpcItem;

class COpcGroup {
 public:
  COpcGroup() = default;
  // Releases the group interface. The item records are deleted by the group manager
  // first, because their handles live in its handle table.
  virtual ~COpcGroup() = default;
  COpcGroup(const COpcGroup&) = delete;
  COpcGroup& operator=(const COpcGroup&) = delete;

  // Whether the record is one of this group's items (a case-sensitive name look-up).
  bool Holds(const COpcItem* item) const;
  // Subscribed through the OPC DA 2.0 callback: its asynchronous work goes through
  // IOPCAsyncIO2 and comes back through that callback.
  bool UsesCallback() const { return m_dwCallbackCookie != 0 && m_dwDataConnection == 0; }
  // One of the group's I/O interfaces, taken only on exactly S_OK.
  template <class T>
  bool QueryIo(TComPtr<T>& io) const {
    return io.QueryFrom(m_pGroup.Get()) == S_OK && io;
  }

  TComPtr<IOPCGroupStateMgt> m_pGroup;
  std::wstring m_strName;
  BOOL m_bActive = TRUE;
  DWORD m_dwRequestedRate = 10000;
  DWORD m_dwRevisedRate = 10000;
  float m_fDeadband = 1.0f;
  OPCHANDLE m_hClient = 0;
  OPCHANDLE m_hServer = 0;
  // Unique for the life of the manager: tells a record from a later one at the same
  // address (work that lets messages run checks its group is still the one it started on).
  uint32_t m_nSerial = 0;
  unsigned m_nCreated = 0;  // creation order, for a saved workspace
  DWORD m_dwDataConnection = 0;
  DWORD m_dwWriteConnection = 0;
  // The OPC DA 2.0 subscription, used when the DA 1.0 streams cannot be advised: the
  // group's IOPCDataCallback point and the cookie of the manager's callback object there.
  TComPtr<IConnectionPoint> m_pCallbackPoint;
  DWORD m_dwCallbackCookie = 0;
  // The keep-alive period (ms) the server granted on that subscription; 0 for none.
  DWORD m_dwKeepAlive = 0;
  std::unordered_map<std::wstring, COpcItem*> m_itemsByName;
  std::list<COpcItem*> m_items;  // in order of addition; owned
};
