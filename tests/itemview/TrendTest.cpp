// The trend window opened from the item list against the simulation server: pens, legend,
// quality on the curve, pause, the cursor, scales and the saved picture.
#include <windows.h>
#include <commctrl.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "BrowseView.h"
#include "ItemViewFixture.h"
#include "OpcItem.h"
#include "OpcNumeric.h"
#include "TrendWnd.h"

namespace {

class TrendTest : public ItemViewFixture {
 protected:
  CTrendWnd* Trend() const { return Frame()->GetTrendWnd(); }
  std::wstring LegendText(int row, int col) const {
    wchar_t buffer[256] = {};
    LVITEMW it{};
    it.iSubItem = col;
    it.pszText = buffer;
    it.cchTextMax = 256;
    ::SendMessageW(Trend()->Legend(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&it));
    return buffer;
  }
  void Tick() { Trend()->SendMessage(WM_TIMER, CTrendWnd::kRepaintTimer, 0); }
  void Click(UINT id) {
    ::SendMessageW(Trend()->m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(Trend()->Control(id)));
  }
  // The chart as it would be painted now, top-down, one COLORREF a pixel.
  std::vector<COLORREF> Picture(int& cx, int& cy) {
    RECT rc;
    ::GetClientRect(Trend()->Trend().m_hWnd, &rc);
    cx = rc.right;
    cy = rc.bottom;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(bi.bmiHeader), cx, -cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP hDib = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC hMem = ::CreateCompatibleDC(nullptr);
    HGDIOBJ hOld = ::SelectObject(hMem, hDib);
    Trend()->Trend().Render(hMem, cx, cy);
    ::GdiFlush();
    std::vector<COLORREF> out;
    for (int i = 0; i < cx * cy; ++i) {
      const DWORD v = static_cast<DWORD*>(bits)[i];
      out.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
    }
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
    ::DeleteObject(hDib);
    return out;
  }
};

std::wstring GetWindowTextOf(HWND h) {
  wchar_t text[256] = {};
  ::GetWindowTextW(h, text, 256);
  return text;
}

bool ColumnHas(const std::vector<COLORREF>& pic, int cx, int x, const RECT& plot, COLORREF c) {
  for (int y = plot.top + 1; y < plot.bottom; ++y)
    if (pic[static_cast<size_t>(y) * cx + x] == c) return true;
  return false;
}

}  // namespace

TEST_F(TrendTest, SelectedRowsBecomePensWithLegendGapsPauseCursorScalesAndPicture) {
  Connect();
  AddGroup(1, L"G1");
  const wchar_t* ids[] = {L"Quality.Cycling", L"Types.String",        L"Signals.Ramp",
                          L"Types.Boolean",   L"Arrays.Static.Short", L"Types.Short"};
  std::vector<COpcItem*> items;
  for (const wchar_t* id : ids) items.push_back(AddItem(1, id));
  Step(1000);
  ASSERT_EQ(6, Rows());

  // Nothing selected: no window; then every row selected.
  Command(ID_VIEW_TREND);
  EXPECT_EQ(nullptr, Trend());
  for (int row = 0; row < Rows(); ++row) {
    LVITEMW it{};
    it.stateMask = it.state = LVIS_SELECTED;
    List()->SendMessage(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&it));
  }
  CBrowseView* tree = Frame()->GetBrowseView();
  const size_t listeners = tree->m_itemObservers.Count();
  // From the list's context menu.
  m_items.menuChoice = ID_VIEW_TREND;
  List()->SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List()->m_hWnd), MAKELPARAM(40, 40));
  m_items.menuChoice = 0;
  ASSERT_TRUE(PumpUntil([&] { return Trend() != nullptr; }, "the trend window"));
  EXPECT_TRUE(::IsWindowVisible(Trend()->m_hWnd));
  EXPECT_EQ(Frame()->m_hWnd, ::GetWindow(Trend()->m_hWnd, GW_OWNER));
  EXPECT_EQ(listeners + 1, tree->m_itemObservers.Count());
  // The string and the array are refused, each with its reason, in one box.
  ASSERT_EQ(1u, m_items.boxes.size());
  const std::wstring& box = m_items.boxes[0].text;
  EXPECT_NE(std::wstring::npos, box.find(L"Types.String: " + LoadResString(IDS_TREND_IS_TEXT)));
  EXPECT_NE(std::wstring::npos,
            box.find(L"Arrays.Static.Short: " + LoadResString(IDS_TREND_IS_ARRAY)));
  const int pen[] = {0, -1, 1, 2, -1, 3};  // by row of the list
  ASSERT_EQ(4u, Trend()->PenCount());
  ASSERT_EQ(4, ::SendMessageW(Trend()->Legend(), LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < 6; ++row) {
    if (pen[row] < 0) continue;
    EXPECT_EQ(ids[row], Trend()->PenItemId(pen[row]));
    EXPECT_EQ(ids[row], LegendText(pen[row], 0));
  }
  const std::vector<TrendPen>& pens = Trend()->Trend().Pens();
  for (size_t i = 0; i < pens.size(); ++i) {
    EXPECT_EQ(i == 2, pens[i].steps) << "only the boolean steps, pen " << i;
    for (size_t j = 0; j < i; ++j) EXPECT_NE(pens[i].color, pens[j].color) << i << " " << j;
  }
  // Opening again with the same rows adds nothing (and refuses the same two again).
  Command(ID_VIEW_TREND);
  EXPECT_EQ(4u, Trend()->PenCount());
  ASSERT_EQ(2u, m_items.boxes.size());

  // 20 s of the server's clock: the cycling item goes good, uncertain, bad and good again.
  for (int i = 0; i < 40; ++i) Step(500);
  Tick();
  for (int row : {0, 2, 5}) {
    double v = 0;
    ASSERT_TRUE(GetNumericValue(items[row]->m_value, v));
    const std::wstring shown = LegendText(pen[row], 1);
    if ((items[row]->m_wQuality & OPC_QUALITY_MASK) != OPC_QUALITY_BAD) {
      EXPECT_NEAR(v, std::wcstod(shown.c_str(), nullptr), 1e-6 * (1 + std::fabs(v))) << ids[row];
    }
    EXPECT_EQ(CTrendWnd::QualityText(items[row]->m_wQuality), LegendText(pen[row], 2)) << ids[row];
  }
  const CTrendSeries& cycling = Trend()->PenSeries(0);
  ASSERT_GE(cycling.Size(), 15u);
  // A bad stretch between good samples, and a good and an uncertain one.
  int64_t badFrom = 0, badTo = 0, goodFrom = 0, goodTo = 0, uncFrom = 0, uncTo = 0;
  for (size_t i = 1; i < cycling.Size(); ++i) {
    const TrendPoint &a = cycling[i - 1], &b = cycling[i];
    if (a.q == TrendQuality::Bad && b.q != TrendQuality::Bad && i >= 2 &&
        cycling[i - 2].q != TrendQuality::Bad)
      badFrom = a.t, badTo = b.t;
    if (a.q == TrendQuality::Good && b.q == TrendQuality::Good) goodFrom = a.t, goodTo = b.t;
    if (a.q == TrendQuality::Uncertain && b.q == TrendQuality::Uncertain)
      uncFrom = a.t, uncTo = b.t;
  }
  ASSERT_TRUE(goodTo && uncTo) << "good and uncertain stretches";
  // The bad stretch is the longest: from the start of its first bad sample.
  for (size_t i = 1; i < cycling.Size(); ++i) {
    if (cycling[i].q == TrendQuality::Bad && cycling[i - 1].q != TrendQuality::Bad) {
      badFrom = cycling[i].t;
      for (size_t j = i; j < cycling.Size(); ++j)
        if (cycling[j].q != TrendQuality::Bad) {
          badTo = cycling[j].t;
          break;
        }
      if (badTo > badFrom) break;
    }
  }
  ASSERT_GT(badTo, badFrom) << "a bad stretch with good data after it";

  // Bad is a gap; good the pen's colour; uncertain pale, never the full colour (the other
  // pens hidden: the ramp runs over the same values).
  for (size_t i = 1; i < 4; ++i) Trend()->SetPenVisible(i, false);
  int cx = 0, cy = 0;
  std::vector<COLORREF> pic = Picture(cx, cy);
  for (size_t i = 1; i < 4; ++i) Trend()->SetPenVisible(i, true);
  CTrendCtrl& chart = Trend()->Trend();
  const RECT plot = chart.PlotRect(cx, cy);
  const COLORREF colour = pens[0].color;
  const int xBad = chart.XAtTime((badFrom + badTo) / 2);
  const int xGood = chart.XAtTime(goodFrom), xUnc = chart.XAtTime(uncFrom);
  ASSERT_GT(xBad, plot.left);
  EXPECT_FALSE(ColumnHas(pic, cx, xBad, plot, colour));
  EXPECT_FALSE(ColumnHas(pic, cx, xBad + 1, plot, colour));
  EXPECT_TRUE(ColumnHas(pic, cx, xGood, plot, colour));
  const COLORREF pale = RGB((GetRValue(colour) + 510) / 3, (GetGValue(colour) + 510) / 3,
                            (GetBValue(colour) + 510) / 3);
  const int xUncMid = (chart.XAtTime(uncFrom) + chart.XAtTime(uncTo)) / 2;
  EXPECT_FALSE(ColumnHas(pic, cx, xUnc + 1, plot, colour));
  EXPECT_FALSE(ColumnHas(pic, cx, xUncMid, plot, colour));
  EXPECT_TRUE(ColumnHas(pic, cx, xUncMid, plot, pale));
  EXPECT_FALSE(ColumnHas(pic, cx, xBad, plot, pale));

  // The cursor reads every pen at the pointer's time: the bad stretch says so.
  chart.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(xBad, (plot.top + plot.bottom) / 2));
  std::vector<std::wstring> lines = chart.CursorLines();
  ASSERT_EQ(5u, lines.size());  // the time, then four pens
  const std::wstring bad = LoadResString(IDS_TREND_BAD);
  EXPECT_EQ(0u, lines[1].find(L"Quality.Cycling = - "));
  EXPECT_NE(std::wstring::npos, lines[1].find(bad)) << testing::PrintToString(lines[1]);
  wchar_t shortText[32];
  std::swprintf(shortText, 32, L"Types.Short = %d  ", items[5]->m_value.iVal);
  EXPECT_EQ(0u, lines[4].find(shortText)) << testing::PrintToString(lines[4]);
  chart.SetCursorX(-1);

  // Pause: the picture's end stays while data keeps coming; going on follows again.
  ::SendMessageW(Trend()->Control(IDC_TREND_PAUSE), BM_SETCHECK, BST_CHECKED, 0);
  Click(IDC_TREND_PAUSE);
  ASSERT_TRUE(chart.IsPaused());
  const int64_t frozen = chart.ViewEnd();
  const size_t before = Trend()->PenSeries(1).Size();
  for (int i = 0; i < 6; ++i) Step(500);
  Tick();
  EXPECT_GT(Trend()->PenSeries(1).Size(), before);
  EXPECT_EQ(frozen, chart.ViewEnd());
  ::SendMessageW(Trend()->Control(IDC_TREND_PAUSE), BM_SETCHECK, BST_UNCHECKED, 0);
  Click(IDC_TREND_PAUSE);
  Tick();
  EXPECT_FALSE(chart.IsPaused());
  EXPECT_GE(chart.ViewEnd(), Trend()->PenSeries(1).Newest());
  // With more history than one span, scrolling back shows older data and stops following
  // (no further back than the oldest sample); the right end follows again.
  for (int i = 0; i < 90; ++i) Step(1000);
  Tick();
  chart.SendMessage(WM_HSCROLL, SB_PAGELEFT);
  EXPECT_FALSE(chart.IsFollowing());
  EXPECT_LT(chart.ViewEnd(), Trend()->PenSeries(1).Newest());
  chart.SendMessage(WM_HSCROLL, SB_PAGELEFT);
  chart.SendMessage(WM_HSCROLL, SB_PAGELEFT);
  int64_t oldest = Trend()->PenSeries(0).Oldest();
  for (size_t i = 1; i < 4; ++i) oldest = std::min(oldest, Trend()->PenSeries(i).Oldest());
  EXPECT_EQ(oldest + chart.Span(), chart.ViewEnd());
  chart.SendMessage(WM_HSCROLL, SB_RIGHT);
  EXPECT_TRUE(chart.IsFollowing());

  // Scales: each pen its own range; fixed limits typed, a wrong pair refused with a reason.
  HWND scale = Trend()->Control(IDC_TREND_SCALE);
  auto chooseScale = [&](int sel) {
    ::SendMessageW(scale, CB_SETCURSEL, sel, 0);
    ::SendMessageW(Trend()->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_TREND_SCALE, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(scale));
  };
  double lo0, hi0, lo3, hi3;
  Picture(cx, cy);
  ASSERT_TRUE(chart.PenRange(1, lo0, hi0) && chart.PenRange(3, lo3, hi3));
  EXPECT_TRUE(lo0 == lo3 && hi0 == hi3) << "one scale shared";
  chooseScale(1);
  Picture(cx, cy);
  ASSERT_TRUE(chart.PenRange(1, lo0, hi0) && chart.PenRange(3, lo3, hi3));
  const CTrendSeries& ramp = Trend()->PenSeries(1);
  for (size_t i = ramp.LowerBound(chart.ViewEnd() - chart.Span()); i < ramp.Size(); ++i)
    EXPECT_TRUE(lo0 <= ramp[i].v && ramp[i].v <= hi0) << ramp[i].v;
  EXPECT_TRUE(lo3 <= items[5]->m_value.iVal && items[5]->m_value.iVal <= hi3);
  EXPECT_LT(hi3 - lo3, hi0 - lo0) << "a constant has a narrow range of its own";
  chooseScale(2);
  ::SetWindowTextW(Trend()->Control(IDC_TREND_LOW), L"20x");
  EXPECT_EQ(LoadResString(IDS_TREND_BAD_LIMITS), GetWindowTextOf(Trend()->Control(IDC_TREND_NOTE)));
  ::SetWindowTextW(Trend()->Control(IDC_TREND_LOW), L"-5");
  ::SetWindowTextW(Trend()->Control(IDC_TREND_HIGH), L"250");
  EXPECT_EQ(L"", GetWindowTextOf(Trend()->Control(IDC_TREND_NOTE)));
  ASSERT_TRUE(chart.PenRange(1, lo0, hi0));
  EXPECT_EQ(-5, lo0);
  EXPECT_EQ(250, hi0);
  // The constant's line lies where the limits put it, up the right way.
  pic = Picture(cx, cy);
  const double height = plot.bottom - plot.top;
  const int yShort =
      plot.bottom - static_cast<int>(std::lround((items[5]->m_value.iVal + 5) / 255.0 * height));
  bool found = false;
  for (int y = yShort - 1; y <= yShort + 1; ++y)
    found = found || pic[static_cast<size_t>(y) * cx + plot.right - 2] == pens[3].color;
  EXPECT_TRUE(found) << "row " << yShort;

  // The legend's box hides a pen; its menu removes one.
  ListView_SetCheckState(Trend()->Legend(), 1, FALSE);
  EXPECT_FALSE(chart.Pens()[1].visible);
  EXPECT_EQ(4u, chart.Pens().size());
  LVITEMW sel{};
  sel.stateMask = sel.state = LVIS_SELECTED;
  ::SendMessageW(Trend()->Legend(), LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&sel));
  m_items.menuChoice = ID_TREND_REMOVE;
  Trend()->SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Trend()->Legend()),
                       MAKELPARAM(10, 10));
  ASSERT_TRUE(PumpUntil([&] { return Trend()->PenCount() == 3; }, "the pen removed"));
  EXPECT_EQ(3, ::SendMessageW(Trend()->Legend(), LVM_GETITEMCOUNT, 0, 0));
  EXPECT_EQ(L"Types.Short", LegendText(2, 0));
  EXPECT_EQ(3u, chart.Pens().size());

  // The picture, saved as PNG through the file box, decodes to the chart's size.
  const std::wstring file = TempDir() + L"\\trend.png";
  m_items.nextFile = file;
  Click(IDC_TREND_SAVE);
  EXPECT_EQ(2u, m_items.boxes.size()) << "no box about a failure";
  RECT rc;
  ::GetClientRect(chart.m_hWnd, &rc);
  IWICImagingFactory* factory = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                              CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)));
  ASSERT_HRESULT_SUCCEEDED(factory->CreateDecoderFromFilename(
      file.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder));
  GUID container{};
  decoder->GetContainerFormat(&container);
  EXPECT_TRUE(IsEqualGUID(GUID_ContainerFormatPng, container));
  ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, &frame));
  UINT w = 0, h = 0;
  frame->GetSize(&w, &h);
  EXPECT_EQ(static_cast<UINT>(rc.right), w);
  EXPECT_EQ(static_cast<UINT>(rc.bottom), h);
  frame->Release();
  decoder->Release();
  factory->Release();
  // A place that cannot be written: the box says why, and nothing is claimed.
  m_items.nextFile = TempDir() + L"\\no such folder\\trend.png";
  Click(IDC_TREND_SAVE);
  ASSERT_EQ(3u, m_items.boxes.size());
  EXPECT_EQ(0u, m_items.boxes[2].text.find(LoadResString(IDS_TREND_SAVE_FAILED)));

  // A disconnect leaves every pen's item gone: each curve ends in a bad sample there.
  const size_t kept = Trend()->PenSeries(0).Size();
  const OPCHANDLE hCycling = items[0]->m_hClient;
  Frame()->DisconnectServer();
  ASSERT_FALSE(Server()->IsConnected());
  ASSERT_EQ(nullptr, Frame()->ResolveItem(hCycling));
  Tick();
  for (size_t i = 0; i < Trend()->PenCount(); ++i) {
    const CTrendSeries& s = Trend()->PenSeries(i);
    EXPECT_EQ(TrendQuality::Bad, s[s.Size() - 1].q) << i;
    EXPECT_EQ(CTrendWnd::QualityText(OPC_QUALITY_BAD), LegendText(static_cast<int>(i), 2)) << i;
  }
  Tick();
  EXPECT_EQ(kept + 1, Trend()->PenSeries(0).Size()) << "one bad sample, once";

  // Closed: no longer listening.
  Trend()->SendMessage(WM_CLOSE);
  EXPECT_EQ(nullptr, Trend());
  EXPECT_EQ(listeners, tree->m_itemObservers.Count());
}
