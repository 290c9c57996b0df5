// What the credits banner costs a running Plover with no server: the program's CPU time over
// a stretch of its own message loop (banner scrolling, splash gone), the banner's tick rate,
// and the time one tick takes. Prints figures; asserts nothing.
//   credits_bench.exe [seconds, default 10] [--about: show the About box for that long, to look]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "BenchClock.h"
#include "AboutDlg.h"
#include "MainFrm.h"
#include "PloverApp.h"
#include "StartupSplash.h"

namespace {

double ProcessCpuSeconds() {
  return CpuMs() / 1000.0;
}

double Now() {
  return NowMs() / 1000.0;
}

bool g_bTimeUp = false;
void CALLBACK TimeUp(HWND, UINT, UINT_PTR, DWORD) {
  g_bTimeUp = true;
}

// Runs the program's own message loop until the time is up; counts the banner's ticks.
long RunLoop(CPloverApp& app, HWND hBanner, double seconds) {
  g_bTimeUp = false;
  UINT_PTR timer = ::SetTimer(nullptr, 0, static_cast<UINT>(seconds * 1000), TimeUp);
  long ticks = 0;
  MSG msg;
  while (!g_bTimeUp && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == hBanner && msg.wParam == CCreditsCtrl::kTimerId)
      ++ticks;
    if (!app.PreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  ::KillTimer(nullptr, timer);
  return ticks;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  double seconds = 10;
  bool bAbout = false;
  for (int i = 1; i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--about") == 0)
      bAbout = true;
    else
      seconds = _wtof(argv[i]);
  }
  if (seconds <= 0) seconds = 10;

  CPloverApp app;
  if (!app.InitInstance()) {
    std::printf("the program did not start\n");
    return 1;
  }
  auto* pFrame = dynamic_cast<CMainFrame*>(app.m_pMainWnd);
  // Let the splash go and the banner appear (50 ms after the frame).
  RunLoop(app, nullptr, 2.0);
  HideStartupSplash();
  HWND hBanner = pFrame ? pFrame->GetCreditsBanner().m_hWnd : nullptr;
  if (!hBanner) {
    std::printf("no banner\n");
    return 1;
  }
  if (bAbout) {
    CAboutDlg about;  // shown modeless, so the loop here keeps running
    if (about.Create(pFrame->m_hWnd)) ::ShowWindow(about.m_hWnd, SW_SHOW);
    RunLoop(app, hBanner, seconds);
    return 0;
  }
  RECT rc{};
  ::GetClientRect(hBanner, &rc);

  double cpu0 = ProcessCpuSeconds(), t0 = Now();
  long ticks = RunLoop(app, hBanner, seconds);
  double cpu = ProcessCpuSeconds() - cpu0, wall = Now() - t0;
  std::printf(
      "banner %ldx%ld px, running %.1f s: %ld ticks (%.1f per second), CPU %.3f s = %.2f%% "
      "of one core\n",
      rc.right, rc.bottom, wall, ticks, ticks / wall, cpu, 100.0 * cpu / wall);

  // One tick alone, driven directly (each one also copies the image to the window).
  const int kTicks = 2000;
  double s0 = Now(), c0 = ProcessCpuSeconds();
  for (int i = 0; i < kTicks; ++i) ::SendMessageW(hBanner, WM_TIMER, CCreditsCtrl::kTimerId, 0);
  double perTick = (Now() - s0) / kTicks, cpuPerTick = (ProcessCpuSeconds() - c0) / kTicks;
  std::printf("one tick: %.1f us wall, %.1f us CPU (%d ticks sent)\n", perTick * 1e6,
              cpuPerTick * 1e6, kTicks);

  ::SendMessageW(pFrame->m_hWnd, WM_CLOSE, 0, 0);
  app.ExitInstance();
  return 0;
}
