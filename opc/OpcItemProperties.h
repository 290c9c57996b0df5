// The OPC DA 2.0 item properties of an item as rows for the tag property dialog: data
// only, no window code.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "opcda.h"

struct OpcPropertyRow {
  DWORD id;
  std::wstring name;   // "(id) description"
  std::wstring value;  // the value as the value text shows it; empty when it could not be read
  // The value as read, for callers with forms of their own: its type (VT_EMPTY when it
  // could not be read), a whole number's value, a VT_DATE's time in UTC to the millisecond.
  VARTYPE vt = VT_EMPTY;
  LONGLONG number = 0;
  FILETIME time = {};
};

// Every property the server lists for the item, in its order: in one call through the DA
// 3.0 IOPCBrowse::GetProperties where offered (and useDa3), else through the 2.0
// IOPCItemProperties. Empties rows first; returns the result of the server's calls
// (E_NOINTERFACE for a server with neither), with no rows on failure.
HRESULT ListItemProperties(IOPCServer* server, const std::wstring& itemId,
                           std::vector<OpcPropertyRow>& rows, bool useDa3 = true);
