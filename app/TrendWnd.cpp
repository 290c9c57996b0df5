#include "TrendWnd.h"

#include <commctrl.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <cwctype>

#include "ModalRunner.h"
#include "UiLanguage.h"
#include "OpcItem.h"
#include "OpcItemObserverList.h"
#include "OpcNumeric.h"
#include "OpcErrorText.h"

namespace {

// Distinct on white and from each other; past the last, the colours come round again.
const COLORREF kPalette[] = {RGB(31, 119, 180),  RGB(214, 39, 40),   RGB(44, 160, 44),
                             RGB(255, 127, 14),  RGB(148, 103, 189), RGB(140, 86, 75),
                             RGB(227, 119, 194), RGB(23, 190, 207),  RGB(188, 189, 34),
                             RGB(0, 0, 128),     RGB(128, 0, 0),     RGB(0, 100, 0)};

const int kBarHeight = 30, kLegendHeight = 130;

int64_t Ticks(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

int64_t NowTicks() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  return Ticks(ft);
}

TrendQuality ClassOf(WORD quality) {
  switch (quality & OPC_QUALITY_MASK) {
    case OPC_QUALITY_GOOD:
      return TrendQuality::Good;
    case OPC_QUALITY_UNCERTAIN:
      return TrendQuality::Uncertain;
    default:
      return TrendQuality::Bad;
  }
}

// A number typed into a limit box: the whole text, nothing else.
bool ParseLimit(HWND hEdit, double& out) {
  wchar_t text[64] = {};
  ::GetWindowTextW(hEdit, text, static_cast<int>(std::size(text)));
  wchar_t* end = nullptr;
  out = std::wcstod(text, &end);
  if (end == text) return false;
  while (*end && std::iswspace(*end)) ++end;
  return *end == 0 && std::isfinite(out);
}

}  // namespace

CTrendWnd::~CTrendWnd() {
  if (m_hWnd) DestroyWindow();
  if (m_hFont) ::DeleteObject(m_hFont);
}

BOOL CTrendWnd::Create(HWND owner, COpcItemObserverList* observers) {
  LPCWSTR cls = RegisterClass(L"PloverTrendWnd", 0, ::LoadCursorW(nullptr, IDC_ARROW),
                              reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  RECT rc{0, 0, 0, 0};
  if (owner) ::GetWindowRect(owner, &rc);
  if (!CreateEx(WS_EX_TOOLWINDOW, cls, LoadResString(IDS_TREND_TITLE).c_str(),
                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, rc.left + 60, rc.top + 60, 780, 480, owner,
                nullptr))
    return FALSE;
  CreateChildren();
  m_pObservers = observers;
  if (m_pObservers) m_pObservers->Add(this);
  ::SetTimer(m_hWnd, kRepaintTimer, kRepaintMs, nullptr);
  return TRUE;
}

void CTrendWnd::CreateChildren() {
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof(ncm);
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0))
    m_hFont = ::CreateFontIndirectW(&ncm.lfMessageFont);
  HINSTANCE hInst = ::GetModuleHandleW(nullptr);
  auto child = [&](DWORD exStyle, LPCWSTR cls, UINT textId, DWORD style, int x, int w, int cy,
                   UINT id) {
    const std::wstring text = textId ? LoadResString(textId) : std::wstring();
    HWND h = ::CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, 4, w,
                               cy, m_hWnd, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                               hInst, nullptr);
    if (h && m_hFont) ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), FALSE);
    return h;
  };
  HWND span = child(0, WC_COMBOBOXW, 0, CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 6, 110, 200,
                    IDC_TREND_SPAN);
  for (UINT id : {IDS_TREND_SPAN_1, IDS_TREND_SPAN_5, IDS_TREND_SPAN_15, IDS_TREND_SPAN_60})
    ::SendMessageW(span, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadResString(id).c_str()));
  ::SendMessageW(span, CB_SETCURSEL, 0, 0);
  HWND scale = child(0, WC_COMBOBOXW, 0, CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 122, 130, 200,
                     IDC_TREND_SCALE);
  for (UINT id : {IDS_TREND_SCALE_SHARED, IDS_TREND_SCALE_PER_PEN, IDS_TREND_SCALE_FIXED})
    ::SendMessageW(scale, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadResString(id).c_str()));
  ::SendMessageW(scale, CB_SETCURSEL, 0, 0);
  child(WS_EX_CLIENTEDGE, WC_EDITW, 0, ES_AUTOHSCROLL | WS_TABSTOP | WS_DISABLED, 258, 70, 22,
        IDC_TREND_LOW);
  child(WS_EX_CLIENTEDGE, WC_EDITW, 0, ES_AUTOHSCROLL | WS_TABSTOP | WS_DISABLED, 332, 70, 22,
        IDC_TREND_HIGH);
  child(0, WC_BUTTONW, IDS_TREND_PAUSE, BS_AUTOCHECKBOX | BS_PUSHLIKE | WS_TABSTOP, 410, 60, 22,
        IDC_TREND_PAUSE);
  child(0, WC_BUTTONW, IDS_TREND_SAVE, BS_PUSHBUTTON | WS_TABSTOP, 474, 90, 22, IDC_TREND_SAVE);
  child(0, WC_STATICW, 0, SS_LEFT | SS_NOPREFIX, 570, 200, 22, IDC_TREND_NOTE);

  RECT rcTrend{0, kBarHeight, 100, 100};
  m_trend.Create(m_hWnd, rcTrend, IDC_TREND_CHART);
  m_trend.SetSpan(kSpanMinutes[0] * 60 * CTrendSeries::kTicksPerSecond);
  m_trend.m_formatReadout = [this](size_t pen, const TrendPoint& p) {
    if (pen >= m_pens.size()) return std::wstring();
    return m_pens[pen]->itemId + L" = " + ValueText(*m_pens[pen], p.v, p.code) + L"  " +
           QualityText(p.code);
  };

  m_hLegend = child(WS_EX_CLIENTEDGE, WC_LISTVIEWW, 0,
                    LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | WS_TABSTOP, 0, 100, 100,
                    IDC_TREND_LEGEND);
  ::SendMessageW(m_hLegend, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  const struct {
    UINT text;
    int width;
  } columns[] = {
      {IDS_TREND_COL_ITEM, 260}, {IDS_TREND_COL_VALUE, 160}, {IDS_TREND_COL_QUALITY, 160}};
  for (int i = 0; i < 3; ++i) {
    std::wstring text = LoadResString(columns[i].text);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.cx = columns[i].width;
    col.pszText = text.data();
    col.iSubItem = i;
    ::SendMessageW(m_hLegend, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
  Layout();
}

void CTrendWnd::Layout() {
  RECT rc;
  ::GetClientRect(m_hWnd, &rc);
  const int legend = std::min(kLegendHeight, static_cast<int>(rc.bottom) / 3);
  const int chartBottom = std::max(kBarHeight + 1, static_cast<int>(rc.bottom) - legend);
  ::MoveWindow(m_trend.m_hWnd, 0, kBarHeight, rc.right, chartBottom - kBarHeight, TRUE);
  ::MoveWindow(m_hLegend, 0, chartBottom, rc.right, rc.bottom - chartBottom, TRUE);
  if (HWND note = Control(IDC_TREND_NOTE))
    ::MoveWindow(note, 570, 8, std::max(10, static_cast<int>(rc.right) - 576), 20, TRUE);
}

LRESULT CTrendWnd::OnSize(UINT, WPARAM, LPARAM, BOOL&) {
  if (m_hLegend) Layout();
  return 0;
}

LRESULT CTrendWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  ::KillTimer(m_hWnd, kRepaintTimer);
  if (m_pObservers) m_pObservers->Remove(this);
  m_pObservers = nullptr;
  m_byHandle.clear();
  bHandled = FALSE;
  return 0;
}

std::wstring CTrendWnd::QualityText(WORD quality) {
  UINT id = IDS_TREND_BAD;
  if (ClassOf(quality) == TrendQuality::Good) id = IDS_TREND_GOOD;
  if (ClassOf(quality) == TrendQuality::Uncertain) id = IDS_TREND_UNCERTAIN;
  wchar_t code[16];
  std::swprintf(code, std::size(code), L" (0x%02X)", quality);
  return LoadResString(id) + code;
}

std::wstring CTrendWnd::ValueText(const Pen& pen, double v, WORD quality) const {
  if (ClassOf(quality) == TrendQuality::Bad) return L"-";
  wchar_t text[64];
  std::swprintf(text, std::size(text), pen.steps ? L"%.0f" : L"%.10g", v);
  return text;
}

COLORREF CTrendWnd::NextColor() const {
  for (COLORREF c : kPalette) {
    if (std::none_of(m_pens.begin(), m_pens.end(),
                     [c](const std::unique_ptr<Pen>& p) { return p->color == c; }))
      return c;
  }
  return kPalette[m_pens.size() % std::size(kPalette)];
}

int CTrendWnd::AddItems(const std::vector<const COpcItem*>& items, std::wstring* refused) {
  int added = 0;
  for (const COpcItem* item : items) {
    if (!item || item->m_hClient == 0 || m_byHandle.count(item->m_hClient)) continue;
    const VARTYPE vt = item->m_value.vt != VT_EMPTY ? item->m_value.vt : item->m_vtCanonical;
    const OpcNumericKind kind = GetNumericKind(vt);
    if (kind != OpcNumericKind::Number && kind != OpcNumericKind::Boolean) {
      if (refused) {
        const UINT why = kind == OpcNumericKind::Text    ? IDS_TREND_IS_TEXT
                         : kind == OpcNumericKind::Array ? IDS_TREND_IS_ARRAY
                                                         : IDS_TREND_NOT_NUMBER;
        *refused += item->m_strItemId + L": " + LoadResString(why) + L"\n";
      }
      continue;
    }
    auto pen = std::make_unique<Pen>();
    pen->hClient = item->m_hClient;
    pen->itemId = item->m_strItemId;
    pen->steps = kind == OpcNumericKind::Boolean;
    pen->color = NextColor();
    m_byHandle[pen->hClient] = pen.get();
    m_pens.push_back(std::move(pen));

    const int row = static_cast<int>(m_pens.size()) - 1;
    LVITEMW lv{};
    lv.mask = LVIF_TEXT;
    lv.iItem = row;
    lv.pszText = m_pens.back()->itemId.data();
    m_bFilling = true;
    ::SendMessageW(m_hLegend, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lv));
    ListView_SetCheckState(m_hLegend, row, TRUE);
    m_bFilling = false;
    ++added;
    // What the item holds already is the pen's first sample.
    if (item->m_ftTimeStamp.dwLowDateTime || item->m_ftTimeStamp.dwHighDateTime)
      OnItemStored(0, *item);
  }
  if (added) {
    SyncPens();
    UpdateLegend(true);
  }
  return added;
}

void CTrendWnd::OnItemStored(OPCHANDLE, const COpcItem& item) {
  auto found = m_byHandle.find(item.m_hClient);
  if (found == m_byHandle.end()) return;
  Pen& pen = *found->second;
  int64_t t = Ticks(item.m_ftTimeStamp);
  if (t == 0) t = NowTicks();  // a server that sends no time stamps
  TrendPoint p{t, 0, ClassOf(item.m_wQuality), item.m_wQuality};
  // A value that is no number any more draws as a gap.
  if (p.q != TrendQuality::Bad && !GetNumericValue(item.m_value, p.v)) p.q = TrendQuality::Bad;
  pen.series.Add(p);
  if (!pen.hasLatest || t >= pen.series.Newest()) {
    pen.latest = p.v;
    pen.quality = item.m_wQuality;
    pen.hasLatest = true;
  }
  if (t > m_lastStamp) {
    m_lastStamp = t;
    m_lastStampTick = ::GetTickCount64();
  }
  m_bDirty = true;
}

int64_t CTrendWnd::LiveEnd() const {
  if (m_lastStamp == 0) return NowTicks();
  return m_lastStamp + static_cast<int64_t>(::GetTickCount64() - m_lastStampTick) *
                           (CTrendSeries::kTicksPerSecond / 1000);
}

LRESULT CTrendWnd::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  if (wParam != kRepaintTimer) {
    bHandled = FALSE;
    return 0;
  }
  const int64_t end = LiveEnd();
  for (const auto& pen : m_pens) {
    if (pen->lost || !m_isLive || m_isLive(pen->hClient)) continue;
    pen->lost = true;
    pen->series.Add({end, 0, TrendQuality::Bad, OPC_QUALITY_BAD});
    pen->quality = OPC_QUALITY_BAD;
    m_bDirty = true;
  }
  m_trend.SetLiveEnd(end);
  RECT rc;
  ::GetClientRect(m_trend.m_hWnd, &rc);
  const int64_t column = m_trend.Span() / std::max(1L, rc.right);
  if (m_trend.IsFollowing() && (m_bDirty || end - m_paintedEnd >= column)) {
    m_trend.Invalidate();
    m_paintedEnd = end;
  }
  if (m_bDirty) UpdateLegend(false);
  m_bDirty = false;
  return 0;
}

void CTrendWnd::UpdateLegend(bool all) {
  for (size_t i = 0; i < m_pens.size(); ++i) {
    Pen& pen = *m_pens[i];
    std::wstring value = pen.hasLatest ? ValueText(pen, pen.latest, pen.quality) : L"";
    std::wstring quality = pen.hasLatest ? QualityText(pen.quality) : L"";
    // Only texts that changed: a cell costs a repaint.
    if (all || value != pen.shownValue) {
      pen.shownValue = value;
      LVITEMW lv{};
      lv.iSubItem = 1;
      lv.pszText = pen.shownValue.data();
      ::SendMessageW(m_hLegend, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&lv));
    }
    if (all || quality != pen.shownQuality) {
      pen.shownQuality = quality;
      LVITEMW lv{};
      lv.iSubItem = 2;
      lv.pszText = pen.shownQuality.data();
      ::SendMessageW(m_hLegend, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&lv));
    }
  }
}

void CTrendWnd::SyncPens() {
  std::vector<TrendPen> pens;
  for (const auto& p : m_pens) pens.push_back({&p->series, p->color, p->visible, p->steps});
  m_trend.SetPens(std::move(pens));
}

void CTrendWnd::RemovePen(size_t index) {
  if (index >= m_pens.size()) return;
  m_byHandle.erase(m_pens[index]->hClient);
  m_pens.erase(m_pens.begin() + static_cast<std::ptrdiff_t>(index));
  m_bFilling = true;
  ::SendMessageW(m_hLegend, LVM_DELETEITEM, index, 0);
  m_bFilling = false;
  SyncPens();
}

void CTrendWnd::SetPenVisible(size_t index, bool visible) {
  if (index >= m_pens.size() || m_pens[index]->visible == visible) return;
  m_pens[index]->visible = visible;
  if ((ListView_GetCheckState(m_hLegend, static_cast<int>(index)) != 0) != visible) {
    m_bFilling = true;
    ListView_SetCheckState(m_hLegend, static_cast<int>(index), visible ? TRUE : FALSE);
    m_bFilling = false;
  }
  SyncPens();
}

int CTrendWnd::SelectedLegendRow() const {
  return static_cast<int>(
      ::SendMessageW(m_hLegend, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

LRESULT CTrendWnd::OnLegendChanged(int, NMHDR* pnmh, BOOL&) {
  auto* nm = reinterpret_cast<NMLISTVIEW*>(pnmh);
  if (m_bFilling || nm->iItem < 0 || static_cast<size_t>(nm->iItem) >= m_pens.size()) return 0;
  if ((nm->uChanged & LVIF_STATE) && ((nm->uNewState ^ nm->uOldState) & LVIS_STATEIMAGEMASK) &&
      (nm->uOldState & LVIS_STATEIMAGEMASK)) {
    SetPenVisible(static_cast<size_t>(nm->iItem),
                  (nm->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2));
  }
  if ((nm->uChanged & LVIF_STATE) && (nm->uNewState & LVIS_SELECTED)) {
    // The value axis shows the chosen pen's scale when each pen has its own.
    m_trend.SetAxisPen(nm->iItem);
    m_trend.Invalidate();
  }
  return 0;
}

LRESULT CTrendWnd::OnLegendDraw(int, NMHDR* pnmh, BOOL&) {
  auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(pnmh);
  if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
    const size_t row = cd->nmcd.dwItemSpec;
    if (row < m_pens.size()) cd->clrText = m_pens[row]->color;  // the legend names the colour
  }
  return CDRF_DODEFAULT;
}

LRESULT CTrendWnd::OnLegendKey(int, NMHDR* pnmh, BOOL&) {
  if (reinterpret_cast<NMLVKEYDOWN*>(pnmh)->wVKey == VK_DELETE) OnRemoveSelected();
  return 0;
}

LRESULT CTrendWnd::OnContextMenu(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (reinterpret_cast<HWND>(wParam) != m_hLegend || SelectedLegendRow() < 0) {
    bHandled = FALSE;
    return 0;
  }
  POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  if (lParam == -1) {
    RECT rc{LVIR_BOUNDS, 0, 0, 0};
    ::SendMessageW(m_hLegend, LVM_GETITEMRECT, SelectedLegendRow(), reinterpret_cast<LPARAM>(&rc));
    pt = {rc.left, rc.bottom};
    ::ClientToScreen(m_hLegend, &pt);
  }
  HMENU hMenu = LoadUiMenu(IDR_TRENDMENU);
  if (!hMenu) return 0;
  GetModalRunner().TrackPopupMenu(::GetSubMenu(hMenu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt,
                                  m_hWnd);
  ::DestroyMenu(hMenu);
  return 0;
}

void CTrendWnd::OnRemoveSelected() {
  const int row = SelectedLegendRow();
  if (row >= 0) RemovePen(static_cast<size_t>(row));
}

void CTrendWnd::OnToggleSelected() {
  const int row = SelectedLegendRow();
  if (row >= 0 && static_cast<size_t>(row) < m_pens.size())
    SetPenVisible(static_cast<size_t>(row), !m_pens[row]->visible);
}

LRESULT CTrendWnd::OnSpanChange(WORD, WORD, HWND hCtl, BOOL&) {
  const LRESULT sel = ::SendMessageW(hCtl, CB_GETCURSEL, 0, 0);
  if (sel >= 0 && sel < static_cast<LRESULT>(std::size(kSpanMinutes)))
    m_trend.SetSpan(kSpanMinutes[sel] * 60 * CTrendSeries::kTicksPerSecond);
  return 0;
}

LRESULT CTrendWnd::OnScaleChange(WORD, WORD, HWND hCtl, BOOL& bHandled) {
  const LRESULT sel = ::SendMessageW(hCtl, CB_GETCURSEL, 0, 0);
  const bool fixed = sel == 2;
  ::EnableWindow(Control(IDC_TREND_LOW), fixed);
  ::EnableWindow(Control(IDC_TREND_HIGH), fixed);
  if (fixed) {
    // The boxes start from what is shown now.
    double lo = 0, hi = 1;
    m_trend.PenRange(0, lo, hi);
    for (auto [id, v] : {std::pair{IDC_TREND_LOW, lo}, std::pair{IDC_TREND_HIGH, hi}}) {
      wchar_t text[64] = {};
      if (::GetWindowTextLengthW(Control(id)) == 0) {
        std::swprintf(text, std::size(text), L"%g", v);
        ::SetWindowTextW(Control(id), text);
      }
    }
    return OnLimitsChange(0, 0, nullptr, bHandled);
  }
  ::SetWindowTextW(Control(IDC_TREND_NOTE), L"");
  m_trend.SetScale(sel == 1 ? CTrendCtrl::Scale::PerPen : CTrendCtrl::Scale::Shared);
  return 0;
}

LRESULT CTrendWnd::OnLimitsChange(WORD, WORD, HWND, BOOL&) {
  if (::SendMessageW(Control(IDC_TREND_SCALE), CB_GETCURSEL, 0, 0) != 2) return 0;
  double lo = 0, hi = 0;
  const bool ok =
      ParseLimit(Control(IDC_TREND_LOW), lo) && ParseLimit(Control(IDC_TREND_HIGH), hi) && lo < hi;
  // A wrong pair keeps the scale shown and says why.
  ::SetWindowTextW(Control(IDC_TREND_NOTE), ok ? L"" : LoadResString(IDS_TREND_BAD_LIMITS).c_str());
  if (ok) m_trend.SetScale(CTrendCtrl::Scale::Fixed, lo, hi);
  return 0;
}

LRESULT CTrendWnd::OnPause(WORD, WORD, HWND hCtl, BOOL&) {
  m_trend.SetPaused(::SendMessageW(hCtl, BM_GETCHECK, 0, 0) == BST_CHECKED);
  return 0;
}

LRESULT CTrendWnd::OnSave(WORD, WORD, HWND, BOOL&) {
  wchar_t file[MAX_PATH] = L"trend.png";
  std::wstring filter = LoadResString(IDS_TREND_PNG_FILTER);
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = m_hWnd;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = L"png";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  if (!GetModalRunner().GetFileName(ofn, FALSE)) return 0;
  std::wstring reason;
  if (!SavePicture(file, &reason))
    AfxMessageBox(LoadResString(IDS_TREND_SAVE_FAILED) + L"\n" + reason, MB_OK | MB_ICONERROR);
  return 0;
}

BOOL CTrendWnd::SavePicture(const std::wstring& path, std::wstring* reason) {
  RECT rc;
  ::GetClientRect(m_trend.m_hWnd, &rc);
  const int cx = rc.right, cy = rc.bottom;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(bi.bmiHeader), cx, -cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP hDib = cx > 0 && cy > 0
                     ? ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0)
                     : nullptr;
  HRESULT hr = hDib ? S_OK : E_OUTOFMEMORY;
  if (hDib) {
    HDC hMem = ::CreateCompatibleDC(nullptr);
    HGDIOBJ hOld = ::SelectObject(hMem, hDib);
    m_trend.Render(hMem, cx, cy);
    ::GdiFlush();
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
  }
  IWICImagingFactory* factory = nullptr;
  IWICBitmap* bitmap = nullptr;
  IWICStream* stream = nullptr;
  IWICBitmapEncoder* encoder = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  if (SUCCEEDED(hr))
    hr = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                            IID_PPV_ARGS(&factory));
  if (SUCCEEDED(hr))
    hr = factory->CreateBitmapFromMemory(cx, cy, GUID_WICPixelFormat32bppBGR, cx * 4, cx * cy * 4,
                                         static_cast<BYTE*>(bits), &bitmap);
  if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
  const bool opened = SUCCEEDED(hr);
  if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
  if (SUCCEEDED(hr)) hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
  if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
  if (SUCCEEDED(hr)) hr = frame->SetSize(cx, cy);
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  if (SUCCEEDED(hr)) hr = frame->WriteSource(bitmap, nullptr);  // converts to the frame's format
  if (SUCCEEDED(hr)) hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  for (IUnknown* p : std::initializer_list<IUnknown*>{frame, encoder, stream, bitmap, factory})
    if (p) p->Release();
  if (hDib) ::DeleteObject(hDib);
  if (FAILED(hr)) {
    if (reason) *reason = path + L"\n" + ::SystemErrorText(static_cast<DWORD>(hr));
    if (opened) ::DeleteFileW(path.c_str());  // no half-written picture left behind
    return FALSE;
  }
  return TRUE;
}
