// Finds the OPC servers registered on a node: top-level keys of HKEY_CLASSES_ROOT that have
// a sub-key "OPC", local or through the remote registry service.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "OpcUiPorts.h"

// Millisecond clock of the walk's time budget; tests inject their own.
using OpcTickSource = DWORD(WINAPI*)();

// The walk stops at the first key boundary after this much time.
inline constexpr DWORD kServerEnumBudgetMs = 10000;

// Fills names with the ProgIDs found, in registry order; an empty node is the local machine.
// Returns the number of keys examined (0 when the node's registry cannot be reached, with
// names emptied), not the number of servers.
int EnumerateServers(const std::wstring& node, std::vector<std::wstring>& names,
                     OpcTickSource tick = ::GetTickCount);

// EnumerateServers shown in a list box: emptied first, the names added in order, the first
// selected. Returns the same count, or 0 without a list box.
int FillServerList(IOpcServerList* list, const std::wstring& node, std::vector<std::wstring>& names,
                   OpcTickSource tick = ::GetTickCount);

// The OPC DA versions whose categories the server's class names, "1.0 2.0 3.0" (empty when
// none, or when the ProgID or the node's registry cannot be read).
std::wstring ServerDaVersions(const std::wstring& node, const std::wstring& progId);
// The same from a classes root already open (HKEY_CLASSES_ROOT or a node's).
std::wstring ServerDaVersions(HKEY classes, const std::wstring& progId);
