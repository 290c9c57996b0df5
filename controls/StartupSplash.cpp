#include "StartupSplash.h"

#include "App.h"
#include "resource.h"

namespace {
BOOL g_bSplashEnabled = FALSE;
CStartupSplash* g_pSplash = nullptr;
}  // namespace

CStartupSplash* CStartupSplash::GetCurrent() {
  return g_pSplash;
}

CStartupSplash::~CStartupSplash() {
  if (g_pSplash == this) g_pSplash = nullptr;
  if (m_hBitmap) ::DeleteObject(m_hBitmap);
}

BOOL CStartupSplash::Create(HWND hParent) {
  m_hBitmap = static_cast<HBITMAP>(::LoadImageW(
      ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SPLASH), IMAGE_BITMAP, 0, 0, 0));
  BITMAP bm{};
  if (!m_hBitmap || !::GetObjectW(m_hBitmap, sizeof(bm), &bm)) return FALSE;
  m_size = {bm.bmWidth, bm.bmHeight};
  LPCWSTR pszClass =
      RegisterClass(L"PloverStartupSplash", 0, ::LoadCursorW(nullptr, IDC_ARROW), nullptr, nullptr);
  // Topmost: being owned by the frame does not keep it above the frame when the frame is
  // shown maximised and brought to the top a moment later.
  return pszClass && CreateEx(WS_EX_TOPMOST, pszClass, L"", WS_POPUP | WS_VISIBLE, 0, 0, m_size.cx,
                              m_size.cy, hParent, nullptr);
}

LRESULT CStartupSplash::OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
  // Over the owner when it shows; during start-up it does not yet, so on the screen.
  HWND hOwner = ::GetWindow(m_hWnd, GW_OWNER);
  RECT area{};
  if (hOwner && ::IsWindowVisible(hOwner) && !::IsIconic(hOwner)) {
    ::GetWindowRect(hOwner, &area);
  } else {
    area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
  int x = area.left + (area.right - area.left - m_size.cx) / 2;
  int y = area.top + (area.bottom - area.top - m_size.cy) / 2;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::SetTimer(m_hWnd, kTimerId, kTimeoutMs, nullptr);
  return 0;
}

LRESULT CStartupSplash::OnPaint(UINT, WPARAM, LPARAM, BOOL&) {
  PAINTSTRUCT ps;
  HDC hdc = ::BeginPaint(m_hWnd, &ps);
  HDC hMem = ::CreateCompatibleDC(hdc);
  HGDIOBJ hOld = ::SelectObject(hMem, m_hBitmap);
  ::BitBlt(hdc, 0, 0, m_size.cx, m_size.cy, hMem, 0, 0, SRCCOPY);
  ::SelectObject(hMem, hOld);
  ::DeleteDC(hMem);
  ::EndPaint(m_hWnd, &ps);
  return 0;
}

LRESULT CStartupSplash::OnTimer(UINT, WPARAM, LPARAM, BOOL&) {
  HideStartupSplash();
  return 0;
}

void EnableStartupSplash(BOOL bEnable) {
  g_bSplashEnabled = bEnable;
}

BOOL IsStartupSplashEnabled() {
  return g_bSplashEnabled;
}

void ShowStartupSplash(HWND hParent) {
  if (!g_bSplashEnabled || g_pSplash) return;
  auto* pSplash = new CStartupSplash;
  g_pSplash = pSplash;
  if (!pSplash->Create(hParent)) {
    delete pSplash;
    return;
  }
  ::UpdateWindow(pSplash->m_hWnd);
}

BOOL FilterStartupSplashInput(const MSG* pMsg) {
  if (!g_pSplash || !pMsg) return FALSE;
  switch (pMsg->message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
      HideStartupSplash();
      return TRUE;
    default:
      return FALSE;
  }
}

void HideStartupSplash() {
  CStartupSplash* pSplash = g_pSplash;
  if (!pSplash) return;
  RECT covered{};
  HWND hOwner = nullptr;
  if (pSplash->m_hWnd) {
    ::GetWindowRect(pSplash->m_hWnd, &covered);
    hOwner = ::GetWindow(pSplash->m_hWnd, GW_OWNER);
    pSplash->DestroyWindow();  // the object deletes itself once its window is gone
  } else {
    delete pSplash;
  }
  CWinApp* pApp = AfxGetApp();
  HWND hMain = pApp && pApp->m_pMainWnd ? pApp->m_pMainWnd->m_hWnd : hOwner;
  if (!hMain || !::IsWindow(hMain)) return;
  // Repaint what the splash covered now, frame and children included.
  ::MapWindowPoints(nullptr, hMain, reinterpret_cast<POINT*>(&covered), 2);
  ::RedrawWindow(hMain, &covered, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}
