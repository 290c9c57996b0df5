#include "HyperLink.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cwchar>

#include "ModalRunner.h"

namespace {
CLinkOpener g_realOpener;
CLinkOpener* g_pOpener = &g_realOpener;
}  // namespace

int CLinkOpener::ShellOpen(const std::wstring& address, int nShowCmd) {
  return static_cast<int>(reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, nShowCmd)));
}

int CLinkOpener::RunCommand(const std::wstring& commandLine, int nShowCmd) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(nShowCmd);
  PROCESS_INFORMATION pi{};
  std::wstring buffer = commandLine;  // CreateProcess may write into it
  if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
    // The start results of old: small codes as they are, anything else an invalid program.
    DWORD e = ::GetLastError();
    return e < 32 ? static_cast<int>(e) : ERROR_BAD_FORMAT;
  }
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return 33;
}

CLinkOpener& GetLinkOpener() {
  return *g_pOpener;
}

CLinkOpener* SetLinkOpener(CLinkOpener* pOpener) {
  CLinkOpener* pPrev = g_pOpener;
  g_pOpener = pOpener ? pOpener : &g_realOpener;
  return pPrev;
}

CHyperLink::CHyperLink() : m_crHover(::GetSysColor(COLOR_HIGHLIGHT)) {}

CHyperLink::~CHyperLink() {
  if (m_hWnd && ::IsWindow(m_hWnd)) DestroyWindow();
  FreeFont();
  if (m_hHandCursor) ::DestroyCursor(m_hHandCursor);
}

void CHyperLink::OnSubclassed() {
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, GetStyle() | SS_NOTIFY);

  std::wstring caption = GetWindowText();
  if (m_strAddress.empty()) m_strAddress = caption;
  if (caption.empty()) ::SetWindowTextW(m_hWnd, m_strAddress.c_str());

  HFONT hFont = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
  if (!hFont) hFont = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
  LOGFONTW lf{};
  if (::GetObjectW(hFont, sizeof(lf), &lf)) {
    lf.lfUnderline = static_cast<BYTE>(m_bUnderline);
    FreeFont();
    m_hLinkFont = ::CreateFontIndirectW(&lf);
    if (m_hLinkFont) SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hLinkFont), TRUE);
  }

  FitToText();
  LoadHandCursor();

  m_hToolTip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd,
                                 nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (m_hToolTip) {
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = m_hWnd;
    ti.uId = kToolId;
    ::GetClientRect(m_hWnd, &ti.rect);
    ti.lpszText = m_strAddress.data();
    ::SendMessageW(m_hToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  }
}

void CHyperLink::SetLinkAddress(const std::wstring& address) {
  m_strAddress = address;
  if (!m_hWnd) return;
  FitToText();
  if (m_hToolTip) {
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = m_hWnd;
    ti.uId = kToolId;
    ti.lpszText = m_strAddress.data();
    ::SendMessageW(m_hToolTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
  }
}

void CHyperLink::SetVisited(BOOL bVisited) {
  m_bVisited = bVisited;
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

COLORREF CHyperLink::GetLinkColor() const {
  if (m_bHover) return m_crHover;
  return m_bVisited ? kVisitedColor : kUnvisitedColor;
}

void CHyperLink::FitToText() {
  if (!m_hWnd || !m_bAutoSize) return;
  std::wstring caption = GetWindowText();
  HDC hdc = ::GetDC(m_hWnd);
  HGDIOBJ hOld = m_hLinkFont ? ::SelectObject(hdc, m_hLinkFont) : nullptr;
  SIZE text{};
  ::GetTextExtentPoint32W(hdc, caption.c_str(), static_cast<int>(caption.size()), &text);
  if (hOld) ::SelectObject(hdc, hOld);
  ::ReleaseDC(m_hWnd, hdc);

  RECT rc{};
  ::GetWindowRect(m_hWnd, &rc);
  ::MapWindowPoints(nullptr, ::GetParent(m_hWnd), reinterpret_cast<POINT*>(&rc), 2);
  const DWORD style = GetStyle();
  if (style & SS_CENTERIMAGE) {
    int dy = (rc.bottom - rc.top - text.cy) / 2;
    rc.top += dy;
    rc.bottom -= dy;
  } else {
    rc.bottom = rc.top + text.cy;
  }
  switch (style & SS_TYPEMASK) {
    case SS_CENTER: {
      int dx = (rc.right - rc.left - text.cx) / 2;
      rc.left += dx;
      rc.right -= dx;
      break;
    }
    case SS_RIGHT:
      rc.left = rc.right - text.cx;
      break;
    default:
      rc.right = rc.left + text.cx;
      break;
  }
  ::SetWindowPos(m_hWnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CHyperLink::LoadHandCursor() {
  if (m_hHandCursor) return;
  wchar_t dir[MAX_PATH] = {};
  UINT n = ::GetWindowsDirectoryW(dir, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::wstring path = std::wstring(dir) + L"\\winhlp32.exe";
    // Only its resources are wanted, so nothing of it runs.
    HMODULE hModule = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (hModule) {
      HCURSOR hCursor = ::LoadCursorW(hModule, MAKEINTRESOURCEW(106));
      if (hCursor) m_hHandCursor = static_cast<HCURSOR>(::CopyIcon(hCursor));
      ::FreeLibrary(hModule);
    }
  }
  // Where that old help program or its cursor is gone, the platform's own hand serves.
  if (!m_hHandCursor) {
    HCURSOR hHand = ::LoadCursorW(nullptr, IDC_HAND);
    if (hHand) m_hHandCursor = static_cast<HCURSOR>(::CopyIcon(hHand));
  }
}

LRESULT CHyperLink::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  // The tooltip sees the pointer's messages first, so it can show and hide itself.
  if (m_hToolTip && uMsg >= WM_MOUSEFIRST && uMsg <= WM_MOUSELAST) {
    MSG msg{m_hWnd, uMsg, wParam, lParam, static_cast<DWORD>(::GetMessageTime()), {}};
    ::GetCursorPos(&msg.pt);
    ::SendMessageW(m_hToolTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
  }
  return CWnd::WindowProc(uMsg, wParam, lParam);
}

LRESULT CHyperLink::OnClicked(WORD, WORD, HWND, BOOL&) {
  int result = OpenLinkAddress(m_strAddress, SW_SHOWNORMAL);
  m_bVisited = result > 32;
  if (m_bVisited) {
    SetVisited(TRUE);
  } else {
    ::MessageBeep(MB_ICONEXCLAMATION);
    ShowLinkError(result);
  }
  return 0;
}

LRESULT CHyperLink::OnCtlColor(UINT, WPARAM wParam, LPARAM, BOOL&) {
  HDC hdc = reinterpret_cast<HDC>(wParam);
  ::SetTextColor(hdc, GetLinkColor());
  ::SetBkMode(hdc, TRANSPARENT);
  return reinterpret_cast<LRESULT>(::GetStockObject(HOLLOW_BRUSH));
}

void CHyperLink::RepaintNow() {
  ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

LRESULT CHyperLink::OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&) {
  LRESULT lResult = DefWindowProc(uMsg, wParam, lParam);
  POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  RECT rc{};
  ::GetClientRect(m_hWnd, &rc);
  if (!m_bHover) {
    m_bHover = TRUE;
    RepaintNow();
    ::SetCapture(m_hWnd);
  } else if (!::PtInRect(&rc, pt)) {
    m_bHover = FALSE;
    ::ReleaseCapture();
    RepaintNow();
  }
  return lResult;
}

LRESULT CHyperLink::OnCaptureChanged(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&) {
  // Another window (a message box, say) took the pointer: without the capture the pointer's
  // leaving would never be seen, and the text would keep the hover colour.
  LRESULT lResult = DefWindowProc(uMsg, wParam, lParam);
  if (m_bHover && reinterpret_cast<HWND>(lParam) != m_hWnd) {
    m_bHover = FALSE;
    RepaintNow();
  }
  return lResult;
}

LRESULT CHyperLink::OnSetCursor(UINT, WPARAM, LPARAM, BOOL&) {
  if (!m_hHandCursor) return FALSE;
  ::SetCursor(m_hHandCursor);
  return TRUE;
}

LRESULT CHyperLink::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&) {
  if (m_hToolTip) ::DestroyWindow(m_hToolTip);
  m_hToolTip = nullptr;
  return DefWindowProc(uMsg, wParam, lParam);
}

void CHyperLink::OnFinalMessage(HWND) {
  FreeFont();
}

void CHyperLink::FreeFont() {
  if (m_hLinkFont) ::DeleteObject(m_hLinkFont);
  m_hLinkFont = nullptr;
}

int CHyperLink::OpenLinkAddress(const std::wstring& address, int nShowCmd) {
  int result = GetLinkOpener().ShellOpen(address, nShowCmd);
  if (result > 32) return result;
  std::wstring type, commandTemplate;
  if (ReadClassesRootDefault(HKEY_CLASSES_ROOT, L".htm", type) != ERROR_SUCCESS ||
      ReadClassesRootDefault(HKEY_CLASSES_ROOT, type + L"\\shell\\open\\command",
                             commandTemplate) != ERROR_SUCCESS)
    return result;
  std::wstring commandLine = BuildFallbackCommand(commandTemplate, address);
  // Cut short it could start something else entirely: the shell's failure stands.
  if (commandLine.empty()) return result;
  return GetLinkOpener().RunCommand(commandLine, nShowCmd);
}

std::wstring CHyperLink::BuildFallbackCommand(const std::wstring& commandTemplate,
                                              const std::wstring& address) {
  size_t cut = commandTemplate.find(L"\"%1\"");
  if (cut == std::wstring::npos) cut = commandTemplate.find(L"%1");
  std::wstring commandLine = commandTemplate.substr(0, cut);
  commandLine += L' ';
  commandLine += address;
  if (commandLine.size() + 1 > kCommandChars) return std::wstring();
  return commandLine;
}

LONG CHyperLink::ReadClassesRootDefault(HKEY hRoot, const std::wstring& subKey, std::wstring& out) {
  HKEY hKey = nullptr;
  LONG r = ::RegOpenKeyExW(hRoot, subKey.c_str(), 0, KEY_QUERY_VALUE, &hKey);
  if (r != ERROR_SUCCESS) return r;
  wchar_t buffer[kRegistryChars] = {};
  DWORD type = 0, cb = sizeof(buffer);
  r = ::RegQueryValueExW(hKey, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &cb);
  ::RegCloseKey(hKey);
  if (r != ERROR_SUCCESS) return r;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  size_t n = cb / sizeof(wchar_t);
  size_t len = wcsnlen(buffer, n);
  // A value that fills the buffer leaves no room for its end: it did not fit.
  if (len == kRegistryChars) return ERROR_MORE_DATA;
  out.assign(buffer, len);
  return ERROR_SUCCESS;
}

std::wstring CHyperLink::LinkErrorText(int code) {
  switch (code) {
    case 0:
      return L"The operating system is out\nof memory or resources.";
    case ERROR_FILE_NOT_FOUND:
      return L"The specified file was not found.";
    case ERROR_PATH_NOT_FOUND:
      return L"The specified path was not found.";
    case ERROR_ACCESS_DENIED:
      return L"The operating system denied\naccess to the specified file.";
    case ERROR_NOT_ENOUGH_MEMORY:
      return L"There was not enough memory to complete the operation.";
    case ERROR_BAD_FORMAT:
      return L"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case SE_ERR_SHARE:
      return L"A sharing violation occurred. ";
    case SE_ERR_ASSOCINCOMPLETE:
      return L"The filename association is\nincomplete or invalid.";
    case SE_ERR_DDETIMEOUT:
      return L"The DDE transaction could not\nbe completed because the request timed out.";
    case SE_ERR_DDEFAIL:
      return L"The DDE transaction failed.";
    case SE_ERR_DDEBUSY:
      return L"The DDE transaction could not\nbe completed because other DDE transactions\n"
             L"were being processed.";
    case SE_ERR_NOASSOC:
      return L"There is no application associated\nwith the given filename extension.";
    case SE_ERR_DLLNOTFOUND:
      return L"The specified dynamic-link library was not found.";
    default: {
      wchar_t text[64];
      std::swprintf(text, 64, L"Unknown Error (%d) occurred.", code);
      return text;
    }
  }
}

void CHyperLink::ShowLinkError(int code) {
  AfxMessageBox(L"Unable to open hyperlink:\n\n" + LinkErrorText(code), MB_OK | MB_ICONEXCLAMATION);
}
