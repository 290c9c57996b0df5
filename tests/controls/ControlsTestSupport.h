// Helpers for the control suites: a host window whose map reflects notifications, and the
// pixels of a bitmap.
#pragma once
#include <windows.h>

#include <vector>

#include "Wnd.h"

// A plain top-level window of our own class: it offers its children's notifications back
// to them (reflection), like any dialog or view of the program.
class CTestHost : public CWnd {
 public:
  BOOL Create(int cx, int cy) {
    LPCWSTR cls = RegisterClass(L"PloverControlsTestHost", 0, nullptr,
                                reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    return CreateEx(0, cls, L"host", WS_POPUP | WS_CLIPCHILDREN, 0, 0, cx, cy, nullptr, nullptr);
  }
};

// Top-down 32-bit pixels of a bitmap (not selected into a device context), as COLORREFs.
struct Pixels {
  int cx = 0, cy = 0;
  std::vector<COLORREF> data;
  COLORREF At(int x, int y) const { return data[static_cast<size_t>(y) * cx + x]; }
};

inline Pixels ReadPixels(HBITMAP hBmp) {
  Pixels p;
  BITMAP bm{};
  if (!hBmp || !::GetObjectW(hBmp, sizeof(bm), &bm)) return p;
  p.cx = bm.bmWidth;
  p.cy = bm.bmHeight;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = p.cx;
  bi.bmiHeader.biHeight = -p.cy;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> raw(static_cast<size_t>(p.cx) * p.cy);
  HDC hdc = ::GetDC(nullptr);
  ::GetDIBits(hdc, hBmp, 0, p.cy, raw.data(), &bi, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, hdc);
  p.data.reserve(raw.size());
  for (DWORD v : raw) p.data.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
  return p;
}
