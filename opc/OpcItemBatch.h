// Many items of the current group in one server call each: adding, reading and writing.
// The records are the group manager's own (same handle table, same group lists), so the
// sink, the look-ups and removal treat them like items added one by one.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "OpcGroupManager.h"

struct OpcAddResult {
  COpcItem* item = nullptr;  // nullptr where the server refused the item
  HRESULT error = E_FAIL;
  VARTYPE canonical = VT_EMPTY;
};

// COpcGroupManager::AddItems into the current group with one requested type for all
// (VT_EMPTY: the server's canonical type) and the manager's access path. An ID already in
// the group, or repeated in ids, is refused with OPC_E_DUPLICATENAME without asking the
// server; E_ABORT marks IDs not tried because the server went. results holds one entry per
// ID whatever it is; returns how many were added.
size_t AddItemBatch(COpcGroupManager& manager, const std::vector<std::wstring>& ids,
                    VARTYPE requested, std::vector<OpcAddResult>& results);

// Reads the records (all of the current group) and stores value, quality and time stamp of
// each that the server read. errors gets one entry per record.
HRESULT ReadItemBatch(COpcGroupManager& manager, const std::vector<COpcItem*>& items,
                      OPCDATASOURCE source, std::vector<HRESULT>& errors);

// Writes values (already in the types wanted) to the records of the current group.
// Synchronous: errors holds each item's result. Asynchronous: errors holds whether each
// write was accepted; the outcomes arrive later through the item observer.
HRESULT WriteItemBatch(COpcGroupManager& manager, const std::vector<COpcItem*>& items,
                       std::vector<VARIANT>& values, bool async, std::vector<HRESULT>& errors);

// The text as a value of type vt, converted as the program's own write converts it.
HRESULT ConvertWriteText(const std::wstring& text, VARTYPE vt, VARIANT* out);
