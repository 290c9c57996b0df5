#include "PropListTestSupport.h"

#include <cstdlib>

BOOL TestHost::Create(const wchar_t* title, int cx, int cy) {
  LPCWSTR cls = CWnd::RegisterClass(L"PloverPropListHost", 0, ::LoadCursorW(nullptr, IDC_ARROW),
                                    reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  if (!CreateEx(0, cls, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, cx, cy, nullptr, nullptr))
    return FALSE;
  ::SetForegroundWindow(m_hWnd);
  return TRUE;
}

void ClickRow(CPropertyList& list, int row) {
  RECT rc;
  list.SendMessage(LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc));
  LPARAM at = MAKELPARAM(rc.right - 40, (rc.top + rc.bottom) / 2);
  list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
  list.SendMessage(WM_LBUTTONUP, 0, at);
}

std::vector<std::wstring> ComboEntries(HWND hCombo) {
  std::vector<std::wstring> out;
  int n = static_cast<int>(::SendMessageW(hCombo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    wchar_t buf[256] = {};
    ::SendMessageW(hCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
    out.push_back(buf);
  }
  return out;
}

std::wstring WindowText(HWND h) {
  wchar_t buf[512] = {};
  ::GetWindowTextW(h, buf, 512);
  return buf;
}

int CountChildren(HWND h) {
  int n = 0;
  for (HWND c = ::GetWindow(h, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) ++n;
  return n;
}

CPropertyRow* RowAt(HWND hList, int index) {
  LRESULT data = ::SendMessageW(hList, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  return data == LB_ERR ? nullptr : reinterpret_cast<CPropertyRow*>(data);
}

std::vector<std::pair<std::wstring, std::wstring>> RowTexts(HWND hList) {
  std::vector<std::pair<std::wstring, std::wstring>> out;
  int n = static_cast<int>(::SendMessageW(hList, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    CPropertyRow* row = RowAt(hList, i);
    out.emplace_back(row ? row->m_strName : L"?", row ? row->m_strValue : L"?");
  }
  return out;
}

namespace {
// A 32-bit top-down DIB section of that size, selected into a fresh memory DC.
struct Canvas {
  Canvas(int w, int h) : cx(w), cy(h) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    dc = ::CreateCompatibleDC(nullptr);
    bmp = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old = ::SelectObject(dc, bmp);
  }
  ~Canvas() {
    ::SelectObject(dc, old);
    ::DeleteObject(bmp);
    ::DeleteDC(dc);
  }
  int cx, cy;
  HDC dc;
  HBITMAP bmp;
  HGDIOBJ old;
  void* bits = nullptr;
};
}  // namespace

Capture CaptureClient(HWND h) {
  RECT rc;
  ::GetClientRect(h, &rc);
  Canvas canvas(rc.right, rc.bottom);
  ::SendMessageW(h, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc),
                 PRF_CLIENT | PRF_ERASEBKGND);
  ::GdiFlush();
  Capture c;
  c.cx = rc.right;
  c.cy = rc.bottom;
  const auto* p = static_cast<const DWORD*>(canvas.bits);
  for (int i = 0; i < c.cx * c.cy; ++i)  // DIB pixels are 0x00RRGGBB
    c.pixels.push_back(RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF));
  return c;
}

void SaveShot(HWND h, const wchar_t* name, int extra, const std::function<void()>& prepare) {
  const wchar_t* dir = _wgetenv(L"PLOVER_SHOT_DIR");
  if (!dir || !*dir) return;
  ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  // Wine hands a window's drawing to the display at most every 50 ms, from its message
  // waits; a picture taken at once would miss it. Only for these pictures, never a check.
  for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < 300;) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  // What must be open in the picture (a drop-down) is opened last, and only waited for.
  if (prepare) {
    prepare();
    for (int i = 0; i < 4; ++i) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, 0);
  }
  RECT rc;
  ::GetWindowRect(h, &rc);
  Canvas canvas(rc.right - rc.left, rc.bottom - rc.top + extra);
  HDC screen = ::GetDC(nullptr);
  ::BitBlt(canvas.dc, 0, 0, canvas.cx, canvas.cy, screen, rc.left, rc.top, SRCCOPY);
  ::ReleaseDC(nullptr, screen);
  ::GdiFlush();
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{sizeof(ih), canvas.cx, -canvas.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  DWORD size = static_cast<DWORD>(canvas.cx * canvas.cy * 4);
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(fh) + sizeof(ih);
  fh.bfSize = fh.bfOffBits + size;
  std::wstring path = std::wstring(dir) + L"\\" + name + L".bmp";
  HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD n = 0;
  ::WriteFile(f, &fh, sizeof(fh), &n, nullptr);
  ::WriteFile(f, &ih, sizeof(ih), &n, nullptr);
  ::WriteFile(f, canvas.bits, size, &n, nullptr);
  ::CloseHandle(f);
}
