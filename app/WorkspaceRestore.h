// The live workspace of the main frame's client core, taken for saving and brought back
// from a file: server, browse options, groups with their settings, items in list order.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "Workspace.h"
#include "opcda.h"

class CMainFrame;
class COpcServer;
class IViewFrame;

// What a restore could not bring back: counts, and the first few with the server's texts.
struct RestoreReport {
  static constexpr size_t kShown = 5;
  size_t refusedGroups = 0;
  size_t refusedItems = 0;
  size_t restoredItems = 0;
  std::vector<std::wstring> first;
  // Each refused item's reason, keyed as the item list keys its rows (group and item ID).
  std::map<std::wstring, std::wstring> why;
  void Refused(std::wstring line);
  // The one box at the end; empty when everything came back.
  std::wstring Text(const std::wstring& fileName) const;
};

workspace::Workspace CaptureWorkspace(const CMainFrame& frame);

// Disconnects, sets the browse options, connects to the saved server (nothing more when
// that fails: connecting reports its own failure), then replaces the connect's default
// group with the saved groups and their items. The report tells what was refused.
void RestoreWorkspace(CMainFrame& frame, const workspace::Workspace& ws, RestoreReport& report);

// Adds a group's saved items to the current group and shows each in the list. The one
// place items come back, so a batched add path can take over here.
void RestoreItems(COpcServer& server, IViewFrame& frame, OPCHANDLE group,
                  const std::vector<workspace::Item>& items, RestoreReport& report);
