// Reads and writes by item ID, with no group, through the DA 3.0 IOPCItemIO; and the
// items' own data types, for converting written text without a group.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "OpcItem.h"
#include "opcda.h"

// Reads ids with one maximum age (ms) for all (OPC_MAXAGE_DEVICE, OPC_MAXAGE_CACHE). records get
// one record per ID (item ID, value, quality, time stamp; nullptr where the item failed) and errors
// its result. E_NOINTERFACE (nothing read) for a server without IOPCItemIO; else the call's result.
HRESULT ReadByItemIo(IOPCServer* server, const std::vector<std::wstring>& ids, DWORD maxAge,
                     std::vector<std::unique_ptr<COpcItem>>& records, std::vector<HRESULT>& errors);

// A value with, optionally, the quality and time stamp written beside it.
struct OpcVqt {
  VARIANT value;  // borrowed: the caller keeps and clears it
  bool withQuality = false;
  WORD quality = 0;
  bool withTime = false;
  FILETIME time = {};
};

// Writes each entry to its ID; errors get one result per ID (OPC_E_NOTSUPPORTED where the
// server cannot write that quality or time stamp). E_NOINTERFACE, nothing written, for a
// server without IOPCItemIO.
HRESULT WriteVqtByItemIo(IOPCServer* server, const std::vector<std::wstring>& ids,
                         const std::vector<OpcVqt>& vqts, std::vector<HRESULT>& errors);

// Each item's own data type (property 1), in one IOPCBrowse::GetProperties call where
// offered, else per item through IOPCItemProperties. types and errors get one entry per ID.
HRESULT ReadCanonicalTypes(IOPCServer* server, const std::vector<std::wstring>& ids,
                           std::vector<VARTYPE>& types, std::vector<HRESULT>& errors);
