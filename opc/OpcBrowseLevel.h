// One level of a server's address space through the DA 3.0 IOPCBrowse: every page of
// the level in one list (continuation points followed), the server's memory freed, and
// nothing of the interface's structures left for the caller.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "opcda.h"

struct OpcBrowseElement {
  std::wstring name;    // what the tree shows
  std::wstring itemId;  // for AddItem (items) and for browsing below it
  bool isItem = false;
  bool hasChildren = false;
  // From properties 1 and 5 when they were asked for and came back.
  bool knowsType = false;
  bool knowsRights = false;
  VARTYPE vt = VT_EMPTY;
  DWORD rights = 0;
};

struct OpcLevelRequest {
  std::wstring itemId;      // "" for the root
  std::wstring nameFilter;  // "" for none
  OPCBROWSEFILTER filter = OPC_BROWSE_FILTER_ALL;
  bool typeAndRights = false;  // ask for properties 1 and 5
  DWORD maxElements = 0;       // per call; 0 leaves it to the server
  // A level longer than this is cut off (a server that never ends its pages).
  size_t maxTotal = 1000000;
};

// S_OK with the whole level; S_FALSE when it was cut short (a limit, a server that cannot
// resume, an empty page loop): the elements got so far are kept. A failing call's code
// (E_NOTIMPL, OPC_E_UNKNOWNITEMID, ...) on the first page; a later page's failure gives
// S_FALSE with the earlier pages.
HRESULT BrowseLevel(IOPCBrowse* browse, const OpcLevelRequest& request,
                    std::vector<OpcBrowseElement>& elements);

// Whether an element passes the 2.0 browse's data-type and access filters (access: any
// of the filter's bits, as servers apply it); what was not reported passes.
bool PassesItemFilters(const OpcBrowseElement& e, VARTYPE vtFilter, DWORD accessFilter);
