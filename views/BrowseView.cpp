#include "BrowseView.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <utility>
#include <vector>

#include "AddTagDlg.h"
#include "FrameWnd.h"
#include "ModalRunner.h"
#include "TextRes.h"
#include "UiLanguage.h"
#include "ViewFrame.h"
#include "WaitCursor.h"

namespace {
// Failed asynchronous writes named in one box; the rest are counted.
constexpr size_t kListedWriteErrors = 8;

}  // namespace

LPCWSTR CBrowseView::GetViewClass() const {
  return WC_TREEVIEWW;
}

DWORD CBrowseView::GetViewStyle() const {
  // The tree styles are added at each connect.
  return WS_CHILD | WS_VISIBLE | WS_BORDER;
}

std::wstring CBrowseView::AddLeavesText() {
  return LoadResString(IDS_BROWSE_ADD_LEAVES);
}
std::wstring CBrowseView::AddSubtreeText() {
  return LoadResString(IDS_BROWSE_ADD_SUBTREE);
}
std::wstring CBrowseView::AddLeafText() {
  return LoadResString(IDS_BROWSE_ADD_LEAF);
}
std::wstring CBrowseView::NotConnectedText() {
  return LoadResString(IDS_BROWSE_NOT_CONNECTED);
}

void CBrowseView::OnInitialUpdate() {
  CView::OnInitialUpdate();
  m_server.Initialize(m_hWnd);
  m_server.m_groupManager.SetItemObserver(&m_itemObservers);
  static_assert(kAliveCheckMs < COpcAliveCheck::kDefaultLimitMs / 2,
                "a gap of half the limit between ticks counts as a stall");
  ::SetTimer(m_hWnd, kAliveTimer, kAliveCheckMs, nullptr);
}

LRESULT CBrowseView::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  if (wParam != kAliveTimer) {
    bHandled = FALSE;
    return 0;
  }
  m_server.CheckAlive();
  return 0;
}

void CBrowseView::AddTreeStyle(DWORD style) {
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(GetStyle() | style));
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER);
}

LRESULT CBrowseView::OnOpcConnect(UINT, WPARAM, LPARAM, BOOL&) {
  CWaitCursor wait;
  m_nGroupId = 1;
  for (DWORD style :
       {TVS_HASLINES, TVS_LINESATROOT, TVS_SHOWSELALWAYS, TVS_SINGLEEXPAND, TVS_HASBUTTONS})
    AddTreeStyle(style);

  if (!m_server.Connect(m_strProgId, m_strNode)) {
    if (!m_bQuietConnect) AfxMessageBox(FormatResString(IDS_CONNECT_FAILED, {m_strProgId}), MB_OK);
    return 0;
  }
  if (m_server.CanBrowse()) {
    m_server.SetBrowseRootName(m_strProgId);
    if (!m_pTreePort) {
      m_pTreePort = std::make_unique<COpcTreePort>(m_hWnd);
      m_pTreePort->SetLister([this](OpcTreeNode node) {
        CWaitCursor wait;
        m_server.ListBrowseBranch(node);
      });
    }
    // Branches are listed as they open: a server in another process answers a call in
    // about a millisecond, and its whole address space can take minutes.
    m_server.BuildBrowseTop(m_pTreePort.get());
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
  } else if (!m_bQuietConnect) {
    AfxMessageBox(LoadResString(IDS_NO_BROWSE), MB_OK);
  }
  m_server.SetGroupUpdateRate(1000);
  m_server.SetGroupDeadband(0.0f);
  if (FAILED(m_server.AddGroup(static_cast<OPCHANDLE>(m_nGroupId), L"Group1")) && !m_bQuietConnect)
    AfxMessageBox(FormatResString(IDS_ADD_GROUP_FAILED, {L"Group1"}), MB_OK);
  return 0;
}

LRESULT CBrowseView::OnOpcDisconnect(UINT, WPARAM, LPARAM, BOOL&) {
  CWaitCursor wait;
  m_server.Disconnect();
  return 0;
}

LRESULT CBrowseView::OnOpcDataChange(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
  if (IViewFrame* pFrame = GetViewFrame(m_hWnd)) pFrame->OnGroupData(wParam, lParam);
  return 0;
}

LRESULT CBrowseView::OnOpcWriteError(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
  // One message per failed item: a write to many items must not bring one box per item, so
  // every failure already queued joins this one.
  std::vector<std::pair<DWORD, OPCHANDLE>> failures{
      {static_cast<DWORD>(wParam), static_cast<OPCHANDLE>(lParam)}};
  MSG msg;
  while (::PeekMessageW(&msg, m_hWnd, WM_OPC_WRITEERROR, WM_OPC_WRITEERROR, PM_REMOVE))
    failures.emplace_back(static_cast<DWORD>(msg.wParam), static_cast<OPCHANDLE>(msg.lParam));
  if (!m_server.IsConnected()) return 0;
  std::wstring text = LoadResString(IDS_ASYNC_WRITE_ERROR);
  for (size_t i = 0; i < failures.size() && i < kListedWriteErrors; ++i) {
    const auto& [code, hClient] = failures[i];
    // No item: the whole transaction failed.
    const COpcItem* item = hClient ? m_server.ResolveItem(hClient) : nullptr;
    std::wstring line = m_server.GetErrorText(item ? item->m_strItemId + L":" : L"", code);
    while (!line.empty() && std::iswspace(line.back())) line.pop_back();
    while (!line.empty() && std::iswspace(line.front())) line.erase(line.begin());
    text += L"\n" + line;
  }
  if (failures.size() > kListedWriteErrors)
    text += L"\n... +" + std::to_wstring(failures.size() - kListedWriteErrors);
  AfxMessageBox(text, MB_OK);
  return 0;
}

LRESULT CBrowseView::OnOpcServerShutdown(UINT, WPARAM, LPARAM, BOOL&) {
  // Posted: by now the user may have disconnected already.
  if (!m_server.IsConnected()) return 0;
  std::wstring reason = m_server.GetShutdownReason();
  // Its own request, silence, or a process gone: the first line says which.
  const HRESULT code = m_server.GetShutdownCode();
  const UINT headline = code == S_OK            ? IDS_SERVER_SHUT_DOWN
                        : code == RPC_E_TIMEOUT ? IDS_SERVER_SILENT
                                                : IDS_SERVER_UNREACHABLE;
  std::wstring text = FormatResString(headline, {m_strProgId});
  if (!reason.empty()) text += L"\n" + reason;
  IViewFrame* pFrame = GetViewFrame(m_hWnd);
  if (pFrame && pFrame->ReconnectAfterLoss(code == S_OK, text)) return 0;
  // As the disconnect command does: the rows go first, the tree stays.
  if (pFrame)
    pFrame->DisconnectServer();
  else
    m_server.Disconnect();
  AfxMessageBox(text, MB_OK);
  return 0;
}

LRESULT CBrowseView::OnItemExpanding(int, NMHDR* pnmh, BOOL& bHandled) {
  auto* pnm = reinterpret_cast<NMTREEVIEWW*>(pnmh);
  if (m_pTreePort && (pnm->action & TVE_EXPAND)) m_pTreePort->OnItemExpanding(pnm->itemNew.hItem);
  bHandled = TRUE;
  return FALSE;  // let it open
}

BOOL CBrowseView::SelectedData(int& data) const {
  HTREEITEM hSel = reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!hSel) return FALSE;
  TVITEMW item = {};
  item.mask = TVIF_PARAM;
  item.hItem = hSel;
  if (!SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return FALSE;
  data = static_cast<int>(item.lParam);
  return TRUE;
}

void CBrowseView::SayNotConnected() {
  if (CFrameWnd* pFrame = GetParentFrame(m_hWnd)) pFrame->SetMessageText(NotConnectedText());
}

LRESULT CBrowseView::OnLButtonDblClk(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  if (!m_server.IsConnected()) {
    // The tree a lost server left behind still shows its leaves: say why nothing happens.
    TVHITTESTINFO hit{};
    hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) && (hit.flags & TVHT_ONITEM))
      SayNotConnected();
    return 0;  // no default processing either
  }

  int index = 0;
  if (m_server.CanBrowse()) {
    // The node under the pointer: quick double-clicks on successive leaves can arrive before
    // the first click has moved the selection, and the previous leaf would be taken again.
    TVHITTESTINFO hit{};
    hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    auto hHit =
        reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (hHit && (hit.flags & TVHT_ONITEM))
      SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hHit));
    // Without a selected node there is no item to take; root or branch: no add, and no
    // expand or collapse.
    if (!SelectedData(index) || index == -1) return 0;
  }
  AddLeaf(index);
  bHandled = FALSE;  // the control's own double-click handling
  return 0;
}

void CBrowseView::AddLeaf(int index) {
  CAddTagDlg dlg(&m_server, index);
  if (!dlg.PrepareAdd() && dlg.DoModal(m_hWnd) != IDOK) return;

  std::wstring tag = dlg.GetTagName();
  m_nGroupId = dlg.GetGroupId();
  COpcItem* pItem = dlg.GetAddedItem();
  IViewFrame* pFrame = GetViewFrame(m_hWnd);
  if (pItem) {
    if (pFrame) {
      pFrame->OnItemAdded(static_cast<OPCHANDLE>(m_nGroupId), pItem);
      pFrame->HighlightItem(pItem);
    }
  } else if (COpcItem* pOld = m_server.FindItem(static_cast<OPCHANDLE>(m_nGroupId), tag)) {
    if (pFrame) pFrame->HighlightItem(pOld);
  } else {
    AfxMessageBox(FormatResString(IDS_ADD_ITEM_FAILED, {tag}), MB_OK);
  }
}

LRESULT CBrowseView::OnContextMenu(UINT, WPARAM, LPARAM lParam, BOOL&) {
  if (!m_server.IsConnected()) {
    if (SendMessage(TVM_GETCOUNT)) SayNotConnected();
    return 0;
  }
  if (!m_server.CanBrowse()) return 0;
  POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  HTREEITEM hNode = nullptr;
  if (lParam == -1) {  // from the keyboard: the selected node, under its text
    hNode = reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, TVGN_CARET, 0));
    RECT rc{};
    std::memcpy(&rc, &hNode, sizeof(hNode));  // TVM_GETITEMRECT takes the item in the rectangle
    if (hNode && SendMessage(TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc)))
      pt = {rc.left, rc.bottom};
    ::ClientToScreen(m_hWnd, &pt);
  } else {
    TVHITTESTINFO hit{};
    hit.pt = pt;
    ::ScreenToClient(m_hWnd, &hit.pt);
    hNode =
        reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (!(hit.flags & TVHT_ONITEM)) hNode = nullptr;
  }
  if (!hNode) return 0;
  // The menu acts on the selected node: the one clicked becomes it.
  SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hNode));
  int data = 0;
  if (!SelectedData(data)) return 0;

  HMENU hMenu = ::CreatePopupMenu();
  if (!hMenu) return 0;
  if (data == -1) {
    // Nothing to add to without a current group.
    const UINT flags = MF_STRING | (m_server.m_groupManager.GetCurrentGroup() ? 0 : MF_GRAYED);
    ::AppendMenuW(hMenu, flags, ID_BROWSE_ADD_LEAVES, AddLeavesText().c_str());
    ::AppendMenuW(hMenu, flags, ID_BROWSE_ADD_SUBTREE, AddSubtreeText().c_str());
  } else {
    ::AppendMenuW(hMenu, MF_STRING, ID_BROWSE_ADD_LEAF, AddLeafText().c_str());
  }
  GetModalRunner().TrackPopupMenu(hMenu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt, m_hWnd);
  ::DestroyMenu(hMenu);
  return 0;
}

LRESULT CBrowseView::OnRClick(int, NMHDR*, BOOL& bHandled) {
  const DWORD pos = ::GetMessagePos();
  OnContextMenu(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_hWnd),
                MAKELPARAM(LOWORD(pos), HIWORD(pos)), bHandled);
  return 1;
}

void CBrowseView::OnAddLeaf() {
  int index = 0;
  if (m_server.IsConnected() && SelectedData(index) && index >= 0) AddLeaf(index);
}

namespace {

// Clicks queued while the add ran were aimed at a window showing the wait cursor: the
// second click of a double-click on the confirmation's OK among them, which would select the
// list row under the pointer once the add is done.
void DropQueuedClicks() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, WM_LBUTTONDOWN, WM_MOUSELAST, PM_REMOVE)) {
  }
  while (::PeekMessageW(&msg, nullptr, WM_NCLBUTTONDOWN, WM_NCMBUTTONDBLCLK, PM_REMOVE)) {
  }
}

// Waiting keyboard input during a long add: Esc stops it; other keys (and clicks) are
// dropped, so none starts a command halfway through.
bool EscapePressed() {
  MSG msg;
  bool escape = false;
  while (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE))
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) escape = true;
  DropQueuedClicks();
  return escape;
}

}  // namespace

void CBrowseView::AddBranch(bool subtree) {
  COpcGroup* group = m_server.m_groupManager.GetCurrentGroup();
  HTREEITEM hSel = reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!m_server.IsConnected() || !group || !m_pTreePort || !hSel) return;
  std::vector<int32_t> leaves;
  const OpcTreeNode node = m_pTreePort->GetNode(hSel);
  {
    CWaitCursor wait;
    if (subtree)
      m_server.ListBrowseSubtree(node);
    else
      m_server.ListBrowseBranch(node);
  }
  m_pTreePort->CollectLeaves(node, subtree, leaves);
  if (leaves.empty()) return;
  if (leaves.size() > kConfirmAbove &&
      AfxMessageBox(FormatResString(IDS_CONFIRM_ADD_ITEMS, {std::to_wstring(leaves.size())}),
                    MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
    return;

  const OPCHANDLE handle = group->m_hClient;
  CWaitCursor wait;
  EscapePressed();  // only keys pressed from here on count
  // The status bar shows how far a step is, drawn at once (no paint message runs meanwhile);
  // false once Esc was pressed.
  auto progress = [&](UINT pattern, size_t done, size_t total) {
    m_pTreePort->ShowStatusText(
        FormatResString(pattern, {std::to_wstring(done), std::to_wstring(total)}));
    if (HWND bar = ::GetDlgItem(::GetAncestor(m_hWnd, GA_ROOT), 0xE801)) ::UpdateWindow(bar);
    return !EscapePressed();
  };
  auto idle = [this] {
    if (CFrameWnd* pFrame = GetParentFrame(m_hWnd)) pFrame->SetMessageText(AFX_IDS_IDLEMESSAGE);
  };
  // The server names each leaf's item ID on first use, a call each.
  std::vector<OpcItemRequest> requests(leaves.size());
  for (size_t i = 0; i < leaves.size(); ++i) {
    requests[i].strItemId = m_server.GetBrowseItemId(leaves[i]);
    if ((i & 255) == 255 && !progress(IDS_READING_ITEM_IDS, i + 1, leaves.size())) return idle();
  }
  std::vector<OpcItemOutcome> outcomes;
  m_server.AddItems(handle, requests, outcomes, [&](size_t done, size_t total) {
    return progress(IDS_ADDING_ITEMS, done, total);
  });
  idle();

  // The new rows, drawn together once the list's redraw comes back.
  IViewFrame* pFrame = GetViewFrame(m_hWnd);
  size_t failed = 0;
  std::wstring details;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    if (outcomes[i].hr == S_OK && pFrame) pFrame->OnItemAdded(handle, outcomes[i].pItem);
    if (FAILED(outcomes[i].hr) && outcomes[i].hr != E_ABORT && ++failed <= 5)
      details += L"\n" + m_server.GetErrorText(requests[i].strItemId + L":", outcomes[i].hr);
  }
  DropQueuedClicks();
  // A server that went has its own message; one box sums up every other failure.
  if (failed && !m_server.m_pWatch->Vanished()) {
    std::wstring text = FormatResString(IDS_ADD_ITEMS_FAILED, {std::to_wstring(failed)}) + details;
    if (failed > 5) text += L"\n...";
    AfxMessageBox(text, MB_OK | MB_ICONWARNING);
  }
}
