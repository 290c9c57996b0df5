// Item attributes and server status as the property dialogs show them.
#pragma once
#include <windows.h>

#include <string>
#include <unordered_map>

#include "opcda.h"

// One item's OPC attributes. The caller creates the record; a look-up only writes into it.
struct ItemAttributeText {
  BOOL m_bActive = 0;
  OPCHANDLE m_hServer = 0;
  OPCHANDLE m_hClient = 0;
  std::wstring m_strItemId;
  std::wstring m_strAccessPath;
  std::wstring m_strAccessRights;
  std::wstring m_strCanonicalType;
  std::wstring m_strRequestedType;
  std::wstring m_strEuType;
};

// The connected server's status. Fields the server did not supply keep their start values.
struct ServerStatusText {
  std::wstring m_strVendor;
  std::wstring m_strState;
  std::wstring m_strStartTime;
  std::wstring m_strLastUpdateTime;
  std::wstring m_strCurrentTime;
  DWORD m_dwBandwidth = 0;  // 0 also when the server has no figure (0xFFFFFFFF)
  DWORD m_dwGroupCount = 0;
  // The OPC DA versions the server's registered categories name, "1.0 2.0 3.0".
  std::wstring m_strDaVersions;
};

// Scans the group's item attributes and fills info from every record whose client handle is
// hClient (a later one overwrites an earlier one). Leaves info untouched when the group has
// no item management, no items or no such item.
void FillItemAttributes(IUnknown* group, OPCHANDLE hClient, ItemAttributeText& info);

// Every item's attributes from one scan of the group's enumerator, keyed by client handle
// (a later record of the same handle overwrites an earlier one, as above). A group change
// needs all of them; asking per item would scan the group once per item.
using ItemAttributeMap = std::unordered_map<OPCHANDLE, ItemAttributeText>;
void FillGroupAttributes(IUnknown* group, ItemAttributeMap& byClient);

// Only each item's active flag, from the same one scan: all a group change shows, without
// copying every item's texts.
using ItemActiveMap = std::unordered_map<OPCHANDLE, BOOL>;
void FillGroupActiveStates(IUnknown* group, ItemActiveMap& byClient);

// Fills info from IOPCServer::GetStatus; leaves it untouched when the call fails.
void FillServerStatus(IOPCServer* server, ServerStatusText& info);

// "RUNING" (sic), "FAILED", "UNCONFIGURED", "SUSPENDED", "TEST", else "UNKNOWN".
std::wstring GetServerStateText(DWORD state);
