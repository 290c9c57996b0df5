// CTrendCtrl: a self-drawn time trend of several series. Each pen draws one CTrendSeries
// reduced to the plot's pixel columns (min and max per column, never every sample): bad
// samples leave a gap, uncertain ones are drawn pale. The time axis ends at the live end
// (following it) or wherever the user scrolled back to; pausing freezes it. A cursor line
// follows the pointer and reads every pen's value at its time. Everything is drawn through
// one off-screen image, which is also what a saved picture holds.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "TrendHistory.h"
#include "Wnd.h"

struct TrendPen {
  const CTrendSeries* series = nullptr;
  COLORREF color = 0;
  bool visible = true;
  bool steps = false;  // hold each value until the next (booleans)
};

class CTrendCtrl : public CWnd {
 public:
  enum class Scale { Shared, PerPen, Fixed };

  BOOL Create(HWND hParent, const RECT& rc, UINT nID);

  void SetPens(std::vector<TrendPen> pens);
  const std::vector<TrendPen>& Pens() const { return m_pens; }
  // The pen whose labels the value axis shows when each pen has its own scale.
  void SetAxisPen(int pen) { m_axisPen = pen; }
  void SetSpan(int64_t ticks);
  int64_t Span() const { return m_span; }
  void SetScale(Scale mode, double lo = 0, double hi = 0);
  Scale GetScale() const { return m_scale; }
  // The newest time there is. Returns whether the picture moved (only while following).
  bool SetLiveEnd(int64_t t);
  // Paused: the picture stays where it is while data keeps coming.
  void SetPaused(bool paused);
  bool IsPaused() const { return m_paused; }
  // Whether the right edge follows the live end (not paused, not scrolled back).
  bool IsFollowing() const { return !m_paused && m_following; }
  // Shows the span ending at t; at or past the live end it follows again.
  void ScrollTo(int64_t end);
  int64_t ViewEnd() const { return m_following && !m_paused ? m_liveEnd : m_end; }

  // Text of a pen's sample in the cursor readout (default: the value, %g).
  std::function<std::wstring(size_t pen, const TrendPoint& p)> m_formatReadout;

  // Where the plot is inside a client area of that size, and its mapping of time to x.
  RECT PlotRect(int cx, int cy) const;
  int64_t TimeAtX(int x) const;
  int XAtTime(int64_t t) const;
  // The value range the pen is drawn against (its own, or the shared one).
  bool PenRange(size_t pen, double& lo, double& hi) const;

  // The cursor at client x (-1 takes it away); what it reads for each pen.
  void SetCursorX(int x);
  int CursorX() const { return m_cursorX; }
  struct Reading {
    bool has = false;
    TrendPoint p{};
  };
  std::vector<Reading> ReadAt(int64_t t) const;
  std::vector<std::wstring> CursorLines() const;

  // Draws the whole control as it is now into hdc at (0, 0), cx by cy.
  void Render(HDC hdc, int cx, int cy);
  // Marks the control for the next paint.
  void Invalidate() {
    if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
  }
  // How many times WM_PAINT drew the picture (the benchmark counts them).
  unsigned PaintCount() const { return m_nPaints; }
  // Columns made from samples (not taken from the caches) since the control was created.
  uint64_t ColumnsMade() const {
    uint64_t n = 0;
    for (const auto& [series, cache] : m_caches) n += cache.Made();
    return n;
  }

  // clang-format off
  BEGIN_MSG_MAP(CTrendCtrl)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    MESSAGE_HANDLER(WM_MOUSELEAVE, OnMouseLeave)
    MESSAGE_HANDLER(WM_HSCROLL, OnHScroll)
    MESSAGE_HANDLER(WM_MOUSEWHEEL, OnMouseWheel)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()
  // clang-format on

 private:
  LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL&);
  LRESULT OnMouseLeave(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnHScroll(UINT, WPARAM wParam, LPARAM, BOOL&);
  LRESULT OnMouseWheel(UINT, WPARAM wParam, LPARAM, BOOL&);
  LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);

  // Decimates every visible pen for the current view into m_cols and finds the ranges.
  void Reduce(const RECT& plot);
  void DrawAxes(HDC hdc, const RECT& plot);
  void DrawPen(HDC hdc, size_t pen, const RECT& plot);
  void DrawCursor(HDC hdc, const RECT& plot);
  void UpdateScrollBar();
  // The oldest sample kept by any pen (the live end when there is none).
  int64_t Oldest() const;
  void FreeImage();

  // The image being drawn, when its pixels can be written directly.
  struct Pixels {
    DWORD* bits = nullptr;
    int cx = 0, cy = 0;
    bool bottomUp = false;
    void Line(POINT a, POINT b, DWORD c);
  };
  Pixels m_pixels;

  std::vector<TrendPen> m_pens;
  int64_t m_span = 60 * CTrendSeries::kTicksPerSecond;
  int64_t m_liveEnd = 0;
  int64_t m_end = 0;  // the right edge while paused or scrolled back
  bool m_following = true;
  bool m_paused = false;
  Scale m_scale = Scale::Shared;
  double m_fixedLo = 0, m_fixedHi = 100;
  int m_axisPen = 0;
  int m_cursorX = -1;
  bool m_tracking = false;

  // The last reduction: per pen its columns, the sample before the view, its range.
  struct Reduced {
    std::vector<TrendColumn> cols;
    TrendPoint carry{};
    bool hasRange = false;
    double lo = 0, hi = 0;
  };
  std::vector<Reduced> m_reduced;
  std::unordered_map<const CTrendSeries*, CTrendColumnCache> m_caches;
  double m_sharedLo = 0, m_sharedHi = 1;
  int64_t m_t0 = 0, m_t1 = 1;  // the view reduced last
  RECT m_plot{};

  HBITMAP m_hImage = nullptr;
  int m_cxImage = 0, m_cyImage = 0;
  HFONT m_hFont = nullptr;
  unsigned m_nPaints = 0;
};
