// Prints how many rows the item list of a running Plover shows, for the run check: a screenshot
// shows a window, this shows that live items arrived in it.
//   plover_listrows.exe [desktop name]
// Exit code 0 with the count on stdout; 2 when no Plover main window (or list) was found.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>

namespace {
const wchar_t kTitleEnd[] = L"Plover CLIENT 2.0";

BOOL CALLBACK FindList(HWND hWnd, LPARAM lParam) {
  wchar_t cls[64] = {};
  ::GetClassNameW(hWnd, cls, 64);
  if (wcscmp(cls, WC_LISTVIEWW) != 0) return TRUE;
  *reinterpret_cast<HWND*>(lParam) = hWnd;
  return FALSE;
}

BOOL CALLBACK FindMain(HWND hWnd, LPARAM lParam) {
  wchar_t title[256] = {};
  const int n = ::GetWindowTextW(hWnd, title, 256);
  const int end = static_cast<int>(wcslen(kTitleEnd));
  if (n < end || wcscmp(title + n - end, kTitleEnd) != 0) return TRUE;
  HWND list = nullptr;
  ::EnumChildWindows(hWnd, FindList, reinterpret_cast<LPARAM>(&list));
  if (!list) return TRUE;
  *reinterpret_cast<HWND*>(lParam) = list;
  return FALSE;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  HWND list = nullptr;
  // Plover may run in a desktop of its own (a Wine virtual desktop): look there.
  if (argc > 1) {
    if (HDESK desk = ::OpenDesktopW(argv[1], 0, FALSE, GENERIC_ALL)) {
      ::EnumDesktopWindows(desk, FindMain, reinterpret_cast<LPARAM>(&list));
      ::CloseDesktop(desk);
    }
  }
  if (!list) ::EnumWindows(FindMain, reinterpret_cast<LPARAM>(&list));
  if (!list) return 2;
  std::printf("%d\n", static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));
  return 0;
}
