#include "Wnd.h"

#include <commctrl.h>

#include <unordered_map>

namespace {
// Which object owns which window. Looked up for every message, so it is kept here: a window
// property would cost a round trip to the window server (Wine's) per look-up.
SRWLOCK g_windowsLock = SRWLOCK_INIT;
std::unordered_map<HWND, CWnd*>& Windows() {
  static auto* windows = new std::unordered_map<HWND, CWnd*>;  // outlives every window
  return *windows;
}
// The object whose window is being created on this thread; it claims the first message.
thread_local CWnd* t_pCreating = nullptr;
}  // namespace

CWnd::~CWnd() {
  // Windows outlived by their objects would call into freed memory.
  if (m_hWnd && ::IsWindow(m_hWnd)) {
    HWND h = m_hWnd;
    Detach();
    ::DestroyWindow(h);
  }
  Forget();  // a window that went without its last message
}

void CWnd::Forget() {
  if (!m_hWnd) return;
  ::AcquireSRWLockExclusive(&g_windowsLock);
  auto found = Windows().find(m_hWnd);
  if (found != Windows().end() && found->second == this) Windows().erase(found);
  ::ReleaseSRWLockExclusive(&g_windowsLock);
}

void CWnd::Attach(HWND hWnd) {
  m_hWnd = hWnd;
  ::AcquireSRWLockExclusive(&g_windowsLock);
  Windows()[hWnd] = this;
  ::ReleaseSRWLockExclusive(&g_windowsLock);
}

void CWnd::Detach() {
  if (m_hWnd) {
    Forget();
    if (m_pfnSuperWindowProc != ::DefWindowProcW)
      ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
  }
  m_hWnd = nullptr;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
  if (!hWnd) return nullptr;
  ::AcquireSRWLockShared(&g_windowsLock);
  auto found = Windows().find(hWnd);
  CWnd* pWnd = found != Windows().end() ? found->second : nullptr;
  ::ReleaseSRWLockShared(&g_windowsLock);
  return pWnd;
}

LPCWSTR CWnd::RegisterClass(LPCWSTR pszName, UINT style, HCURSOR hCursor, HBRUSH hbrBackground,
                            HICON hIcon) {
  WNDCLASSEXW wc{};
  HINSTANCE hInst = ::GetModuleHandleW(nullptr);
  if (::GetClassInfoExW(hInst, pszName, &wc)) return pszName;
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = StaticWndProc;
  wc.hInstance = hInst;
  wc.hCursor = hCursor;
  wc.hbrBackground = hbrBackground;
  wc.hIcon = hIcon;
  wc.lpszClassName = pszName;
  return ::RegisterClassExW(&wc) ? pszName : nullptr;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCWSTR pszClass, LPCWSTR pszName, DWORD dwStyle, int x, int y,
                    int cx, int cy, HWND hParent, HMENU hMenuOrId) {
  CWnd* pPrev = t_pCreating;
  t_pCreating = this;
  HWND h = ::CreateWindowExW(dwExStyle, pszClass, pszName, dwStyle, x, y, cx, cy, hParent,
                             hMenuOrId, ::GetModuleHandleW(nullptr), nullptr);
  t_pCreating = pPrev;
  if (!h) {
    m_hWnd = nullptr;
    return FALSE;
  }
  return TRUE;
}

BOOL CWnd::CreateControl(DWORD dwExStyle, LPCWSTR pszClass, DWORD dwStyle, const RECT& rc,
                         HWND hParent, UINT nID) {
  HWND h = ::CreateWindowExW(dwExStyle, pszClass, nullptr, dwStyle, rc.left, rc.top,
                             rc.right - rc.left, rc.bottom - rc.top, hParent,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)),
                             ::GetModuleHandleW(nullptr), nullptr);
  if (!h) return FALSE;
  if (!SubclassWindow(h)) {
    ::DestroyWindow(h);
    return FALSE;
  }
  return TRUE;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!hWnd || m_hWnd || FromHandle(hWnd)) return FALSE;
  Attach(hWnd);
  m_pfnSuperWindowProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StaticWndProc)));
  OnSubclassed();
  return TRUE;
}

BOOL CWnd::DestroyWindow() {
  return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

std::wstring CWnd::GetWindowText() const {
  int n = ::GetWindowTextLengthW(m_hWnd);
  std::wstring s(n + 1, L'\0');
  n = ::GetWindowTextW(m_hWnd, s.data(), n + 1);
  s.resize(n > 0 ? n : 0);
  return s;
}

namespace {

// The control a notification is about, or nullptr when the message is not one.
HWND NotifyingControl(HWND hParent, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_NOTIFY:
      return lParam ? reinterpret_cast<NMHDR*>(lParam)->hwndFrom : nullptr;
    case WM_COMMAND:  // menus and accelerators have no control
      return reinterpret_cast<HWND>(lParam);
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      return dis && dis->CtlType != ODT_MENU ? dis->hwndItem : nullptr;
    }
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      return mis && mis->CtlType != ODT_MENU ? ::GetDlgItem(hParent, static_cast<int>(mis->CtlID))
                                             : nullptr;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<HWND>(lParam);
    default:
      (void)wParam;
      return nullptr;
  }
}

}  // namespace

BOOL CWnd::ReflectNotification(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
  HWND hCtl = NotifyingControl(m_hWnd, uMsg, wParam, lParam);
  if (!hCtl || hCtl == m_hWnd) return FALSE;
  CWnd* pCtl = FromHandle(hCtl);
  if (!pCtl) return FALSE;
  return pCtl->ProcessWindowMessage(hCtl, OCM__BASE + uMsg, wParam, lParam, lResult);
}

LRESULT CWnd::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  LRESULT lResult = 0;
  if (ReflectNotification(uMsg, wParam, lParam, lResult)) return lResult;
  if (ProcessWindowMessage(m_hWnd, uMsg, wParam, lParam, lResult)) return lResult;
  return DefWindowProc(uMsg, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcW(m_pfnSuperWindowProc, m_hWnd, uMsg, wParam, lParam);
}

LRESULT CALLBACK CWnd::StaticWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CWnd* pWnd = FromHandle(hWnd);
  if (!pWnd) {
    pWnd = t_pCreating;
    if (!pWnd) return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
    t_pCreating = nullptr;
    pWnd->Attach(hWnd);
  }
  if (uMsg != WM_NCDESTROY) return pWnd->WindowProc(uMsg, wParam, lParam);

  LRESULT lResult = pWnd->WindowProc(uMsg, wParam, lParam);
  WNDPROC pfnSuper = pWnd->m_pfnSuperWindowProc;
  pWnd->Detach();
  pWnd->m_pfnSuperWindowProc = ::DefWindowProcW;
  // A subclassed control still has to see its own WM_NCDESTROY to free its data.
  if (pfnSuper != ::DefWindowProcW)
    lResult = ::CallWindowProcW(pfnSuper, hWnd, uMsg, wParam, lParam);
  pWnd->OnFinalMessage(hWnd);
  return lResult;
}

std::wstring GetCommandPrompt(UINT nID) {
  std::wstring s = LoadResString(nID);
  size_t pos = s.find(L'\n');
  return pos == std::wstring::npos ? s : s.substr(0, pos);
}

std::wstring GetCommandTip(UINT nID) {
  std::wstring s = LoadResString(nID);
  size_t pos = s.find(L'\n');
  return pos == std::wstring::npos ? std::wstring() : s.substr(pos + 1);
}
