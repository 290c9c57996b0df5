#include "BrowseView.h"

#include <commctrl.h>

#include <cwchar>

#include "AddTagDlg.h"
#include "ModalRunner.h"
#include "ViewFrame.h"
#include "WaitCursor.h"

namespace {
std::wstring Format(const wchar_t* pattern, const std::wstring& arg) {
  std::wstring text(wcslen(pattern) + arg.size() + 1, L'\0');
  std::swprintf(text.data(), text.size(), pattern, arg.c_str());
  text.resize(wcslen(text.c_str()));
  return text;
}
}  // namespace

LPCWSTR CBrowseView::GetViewClass() const {
  return WC_TREEVIEWW;
}

DWORD CBrowseView::GetViewStyle() const {
  // The tree styles are added at each connect.
  return WS_CHILD | WS_VISIBLE | WS_BORDER;
}

void CBrowseView::OnInitialUpdate() {
  CView::OnInitialUpdate();
  m_server.Initialize(m_hWnd);
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
    AfxMessageBox(Format(L"Connect OPC Server: %ls Failed!", m_strProgId), MB_OK);
    return 0;
  }
  if (m_server.CanBrowse()) {
    m_server.SetBrowseRootName(m_strProgId);
    if (!m_pTreePort) m_pTreePort = std::make_unique<COpcTreePort>(m_hWnd);
    m_server.BuildBrowseTree(m_pTreePort.get());
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
  } else {
    AfxMessageBox(L" This OPC Server doesn't support borwse!", MB_OK);
  }
  m_server.SetGroupUpdateRate(1000);
  m_server.SetGroupDeadband(0.0f);
  if (FAILED(m_server.AddGroup(static_cast<OPCHANDLE>(m_nGroupId), L"Group1")))
    AfxMessageBox(L"AddGroup 'Group1' failed!", MB_OK);
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

LRESULT CBrowseView::OnOpcServerShutdown(UINT, WPARAM, LPARAM, BOOL&) {
  // Posted: by now the user may have disconnected already.
  if (!m_server.IsConnected()) return 0;
  std::wstring reason = m_server.GetShutdownReason();
  // As the disconnect command does: the rows go first, the tree stays.
  if (IViewFrame* pFrame = GetViewFrame(m_hWnd))
    pFrame->DisconnectServer();
  else
    m_server.Disconnect();
  std::wstring text = Format(L"OPC Server '%ls' has shut down.", m_strProgId);
  if (!reason.empty()) text += L"\n" + reason;
  AfxMessageBox(text, MB_OK);
  return 0;
}

LRESULT CBrowseView::OnItemExpanding(int, NMHDR* pnmh, BOOL& bHandled) {
  auto* pnm = reinterpret_cast<NMTREEVIEWW*>(pnmh);
  if (m_pTreePort && (pnm->action & TVE_EXPAND)) m_pTreePort->OnItemExpanding(pnm->itemNew.hItem);
  bHandled = TRUE;
  return FALSE;  // let it open
}

LRESULT CBrowseView::OnLButtonDblClk(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  if (!m_server.IsConnected()) return 0;  // no default processing either

  int index = 0;
  if (m_server.CanBrowse()) {
    HTREEITEM hSel = reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, TVGN_CARET, 0));
    // Without a selected node there is no item to take.
    if (!hSel) return 0;
    TVITEMW item = {};
    item.mask = TVIF_PARAM;
    item.hItem = hSel;
    if (!SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    index = static_cast<int>(item.lParam);
    if (index == -1) return 0;  // root or branch: no add, and no expand or collapse
  }

  CAddTagDlg dlg(&m_server, index);
  if (!dlg.PrepareAdd() && dlg.DoModal(m_hWnd) != IDOK) return 0;

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
    AfxMessageBox(Format(L"AddItem '%ls' error!", tag), MB_OK);
  }
  bHandled = FALSE;  // the control's own double-click handling
  return 0;
}
