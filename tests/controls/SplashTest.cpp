// The start-up splash in the running application: its window, the presses it swallows and the
// moves it lets through, the immediate repaint under it, its timer. (That "Embedding" shows
// none is part of the start-up suite.)
#include "AppFixture.h"
#include "StartupSplash.h"

namespace {

std::vector<UINT> g_delivered;

LRESULT CALLBACK RecordingProc(HWND h, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg >= WM_MOUSEFIRST && uMsg <= WM_MOUSELAST) g_delivered.push_back(uMsg);
  if (uMsg >= WM_KEYFIRST && uMsg <= WM_KEYLAST) g_delivered.push_back(uMsg);
  return ::DefWindowProcW(h, uMsg, wParam, lParam);
}

using SplashTest = AppFixture;

TEST_F(SplashTest, ClosesOnAPressItSwallowsNotOnMovesAndRepaintsTheFrameAtOnce) {
  m_bKeepSplash = TRUE;
  ASSERT_TRUE(Start());
  CStartupSplash* pSplash = CStartupSplash::GetCurrent();
  ASSERT_NE(nullptr, pSplash);
  HWND hSplash = pSplash->m_hWnd;
  EXPECT_TRUE(::IsWindowVisible(hSplash));
  EXPECT_EQ(Frame()->m_hWnd, ::GetWindow(hSplash, GW_OWNER));
  DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(hSplash, GWL_STYLE));
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME));
  RECT rc{};
  ::GetWindowRect(hSplash, &rc);
  EXPECT_EQ(425, rc.right - rc.left);
  EXPECT_EQ(283, rc.bottom - rc.top);
  EXPECT_EQ((::GetSystemMetrics(SM_CXSCREEN) - 425) / 2, rc.left) << "centred on the screen";
  EXPECT_EQ((::GetSystemMetrics(SM_CYSCREEN) - 283) / 2, rc.top);
  ShowStartupSplash(Frame()->m_hWnd);
  EXPECT_EQ(pSplash, CStartupSplash::GetCurrent()) << "one at a time";
  // Above the frame, also once the frame is brought to the top.
  auto above = [&] {
    for (HWND h = ::GetWindow(hSplash, GW_HWNDNEXT); h; h = ::GetWindow(h, GW_HWNDNEXT))
      if (h == Frame()->m_hWnd) return true;
    return false;
  };
  EXPECT_TRUE(above());
  ::SetWindowPos(Frame()->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  Pump();
  EXPECT_TRUE(above()) << "the frame covers the splash";

  // Any window of the program: moves and key releases reach it, the press does not.
  WNDCLASSW wc{};
  wc.lpfnWndProc = RecordingProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"PloverSplashTestTarget";
  ::RegisterClassW(&wc);
  HWND hTarget = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                   nullptr, wc.hInstance, nullptr);
  g_delivered.clear();
  for (UINT m : {WM_MOUSEMOVE, WM_KEYUP, WM_NCMOUSEMOVE, WM_LBUTTONUP})
    ::PostMessageW(hTarget, m, 0, 0);
  Pump();
  EXPECT_EQ((std::vector<UINT>{WM_MOUSEMOVE, WM_KEYUP, WM_LBUTTONUP}), g_delivered);
  ASSERT_EQ(pSplash, CStartupSplash::GetCurrent());

  // The press: the frame under the splash is to be repainted before anything else runs.
  ::RedrawWindow(Frame()->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
  POINT centre{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  HWND hUnder = Frame()->m_hWnd;  // the innermost window under the splash's centre
  for (;;) {
    POINT p = centre;
    ::ScreenToClient(hUnder, &p);
    HWND hChild = ::ChildWindowFromPointEx(hUnder, p, CWP_SKIPINVISIBLE);
    if (!hChild || hChild == hUnder) break;
    hUnder = hChild;
  }
  ASSERT_NE(nullptr, hUnder);
  ASSERT_TRUE(::GetUpdateRect(hUnder, nullptr, FALSE));
  MSG press{hTarget, WM_RBUTTONDOWN, 0, 0, 0, centre};
  EXPECT_TRUE(FilterStartupSplashInput(&press));
  EXPECT_EQ(nullptr, CStartupSplash::GetCurrent());
  EXPECT_FALSE(::IsWindow(hSplash));
  EXPECT_FALSE(::GetUpdateRect(hUnder, nullptr, FALSE)) << "repainted at once";
  EXPECT_FALSE(FilterStartupSplashInput(&press)) << "no splash, nothing consumed";

  // A posted press goes the same way through the message loop.
  ShowStartupSplash(Frame()->m_hWnd);
  ASSERT_NE(nullptr, CStartupSplash::GetCurrent());
  g_delivered.clear();
  for (UINT m : {WM_SYSKEYDOWN, WM_MOUSEMOVE}) ::PostMessageW(hTarget, m, 0, 0);
  Pump();
  EXPECT_EQ(nullptr, CStartupSplash::GetCurrent());
  EXPECT_EQ((std::vector<UINT>{WM_MOUSEMOVE}), g_delivered);

  // Left alone, its timer closes it.
  ShowStartupSplash(Frame()->m_hWnd);
  ASSERT_NE(nullptr, CStartupSplash::GetCurrent());
  ::SendMessageW(CStartupSplash::GetCurrent()->m_hWnd, WM_TIMER, CStartupSplash::kTimerId, 0);
  EXPECT_EQ(nullptr, CStartupSplash::GetCurrent());
  ::DestroyWindow(hTarget);
}

}  // namespace
