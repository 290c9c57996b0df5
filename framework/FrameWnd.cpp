#include "FrameWnd.h"

#include "App.h"
#include "Print.h"
#include "UiLanguage.h"
#include "View.h"

CFrameWnd* GetParentFrame(HWND hWnd) {
  for (HWND h = hWnd ? ::GetParent(hWnd) : nullptr; h; h = ::GetParent(h)) {
    if (auto* pFrame = dynamic_cast<CFrameWnd*>(CWnd::FromHandle(h))) return pFrame;
  }
  return nullptr;
}

CFrameWnd::CFrameWnd() = default;

CFrameWnd::~CFrameWnd() {
  // Bars and views are members of derived classes, gone by now; the window must not
  // outlive them, so a still-open frame is closed from the derived destructor's side.
  if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwStyle) {
  m_nIDResource = nIDResource;
  HINSTANCE hInst = ::GetModuleHandleW(nullptr);
  HICON hIcon = ::LoadIconW(hInst, MAKEINTRESOURCEW(nIDResource));
  LPCWSTR pszClass = RegisterClass(L"PloverFrame", CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW),
                                   reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1), hIcon);
  if (!pszClass) return FALSE;
  m_strTitle = m_pTemplate ? m_pTemplate->GetDocString(CSingleDocTemplate::windowTitle)
                           : LoadResString(nIDResource);
  HMENU hMenu = LoadUiMenu(nIDResource);
  m_hAccelTable = ::LoadAcceleratorsW(hInst, MAKEINTRESOURCEW(nIDResource));
  if (!CreateEx(0, pszClass, m_strTitle.c_str(), dwStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, hMenu)) {
    if (hMenu) ::DestroyMenu(hMenu);
    return FALSE;
  }
  return TRUE;
}

int CFrameWnd::OnCreate(LPCREATESTRUCTW lpcs) {
  if (!OnCreateClient(lpcs, m_pCreatingDoc)) return -1;
  RecalcLayout();
  return 0;
}

BOOL CFrameWnd::OnCreateClient(LPCREATESTRUCTW, CDocument* pDoc) {
  m_pDefaultView = m_pTemplate ? m_pTemplate->CreateView() : nullptr;
  if (!m_pDefaultView) return FALSE;
  RECT rc{0, 0, 0, 0};
  if (!m_pDefaultView->Create(m_hWnd, AFX_IDW_PANE_FIRST, pDoc, rc)) return FALSE;
  m_hWndClient = m_pDefaultView->m_hWnd;
  return TRUE;
}

BOOL CFrameWnd::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST || !m_hAccelTable) return FALSE;
  return ::TranslateAcceleratorW(m_hWnd, m_hAccelTable, pMsg) != 0;
}

void CFrameWnd::SetActiveView(CView* pView, bool bNotify) {
  m_pActiveView = pView;
  if (bNotify && pView && pView->m_hWnd && ::GetFocus() != pView->m_hWnd) ::SetFocus(pView->m_hWnd);
}

CDocument* CFrameWnd::GetActiveDocument() const {
  if (m_pActiveView && m_pActiveView->GetDocument()) return m_pActiveView->GetDocument();
  return m_pTemplate ? m_pTemplate->GetDocument() : nullptr;
}

void CFrameWnd::InitialUpdateFrame(CDocument* pDoc) {
  if (!m_pActiveView && pDoc && !pDoc->GetViews().empty())
    SetActiveView(pDoc->GetViews().front(), false);
  if (pDoc) pDoc->SendInitialUpdate();
  OnUpdateFrameTitle();
}

void CFrameWnd::OnUpdateFrameTitle() {
  if (!m_hWnd) return;
  CDocument* pDoc = GetActiveDocument();
  std::wstring caption = m_strTitle;
  if (pDoc && !pDoc->GetTitle().empty()) caption = pDoc->GetTitle() + L" - " + m_strTitle;
  if (GetWindowText() != caption) ::SetWindowTextW(m_hWnd, caption.c_str());
}

BOOL CFrameWnd::RouteCommand(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  LRESULT lResult = 0;
  if (ProcessWindowMessage(m_hWnd, uMsg, wParam, lParam, lResult)) return TRUE;
  CView* pView = m_pActiveView;
  if (pView && pView->m_hWnd &&
      pView->ProcessWindowMessage(pView->m_hWnd, uMsg, wParam, lParam, lResult))
    return TRUE;
  CDocument* pDoc = GetActiveDocument();
  if (pDoc && pDoc->ProcessWindowMessage(nullptr, uMsg, wParam, lParam, lResult)) return TRUE;
  CWinApp* pApp = AfxGetApp();
  return pApp && pApp->ProcessWindowMessage(nullptr, uMsg, wParam, lParam, lResult);
}

void CFrameWnd::UpdateCmdUI(CCmdUI& ui) {
  RouteCommand(WM_FW_UPDATECMDUI, ui.m_nID, reinterpret_cast<LPARAM>(&ui));
  // Left alone by every update handler: enabled exactly when something would run it.
  if (!ui.m_bEnableChanged) ui.Enable(RouteCommand(WM_FW_PROBECMD, ui.m_nID, 0));
}

void CFrameWnd::OnIdleUpdateCmdUI() {
  for (CControlBar* pBar : m_bars) {
    if (pBar->m_bVisible && pBar->Window().m_hWnd) pBar->OnUpdateCmdUI(*this);
  }
}

LRESULT CFrameWnd::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  // Menu items, accelerators and toolbar buttons are commands; other control
  // notifications go through the map as plain messages.
  if (uMsg == WM_COMMAND && HIWORD(wParam) <= 1 &&
      (lParam == 0 ||
       GetControlBar(static_cast<UINT>(::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)))))) {
    CCmdUI ui(LOWORD(wParam));
    UpdateCmdUI(ui);
    // A disabled command can still arrive from a key; it must not run.
    if (ui.m_bEnabled) RouteCommand(WM_COMMAND, MAKEWPARAM(LOWORD(wParam), 0), 0);
    return 0;
  }
  return CWnd::WindowProc(uMsg, wParam, lParam);
}

CControlBar* CFrameWnd::GetControlBar(UINT nID) const {
  for (CControlBar* pBar : m_bars)
    if (pBar->m_nID == nID) return pBar;
  return nullptr;
}

void CFrameWnd::ShowControlBar(CControlBar& bar, bool bShow) {
  if (bar.m_pReBar) {
    bar.m_pReBar->ShowBand(bar, bShow);
  } else {
    bar.m_bVisible = bShow;
    ::ShowWindow(bar.Window().m_hWnd, bShow ? SW_SHOWNA : SW_HIDE);
  }
  RecalcLayout();
}

void CFrameWnd::OnBarCheck(UINT nID) {
  if (CControlBar* pBar = GetControlBar(nID)) ShowControlBar(*pBar, !pBar->m_bVisible);
}

void CFrameWnd::OnUpdateControlBarMenu(CCmdUI& ui) {
  CControlBar* pBar = GetControlBar(ui.m_nID);
  if (!pBar) {
    ui.Enable(FALSE);
    return;
  }
  ui.Enable(TRUE);
  ui.SetCheck(pBar->m_bVisible ? 1 : 0);
}

void CFrameWnd::OnUpdateKeyIndicator(CCmdUI& ui) {
  int vk = ui.m_nID == ID_INDICATOR_CAPS  ? VK_CAPITAL
           : ui.m_nID == ID_INDICATOR_NUM ? VK_NUMLOCK
                                          : VK_SCROLL;
  ui.Enable((::GetKeyState(vk) & 1) != 0);
}

void CFrameWnd::RecalcLayout() {
  if (!m_hWnd) return;
  RECT rc{};
  ::GetClientRect(m_hWnd, &rc);
  int cx = rc.right - rc.left;
  int top = rc.top, bottom = rc.bottom;
  for (CControlBar* pBar : m_bars) {
    if (pBar->m_pReBar || !pBar->m_bVisible || !pBar->Window().m_hWnd) continue;
    SIZE size = pBar->CalcFixedLayout(cx);
    if (pBar->GetBarStyle() & CBRS_ALIGN_BOTTOM) {
      bottom -= size.cy;
      ::MoveWindow(pBar->Window().m_hWnd, 0, bottom, cx, size.cy, TRUE);
    } else {
      ::MoveWindow(pBar->Window().m_hWnd, 0, top, size.cx, size.cy, TRUE);
      top += size.cy;
    }
  }
  if (bottom < top) bottom = top;
  HWND hClient = m_pPreview ? m_pPreview->m_hWnd : m_hWndClient;
  if (hClient) ::MoveWindow(hClient, 0, top, cx, bottom - top, TRUE);
}

CStatusBar* CFrameWnd::GetMessageBar() const {
  return dynamic_cast<CStatusBar*>(GetControlBar(AFX_IDW_STATUS_BAR));
}

void CFrameWnd::SetMessageText(const std::wstring& text) {
  if (CStatusBar* pBar = GetMessageBar()) pBar->SetPaneText(0, text);
}

void CFrameWnd::SetMessageText(UINT nID) {
  SetMessageText(nID == AFX_IDS_IDLEMESSAGE ? LoadResString(nID) : GetCommandPrompt(nID));
}

LRESULT CFrameWnd::OnSize(UINT, WPARAM wParam, LPARAM, BOOL&) {
  if (wParam != SIZE_MINIMIZED) RecalcLayout();
  return 0;
}

LRESULT CFrameWnd::OnClose(UINT, WPARAM, LPARAM, BOOL&) {
  if (m_pPreview) {
    EndPrintPreview();
    return 0;
  }
  CDocument* pDoc = GetActiveDocument();
  if (pDoc && !pDoc->SaveModified()) return 0;
  DestroyWindow();
  return 0;
}

LRESULT CFrameWnd::OnNcDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  m_pActiveView = nullptr;
  CWinApp* pApp = AfxGetApp();
  if (pApp && pApp->m_pMainWnd == this) {
    pApp->m_pMainWnd = nullptr;
    ::PostQuitMessage(0);
  }
  return 0;
}

LRESULT CFrameWnd::OnSetFocus(UINT, WPARAM, LPARAM, BOOL&) {
  if (m_pActiveView && m_pActiveView->m_hWnd) ::SetFocus(m_pActiveView->m_hWnd);
  return 0;
}

LRESULT CFrameWnd::OnInitMenuPopup(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
  if (HIWORD(lParam)) return 0;  // the window menu
  HMENU hMenu = reinterpret_cast<HMENU>(wParam);
  // Re-read the count each time: an update handler may insert items (recent files).
  for (UINT i = 0; i < static_cast<UINT>(::GetMenuItemCount(hMenu)); ++i) {
    UINT id = ::GetMenuItemID(hMenu, static_cast<int>(i));
    if (id == 0 || id == static_cast<UINT>(-1)) continue;  // separator or sub-menu
    CCmdUI ui(id);
    ui.m_hMenu = hMenu;
    ui.m_nIndex = i;
    UpdateCmdUI(ui);
    ::EnableMenuItem(hMenu, ui.m_nIndex, MF_BYPOSITION | (ui.m_bEnabled ? MF_ENABLED : MF_GRAYED));
    if (ui.m_nCheck >= 0)
      ::CheckMenuItem(hMenu, ui.m_nIndex,
                      MF_BYPOSITION | (ui.m_nCheck ? MF_CHECKED : MF_UNCHECKED));
    i = ui.m_nIndex;
  }
  return 0;
}

LRESULT CFrameWnd::OnMenuSelect(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
  UINT flags = HIWORD(wParam);
  if (flags == 0xFFFF && lParam == 0) {
    SetMessageText(AFX_IDS_IDLEMESSAGE);  // menu closed
  } else if (flags & (MF_POPUP | MF_SEPARATOR | MF_SYSMENU)) {
    SetMessageText(std::wstring());
  } else {
    SetMessageText(LOWORD(wParam));
  }
  return 0;
}

LRESULT CFrameWnd::OnExitMenuLoop(UINT, WPARAM, LPARAM, BOOL&) {
  SetMessageText(AFX_IDS_IDLEMESSAGE);
  return 0;
}

LRESULT CFrameWnd::OnToolTipText(NMHDR* pnmh) {
  auto* pInfo = reinterpret_cast<NMTTDISPINFOW*>(pnmh);
  UINT id = static_cast<UINT>(pnmh->idFrom);
  if (pInfo->uFlags & TTF_IDISHWND)
    id = static_cast<UINT>(::GetDlgCtrlID(reinterpret_cast<HWND>(pnmh->idFrom)));
  // Only bars that asked for tool tips get them. Only a toolbar is asked for its tips: to
  // the rebar the same message number is RB_SHOWBAND, which would hide the toolbar's band.
  bool bWanted = false;
  for (CControlBar* pBar : m_bars) {
    auto* pToolBar = dynamic_cast<CToolBar*>(pBar);
    if (!pToolBar || !pToolBar->m_hWnd || !(pBar->GetBarStyle() & CBRS_TOOLTIPS)) continue;
    HWND hTips = reinterpret_cast<HWND>(pToolBar->SendMessage(TB_GETTOOLTIPS));
    if (hTips && hTips == pnmh->hwndFrom) bWanted = true;
  }
  m_strTip = bWanted ? GetCommandTip(id) : std::wstring();
  pInfo->lpszText = m_strTip.data();
  pInfo->szText[0] = 0;
  pInfo->hinst = nullptr;
  return 0;
}

LRESULT CFrameWnd::OnHotItemChange(NMHDR* pnmh) {
  auto* pHot = reinterpret_cast<NMTBHOTITEM*>(pnmh);
  CControlBar* pBar = GetControlBar(static_cast<UINT>(pnmh->idFrom));
  if (!pBar || !(pBar->GetBarStyle() & CBRS_FLYBY)) return 0;
  if ((pHot->dwFlags & HICF_LEAVING) || pHot->idNew == 0)
    SetMessageText(AFX_IDS_IDLEMESSAGE);
  else
    SetMessageText(static_cast<UINT>(pHot->idNew));
  return 0;
}

void CFrameWnd::BeginPrintPreview(CView* pView) {
  if (m_pPreview || !pView) return;
  m_pPreview = std::make_unique<CPreviewWnd>(*this, *pView);
  if (!m_pPreview->Create()) {
    m_pPreview.reset();
    return;
  }
  if (m_hWndClient) ::ShowWindow(m_hWndClient, SW_HIDE);
  RecalcLayout();
}

void CFrameWnd::EndPrintPreview() {
  if (!m_pPreview) return;
  m_pPreview.reset();
  if (m_hWndClient) ::ShowWindow(m_hWndClient, SW_SHOW);
  RecalcLayout();
  if (m_pActiveView && m_pActiveView->m_hWnd) ::SetFocus(m_pActiveView->m_hWnd);
}
