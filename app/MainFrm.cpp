#include "MainFrm.h"

#include <cstdio>
#include <iterator>

#include "App.h"

#include "BrowseOptionDlg.h"
#include "BrowseView.h"
#include "CreditTexts.h"
#include "GroupManageDlg.h"
#include "PloverView.h"
#include "ServerPropertyDlg.h"
#include "ServerSelectDlg.h"
#include "StartupSplash.h"

namespace {
const UINT kIndicators[] = {ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};
}  // namespace

int CMainFrame::OnCreate(LPCREATESTRUCTW lpcs) {
  if (CFrameWnd::OnCreate(lpcs) == -1) return -1;

  if (!m_wndToolBar.CreateEx(*this, TBSTYLE_FLAT, WS_CHILD | WS_VISIBLE, CBRS_TOP,
                             AFX_IDW_TOOLBAR) ||
      !m_wndToolBar.LoadToolBar(IDR_MAINFRAME))
    return -1;

  if (!m_wndDlgBar.Create(*this, IDR_MAINFRAME, CBRS_ALIGN_TOP, AFX_IDW_DIALOGBAR)) return -1;

  if (!m_wndReBar.Create(*this, RBS_BANDBORDERS,
                         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                         AFX_IDW_REBAR) ||
      !m_wndReBar.AddBar(m_wndToolBar, RBBS_GRIPPERALWAYS | RBBS_FIXEDBMP) ||
      !m_wndReBar.AddBar(m_wndDlgBar, RBBS_GRIPPERALWAYS | RBBS_FIXEDBMP))
    return -1;

  if (!m_wndStatusBar.Create(*this, WS_CHILD | WS_VISIBLE, AFX_IDW_STATUS_BAR) ||
      !m_wndStatusBar.SetIndicators(kIndicators, static_cast<int>(std::size(kIndicators))))
    return -1;
  SetMessageText(AFX_IDS_IDLEMESSAGE);
  if (CWinApp* pApp = AfxGetApp())
    m_bAutoReconnect = pApp->GetProfileInt(kSettingsSection, kAutoReconnectEntry, 1) != 0;

  m_wndToolBar.SetBarStyle(m_wndToolBar.GetBarStyle() | CBRS_TOOLTIPS | CBRS_FLYBY);

  if (!m_wndPLDialogBar.Create(*this, IDD_PLDIALOGBAR, CBRS_TOP | CBRS_TOOLTIPS | CBRS_FLYBY,
                               ID_VIEW_PLDIALOGBAR))
    return -1;

  ::SetTimer(m_hWnd, kBannerTimer, 50, nullptr);

  ShowStartupSplash(m_hWnd);
  RecalcLayout();
  return 0;
}

BOOL CMainFrame::OnCreateClient(LPCREATESTRUCTW, CDocument* pDoc) {
  if (!m_wndSplitter.CreateStatic(m_hWnd, 1, 2)) return FALSE;
  // The width the user left the tree at; 100 pixels on the first start.
  int cxTree = kFirstTreeWidth;
  if (CWinApp* pApp = AfxGetApp()) {
    const int saved =
        static_cast<int>(pApp->GetProfileInt(kSettingsSection, kTreeWidthEntry, kFirstTreeWidth));
    if (saved >= 0 && saved <= 16384) cxTree = saved;
  }
  if (!m_wndSplitter.CreateView(0, 0, std::make_unique<CBrowseView>(), SIZE{cxTree, 100}, pDoc) ||
      !m_wndSplitter.CreateView(0, 1, std::make_unique<CPloverView>(), SIZE{100, 100}, pDoc)) {
    m_wndSplitter.DestroyWindow();
    return FALSE;
  }
  m_hWndClient = m_wndSplitter.m_hWnd;
  return TRUE;
}

void CMainFrame::ShowAtStart() {
  if (!ShowSavedPlacement()) ::ShowWindow(m_hWnd, SW_SHOWMAXIMIZED);
  m_bShown = true;
}

BOOL CMainFrame::ShowSavedPlacement() {
  CWinApp* pApp = AfxGetApp();
  if (!pApp) return FALSE;
  const std::wstring text = pApp->GetProfileString(kSettingsSection, kPlacementEntry);
  int maximized = 0;
  RECT rc{};
  if (std::swscanf(text.c_str(), L"%d %ld %ld %ld %ld", &maximized, &rc.left, &rc.top, &rc.right,
                   &rc.bottom) != 5 ||
      rc.right - rc.left < 100 || rc.bottom - rc.top < 50)
    return FALSE;
  // A screen that is gone (a second monitor unplugged) must not take the window with it.
  if (!::MonitorFromRect(&rc, MONITOR_DEFAULTTONULL)) return FALSE;
  WINDOWPLACEMENT wp{};
  wp.length = sizeof(wp);
  wp.rcNormalPosition = rc;
  wp.showCmd = maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  return ::SetWindowPlacement(m_hWnd, &wp);
}

LRESULT CMainFrame::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  StopRecording();
  CWinApp* pApp = AfxGetApp();
  WINDOWPLACEMENT wp{};
  wp.length = sizeof(wp);
  if (!pApp || !m_bShown || !::GetWindowPlacement(m_hWnd, &wp)) return 0;
  // A minimised window comes back as it was before: maximised or not.
  const bool maximized = wp.showCmd == SW_SHOWMAXIMIZED ||
                         (wp.showCmd == SW_SHOWMINIMIZED && (wp.flags & WPF_RESTORETOMAXIMIZED));
  const RECT& rc = wp.rcNormalPosition;
  wchar_t text[96];
  std::swprintf(text, std::size(text), L"%d %ld %ld %ld %ld", maximized ? 1 : 0, rc.left, rc.top,
                rc.right, rc.bottom);
  pApp->WriteProfileString(kSettingsSection, kPlacementEntry, text);
  if (m_wndSplitter.m_hWnd)
    pApp->WriteProfileInt(kSettingsSection, kTreeWidthEntry, m_wndSplitter.GetColumnWidth(0));
  return 0;
}

CBrowseView* CMainFrame::GetBrowseView() const {
  return m_wndSplitter.m_hWnd ? dynamic_cast<CBrowseView*>(m_wndSplitter.GetPane(0, 0)) : nullptr;
}

CPloverView* CMainFrame::GetItemView() const {
  return m_wndSplitter.m_hWnd ? dynamic_cast<CPloverView*>(m_wndSplitter.GetPane(0, 1)) : nullptr;
}

LRESULT CMainFrame::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL&) {
  if (wParam == kReconnectTimer) AttemptReconnect();
  if (wParam == kRecordTimer) OnRecordTimer();
  if (wParam != kBannerTimer) return 0;
  ::KillTimer(m_hWnd, kBannerTimer);  // one shot
  if (m_wndCredits.m_hWnd || !m_wndPLDialogBar.m_hWnd) return 0;
  // The banner fills the second dialog bar, 2 pixels in from its edges.
  RECT rc{};
  ::GetWindowRect(m_wndPLDialogBar.m_hWnd, &rc);
  ::OffsetRect(&rc, -rc.left, -rc.top);
  ::InflateRect(&rc, -2, -2);
  if (m_wndCredits.CreateControl(WS_EX_CLIENTEDGE, L"STATIC", WS_CHILD | WS_VISIBLE, rc,
                                 m_wndPLDialogBar.m_hWnd, 0xFFFF))
    StartCredits(m_wndCredits, kBannerCredits, 30);
  return 0;
}

LRESULT CMainFrame::OnRelayToItemView(UINT uMsg, WPARAM, LPARAM lParam, BOOL&) {
  if (CPloverView* pView = GetItemView()) ::SendMessageW(pView->m_hWnd, uMsg, 0, lParam);
  return 0;
}

void CMainFrame::OnOpcConnect() {
  CBrowseView* pView = GetBrowseView();
  if (!pView) return;
  // No attempt while the user picks a server; picking one ends them.
  if (m_pReconnect) ::KillTimer(m_hWnd, kReconnectTimer);
  CServerSelectDlg dlg(&pView->m_server);
  if (dlg.DoModal(m_hWnd) != IDOK) {
    if (m_pReconnect) ScheduleReconnect();
    return;
  }
  StopReconnect();
  LeaveWorkspace();
  ConnectServer(dlg.m_strServer, dlg.m_strNode);
}

void CMainFrame::OnDisconnectCommand() {
  StopReconnect();
  LeaveWorkspace();
  OnOpcDisconnect();
}

void CMainFrame::LeaveWorkspace() {
  // The title would name a file that no longer describes the window, and Save would write
  // over it without asking.
  CDocument* pDoc = GetActiveDocument();
  if (pDoc && !pDoc->GetPathName().empty()) pDoc->SetUntitled();
}

void CMainFrame::ConnectServer(const std::wstring& progId, const std::wstring& node) {
  CBrowseView* pView = GetBrowseView();
  if (!pView) return;
  pView->m_strProgId = progId;
  pView->m_strNode = node;
  ::SendMessageW(pView->m_hWnd, WM_OPC_CONNECT, 0, 0);
  if (pView->m_server.IsConnected() && !node.empty()) CServerSelectDlg::RememberNode(node);
}

void CMainFrame::OnOpcDisconnect() {
  // The records go to the file before the items they came from.
  StopRecording();
  CBrowseView* pView = GetBrowseView();
  if (!pView) return;
  // The rows go first: they point at item records the disconnect frees.
  if (CPloverView* pList = GetItemView()) ::SendMessageW(pList->m_hWnd, WM_OPC_DISCONNECT, 0, 0);
  ::SendMessageW(pView->m_hWnd, WM_OPC_DISCONNECT, 0, 0);
}

COpcServer* CMainFrame::GetOpcServer() const {
  CBrowseView* pView = GetBrowseView();
  return pView ? &pView->m_server : nullptr;
}

BOOL CMainFrame::IsServerConnected() const {
  COpcServer* pServer = GetOpcServer();
  return pServer && pServer->IsConnected();
}

std::wstring CMainFrame::GetValueText(const COpcItem* item) {
  COpcServer* p = GetOpcServer();
  return p ? p->GetValueText(item) : std::wstring();
}

std::wstring CMainFrame::GetValueTypeText(const COpcItem* item) {
  COpcServer* p = GetOpcServer();
  return p ? p->GetValueTypeText(item) : std::wstring();
}

COpcGroup* CMainFrame::SelectGroup(OPCHANDLE group) {
  COpcServer* p = GetOpcServer();
  return p ? p->SelectGroup(group) : nullptr;
}

COpcGroup* CMainFrame::GetGroup(OPCHANDLE group) {
  COpcServer* p = GetOpcServer();
  return p ? p->GetGroup(group) : nullptr;
}

BOOL CMainFrame::RemoveGroup(OPCHANDLE group) {
  COpcServer* p = GetOpcServer();
  return p ? p->RemoveGroup(group, FALSE) : FALSE;
}

BOOL CMainFrame::RemoveItem(COpcItem* item) {
  COpcServer* p = GetOpcServer();
  return p ? p->RemoveItem(item) : FALSE;
}

COpcItem* CMainFrame::ResolveItem(OPCHANDLE hClient) {
  COpcServer* p = GetOpcServer();
  return p ? p->ResolveItem(hClient) : nullptr;
}

void CMainFrame::GetItemAttributes(const COpcItem* item, ItemAttributeText& info) {
  if (COpcServer* p = GetOpcServer()) p->GetItemAttributes(item, info);
}

void CMainFrame::GetGroupActiveStates(OPCHANDLE group, ItemActiveMap& byClient) {
  byClient.clear();
  if (COpcServer* p = GetOpcServer()) p->GetGroupActiveStates(group, byClient);
}

void CMainFrame::GetItemProperties(const COpcItem* item, std::vector<OpcPropertyRow>& rows) {
  rows.clear();
  if (COpcServer* p = GetOpcServer()) p->GetItemProperties(item, rows);
}

HRESULT CMainFrame::SetItemActive(COpcItem* item, BOOL active) {
  COpcServer* p = GetOpcServer();
  return p ? p->SetItemActive(item, active) : E_FAIL;
}

HRESULT CMainFrame::SetItemsActive(const std::vector<COpcItem*>& items, BOOL active,
                                   std::vector<HRESULT>& errors) {
  COpcServer* p = GetOpcServer();
  if (p) return p->SetItemsActive(items, active, errors);
  errors.assign(items.size(), E_FAIL);
  return E_FAIL;
}

BOOL CMainFrame::ReadCache(COpcItem* item) {
  COpcServer* p = GetOpcServer();
  return p ? p->ReadCache(item) : FALSE;
}

BOOL CMainFrame::ReadDevice(COpcItem* item) {
  COpcServer* p = GetOpcServer();
  return p ? p->ReadDevice(item) : FALSE;
}

BOOL CMainFrame::AsyncReadCache(COpcItem* item) {
  COpcServer* p = GetOpcServer();
  return p ? p->AsyncReadCache(item) : FALSE;
}

BOOL CMainFrame::AsyncReadDevice(COpcItem* item) {
  COpcServer* p = GetOpcServer();
  return p ? p->AsyncReadDevice(item) : FALSE;
}

BOOL CMainFrame::RefreshCache() {
  COpcServer* p = GetOpcServer();
  return p ? p->RefreshCache() : FALSE;
}

BOOL CMainFrame::RefreshDevice() {
  COpcServer* p = GetOpcServer();
  return p ? p->RefreshDevice() : FALSE;
}

BOOL CMainFrame::WriteSync(COpcItem* item, const std::wstring& text, std::wstring* reason) {
  return Write(item, text, false, reason);
}

BOOL CMainFrame::WriteAsync(COpcItem* item, const std::wstring& text, std::wstring* reason) {
  return Write(item, text, true, reason);
}

BOOL CMainFrame::Write(COpcItem* item, const std::wstring& text, bool async, std::wstring* reason) {
  if (reason) reason->clear();
  COpcServer* p = GetOpcServer();
  if (!p || !item) return FALSE;
  HRESULT convert = S_OK, failure = E_FAIL;
  BOOL ok = async ? p->WriteAsync(item, text, &convert, &failure)
                  : p->WriteSync(item, text, &convert, &failure);
  if (ok || !reason) return ok;
  const std::wstring prefix = item->m_strItemId + L":";
  if (SUCCEEDED(convert)) {
    *reason = p->GetErrorText(prefix, static_cast<DWORD>(failure));
    return ok;
  }
  // The text never reached the server, which is not asked about a client-side code.
  wchar_t buffer[260];
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(convert), 0, buffer,
                             static_cast<DWORD>(std::size(buffer)), nullptr);
  *reason = prefix + L" \"" + text + L"\" " +
            (n > 0 ? std::wstring(buffer, n) : LoadResString(IDS_DOES_NOT_CONVERT));
  return ok;
}

void CMainFrame::OnItemAdded(OPCHANDLE group, COpcItem* item) {
  if (CPloverView* pView = GetItemView())
    ::SendMessageW(pView->m_hWnd, WM_OPC_ITEMADDED, group, reinterpret_cast<LPARAM>(item));
}

void CMainFrame::HighlightItem(const COpcItem* item) {
  if (CPloverView* pView = GetItemView()) pView->HighlightItem(item);
}

void CMainFrame::OnGroupData(WPARAM wParam, LPARAM lParam) {
  if (CPloverView* pView = GetItemView())
    ::SendMessageW(pView->m_hWnd, WM_OPC_GROUPDATA, wParam, lParam);
}

void CMainFrame::OnOpcServerProperties() {
  COpcServer* pServer = GetOpcServer();
  if (!pServer) return;
  ServerStatusText status;
  pServer->GetServerStatus(status);
  CServerPropertyDlg dlg(&status, m_hWnd);
  dlg.DoModal();
}

void CMainFrame::OnOpcBrowseOptions() {
  COpcServer* pServer = GetOpcServer();
  if (!pServer) return;
  CBrowseOptionDlg dlg(pServer, m_hWnd);
  dlg.DoModal();
}

void CMainFrame::OnUpdateWhenDisconnected(CCmdUI& ui) {
  if (!GetBrowseView()) return;  // no pane, no rule
  ui.Enable(!IsServerConnected());
}

void CMainFrame::OnUpdateWhenConnected(CCmdUI& ui) {
  if (!GetBrowseView()) return;
  ui.Enable(IsServerConnected());
}

void CMainFrame::OnOpcGroupManagement() {
  COpcServer* pServer = GetOpcServer();
  if (!pServer) return;
  // No parent: the dialog's owner, this frame, receives its group messages.
  CGroupManageDlg dlg(pServer);
  dlg.DoModal(m_hWnd);
}
