#include "WorkspaceRestore.h"

#include <algorithm>

#include "BrowseView.h"
#include "MainFrm.h"
#include "PloverView.h"
#include "TextRes.h"
#include "UiLanguage.h"

namespace {
// The server's text for a code, without the line break the system puts at its end.
std::wstring CodeText(const COpcServer& server, HRESULT hr) {
  std::wstring text = server.GetErrorText(L"", static_cast<DWORD>(hr));
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  while (!text.empty() && text.front() == L' ') text.erase(0, 1);
  wchar_t code[16];
  ::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
  return text.empty() ? code : text + L" (" + code + L")";
}
}  // namespace

void RestoreReport::Refused(std::wstring line) {
  if (first.size() < kShown) first.push_back(std::move(line));
}

std::wstring RestoreReport::Text(const std::wstring& fileName) const {
  if (!refusedGroups && !refusedItems) return std::wstring();
  std::wstring text =
      FormatResString(IDS_WS_NOT_RESTORED,
                      {fileName, std::to_wstring(refusedGroups), std::to_wstring(refusedItems)});
  for (const std::wstring& line : first) text += L"\n" + line;
  if (refusedGroups + refusedItems > first.size()) text += L"\n...";
  return text;
}

workspace::Workspace CaptureWorkspace(const CMainFrame& frame) {
  workspace::Workspace ws;
  CBrowseView* view = frame.GetBrowseView();
  if (!view) return ws;
  const COpcServer& server = view->m_server;
  ws.browseFilter = server.GetBrowseFilter();
  ws.browseType = server.GetBrowseDataType();
  ws.browseAccess = server.GetBrowseAccessRights();
  ws.autoReconnect = frame.GetAutoReconnect();
  if (!server.IsConnected()) return ws;
  // The view keeps what was connected to; the client core forgets it at a new document.
  ws.progId = view->m_strProgId;
  ws.node = view->m_strNode;
  std::vector<const COpcGroup*> groups;
  for (const auto& [key, group] : server.m_groupManager.m_groupTable) groups.push_back(group.get());
  std::sort(groups.begin(), groups.end(),
            [](const COpcGroup* a, const COpcGroup* b) { return a->m_nCreated < b->m_nCreated; });
  for (const COpcGroup* group : groups) {
    workspace::Group g;
    g.name = group->m_strName;
    g.id = group->m_hClient;
    g.active = group->m_bActive != FALSE;
    g.updateRate = group->m_dwRequestedRate;
    g.deadband = group->m_fDeadband;
    for (const COpcItem* item : group->m_items) {
      workspace::Item it;
      it.itemId = item->m_strItemId;
      it.accessPath = item->m_strAccessPath;
      it.requestedType = item->m_vtRequested;
      it.active = item->m_bActive != FALSE;
      g.items.push_back(std::move(it));
    }
    ws.groups.push_back(std::move(g));
  }
  return ws;
}

void RestoreItems(COpcServer& server, IViewFrame& frame, OPCHANDLE group,
                  const std::vector<workspace::Item>& items, RestoreReport& report) {
  // Handle 0 cannot be selected; AddGroup has left that group current.
  if (group != 0 && !server.SelectGroup(group)) return;
  if (COpcGroup* current = server.m_groupManager.GetCurrentGroup()) group = current->m_hClient;
  std::vector<OpcItemRequest> requests(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    OpcItemRequest& r = requests[i];
    r.strItemId = items[i].itemId;
    r.strAccessPath = items[i].accessPath;
    r.bTryTypes = items[i].requestedType == VT_EMPTY;
    r.vtRequested = items[i].requestedType;
    r.bActive = items[i].active ? TRUE : FALSE;
  }
  // Batched server calls; the rows come in one update once the list's redraw is back.
  std::vector<OpcItemOutcome> outcomes;
  server.AddItems(group, requests, outcomes);
  for (size_t i = 0; i < outcomes.size() && i < items.size(); ++i) {
    if (outcomes[i].hr == S_OK) {
      ++report.restoredItems;
      frame.OnItemAdded(group, outcomes[i].pItem);
    } else if (outcomes[i].hr != S_FALSE) {
      ++report.refusedItems;
      std::wstring text = CodeText(server, outcomes[i].hr);
      report.why[CPloverView::UnrestoredKey(static_cast<int>(group), items[i].itemId)] = text;
      report.Refused(FormatResString(IDS_WS_REFUSED_ITEM, {items[i].itemId, text}));
    }
  }
}

void RestoreWorkspace(CMainFrame& frame, const workspace::Workspace& ws, RestoreReport& report) {
  CBrowseView* view = frame.GetBrowseView();
  if (!view) return;
  COpcServer& server = view->m_server;
  if (server.IsConnected()) frame.DisconnectServer();
  if (frame.GetAutoReconnect() != ws.autoReconnect) frame.SetAutoReconnect(ws.autoReconnect);
  // Before connecting: the tree is built with them.
  server.SetBrowseFilter(ws.browseFilter);
  server.SetBrowseDataType(ws.browseType);
  server.SetBrowseAccessRights(ws.browseAccess);
  if (ws.progId.empty()) return;
  frame.ConnectServer(ws.progId, ws.node);
  if (!server.IsConnected() || ws.groups.empty()) return;

  // The saved groups take the place of the connect's default group, which has no items yet.
  std::vector<int> handles;
  server.GetGroupHandles(handles);
  for (int handle : handles) server.RemoveGroup(static_cast<OPCHANDLE>(handle), FALSE);

  OPCHANDLE firstGroup = 0;
  for (const workspace::Group& g : ws.groups) {
    server.SetGroupActive(g.active ? TRUE : FALSE);
    server.SetGroupUpdateRate(g.updateRate);
    server.SetGroupDeadband(g.deadband);
    HRESULT hr = server.AddGroup(g.id, g.name);
    if (FAILED(hr) || !server.GetGroup(g.id)) {
      ++report.refusedGroups;
      report.refusedItems += g.items.size();
      const std::wstring text = CodeText(server, hr);
      for (const workspace::Item& it : g.items)
        report.why[CPloverView::UnrestoredKey(static_cast<int>(g.id), it.itemId)] = text;
      std::wstring line = FormatResString(IDS_WS_REFUSED_GROUP, {g.name, text});
      if (!g.items.empty())
        line += FormatResString(IDS_WS_GROUP_ITEMS, {std::to_wstring(g.items.size())});
      report.Refused(std::move(line));
      continue;
    }
    if (!firstGroup) firstGroup = g.id;
    RestoreItems(server, frame, g.id, g.items, report);
  }
  // The first group is current, as the connect's default group would be.
  if (firstGroup) {
    server.SelectGroup(firstGroup);
    view->m_nGroupId = static_cast<int>(firstGroup);
  }
}
