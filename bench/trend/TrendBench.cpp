// What the trend costs with 50 pens each receiving 10 values a second and an hour of history
// kept (1.8 million samples): memory per sample, the time one repaint takes at each span, and,
// with the trend window running live for a while, its repaints a second and the process's CPU
// share. Prints figures; asserts nothing.
//   trend_bench.exe [seconds of the live run, default 10]
#include <windows.h>
#include <psapi.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <vector>

#include "BenchClock.h"
#include "OpcItem.h"
#include "TrendWnd.h"

namespace {

const int kPens = 50, kRate = 10, kSeconds = 3600;
const int64_t kTick = CTrendSeries::kTicksPerSecond;

double PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof(pmc);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                         sizeof(pmc));
  return static_cast<double>(pmc.PrivateUsage);
}

}  // namespace

// Every heap block this program asks for, counted with the heap's own 16-byte header: the
// process counters alone do not say where memory went (and Wine keeps PrivateUsage at 0).
static long long g_heapBytes = 0;
// The replaced pair below is matched; GCC sees only malloc/free meeting new/delete.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  g_heapBytes += static_cast<long long>(n) + 16;
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  return p;
}
void operator delete(void* p) noexcept {
  if (p) g_heapBytes -= static_cast<long long>(_msize(p)) + 16;
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  operator delete(p);
}
#pragma GCC diagnostic pop

namespace {

int64_t Now() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

double Signal(int pen, int64_t t) {
  const double s = static_cast<double>(t) / kTick;
  return 50 + 40 * std::sin(s / (5 + pen)) + 3 * std::sin(s * 7.3 + pen);
}

struct Feed {
  CTrendWnd* wnd;
  std::vector<std::unique_ptr<COpcItem>> items;
  long values = 0;
};
Feed* g_feed = nullptr;

// Every 100 ms each pen's item gets a new value, as the observer would tell it.
void CALLBACK FeedTick(HWND, UINT, UINT_PTR, DWORD) {
  const int64_t t = Now();
  for (int i = 0; i < kPens; ++i) {
    COpcItem& item = *g_feed->items[i];
    item.m_value.dblVal = Signal(i, t);
    item.m_ftTimeStamp = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    item.m_wQuality = (i == 3 && (t / (20 * kTick)) % 3 == 0) ? 0x18 : 0xC0;  // one pen with gaps
    g_feed->wnd->OnItemStored(1, item);
    ++g_feed->values;
  }
}

bool g_timeUp = false;
void CALLBACK TimeUp(HWND, UINT, UINT_PTR, DWORD) {
  g_timeUp = true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const double liveSeconds = argc > 1 ? _wtof(argv[1]) : 10;
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  // Memory: the samples alone, an hour at full rate for every pen.
  const int64_t end = Now();
  const int64_t start = end - static_cast<int64_t>(kSeconds) * kTick;
  const double before = PrivateBytes();
  const long long heapBefore = g_heapBytes;
  double t0 = NowMs();
  std::vector<CTrendSeries> series(kPens);
  for (int64_t k = 0; k < static_cast<int64_t>(kSeconds) * kRate; ++k) {
    const int64_t t = start + k * kTick / kRate;
    for (int p = 0; p < kPens; ++p) series[p].Add({t, Signal(p, t), TrendQuality::Good, 0xC0});
  }
  const double addMs = NowMs() - t0;
  size_t points = 0;
  for (const CTrendSeries& s : series) points += s.Size();
  const double bytes = static_cast<double>(g_heapBytes - heapBefore);
  std::printf(
      "history: %zu samples in %d pens, %.1f bytes a sample on the heap (goal <= 32; process "
      "private bytes grew %.1f a sample), %.0f ns to add one\n",
      points, kPens, bytes / static_cast<double>(points),
      (PrivateBytes() - before) / static_cast<double>(points),
      addMs * 1e6 / static_cast<double>(points));

  // One repaint of a 1000 x 400 chart, at each span, every sample visible at 60 minutes.
  CTrendCtrl chart;
  RECT rc{0, 0, 1000, 400};
  HWND host = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 420, nullptr,
                                nullptr, nullptr, nullptr);
  chart.Create(host, rc, 1);
  std::vector<TrendPen> pens;
  for (int p = 0; p < kPens; ++p)
    pens.push_back({&series[p], RGB(p * 37 % 256, p * 91 % 256, p * 53 % 256), true, false});
  chart.SetPens(pens);
  chart.SetLiveEnd(end);
  HDC screen = ::GetDC(host);
  HDC mem = ::CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(bi.bmiHeader), 1000, -400, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(mem, bmp);
  for (int minutes : {1, 5, 15, 60}) {
    chart.SetSpan(minutes * 60 * kTick);
    // Cold: every column made from the samples (a new span, a scroll). Live: each repaint
    // after a tenth of a second's new values, as the running window does.
    double a = NowMs();
    chart.Render(mem, 1000, 400);
    ::GdiFlush();
    const double cold = NowMs() - a;
    std::vector<double> runs;
    int64_t t = end;
    for (int i = 0; i < 21; ++i) {
      t += kTick / kRate;
      for (int p = 0; p < kPens; ++p) series[p].Add({t, Signal(p, t), TrendQuality::Good, 0xC0});
      chart.SetLiveEnd(t);
      a = NowMs();
      chart.Render(mem, 1000, 400);
      ::GdiFlush();
      runs.push_back(NowMs() - a);
    }
    std::printf(
        "repaint, %2d minutes (%zu samples shown): %.2f ms with every column made, %.2f ms "
        "median live (goal <= 10)\n",
        minutes, static_cast<size_t>(minutes) * 60 * kRate * kPens, cold, Median(runs));
  }
  ::SelectObject(mem, old);
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
  ::ReleaseDC(host, screen);
  ::DestroyWindow(host);

  // Live: the trend window over an hour of history, fed 50 x 10 values a second.
  CTrendWnd wnd;
  wnd.Create(nullptr, nullptr);
  Feed feed{&wnd, {}, 0};
  std::vector<const COpcItem*> items;
  for (int p = 0; p < kPens; ++p) {
    wchar_t id[32];
    std::swprintf(id, 32, L"Bench.Pen%02d", p);
    feed.items.push_back(std::make_unique<COpcItem>(id));
    COpcItem& item = *feed.items.back();
    item.m_hClient = static_cast<OPCHANDLE>(p + 1);
    item.m_value.vt = VT_R8;
    item.m_vtCanonical = VT_R8;
    items.push_back(&item);
  }
  wnd.AddItems(items, nullptr);
  for (int64_t k = 0; k < static_cast<int64_t>(kSeconds) * kRate; ++k) {
    const int64_t t = Now() - static_cast<int64_t>(kSeconds) * kTick + k * kTick / kRate;
    for (int p = 0; p < kPens; ++p) {
      COpcItem& item = *feed.items[p];
      item.m_value.dblVal = Signal(p, t);
      item.m_ftTimeStamp = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
      item.m_wQuality = 0xC0;
      wnd.OnItemStored(1, item);
    }
  }
  ::MoveWindow(wnd.m_hWnd, 0, 0, 1100, 600, TRUE);
  ::ShowWindow(wnd.m_hWnd, SW_SHOW);
  HWND span = wnd.Control(IDC_TREND_SPAN);
  ::SendMessageW(span, CB_SETCURSEL, 3, 0);  // 60 minutes: every sample in view
  ::SendMessageW(wnd.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_TREND_SPAN, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(span));
  Pump();
  g_feed = &feed;
  const unsigned paints0 = wnd.Trend().PaintCount();
  const double cpu0 = CpuMs(), wall0 = NowMs();
  ::SetTimer(nullptr, 0, 1000 / kRate, FeedTick);
  UINT_PTR up = ::SetTimer(nullptr, 0, static_cast<UINT>(liveSeconds * 1000), TimeUp);
  MSG msg;
  while (!g_timeUp && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ::KillTimer(nullptr, up);
  const double wall = NowMs() - wall0, cpu = CpuMs() - cpu0;
  const unsigned paints = wnd.Trend().PaintCount() - paints0;
  std::printf(
      "live, 60 minutes shown, %ld values in %.1f s: %.1f repaints/s (limit 30), CPU %.1f %% of a "
      "core (goal <= 15, trend alone)\n",
      feed.values, wall / 1000, paints * 1000.0 / wall, cpu * 100 / wall);
  std::printf("      %.1f ms CPU per repaint including decimation of %d samples\n",
              paints ? cpu / paints : 0.0, kPens * kSeconds * kRate);
  g_feed = nullptr;
  wnd.DestroyWindow();
  ::CoUninitialize();
  return 0;
}
