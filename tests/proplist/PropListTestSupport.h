// Small helpers for driving a property list the way a user's mouse and keys do.
#pragma once
#include <windows.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "PropertyList.h"

inline bool operator==(const RECT& a, const RECT& b) {
  return ::EqualRect(&a, &b) != FALSE;
}
inline void PrintTo(const RECT& r, std::ostream* os) {
  *os << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}

// A plain top-level window that reflects its controls' notifications.
class TestHost : public CWnd {
 public:
  BOOL Create(const wchar_t* title, int cx, int cy);
};

// Press and release in the row's value cell, clear of the splitter.
void ClickRow(CPropertyList& list, int row);
std::vector<std::wstring> ComboEntries(HWND hCombo);
std::wstring WindowText(HWND h);
int CountChildren(HWND h);
// The row record at a list position.
CPropertyRow* RowAt(HWND hList, int index);
// Every row's name and value, in list order.
std::vector<std::pair<std::wstring, std::wstring>> RowTexts(HWND hList);

// A window's client area as drawn by PrintWindow.
struct Capture {
  std::vector<COLORREF> pixels;
  int cx = 0, cy = 0;
  COLORREF Pixel(int x, int y) const {
    return x >= 0 && y >= 0 && x < cx && y < cy ? pixels[y * cx + x] : CLR_INVALID;
  }
};
Capture CaptureClient(HWND h);
// With PLOVER_SHOT_DIR set: writes the screen area of a window (and `extra` pixels below
// it, for an open drop-down) to <dir>/<name>.bmp, for looking at by eye; `prepare` runs just
// before the picture is taken.
void SaveShot(HWND h, const wchar_t* name, int extra = 0,
              const std::function<void()>& prepare = nullptr);
