// CCreditsCtrl: a static control that scrolls a marked-up text upwards, one pixel per timer
// tick, like film credits. Each line's last character picks its style: TAB title, LF heading,
// CR subheading, '^' a bitmap resource named by the number before it, anything else body;
// an empty line is a gap as high as the line before it. All drawing goes through an
// off-screen image of the whole control.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "Wnd.h"

class CCreditsCtrl : public CWnd {
 public:
  static constexpr UINT_PTR kTimerId = 150;
  static constexpr COLORREF kKeyColor = RGB(192, 192, 192);
  enum { kColorBackground, kColorTitle, kColorHeading, kColorSubheading, kColorBody, kColorSlots };
  enum { kHeightSlots = 4, kPeriodSlots = 3 };
  // Ticks come no closer than this; a shorter period moves several pixels a tick.
  static constexpr int kMinFrameMs = 30;
  static constexpr int kTimerResolutionMs = 10;

  CCreditsCtrl();
  ~CCreditsCtrl() override;

  // Splits the text at every delimiter (empty pieces and the last piece kept) and rewinds.
  // FALSE only when the copy cannot be made; the old lines then stay.
  BOOL SetCreditText(const wchar_t* pszText, wchar_t chDelimiter);
  void SetRunOnce(BOOL bRunOnce) { m_bRunOnce = bRunOnce; }
  // Stores a non-zero period in the slot and selects the slot; used by the next StartScroll.
  int SetTickPeriod(int nSlot, int nMilliseconds);
  void SetStyleColor(int nSlot, COLORREF cr);
  void SetStyleHeight(int nSlot, int nPixels);
  void SetShading(int nMode) { m_nShading = nMode; }
  void SetBitmapKeying(int nFlag) { m_bKeying = nFlag != 0; }
  // Starts the tick timer from the first line; FALSE when there are no lines.
  BOOL StartScroll();

  // What the scroll has reached, for the tests and the benchmark.
  struct State {
    size_t nextLine;
    std::wstring currentLine;
    int lineHeight;
    int tickCounter;
    int scrolledRows;
    BOOL firstPass;
    int columnWidth;
    BOOL bitmapInProgress;
    BOOL scrolling;
    int stepsPerTick;  // pixels each timer tick moves
  };
  State GetState() const;
  const std::vector<std::wstring>& GetLines() const { return m_lines; }
  // The off-screen image (not selected into any device context between messages).
  HBITMAP GetImage() const { return m_hImage; }
  // Bitmap resource id named by a '^' line: the leading decimal number modulo 65536.
  static WORD BitmapIdOf(const std::wstring& line);

  // clang-format off
  BEGIN_MSG_MAP(CCreditsCtrl)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()
  // clang-format on

 private:
  LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnEraseBkgnd(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled);
  LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&);

  void Tick();
  // The line logic of one pixel; false once a run-once text has ended.
  bool NextStep();
  // Moves the picture up one row inside the image and draws the new rows of the current line.
  void ScrollStep(HDC hMem, RECT column, const RECT& client);
  // Fills an area with the background colour or the selected ramp.
  void PaintBackground(HDC hdc, const RECT& area, int clientWidth);
  // The ramp's bands from the one holding the area's left edge to the last starting left of
  // its right edge, each over its whole width, down to one row below the area.
  void PaintBands(HDC hdc, const RECT& area, int clientWidth) const;
  void FreeRamp();
  void BuildFirstPage(HDC hMem, const RECT& client);
  HFONT CreateStyleFont(int nStyle) const;
  // The loaded bitmap's 1-bit mask of the key colour (keying on only).
  void DrawBitmap(HDC hdc, HBITMAP hBmp, HBITMAP hMask, int x, int y, int cx, int cy) const;
  void FreeLineBitmap();
  BOOL EnsureImage(HDC hdc, const RECT& client);
  void FreeImage();

  std::vector<std::wstring> m_lines;
  COLORREF m_colors[kColorSlots];
  int m_heights[kHeightSlots];
  int m_periods[kPeriodSlots];
  int m_nPeriodSlot = 1;
  int m_nStepsPerTick = 1;
  int m_nShading = 0;
  bool m_bKeying = false;
  BOOL m_bRunOnce = TRUE;

  size_t m_nNextLine = 0;
  std::wstring m_strLine;
  int m_nLineHeight = 15;
  int m_nTick = 1;
  int m_nScrolled = 0;
  bool m_bFirstPass = true;
  bool m_bMeasure = false;
  bool m_bFinished = false;  // run-once: the last line has scrolled in
  int m_nColumnWidth = 0;

  HBITMAP m_hLineBitmap = nullptr;
  HBITMAP m_hLineMask = nullptr;
  int m_cxBitmap = 0, m_cyBitmap = 0, m_xBitmap = 0, m_yBitmapBottom = 0;
  bool m_bBitmapLine = false;

  HBITMAP m_hImage = nullptr;
  UINT_PTR m_nTimer = 0;

  // One row of the painted ramp, kept while colour, mode and width stay the same.
  struct RampKey {
    COLORREF color;
    int mode, width;
    bool operator==(const RampKey&) const = default;
  };
  RampKey m_rampKey{};
  HDC m_hRampDC = nullptr;
  HGDIOBJ m_hRampOld = nullptr;
};
