// The client-side record of one OPC item.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "opcda.h"

class COpcItem {
 public:
  COpcItem() { ::VariantInit(&m_value); }
  explicit COpcItem(std::wstring itemId) : COpcItem() { m_strItemId = std::move(itemId); }
  virtual ~COpcItem() { ::VariantClear(&m_value); }
  COpcItem(const COpcItem&) = delete;
  COpcItem& operator=(const COpcItem&) = delete;

  std::wstring m_strItemId;
  VARIANT m_value;
  WORD m_wQuality = OPC_QUALITY_GOOD;
  FILETIME m_ftTimeStamp = {0, 0};  // untouched until the first time-stamped stream
  OPCHANDLE m_hServer = 0;
  // The server's own type for the item, as AddItems reported it: what a write converts to
  // while no value has come (a write-only item never gets one).
  VARTYPE m_vtCanonical = VT_EMPTY;
  // The client handle the server knows this record by: an entry of CItemHandleTable,
  // never the record's address (which would not fit 32 bits on x64 and could dangle).
  OPCHANDLE m_hClient = 0;
  // As added and last switched, so a workspace can bring the item back the same way.
  std::wstring m_strAccessPath;
  VARTYPE m_vtRequested = VT_EMPTY;  // VT_EMPTY: the usual order of tries chose the type
  BOOL m_bActive = TRUE;
};
