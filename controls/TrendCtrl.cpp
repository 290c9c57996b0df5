#include "TrendCtrl.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cwchar>

namespace {

const COLORREF kBackground = RGB(255, 255, 255);
const COLORREF kGrid = RGB(225, 225, 225);
const COLORREF kFrame = RGB(128, 128, 128);
const COLORREF kText = RGB(64, 64, 64);
const int kLeftMargin = 64, kRightMargin = 12, kTopMargin = 8, kBottomMargin = 22;

// Halfway to the background: how an uncertain stretch of a pen looks.
COLORREF Pale(COLORREF c) {
  return RGB((GetRValue(c) + 255 * 2) / 3, (GetGValue(c) + 255 * 2) / 3,
             (GetBValue(c) + 255 * 2) / 3);
}

// 1, 2 or 5 times a power of ten, at least raw.
double NiceStep(double raw) {
  if (!(raw > 0) || !std::isfinite(raw)) return 1;
  const double p = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * p >= raw * 0.999) return m * p;
  return 10 * p;
}

// Widens a range to whole steps, so the axis starts and ends on a label.
void NiceRange(double& lo, double& hi, int ticks) {
  if (!(hi > lo)) {
    const double pad = lo == 0 ? 1 : std::fabs(lo) * 0.1;
    lo -= pad;
    hi += pad;
  }
  const double step = NiceStep((hi - lo) / std::max(ticks, 1));
  lo = std::floor(lo / step) * step;
  hi = std::ceil(hi / step) * step;
}

std::wstring NumberText(double v, double step) {
  wchar_t text[64];
  if (std::fabs(v) >= 1e7 || (std::fabs(v) < 1e-4 && v != 0)) {
    std::swprintf(text, std::size(text), L"%.3g", v);
  } else {
    const int decimals =
        step >= 1 ? 0 : std::min(6, static_cast<int>(-std::floor(std::log10(step))));
    std::swprintf(text, std::size(text), L"%.*f", decimals, std::fabs(v) < step * 1e-6 ? 0.0 : v);
  }
  return text;
}

std::wstring TimeText(int64_t t, bool seconds) {
  FILETIME ft{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)}, local{};
  SYSTEMTIME st{};
  if (!::FileTimeToLocalFileTime(&ft, &local) || !::FileTimeToSystemTime(&local, &st)) return L"";
  wchar_t text[32];
  if (seconds)
    std::swprintf(text, std::size(text), L"%d:%02d:%02d", st.wHour, st.wMinute, st.wSecond);
  else
    std::swprintf(text, std::size(text), L"%d:%02d", st.wHour, st.wMinute);
  return text;
}

DWORD PixelOf(COLORREF c) {
  return (static_cast<DWORD>(GetRValue(c)) << 16) | (static_cast<DWORD>(GetGValue(c)) << 8) |
         GetBValue(c);
}

int ClampY(double y) {
  return static_cast<int>(std::lround(std::clamp(y, -30000.0, 30000.0)));
}

}  // namespace

BOOL CTrendCtrl::Create(HWND hParent, const RECT& rc, UINT nID) {
  LPCWSTR cls =
      RegisterClass(L"PloverTrend", CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_CROSS), nullptr);
  return CreateEx(0, cls, L"", WS_CHILD | WS_VISIBLE | WS_HSCROLL, rc.left, rc.top,
                  rc.right - rc.left, rc.bottom - rc.top, hParent,
                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)));
}

void CTrendCtrl::SetPens(std::vector<TrendPen> pens) {
  m_pens = std::move(pens);
  // A series no pen draws any more may be freed, and its address reused.
  for (auto it = m_caches.begin(); it != m_caches.end();) {
    const bool kept = std::any_of(m_pens.begin(), m_pens.end(),
                                  [&](const TrendPen& p) { return p.series == it->first; });
    it = kept ? std::next(it) : m_caches.erase(it);
  }
  if (m_axisPen >= static_cast<int>(m_pens.size())) m_axisPen = 0;
  Invalidate();
}

void CTrendCtrl::SetSpan(int64_t ticks) {
  if (ticks > 0) m_span = ticks;
  UpdateScrollBar();
  Invalidate();
}

void CTrendCtrl::SetScale(Scale mode, double lo, double hi) {
  m_scale = mode;
  if (mode == Scale::Fixed && hi > lo) {
    m_fixedLo = lo;
    m_fixedHi = hi;
  }
  Invalidate();
}

bool CTrendCtrl::SetLiveEnd(int64_t t) {
  if (t == m_liveEnd) return false;
  m_liveEnd = t;
  UpdateScrollBar();
  return IsFollowing();
}

void CTrendCtrl::SetPaused(bool paused) {
  if (paused && !m_paused && m_following) m_end = m_liveEnd;
  m_paused = paused;
  if (!paused) m_following = true;  // going on shows now again
  UpdateScrollBar();
  Invalidate();
}

void CTrendCtrl::ScrollTo(int64_t end) {
  if (end >= m_liveEnd) {
    m_end = m_liveEnd;
    m_following = true;
  } else {
    m_end = std::max(end, Oldest() + m_span);
    m_following = m_end >= m_liveEnd;
  }
  UpdateScrollBar();
  Invalidate();
}

int64_t CTrendCtrl::Oldest() const {
  int64_t oldest = m_liveEnd;
  for (const TrendPen& pen : m_pens)
    if (pen.series && !pen.series->Empty()) oldest = std::min(oldest, pen.series->Oldest());
  return oldest;
}

RECT CTrendCtrl::PlotRect(int cx, int cy) const {
  RECT rc{kLeftMargin, kTopMargin, std::max(kLeftMargin + 1, cx - kRightMargin),
          std::max(kTopMargin + 1, cy - kBottomMargin)};
  return rc;
}

int64_t CTrendCtrl::TimeAtX(int x) const {
  const int width = std::max(1L, m_plot.right - m_plot.left);
  return m_t0 + (m_t1 - m_t0) * (x - m_plot.left) / width;
}

int CTrendCtrl::XAtTime(int64_t t) const {
  const int width = std::max(1L, m_plot.right - m_plot.left);
  if (m_t1 <= m_t0) return m_plot.left;
  // The column the decimation puts t in.
  return m_plot.left + static_cast<int>((t - m_t0) * width / (m_t1 - m_t0));
}

bool CTrendCtrl::PenRange(size_t pen, double& lo, double& hi) const {
  if (m_scale == Scale::Fixed) {
    lo = m_fixedLo;
    hi = m_fixedHi;
    return true;
  }
  if (m_scale == Scale::PerPen) {
    if (pen >= m_reduced.size() || !m_reduced[pen].hasRange) return false;
    lo = m_reduced[pen].lo;
    hi = m_reduced[pen].hi;
    return true;
  }
  lo = m_sharedLo;
  hi = m_sharedHi;
  return true;
}

void CTrendCtrl::Reduce(const RECT& plot) {
  m_plot = plot;
  const int columns = std::max(1L, plot.right - plot.left);
  // Columns on whole multiples of their width: the same column holds the same samples from
  // one repaint to the next, so only those with new samples are made again.
  const int64_t w = std::max<int64_t>(1, m_span / columns);
  const int64_t end = ViewEnd();
  const int64_t last = end / w - (end % w < 0 ? 1 : 0);
  m_t1 = (last + 1) * w;
  m_t0 = m_t1 - w * columns;
  const int ticks = std::max(2, static_cast<int>((plot.bottom - plot.top) / 40));
  m_reduced.resize(m_pens.size());
  bool anyRange = false;
  double sharedLo = 0, sharedHi = 0;
  for (size_t i = 0; i < m_pens.size(); ++i) {
    Reduced& r = m_reduced[i];
    r.hasRange = false;
    const TrendPen& pen = m_pens[i];
    if (!pen.visible || !pen.series) {
      r.cols.clear();
      continue;
    }
    m_caches[pen.series].Get(*pen.series, w, m_t0 / w, columns, r.cols, &r.carry);
    double lo = 0, hi = 0;
    bool any = false;
    auto take = [&](double a, double b) {
      lo = any ? std::min(lo, a) : a;
      hi = any ? std::max(hi, b) : b;
      any = true;
    };
    if (r.carry.t != 0 && r.carry.q != TrendQuality::Bad) take(r.carry.v, r.carry.v);
    for (const TrendColumn& c : r.cols)
      if (c.n) take(c.lo, c.hi);
    if (!any) continue;
    if (pen.steps) take(0, 1);  // a boolean shows both its levels
    sharedLo = anyRange ? std::min(sharedLo, lo) : lo;
    sharedHi = anyRange ? std::max(sharedHi, hi) : hi;
    anyRange = true;
    NiceRange(lo, hi, ticks);
    r.lo = lo;
    r.hi = hi;
    r.hasRange = true;
  }
  if (!anyRange) sharedLo = 0, sharedHi = 1;
  NiceRange(sharedLo, sharedHi, ticks);
  m_sharedLo = sharedLo;
  m_sharedHi = sharedHi;
}

void CTrendCtrl::DrawAxes(HDC hdc, const RECT& plot) {
  ::SetBkMode(hdc, TRANSPARENT);
  HPEN hGrid = ::CreatePen(PS_SOLID, 1, kGrid);
  HGDIOBJ hOldPen = ::SelectObject(hdc, hGrid);
  const int height = plot.bottom - plot.top;

  // Value labels: the shared scale, or the axis pen's own in its colour.
  double lo = 0, hi = 1;
  size_t axisPen = static_cast<size_t>(std::max(0, m_axisPen));
  if (m_scale == Scale::PerPen) {
    while (axisPen < m_pens.size() && !m_pens[axisPen].visible) ++axisPen;
  }
  const bool labels = PenRange(axisPen, lo, hi) && hi > lo;
  ::SetTextColor(
      hdc, m_scale == Scale::PerPen && axisPen < m_pens.size() ? m_pens[axisPen].color : kText);
  if (labels) {
    const double step = NiceStep((hi - lo) / std::max(2, height / 40));
    for (double v = std::ceil(lo / step) * step; v <= hi + step * 1e-9; v += step) {
      const int y = plot.bottom - ClampY((v - lo) / (hi - lo) * height);
      ::MoveToEx(hdc, plot.left, y, nullptr);
      ::LineTo(hdc, plot.right, y);
      const std::wstring text = NumberText(v, step);
      RECT rc{0, y - 8, plot.left - 4, y + 8};
      ::DrawTextW(hdc, text.c_str(), static_cast<int>(text.size()), &rc,
                  DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
  }

  // Time labels at whole steps of local time, at least 70 pixels apart.
  ::SetTextColor(hdc, kText);
  static const int64_t kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
  const int width = std::max(1L, plot.right - plot.left);
  int64_t step = kSteps[std::size(kSteps) - 1] * CTrendSeries::kTicksPerSecond;
  for (int64_t s : kSteps) {
    if ((s * CTrendSeries::kTicksPerSecond) * width / std::max<int64_t>(1, m_t1 - m_t0) >= 70) {
      step = s * CTrendSeries::kTicksPerSecond;
      break;
    }
  }
  FILETIME utc{}, local{};
  ::GetSystemTimeAsFileTime(&utc);
  ::FileTimeToLocalFileTime(&utc, &local);
  const int64_t shift =
      static_cast<int64_t>((ULARGE_INTEGER{{local.dwLowDateTime, local.dwHighDateTime}}).QuadPart) -
      static_cast<int64_t>((ULARGE_INTEGER{{utc.dwLowDateTime, utc.dwHighDateTime}}).QuadPart);
  const bool seconds = step < 60 * CTrendSeries::kTicksPerSecond;
  for (int64_t t = ((m_t0 + shift) / step + 1) * step - shift; t <= m_t1; t += step) {
    const int x = XAtTime(t);
    ::MoveToEx(hdc, x, plot.top, nullptr);
    ::LineTo(hdc, x, plot.bottom);
    const std::wstring text = TimeText(t, seconds);
    RECT rc{x - 40, plot.bottom + 3, x + 40, plot.bottom + kBottomMargin};
    ::DrawTextW(hdc, text.c_str(), static_cast<int>(text.size()), &rc,
                DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  }
  ::SelectObject(hdc, hOldPen);
  ::DeleteObject(hGrid);
}

void CTrendCtrl::DrawPen(HDC hdc, size_t index, const RECT& plot) {
  const TrendPen& pen = m_pens[index];
  const Reduced& r = m_reduced[index];
  double lo = 0, hi = 1;
  if (!PenRange(index, lo, hi) || !(hi > lo)) return;
  const double scale = (plot.bottom - plot.top) / (hi - lo);
  // Values beyond fixed limits run along the plot's edge: no clipping region, which costs
  // the drawing several times over.
  const double height = plot.bottom - plot.top;
  auto y = [&](double v) {
    return plot.bottom - ClampY(std::clamp((v - lo) * scale, 0.0, height));
  };

  HPEN hSolid = ::CreatePen(PS_SOLID, 1, pen.color);
  HPEN hPale = ::CreatePen(PS_SOLID, 1, Pale(pen.color));
  HGDIOBJ hOld = ::SelectObject(hdc, hSolid);
  std::vector<POINT> run;
  run.reserve(r.cols.size() * 5 + 4);
  bool runPale = false;
  const COLORREF pale = Pale(pen.color);
  auto flush = [&] {
    if (run.size() == 1) run.push_back({run[0].x + 1, run[0].y});  // a lone sample: a dot
    if (run.size() >= 2) {
      if (m_pixels.bits) {
        const DWORD c = PixelOf(runPale ? pale : pen.color);
        for (size_t k = 1; k < run.size(); ++k) m_pixels.Line(run[k - 1], run[k], c);
      } else {
        ::SelectObject(hdc, runPale ? hPale : hSolid);
        ::Polyline(hdc, run.data(), static_cast<int>(run.size()));
      }
    }
    run.clear();
  };

  bool have = r.carry.t != 0 && r.carry.q != TrendQuality::Bad;
  POINT prev{plot.left, have ? y(r.carry.v) : 0};
  runPale = r.carry.q == TrendQuality::Uncertain;
  for (size_t c = 0; c < r.cols.size(); ++c) {
    const TrendColumn& col = r.cols[c];
    if (col.n > 0) {
      const int x = plot.left + static_cast<int>(c);
      if (!have || col.gapBefore) {
        flush();
        runPale = col.uncertain;
        run.push_back({x, y(col.first)});
      } else {
        if (col.uncertain != runPale) {
          flush();
          runPale = col.uncertain;
        }
        if (run.empty()) run.push_back(prev);
        if (pen.steps) run.push_back({x, prev.y});
        run.push_back({x, y(col.first)});
      }
      if (col.lo != col.hi) {
        run.push_back({x, y(col.lo)});
        run.push_back({x, y(col.hi)});
      }
      run.push_back({x, y(col.last)});
      prev = run.back();
      have = true;
    }
    if (col.endsBad) {
      flush();
      have = false;
    }
  }
  // The last value holds until the newest time shown.
  if (have) {
    const int64_t newest = std::min(m_t1, std::max(m_liveEnd, pen.series->Newest()));
    const int x = std::min(static_cast<int>(plot.right), XAtTime(newest));
    if (x > prev.x) {
      if (run.empty()) run.push_back(prev);
      run.push_back({x, prev.y});
    }
  }
  flush();
  ::SelectObject(hdc, hOld);
  ::DeleteObject(hSolid);
  ::DeleteObject(hPale);
}

std::vector<CTrendCtrl::Reading> CTrendCtrl::ReadAt(int64_t t) const {
  std::vector<Reading> out(m_pens.size());
  for (size_t i = 0; i < m_pens.size(); ++i) {
    if (!m_pens[i].series) continue;
    if (const TrendPoint* p = m_pens[i].series->At(t)) out[i] = {true, *p};
  }
  return out;
}

std::vector<std::wstring> CTrendCtrl::CursorLines() const {
  std::vector<std::wstring> lines;
  if (m_cursorX < 0) return lines;
  const int64_t t = TimeAtX(m_cursorX);
  lines.push_back(TimeText(t, true));
  const std::vector<Reading> readings = ReadAt(t);
  for (size_t i = 0; i < readings.size(); ++i) {
    if (!m_pens[i].visible) continue;
    if (!readings[i].has) {
      lines.push_back(L"-");
    } else if (m_formatReadout) {
      lines.push_back(m_formatReadout(i, readings[i].p));
    } else {
      wchar_t text[64];
      std::swprintf(text, std::size(text), L"%g", readings[i].p.v);
      lines.push_back(text);
    }
  }
  return lines;
}

void CTrendCtrl::DrawCursor(HDC hdc, const RECT& plot) {
  if (m_cursorX < plot.left || m_cursorX > plot.right) return;
  HPEN hPen = ::CreatePen(PS_DOT, 1, RGB(0, 0, 0));
  HGDIOBJ hOld = ::SelectObject(hdc, hPen);
  ::MoveToEx(hdc, m_cursorX, plot.top, nullptr);
  ::LineTo(hdc, m_cursorX, plot.bottom);
  ::SelectObject(hdc, hOld);
  ::DeleteObject(hPen);

  // The readout beside the line, each pen's line in its colour.
  const std::vector<std::wstring> lines = CursorLines();
  TEXTMETRICW tm{};
  ::GetTextMetricsW(hdc, &tm);
  int width = 0;
  for (const std::wstring& line : lines) {
    SIZE size{};
    ::GetTextExtentPoint32W(hdc, line.c_str(), static_cast<int>(line.size()), &size);
    width = std::max(width, static_cast<int>(size.cx));
  }
  const int lineHeight = tm.tmHeight;
  RECT box{m_cursorX + 6, plot.top + 4, m_cursorX + 6 + width + 8,
           plot.top + 4 + lineHeight * static_cast<int>(lines.size()) + 6};
  if (box.right > plot.right) ::OffsetRect(&box, -(box.right - box.left) - 12, 0);
  HBRUSH hBrush = ::CreateSolidBrush(RGB(255, 255, 225));
  ::FillRect(hdc, &box, hBrush);
  ::DeleteObject(hBrush);
  ::FrameRect(hdc, &box, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
  int yText = box.top + 3;
  size_t line = 0;
  for (size_t i = 0; line < lines.size(); ++line) {
    COLORREF colour = kText;
    if (line > 0) {
      while (i < m_pens.size() && !m_pens[i].visible) ++i;
      if (i < m_pens.size()) colour = m_pens[i++].color;
    }
    ::SetTextColor(hdc, colour);
    ::TextOutW(hdc, box.left + 4, yText, lines[line].c_str(), static_cast<int>(lines[line].size()));
    yText += lineHeight;
  }
}

void CTrendCtrl::Render(HDC hdc, int cx, int cy) {
  RECT all{0, 0, cx, cy};
  HBRUSH hBack = ::CreateSolidBrush(kBackground);
  ::FillRect(hdc, &all, hBack);
  ::DeleteObject(hBack);
  if (!m_hFont) {
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0))
      m_hFont = ::CreateFontIndirectW(&ncm.lfStatusFont);
  }
  HGDIOBJ hOldFont = m_hFont ? ::SelectObject(hdc, m_hFont) : nullptr;
  const RECT plot = PlotRect(cx, cy);
  Reduce(plot);
  DrawAxes(hdc, plot);
  // Straight into the image's pixels when it is a DIB section: GDI's lines cost about a
  // third of a microsecond a point here, too much for 50 pens of an hour each.
  m_pixels = Pixels{};
  DIBSECTION dib{};
  HGDIOBJ hBitmap = ::GetCurrentObject(hdc, OBJ_BITMAP);
  if (hBitmap && ::GetObjectW(hBitmap, sizeof(dib), &dib) == sizeof(dib) && dib.dsBm.bmBits &&
      dib.dsBm.bmBitsPixel == 32 && dib.dsBm.bmWidth >= cx && dib.dsBm.bmHeight >= cy) {
    ::GdiFlush();
    m_pixels.bits = static_cast<DWORD*>(dib.dsBm.bmBits);
    m_pixels.cx = dib.dsBm.bmWidth;
    m_pixels.cy = dib.dsBm.bmHeight;
    // Which way up the rows lie, from a pixel GDI itself puts in the corner.
    const COLORREF corner = ::GetPixel(hdc, 0, 0);
    ::SetPixelV(hdc, 0, 0, RGB(1, 2, 3));
    ::GdiFlush();
    m_pixels.bottomUp = m_pixels.bits[0] != PixelOf(RGB(1, 2, 3));
    ::SetPixelV(hdc, 0, 0, corner);
    ::GdiFlush();
  }
  for (size_t i = 0; i < m_pens.size(); ++i)
    if (m_pens[i].visible && m_pens[i].series) DrawPen(hdc, i, plot);
  m_pixels = Pixels{};
  HBRUSH hFrame = ::CreateSolidBrush(kFrame);
  RECT frame{plot.left, plot.top, plot.right + 1, plot.bottom + 1};
  ::FrameRect(hdc, &frame, hFrame);
  ::DeleteObject(hFrame);
  DrawCursor(hdc, plot);
  if (hOldFont) ::SelectObject(hdc, hOldFont);
}

LRESULT CTrendCtrl::OnPaint(UINT, WPARAM, LPARAM, BOOL&) {
  PAINTSTRUCT ps;
  HDC hdc = ::BeginPaint(m_hWnd, &ps);
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  const int cx = client.right, cy = client.bottom;
  if (cx > 0 && cy > 0) {
    if (!m_hImage || cx != m_cxImage || cy != m_cyImage) {
      FreeImage();
      BITMAPINFO bi{};
      bi.bmiHeader = {sizeof(bi.bmiHeader), cx, -cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
      void* bits = nullptr;
      m_hImage = ::CreateDIBSection(hdc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
      m_cxImage = cx;
      m_cyImage = cy;
    }
    HDC hMem = ::CreateCompatibleDC(hdc);
    HGDIOBJ hOld = ::SelectObject(hMem, m_hImage);
    Render(hMem, cx, cy);
    ::BitBlt(hdc, 0, 0, cx, cy, hMem, 0, 0, SRCCOPY);
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
    ++m_nPaints;
  }
  ::EndPaint(m_hWnd, &ps);
  return 0;
}

void CTrendCtrl::SetCursorX(int x) {
  if (x == m_cursorX) return;
  m_cursorX = x;
  Invalidate();
}

LRESULT CTrendCtrl::OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL&) {
  const int x = static_cast<short>(LOWORD(lParam));
  SetCursorX(x >= m_plot.left && x <= m_plot.right ? x : -1);
  if (!m_tracking) {
    TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, m_hWnd, 0};
    m_tracking = ::TrackMouseEvent(&tme) != FALSE;
  }
  return 0;
}

LRESULT CTrendCtrl::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL&) {
  m_tracking = false;
  SetCursorX(-1);
  return 0;
}

void CTrendCtrl::UpdateScrollBar() {
  if (!m_hWnd) return;
  // Seconds: the whole kept history, the page one span.
  const int64_t oldest = Oldest();
  const int64_t tps = CTrendSeries::kTicksPerSecond;
  SCROLLINFO si{sizeof(si), SIF_ALL | SIF_DISABLENOSCROLL, 0, 0, 0, 0, 0};
  si.nPage = static_cast<UINT>(m_span / tps);
  si.nMax = static_cast<int>((m_liveEnd - oldest) / tps) + static_cast<int>(si.nPage) - 1;
  si.nPos = static_cast<int>((ViewEnd() - oldest) / tps);
  ::SetScrollInfo(m_hWnd, SB_HORZ, &si, TRUE);
}

LRESULT CTrendCtrl::OnHScroll(UINT, WPARAM wParam, LPARAM, BOOL&) {
  const int64_t tps = CTrendSeries::kTicksPerSecond;
  int64_t end = ViewEnd();
  switch (LOWORD(wParam)) {
    case SB_LINELEFT:
      end -= m_span / 10;
      break;
    case SB_LINERIGHT:
      end += m_span / 10;
      break;
    case SB_PAGELEFT:
      end -= m_span;
      break;
    case SB_PAGERIGHT:
      end += m_span;
      break;
    case SB_RIGHT:
      end = m_liveEnd;
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      SCROLLINFO si{sizeof(si), SIF_TRACKPOS | SIF_RANGE, 0, 0, 0, 0, 0};
      ::GetScrollInfo(m_hWnd, SB_HORZ, &si);
      end = Oldest() + static_cast<int64_t>(si.nTrackPos) * tps;
      break;
    }
    default:
      return 0;
  }
  ScrollTo(end);
  return 0;
}

LRESULT CTrendCtrl::OnMouseWheel(UINT, WPARAM wParam, LPARAM, BOOL&) {
  const int delta = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
  ScrollTo(ViewEnd() - delta * m_span / 10);
  return 0;
}

LRESULT CTrendCtrl::OnSize(UINT, WPARAM, LPARAM, BOOL&) {
  Invalidate();
  return 0;
}

void CTrendCtrl::FreeImage() {
  if (m_hImage) ::DeleteObject(m_hImage);
  m_hImage = nullptr;
}

LRESULT CTrendCtrl::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  FreeImage();
  if (m_hFont) ::DeleteObject(m_hFont);
  m_hFont = nullptr;
  bHandled = FALSE;
  return 0;
}

void CTrendCtrl::Pixels::Line(POINT a, POINT b, DWORD c) {
  auto put = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= cx || y >= cy) return;
    bits[static_cast<size_t>(bottomUp ? cy - 1 - y : y) * cx + x] = c;
  };
  if (a.x == b.x) {  // most of a dense curve: each column's span
    for (int y = std::min(a.y, b.y); y <= std::max(a.y, b.y); ++y) put(a.x, y);
    return;
  }
  // Bresenham, both ends drawn.
  int x = a.x, y = a.y;
  const int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
  const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    put(x, y);
    if (x == b.x && y == b.y) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}
