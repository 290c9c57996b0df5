// Connecting again by itself after a lost server. The rows stay (bad: comm failure) while
// the attempts run; a successful one brings the groups and items back through the workspace
// restore, and each row takes its new item back in place.
#include <cstdio>
#include <iterator>

#include "App.h"
#include "BrowseView.h"
#include "MainFrm.h"
#include "ModalRunner.h"
#include "OpcAliveCheck.h"
#include "OpcUiPorts.h"
#include "PloverView.h"
#include "TextRes.h"
#include "UiLanguage.h"
#include "WorkspaceRestore.h"

namespace {
constexpr UINT kFirstPauseMs = 1000;
constexpr UINT kLongestPauseMs = 30000;
constexpr DWORD kReleaseWaitMs = 5000;
constexpr UINT kReleaseRetryMs = 100;

// What the client core would have put in a box during an attempt: the status bar shows it.
std::wstring g_refusal;
int KeepRefusal(OpcBoxOwner, const std::wstring& text, const std::wstring&, UINT) {
  if (g_refusal.empty()) g_refusal = text;
  return IDOK;
}

std::wstring OneLine(std::wstring text) {
  for (wchar_t& c : text)
    if (c == L'\n' || c == L'\r') c = L' ';
  return text;
}
}  // namespace

UINT CMainFrame::ReconnectPauseMs(int failed) {
  UINT pause = kFirstPauseMs;
  for (int i = 0; i < failed && pause < kLongestPauseMs; ++i) pause *= 2;
  return pause < kLongestPauseMs ? pause : kLongestPauseMs;
}

void CMainFrame::SetAutoReconnect(bool on) {
  m_bAutoReconnect = on;
  if (CWinApp* pApp = AfxGetApp()) pApp->WriteProfileInt(kSettingsSection, kAutoReconnectEntry, on);
}

bool CMainFrame::ReconnectAfterLoss(bool shutdownRequest, const std::wstring& text) {
  CBrowseView* view = GetBrowseView();
  if (!m_bAutoReconnect || !view || !view->m_server.IsConnected()) return false;
  auto state = std::make_unique<ReconnectState>();
  state->ws = CaptureWorkspace(*this);
  if (state->ws.progId.empty()) return false;
  if (const COpcGroup* current = view->m_server.m_groupManager.GetCurrentGroup())
    state->currentGroup = current->m_hClient;
  state->lossText = OneLine(text);
  // The rows let go of their items before the disconnect frees them; only the server goes.
  if (CPloverView* list = GetItemView()) list->DetachRows();
  ::SendMessageW(view->m_hWnd, WM_OPC_DISCONNECT, 0, 0);
  m_pReconnect = std::move(state);
  // A server that asked to go said why, and the user sees it as before; a process that died
  // or went silent is told in the status bar, so nothing waits for a click.
  if (shutdownRequest) {
    AfxMessageBox(text, MB_OK);
    if (!m_pReconnect) return true;
  }
  SetMessageText(m_pReconnect->lossText);
  ScheduleReconnect();
  return true;
}

void CMainFrame::ScheduleReconnect() {
  if (!m_pReconnect) return;
  ::SetTimer(m_hWnd, kReconnectTimer, ReconnectPauseMs(m_pReconnect->attempts), nullptr);
}

void CMainFrame::AttemptReconnect() {
  ::KillTimer(m_hWnd, kReconnectTimer);
  CBrowseView* view = GetBrowseView();
  if (!m_pReconnect || !view) return;
  // Connected some other way meanwhile: nothing left to do here.
  if (view->m_server.IsConnected()) {
    m_pReconnect.reset();
    return;
  }
  // The lost server's proxies are still being let go of: a moment later.
  if (ReleasesPending(kReleaseWaitMs)) {
    ::SetTimer(m_hWnd, kReconnectTimer, kReleaseRetryMs, nullptr);
    return;
  }
  const int attempt = ++m_pReconnect->attempts;
  const std::wstring& progId = m_pReconnect->ws.progId;
  wchar_t number[16];
  std::swprintf(number, std::size(number), L"%d", attempt);
  SetMessageText(FormatResString(IDS_RECONNECTING, {progId, number, m_pReconnect->lossText}));
  if (m_wndStatusBar.m_hWnd) ::UpdateWindow(m_wndStatusBar.m_hWnd);

  RestoreReport report;
  view->m_bQuietConnect = true;
  g_refusal.clear();
  const OpcMessageBoxFn previous = SetOpcMessageBox(KeepRefusal);
  RestoreWorkspace(*this, m_pReconnect->ws, report);
  SetOpcMessageBox(previous);
  view->m_bQuietConnect = false;
  if (!view->m_server.IsConnected()) {
    if (!g_refusal.empty())
      SetMessageText(FormatResString(IDS_RECONNECTING, {progId, number, OneLine(g_refusal)}));
    ScheduleReconnect();
    return;
  }
  if (const OPCHANDLE current = m_pReconnect->currentGroup;
      current && view->m_server.SelectGroup(current))
    view->m_nGroupId = static_cast<int>(current);
  const std::wstring name = progId;
  m_pReconnect.reset();

  // Items the server no longer has keep their rows with its reason, and are not asked for
  // again; one line sums it up.
  size_t missing = 0;
  if (CPloverView* list = GetItemView())
    missing = list->MarkUnrestored(report.why, LoadResString(IDS_NOT_RESTORED));
  std::wstring status =
      FormatResString(IDS_RECONNECTED, {name, std::to_wstring(report.restoredItems)});
  if (missing) {
    status += FormatResString(IDS_RECONNECT_MISSING, {std::to_wstring(missing)});
    if (!report.first.empty()) status += L" (" + report.first.front() + L")";
  }
  SetMessageText(status);
}

bool CMainFrame::StopReconnect() {
  if (!m_pReconnect) return false;
  ::KillTimer(m_hWnd, kReconnectTimer);
  m_pReconnect.reset();
  OnOpcDisconnect();
  SetMessageText(AFX_IDS_IDLEMESSAGE);
  return true;
}

BOOL CMainFrame::PreTranslateMessage(MSG* pMsg) {
  // Esc anywhere in the main window ends the attempts (a dialog's Esc stays the dialog's).
  if (m_pReconnect && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_ESCAPE &&
      (pMsg->hwnd == m_hWnd || ::IsChild(m_hWnd, pMsg->hwnd))) {
    StopReconnect();
    return TRUE;
  }
  return CFrameWnd::PreTranslateMessage(pMsg);
}

void CMainFrame::OnUpdateDisconnect(CCmdUI& ui) {
  if (!GetBrowseView()) return;
  ui.Enable(IsServerConnected() || m_pReconnect);
}
