// The credits control on real windows: splitting and style codes, the tick rules, the column,
// bitmap lines with keying, the shading ramps and the idle first page, read back from the
// control's off-screen image. Ticks are WM_TIMER messages sent by the test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ControlsTestSupport.h"
#include "CreditTexts.h"
#include "CreditsCtrl.h"

namespace {

const int kW = 300, kH = 120;
const COLORREF kGrey = CCreditsCtrl::kKeyColor;
const COLORREF kMark = RGB(1, 254, 3);

// Live GDI objects of this process. Wine's GetGuiResources answers 0; there the handle table
// is walked instead: Wine takes a handle without its generation bits for the entry's own.
size_t LiveGdiObjects() {
  if (DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) return n;
  size_t count = 0;
  for (UINT_PTR i = 1; i < 0x10000; ++i)
    count += ::GetObjectType(reinterpret_cast<HGDIOBJ>(i)) != 0;
  return count;
}

class CreditsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_host.Create(kW, kH)); }
  BOOL Make(CCreditsCtrl& c) {
    return c.CreateControl(0, L"STATIC", WS_CHILD | WS_VISIBLE, RECT{0, 0, kW, kH}, m_host.m_hWnd,
                           0xFFFF);
  }
  static void Tick(CCreditsCtrl& c, int n = 1) {
    for (int i = 0; i < n; ++i) ::SendMessageW(c.m_hWnd, WM_TIMER, CCreditsCtrl::kTimerId, 0);
  }
  // A line was taken in the last tick: its first row is in, counted from a fresh counter.
  static bool JustTaken(const CCreditsCtrl& c) {
    CCreditsCtrl::State s = c.GetState();
    return s.scrolledRows == 1 && s.tickCounter == 1;
  }
  // Ticks until the next line is taken; the number of ticks, or -1.
  static int TicksToNextLine(CCreditsCtrl& c, int limit = 2000) {
    for (int n = 1; n <= limit; ++n) {
      Tick(c);
      if (JustTaken(c)) return n;
    }
    return -1;
  }
  CTestHost m_host;
};

TEST_F(CreditsTest, SplitsAtEveryDelimiterAndNamesBitmapsByTheirNumber) {
  CCreditsCtrl c;
  ASSERT_TRUE(Make(c));
  EXPECT_FALSE(c.StartScroll()) << "no lines yet";
  EXPECT_FALSE(c.GetState().scrolling);
  const struct {
    const wchar_t* text;
    std::vector<std::wstring> lines;
  } cases[] = {
      {L"one line", {L"one line"}},
      {L"a||b", {L"a", L"", L"b"}},
      {L"Title\t||A body line|167^|", {L"Title\t", L"", L"A body line", L"167^", L""}},
      {L"x||", {L"x", L"", L""}},
      {L"", {L""}},
  };
  for (const auto& t : cases) {
    ASSERT_TRUE(c.SetCreditText(t.text, L'|'));
    EXPECT_EQ(t.lines, c.GetLines()) << t.text;
  }
  EXPECT_TRUE(c.StartScroll());
  EXPECT_TRUE(c.GetState().scrolling);

  const std::pair<const wchar_t*, WORD> ids[] = {
      {L"167^", 167}, {L" 65703^", 167}, {L"^", 0},       {L"abc^", 0},
      {L"12ab^", 12}, {L"-1^", 65535},   {L"+170^", 170}, {L"99999999999^", 59391}};
  for (const auto& [line, id] : ids) EXPECT_EQ(id, CCreditsCtrl::BitmapIdOf(line)) << line;

  EXPECT_EQ(2, c.SetTickPeriod(2, 2));
  EXPECT_EQ(0, c.SetTickPeriod(0, 0)) << "a zero period still selects the slot";
  EXPECT_EQ(0, c.SetTickPeriod(7, 5)) << "no such slot: the selection stays";
}

TEST_F(CreditsTest, LinesTakeTheirStyleHeightsWrapAndAreMeasuredOnTheFirstPassOnly) {
  CCreditsCtrl c;
  ASSERT_TRUE(Make(c));
  c.SetStyleColor(CCreditsCtrl::kColorBackground, RGB(10, 20, 30));
  c.SetRunOnce(FALSE);
  // A code alone (subheading, 17), a title (21), a gap keeping 21, a body line (15).
  ASSERT_TRUE(c.SetCreditText(L"\r|Title\t||x", L'|'));
  ASSERT_TRUE(c.StartScroll());

  // The first tick paints the whole background; mark every row but the bottom one.
  Tick(c);
  {
    HDC hMem = ::CreateCompatibleDC(nullptr);
    HGDIOBJ hOld = ::SelectObject(hMem, c.GetImage());
    RECT marked{0, 0, kW, kH - 1};
    HBRUSH hMark = ::CreateSolidBrush(kMark);
    ::FillRect(hMem, &marked, hMark);
    ::DeleteObject(hMark);
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
  }
  Tick(c, 12);
  // Another timer of the window is not a tick.
  const int counter = c.GetState().tickCounter;
  ::SendMessageW(c.m_hWnd, WM_TIMER, CCreditsCtrl::kTimerId + 1, 0);
  EXPECT_EQ(counter, c.GetState().tickCounter);
  Tick(c);
  EXPECT_EQ(L"", c.GetState().currentLine) << "nothing taken in the first 14 ticks";
  Pixels p = ReadPixels(c.GetImage());
  EXPECT_EQ(kMark, p.At(150, kH - 2)) << "no column yet: nothing scrolls";
  EXPECT_EQ(RGB(10, 20, 30), p.At(150, kH - 1)) << "only the bottom row is repainted";

  Tick(c);  // the 15th
  ASSERT_TRUE(JustTaken(c));
  CCreditsCtrl::State s = c.GetState();
  EXPECT_EQ(L"\r", s.currentLine);
  EXPECT_EQ(17, s.lineHeight) << "a code alone still sets its height";
  EXPECT_EQ(0, s.columnWidth) << "and draws nothing";

  const struct {
    int ticks;  // since the previous line was taken
    const wchar_t* line;
    int height;
  } expected[] = {{17, L"Title\t", 21}, {21, L"", 21}, {21, L"x", 15}, {15, L"\r", 17}};
  int titleWidth = 0, early = 0;
  for (const auto& e : expected) {
    EXPECT_EQ(e.ticks - early, TicksToNextLine(c)) << e.line;
    early = 0;
    s = c.GetState();
    EXPECT_EQ(e.line, s.currentLine);
    EXPECT_EQ(e.height, s.lineHeight) << e.line;
    if (s.currentLine == L"Title\t") {
      titleWidth = s.columnWidth;
      EXPECT_GT(titleWidth, 0);
      EXPECT_LT(titleWidth, kW);
      EXPECT_EQ(kMark, ReadPixels(c.GetImage()).At(kW / 2, kH - 2)) << "measured, not moved";
      Tick(c);
      Pixels q = ReadPixels(c.GetImage());
      EXPECT_EQ(kMark, q.At(0, kH - 2)) << "outside the column nothing moves";
      EXPECT_NE(kMark, q.At(kW / 2, kH - 2)) << "inside it the rows moved up";
      EXPECT_EQ(kMark, q.At(kW / 2, kH - 3));
      early = 1;
    }
    if (s.currentLine == L"x") {
      EXPECT_EQ(0u, s.nextLine) << "the last line taken: straight back to the first";
      EXPECT_FALSE(s.firstPass);
    }
  }
  EXPECT_EQ(titleWidth, c.GetState().columnWidth) << "the narrow body line never narrows it";

  // Later passes measure nothing: a line wider than the column leaves it as it is.
  ASSERT_TRUE(c.SetCreditText(std::wstring(80, L'W').c_str(), L'|'));
  ASSERT_TRUE(c.StartScroll());
  EXPECT_EQ(17, TicksToNextLine(c)) << "a restart keeps the current line height";
  EXPECT_EQ(titleWidth, c.GetState().columnWidth);
}

TEST_F(CreditsTest, RunOnceLetsTheLastLineInThenStopsAndTheIdlePageIsStatic) {
  // The first page of an idle control: the title in its colour at the top, the bitmap below.
  CCreditsCtrl idle;
  ASSERT_TRUE(Make(idle));
  ASSERT_TRUE(idle.SetCreditText(L"Big\t|167^|body", L'|'));
  ::SendMessageW(idle.m_hWnd, WM_PAINT, 0, 0);
  Pixels page = ReadPixels(idle.GetImage());
  ASSERT_EQ(kW, page.cx);
  int titleRed = 0;
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < kW; ++x) titleRed += page.At(x, y) == RGB(255, 0, 0);
  EXPECT_GT(titleRed, 10);
  HBITMAP hBmp = static_cast<HBITMAP>(::LoadImageW(
      ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(167), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  Pixels bmp = ReadPixels(hBmp);
  ::DeleteObject(hBmp);
  ASSERT_EQ(107, bmp.cx);
  const int left = kW - kW / 2 - 107 / 2;
  int top = -1;
  for (int y0 = 10; y0 < 40 && top < 0; ++y0) {
    bool all = true;
    for (int by = 0; by < bmp.cy && all; ++by) all = page.At(left + 53, y0 + by) == bmp.At(53, by);
    if (all) top = y0;
  }
  EXPECT_GT(top, 0) << "the bitmap sits under the title, centred";

  // Erasing is left to the painting: a DC handed in stays as it was.
  HDC hMem = ::CreateCompatibleDC(nullptr);
  HBITMAP hProbe = ::CreateBitmap(1, 1, 1, 32, nullptr);
  HGDIOBJ hOld = ::SelectObject(hMem, hProbe);
  ::SetPixel(hMem, 0, 0, RGB(1, 2, 3));
  EXPECT_NE(0, ::SendMessageW(idle.m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hMem), 0));
  EXPECT_EQ(RGB(1, 2, 3), ::GetPixel(hMem, 0, 0));
  ::SelectObject(hMem, hOld);
  ::DeleteObject(hProbe);
  ::DeleteDC(hMem);

  // Run-once (the default): a line wider than the control, then the last line.
  CCreditsCtrl c;
  ASSERT_TRUE(Make(c));
  ASSERT_TRUE(c.SetCreditText((std::wstring(80, L'W') + L"|x").c_str(), L'|'));
  ASSERT_TRUE(c.StartScroll());
  EXPECT_EQ(15, TicksToNextLine(c));
  EXPECT_EQ(kW, c.GetState().columnWidth) << "never wider than the client";
  EXPECT_EQ(15, TicksToNextLine(c));
  EXPECT_EQ(L"x", c.GetState().currentLine);
  Tick(c, 14);
  EXPECT_TRUE(c.GetState().scrolling) << "the last line is still coming in";
  Tick(c);
  CCreditsCtrl::State end = c.GetState();
  EXPECT_FALSE(end.scrolling) << "all of it is in: the timer stops";
  Tick(c, 40);
  EXPECT_EQ(end.tickCounter, c.GetState().tickCounter) << "stray ticks change nothing";

  c.DestroyWindow();
  EXPECT_TRUE(c.GetLines().empty());
  EXPECT_EQ(nullptr, c.GetImage());
}

TEST_F(CreditsTest, BitmapLineLastsItsHeightThenAGapAndKeysLightGrey) {
  HBITMAP hBmp = static_cast<HBITMAP>(::LoadImageW(
      ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(167), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  const Pixels bmp = ReadPixels(hBmp);
  ::DeleteObject(hBmp);
  ASSERT_EQ(71, bmp.cy);
  int greys = 0;
  for (COLORREF v : bmp.data) greys += v == kGrey;
  ASSERT_GT(greys, 100) << "the picture has light grey to key";

  const COLORREF bg = RGB(10, 20, 30);
  for (bool keying : {true, false}) {
    CCreditsCtrl c;
    ASSERT_TRUE(Make(c));
    c.SetStyleColor(CCreditsCtrl::kColorBackground, bg);
    c.SetBitmapKeying(keying ? 50 : 0);
    ASSERT_TRUE(c.SetCreditText(L"x|167^|y|9999^", L'|'));
    ASSERT_TRUE(c.StartScroll());
    EXPECT_EQ(15, TicksToNextLine(c));
    const int wx = c.GetState().columnWidth;
    const int colLeft = (kW - wx) / 2, colRight = colLeft + wx;
    const int bmpLeft = colRight - wx / 2 - 107 / 2;

    EXPECT_EQ(15, TicksToNextLine(c));
    ASSERT_TRUE(c.GetState().bitmapInProgress);
    int rows = 1;
    while (c.GetState().bitmapInProgress && rows < 500) {
      Tick(c);
      ++rows;
    }
    EXPECT_EQ(71, rows) << "one tick per row of the bitmap";
    EXPECT_EQ(107, c.GetState().columnWidth) << "widened to the bitmap";

    // The whole picture is in: compare it inside the new column.
    Pixels img = ReadPixels(c.GetImage());
    const int newLeft = (kW - 107) / 2, newRight = newLeft + 107;
    int compared = 0, mismatches = 0;
    for (int by = 0; by < 71; ++by)
      for (int bx = 0; bx < 107; ++bx) {
        int x = bmpLeft + bx;
        if (x < newLeft || x >= newRight) continue;
        COLORREF want = (keying && bmp.At(bx, by) == kGrey) ? bg : bmp.At(bx, by);
        mismatches += img.At(x, kH - 71 + by) != want;
        ++compared;
      }
    EXPECT_GT(compared, 100 * 71);
    EXPECT_EQ(0, mismatches) << (keying ? "keyed" : "plain");

    // Then the gap: the body height less one row, and the next line comes.
    EXPECT_EQ(15, TicksToNextLine(c)) << "14 rows of gap, then the first row of the next";
    EXPECT_EQ(L"y", c.GetState().currentLine);

    // A bitmap that does not load is drawn as the text it is.
    EXPECT_EQ(15, TicksToNextLine(c));
    EXPECT_EQ(L"9999^", c.GetState().currentLine);
    EXPECT_FALSE(c.GetState().bitmapInProgress);
    Tick(c, 12);
    Pixels text = ReadPixels(c.GetImage());
    int dark = 0;  // the surface's default colour is black
    for (int y = kH - 13; y < kH; ++y)
      for (int x = newLeft; x < newRight; ++x) dark += text.At(x, y) == RGB(0, 0, 0);
    EXPECT_GT(dark, 5);
  }
}

TEST_F(CreditsTest, ShadingRampsPaintTheirBandsInSinglePrecision) {
  const struct {
    int mode;
    COLORREF bg;
    int band;
    COLORREF want;
  } rows[] = {
      {0, RGB(82, 107, 132), 150, RGB(82, 107, 132)},
      {1, RGB(82, 107, 132), 0, RGB(82, 107, 132)},
      {1, RGB(82, 107, 132), 150, RGB(33, 44, 54)},
      {1, RGB(82, 107, 132), 255, RGB(0, 0, 0)},
      {2, RGB(82, 107, 132), 51, RGB(116, 136, 156)},
      {2, RGB(82, 107, 132), 255, RGB(255, 255, 255)},
      {3, RGB(82, 107, 132), 0, RGB(0, 0, 0)},
      {3, RGB(82, 107, 132), 150, RGB(48, 62, 77)},
      {4, RGB(82, 107, 132), 51, RGB(220, 225, 230)},
      {4, RGB(82, 107, 132), 255, RGB(82, 107, 132)},
      // Where single and double precision truncate differently.
      {1, RGB(17, 147, 155), 150, RGB(6, 60, 63)},
      {3, RGB(17, 147, 155), 85, RGB(5, 49, 51)},
      {3, RGB(17, 147, 155), 51, RGB(3, 29, 31)},
  };
  CCreditsCtrl c;
  ASSERT_TRUE(Make(c));
  ASSERT_TRUE(c.SetCreditText(L"x", L'|'));
  const float band = kW / 256.0f;
  for (const auto& r : rows) {
    c.SetShading(r.mode);
    c.SetStyleColor(CCreditsCtrl::kColorBackground, r.bg);
    ASSERT_TRUE(c.StartScroll());  // a fresh background
    Tick(c);
    Pixels p = ReadPixels(c.GetImage());
    const int x = static_cast<int>(r.band * band);
    EXPECT_EQ(r.want, p.At(x, 0)) << "mode " << r.mode << " band " << r.band;
    EXPECT_EQ(r.want, p.At(x, kH - 1)) << "the repainted bottom row too";
  }
}

TEST_F(CreditsTest, AShortPeriodMovesSeveralPixelsATickAtTheSameSpeed) {
  // The banner's 2 ms period: ticks every 30 ms, each three one-pixel steps (a timer gives
  // about a tick per 10 ms at best); a period of 10 ms or more keeps one pixel a tick.
  const struct {
    int period, steps;
  } cases[] = {{2, 3}, {10, 3}, {15, 2}, {30, 1}, {40, 1}, {70, 1}};
  for (const auto& t : cases) {
    CCreditsCtrl c;
    ASSERT_TRUE(Make(c));
    ASSERT_TRUE(c.SetCreditText(L"Title\t|x", L'|'));
    c.SetTickPeriod(2, t.period);
    c.SetStyleHeight(0, 100);  // the title stays current for the whole run
    ASSERT_TRUE(c.StartScroll());
    EXPECT_EQ(t.steps, c.GetState().stepsPerTick) << t.period;
    // Steps are pixels: the first line is taken at the 15th and scrolls on from there.
    Tick(c, 20);
    CCreditsCtrl::State s = c.GetState();
    EXPECT_EQ(L"Title\t", s.currentLine) << t.period;
    EXPECT_EQ(20 * t.steps - 14, s.scrolledRows) << t.period;
  }
}

}  // namespace

namespace {

// The banner scrolls for ever: whatever a line takes (its font, its bitmap and mask, the
// image) is given back by the time the same line comes round again, or a day of scrolling
// runs the program out of GDI objects.
TEST_F(CreditsTest, ScrollingLeavesNoGdiObjectBehind) {
  // The measure first: it must see objects come and go.
  const size_t base = LiveGdiObjects();
  HBITMAP made[8];
  for (HBITMAP& b : made) b = ::CreateBitmap(4, 4, 1, 1, nullptr);
  ASSERT_EQ(base + 8, LiveGdiObjects()) << "the count does not see new bitmaps";
  for (HBITMAP b : made) ::DeleteObject(b);
  ASSERT_EQ(base, LiveGdiObjects());

  CCreditsCtrl c;
  ASSERT_TRUE(Make(c));
  StartCredits(c, kBannerCredits, 30);  // text and bitmap lines, as the frame's banner
  const size_t lines = c.GetLines().size();
  ASSERT_GE(lines, 10u);
  // The count each time a line is taken, for three rounds of the text; the first round also
  // measures the column, the other two must match line for line.
  std::vector<size_t> counts;
  size_t next = c.GetState().nextLine;
  for (int ticks = 0; counts.size() < 3 * lines && ticks < 100000; ++ticks) {
    Tick(c);
    if (c.GetState().nextLine == next) continue;
    next = c.GetState().nextLine;
    counts.push_back(LiveGdiObjects());
  }
  ASSERT_EQ(3 * lines, counts.size()) << "the text did not go round three times";
  for (size_t i = 0; i < lines; ++i)
    EXPECT_EQ(counts[lines + i], counts[2 * lines + i])
        << "line " << i << ": one round of " << lines << " lines later";
}

}  // namespace
