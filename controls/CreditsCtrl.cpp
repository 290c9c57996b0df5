#include "CreditsCtrl.h"

#include <algorithm>
#include <new>

namespace {

enum Style { kTitle, kHeading, kSubheading, kBody, kBitmap, kGap };

struct StyleInfo {
  int heightSlot;
  int colorSlot;
  int weight;
  bool dropsCode;  // the style code is not drawn
};

const StyleInfo kStyles[] = {{0, CCreditsCtrl::kColorTitle, 700, true},
                             {1, CCreditsCtrl::kColorHeading, 700, true},
                             {2, CCreditsCtrl::kColorSubheading, 700, true},
                             {3, CCreditsCtrl::kColorBody, 100, false}};

Style StyleOf(const std::wstring& line) {
  if (line.empty()) return kGap;
  switch (line.back()) {
    case L'\t':
      return kTitle;
    case L'\n':
      return kHeading;
    case L'\r':
      return kSubheading;
    case L'^':
      return kBitmap;
    default:
      return kBody;
  }
}

std::wstring DrawnText(const std::wstring& line, Style style) {
  return kStyles[style].dropsCode ? line.substr(0, line.size() - 1) : line;
}

// One colour channel of ramp band k, in single precision as the ramps are defined; the
// volatile stores keep x87 builds from carrying extra precision into the truncation.
int ShadeChannel(int mode, int v, int k) {
  const float fv = static_cast<float>(v), fk = static_cast<float>(k);
  volatile float step = (mode == 1 || mode == 3) ? fv / 255.0f : (255.0f - fv) / 255.0f;
  volatile float offset = fk * step;
  volatile float value = 0.0f;
  switch (mode) {
    case 1:
      value = fv - offset;
      break;
    case 2:
      value = fv + offset;
      break;
    case 3:
      value = offset;
      break;
    default:
      value = 255.0f - offset;
      break;
  }
  return static_cast<int>(value);
}

// A fill without creating a brush: the background colour of an opaque empty text run.
void FillColor(HDC hdc, const RECT& rc, COLORREF cr) {
  ::SetBkColor(hdc, cr);
  ::ExtTextOutW(hdc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
}

HBITMAP LoadResourceBitmap(WORD id) {
  if (!id) return nullptr;
  return static_cast<HBITMAP>(
      ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
}

// A 1-bit mask of the key colour (1 where the background should show), and the bitmap's key
// pixels turned black, so that an AND with the mask and an OR with the bitmap key it.
HBITMAP MakeKeyMask(HBITMAP hBmp, int cx, int cy) {
  HBITMAP hMask = ::CreateBitmap(cx, cy, 1, 1, nullptr);
  if (!hMask) return nullptr;
  HDC hSrc = ::CreateCompatibleDC(nullptr);
  HDC hDst = ::CreateCompatibleDC(nullptr);
  HGDIOBJ oldSrc = ::SelectObject(hSrc, hBmp);
  HGDIOBJ oldDst = ::SelectObject(hDst, hMask);
  ::SetBkColor(hSrc, CCreditsCtrl::kKeyColor);
  ::BitBlt(hDst, 0, 0, cx, cy, hSrc, 0, 0, SRCCOPY);
  ::SetBkColor(hSrc, RGB(255, 255, 255));
  ::SetTextColor(hSrc, RGB(0, 0, 0));
  ::BitBlt(hSrc, 0, 0, cx, cy, hDst, 0, 0, 0x00220326 /* DSna */);
  ::SelectObject(hSrc, oldSrc);
  ::SelectObject(hDst, oldDst);
  ::DeleteDC(hSrc);
  ::DeleteDC(hDst);
  return hMask;
}

}  // namespace

CCreditsCtrl::CCreditsCtrl()
    : m_colors{RGB(0, 0, 0), RGB(255, 0, 0), RGB(255, 255, 0), RGB(0, 255, 255),
               RGB(255, 255, 255)},
      m_heights{21, 19, 17, 15},
      m_periods{70, 40, 10} {}

CCreditsCtrl::~CCreditsCtrl() {
  FreeLineBitmap();
  FreeImage();
  FreeRamp();
}

BOOL CCreditsCtrl::SetCreditText(const wchar_t* pszText, wchar_t chDelimiter) {
  try {
    std::wstring text(pszText ? pszText : L"");
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
      size_t pos = text.find(chDelimiter, start);
      if (pos == std::wstring::npos) {
        lines.push_back(text.substr(start));
        break;
      }
      lines.push_back(text.substr(start, pos - start));
      start = pos + 1;
    }
    m_lines.swap(lines);
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  m_nNextLine = 0;
  m_nTick = 1;
  m_nScrolled = 0;
  return TRUE;
}

int CCreditsCtrl::SetTickPeriod(int nSlot, int nMilliseconds) {
  if (nSlot < 0 || nSlot >= kPeriodSlots) return m_nPeriodSlot;
  // Zero keeps the slot's period; a negative one would become an endless timer.
  if (nMilliseconds > 0) m_periods[nSlot] = nMilliseconds;
  m_nPeriodSlot = nSlot;
  return nSlot;
}

void CCreditsCtrl::SetStyleColor(int nSlot, COLORREF cr) {
  if (nSlot >= 0 && nSlot < kColorSlots) m_colors[nSlot] = cr;
}

void CCreditsCtrl::SetStyleHeight(int nSlot, int nPixels) {
  if (nSlot >= 0 && nSlot < kHeightSlots) m_heights[nSlot] = nPixels;
}

BOOL CCreditsCtrl::StartScroll() {
  if (m_lines.empty() || !m_hWnd) return FALSE;
  FreeImage();
  if (m_nTimer) ::KillTimer(m_hWnd, kTimerId);
  // A timer does not tick faster than about every 10 ms, so a shorter period moves about a
  // pixel per 10 ms. Rather than wake that often, the text then moves in ticks of at least
  // kMinFrameMs, each as many pixels as the short ticks would have moved in the time: the
  // same speed for a fraction of the work.
  const int period = std::max(1, m_periods[m_nPeriodSlot]);
  const int frame = std::max(period, kMinFrameMs);
  m_nStepsPerTick = std::max(1, frame / std::max(period, kTimerResolutionMs));
  m_nTimer = ::SetTimer(m_hWnd, kTimerId, static_cast<UINT>(frame), nullptr);
  m_nNextLine = 0;
  m_nTick = 1;
  m_nScrolled = 0;
  m_bFinished = false;
  return m_nTimer != 0;
}

CCreditsCtrl::State CCreditsCtrl::GetState() const {
  return {m_nNextLine,  m_strLine,      m_nLineHeight, m_nTick,       m_nScrolled,
          m_bFirstPass, m_nColumnWidth, m_bBitmapLine, m_nTimer != 0, m_nStepsPerTick};
}

WORD CCreditsCtrl::BitmapIdOf(const std::wstring& line) {
  size_t i = 0, end = line.empty() ? 0 : line.size() - 1;
  while (i < end && (line[i] == L' ' || (line[i] >= L'\t' && line[i] <= L'\r'))) ++i;
  bool negative = false;
  if (i < end && (line[i] == L'+' || line[i] == L'-')) negative = line[i++] == L'-';
  // Unsigned arithmetic wraps modulo 2^32, so the low 16 bits come out right for any length.
  unsigned value = 0;
  for (; i < end && line[i] >= L'0' && line[i] <= L'9'; ++i) value = value * 10 + (line[i] - L'0');
  if (negative) value = 0u - value;
  return static_cast<WORD>(value & 0xFFFF);
}

LRESULT CCreditsCtrl::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  if (wParam != kTimerId) {
    bHandled = FALSE;
    return 0;
  }
  Tick();
  return 0;
}

bool CCreditsCtrl::NextStep() {
  if (m_bFinished || m_lines.empty()) return false;
  if (!m_bBitmapLine) {
    int c = m_nTick++;
    // A zero or negative style height would stop the text forever (and divide by zero).
    if (c % std::max(1, m_nLineHeight) == 0) {
      if (m_nNextLine >= m_lines.size()) {
        // Run-once: the last line has scrolled in completely; the picture stays.
        m_bFinished = true;
        ::KillTimer(m_hWnd, kTimerId);
        m_nTimer = 0;
        return false;
      }
      m_nTick = 1;
      m_strLine = m_lines[m_nNextLine++];
      m_bMeasure = m_bFirstPass;
      if (m_nNextLine >= m_lines.size()) {
        m_bFirstPass = false;
        if (!m_bRunOnce) m_nNextLine = 0;
      }
      m_nScrolled = 0;
    }
  }
  return true;
}

void CCreditsCtrl::Tick() {
  if (m_bFinished || m_lines.empty()) return;
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  HDC hdc = ::GetDC(m_hWnd);
  const bool image = EnsureImage(hdc, client) != FALSE;
  HDC hMem = image ? ::CreateCompatibleDC(hdc) : nullptr;
  HGDIOBJ hOld = hMem ? ::SelectObject(hMem, m_hImage) : nullptr;
  // Several one-pixel steps in the image, one copy to the screen.
  for (int i = 0; i < m_nStepsPerTick && NextStep(); ++i) {
    if (!hMem) continue;
    RECT column{(client.right - m_nColumnWidth) / 2, 0, 0, client.bottom};
    column.right = column.left + m_nColumnWidth;
    ScrollStep(hMem, column, client);
  }
  if (hMem) {
    ::BitBlt(hdc, 0, 0, client.right, client.bottom, hMem, 0, 0, SRCCOPY);
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
  }
  ::ReleaseDC(m_hWnd, hdc);
}

void CCreditsCtrl::ScrollStep(HDC hMem, RECT column, const RECT& client) {
  const int width = column.right - column.left;
  RECT update{0, client.bottom - 1, client.right, client.bottom};
  if (width > 0) {
    ::BitBlt(hMem, column.left, 0, width, client.bottom - 1, hMem, column.left, 1, SRCCOPY);
    update = {column.left, client.bottom - 1, column.right, client.bottom};
  }
  ++m_nScrolled;

  // Prepare the current line.
  const Style style = StyleOf(m_strLine);
  HFONT hFont = nullptr;
  HGDIOBJ hOldFont = nullptr;
  std::wstring drawn;
  bool bText = false;
  if (style == kBitmap && !m_bBitmapLine) {
    HBITMAP hBmp = LoadResourceBitmap(BitmapIdOf(m_strLine));
    BITMAP bm{};
    if (hBmp && ::GetObjectW(hBmp, sizeof(bm), &bm)) {
      m_hLineBitmap = hBmp;
      m_cxBitmap = bm.bmWidth;
      m_cyBitmap = bm.bmHeight;
      m_hLineMask = m_bKeying ? MakeKeyMask(hBmp, m_cxBitmap, m_cyBitmap) : nullptr;
      m_xBitmap = column.right - width / 2 - m_cxBitmap / 2;
      m_yBitmapBottom = column.bottom;
      m_bBitmapLine = true;
    } else {
      if (hBmp) ::DeleteObject(hBmp);
      // Shown for what it is, in the surface's own font and colour.
      drawn = m_strLine;
      bText = true;
    }
  } else if (style <= kBody) {
    const StyleInfo& info = kStyles[style];
    m_nLineHeight = m_heights[info.heightSlot];
    hFont = CreateStyleFont(style);
    if (hFont) hOldFont = ::SelectObject(hMem, hFont);
    ::SetTextColor(hMem, m_colors[info.colorSlot]);
    drawn = DrawnText(m_strLine, style);
    bText = true;
  }

  PaintBackground(hMem, update, client.right);
  if (m_bMeasure) {
    m_bMeasure = false;
    int measured = 0;
    if (m_bBitmapLine && m_nScrolled == 1) {
      measured = m_cxBitmap;
    } else if (bText && !drawn.empty()) {
      SIZE sz{};
      ::GetTextExtentPoint32W(hMem, drawn.c_str(), static_cast<int>(drawn.size()), &sz);
      measured = sz.cx;
    }
    if (measured > m_nColumnWidth) {
      m_nColumnWidth = std::min(measured, static_cast<int>(client.right));
      column.left = (client.right - m_nColumnWidth) / 2;
      column.right = column.left + m_nColumnWidth;
    }
  }

  ::SetBkMode(hMem, TRANSPARENT);
  if (bText && !drawn.empty()) {
    RECT rc{column.left, column.bottom - m_nScrolled, column.right, column.bottom};
    ::DrawTextW(hMem, drawn.c_str(), static_cast<int>(drawn.size()), &rc,
                DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
  } else if (m_bBitmapLine) {
    DrawBitmap(hMem, m_hLineBitmap, m_hLineMask, m_xBitmap, m_yBitmapBottom - m_nScrolled,
               m_cxBitmap, m_nScrolled);
    if (m_nScrolled >= m_cyBitmap) {
      FreeLineBitmap();
      m_nScrolled = 0;
      m_strLine.clear();
      m_nTick = 1;
    }
  }
  if (hFont) {
    ::SelectObject(hMem, hOldFont);
    ::DeleteObject(hFont);
  }
}

void CCreditsCtrl::PaintBands(HDC hdc, const RECT& area, int clientWidth) const {
  const float band = static_cast<float>(clientWidth) / 256.0f;
  const COLORREF bg = m_colors[kColorBackground];
  for (int k = area.left * 256 / clientWidth; k <= 255; ++k) {
    volatile float left = static_cast<float>(k) * band;
    volatile float right = static_cast<float>(k + 1) * band;
    RECT rc{static_cast<int>(left), area.top, static_cast<int>(right), area.bottom + 1};
    if (rc.left >= area.right) break;
    FillColor(
        hdc, rc,
        RGB(ShadeChannel(m_nShading, GetRValue(bg), k), ShadeChannel(m_nShading, GetGValue(bg), k),
            ShadeChannel(m_nShading, GetBValue(bg), k)));
  }
}

void CCreditsCtrl::PaintBackground(HDC hdc, const RECT& area, int clientWidth) {
  if (m_nShading == 0) {
    FillColor(hdc, area, m_colors[kColorBackground]);
    return;
  }
  if (m_nShading < 1 || m_nShading > 4 || clientWidth <= 0 || area.right <= area.left) return;
  // The ramp does not change from tick to tick: its bands are painted once into a single row,
  // and an area takes the same whole bands from there in one copy.
  const RampKey key{m_colors[kColorBackground], m_nShading, clientWidth};
  if (!m_hRampDC || !(key == m_rampKey)) {
    FreeRamp();
    HBITMAP hRow = ::CreateCompatibleBitmap(hdc, clientWidth, 1);
    m_hRampDC = hRow ? ::CreateCompatibleDC(hdc) : nullptr;
    if (!m_hRampDC) {
      if (hRow) ::DeleteObject(hRow);
      PaintBands(hdc, area, clientWidth);
      return;
    }
    m_hRampOld = ::SelectObject(m_hRampDC, hRow);
    PaintBands(m_hRampDC, RECT{0, 0, clientWidth, 1}, clientWidth);
    m_rampKey = key;
  }
  const float band = static_cast<float>(clientWidth) / 256.0f;
  int first = area.left * 256 / clientWidth, last = first;
  while (last < 255 && static_cast<int>(static_cast<float>(last + 1) * band) < area.right) ++last;
  volatile float left = static_cast<float>(first) * band;
  volatile float right = static_cast<float>(last + 1) * band;
  const int x0 = static_cast<int>(left), x1 = std::min(static_cast<int>(right), clientWidth);
  if (x1 <= x0) return;
  ::StretchBlt(hdc, x0, area.top, x1 - x0, area.bottom + 1 - area.top, m_hRampDC, x0, 0, x1 - x0, 1,
               SRCCOPY);
}

void CCreditsCtrl::FreeRamp() {
  if (!m_hRampDC) return;
  HGDIOBJ hRow = ::SelectObject(m_hRampDC, m_hRampOld);
  ::DeleteObject(hRow);
  ::DeleteDC(m_hRampDC);
  m_hRampDC = nullptr;
}

HFONT CCreditsCtrl::CreateStyleFont(int nStyle) const {
  const StyleInfo& info = kStyles[nStyle];
  return ::CreateFontW(m_heights[info.heightSlot], 0, 0, 0, info.weight, FALSE, FALSE, FALSE, 0,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, 6, L"Arial");
}

void CCreditsCtrl::DrawBitmap(HDC hdc, HBITMAP hBmp, HBITMAP hMask, int x, int y, int cx,
                              int cy) const {
  HDC hSrc = ::CreateCompatibleDC(hdc);
  HGDIOBJ hOld = ::SelectObject(hSrc, hBmp);
  if (hMask) {
    HDC hMaskDC = ::CreateCompatibleDC(hdc);
    HGDIOBJ hOldMask = ::SelectObject(hMaskDC, hMask);
    COLORREF oldText = ::SetTextColor(hdc, RGB(0, 0, 0));
    COLORREF oldBk = ::SetBkColor(hdc, RGB(255, 255, 255));
    ::BitBlt(hdc, x, y, cx, cy, hMaskDC, 0, 0, SRCAND);
    ::BitBlt(hdc, x, y, cx, cy, hSrc, 0, 0, SRCPAINT);
    ::SetTextColor(hdc, oldText);
    ::SetBkColor(hdc, oldBk);
    ::SelectObject(hMaskDC, hOldMask);
    ::DeleteDC(hMaskDC);
  } else {
    ::BitBlt(hdc, x, y, cx, cy, hSrc, 0, 0, SRCCOPY);
  }
  ::SelectObject(hSrc, hOld);
  ::DeleteDC(hSrc);
}

void CCreditsCtrl::FreeLineBitmap() {
  if (m_hLineBitmap) ::DeleteObject(m_hLineBitmap);
  if (m_hLineMask) ::DeleteObject(m_hLineMask);
  m_hLineBitmap = m_hLineMask = nullptr;
  m_bBitmapLine = false;
}

BOOL CCreditsCtrl::EnsureImage(HDC hdc, const RECT& client) {
  if (m_hImage) return TRUE;
  if (client.right <= 0 || client.bottom <= 0) return FALSE;
  m_hImage = ::CreateCompatibleBitmap(hdc, client.right, client.bottom);
  if (!m_hImage) return FALSE;
  HDC hMem = ::CreateCompatibleDC(hdc);
  HGDIOBJ hOld = ::SelectObject(hMem, m_hImage);
  PaintBackground(hMem, client, client.right);
  ::SelectObject(hMem, hOld);
  ::DeleteDC(hMem);
  return TRUE;
}

void CCreditsCtrl::FreeImage() {
  if (m_hImage) ::DeleteObject(m_hImage);
  m_hImage = nullptr;
}

LRESULT CCreditsCtrl::OnPaint(UINT, WPARAM, LPARAM, BOOL&) {
  PAINTSTRUCT ps;
  HDC hdc = ::BeginPaint(m_hWnd, &ps);
  // While scrolling the next tick redraws everything.
  if (!m_nTimer) {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    bool bFresh = !m_hImage;
    if (EnsureImage(hdc, client)) {
      HDC hMem = ::CreateCompatibleDC(hdc);
      HGDIOBJ hOld = ::SelectObject(hMem, m_hImage);
      if (bFresh) BuildFirstPage(hMem, client);
      ::BitBlt(hdc, 0, 0, client.right, client.bottom, hMem, 0, 0, SRCCOPY);
      ::SelectObject(hMem, hOld);
      ::DeleteDC(hMem);
    }
  }
  ::EndPaint(m_hWnd, &ps);
  return 0;
}

void CCreditsCtrl::BuildFirstPage(HDC hMem, const RECT& client) {
  const int width = client.right;
  ::SetBkMode(hMem, TRANSPARENT);
  HGDIOBJ hDefaultFont = ::GetCurrentObject(hMem, OBJ_FONT);
  const COLORREF defaultColor = ::GetTextColor(hMem);
  HFONT hFont = nullptr;  // the font of the last styled line stays current
  int y = 0;
  for (size_t i = 0; i < m_lines.size() && y < client.bottom; ++i) {
    const std::wstring& line = m_lines[i];
    Style style = StyleOf(line);
    std::wstring drawn;
    if (style == kBitmap) {
      HBITMAP hBmp = LoadResourceBitmap(BitmapIdOf(line));
      BITMAP bm{};
      if (hBmp && ::GetObjectW(hBmp, sizeof(bm), &bm)) {
        HBITMAP hMask = m_bKeying ? MakeKeyMask(hBmp, bm.bmWidth, bm.bmHeight) : nullptr;
        DrawBitmap(hMem, hBmp, hMask, client.right - width / 2 - bm.bmWidth / 2, y, bm.bmWidth,
                   bm.bmHeight);
        if (hMask) ::DeleteObject(hMask);
        ::DeleteObject(hBmp);
        y += bm.bmHeight;
        continue;
      }
      if (hBmp) ::DeleteObject(hBmp);
      ::SelectObject(hMem, hDefaultFont);
      ::SetTextColor(hMem, defaultColor);
      drawn = line;
    } else if (style <= kBody) {
      HFONT hNew = CreateStyleFont(style);
      if (hNew) {
        ::SelectObject(hMem, hNew);
        if (hFont) ::DeleteObject(hFont);
        hFont = hNew;
      }
      ::SetTextColor(hMem, m_colors[kStyles[style].colorSlot]);
      drawn = DrawnText(line, style);
    }
    SIZE sz{};
    if (drawn.empty()) {
      ::GetTextExtentPoint32W(hMem, L"W", 1, &sz);
    } else {
      RECT rc{0, y, width, client.bottom};
      ::DrawTextW(hMem, drawn.c_str(), static_cast<int>(drawn.size()), &rc,
                  DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
      ::GetTextExtentPoint32W(hMem, drawn.c_str(), static_cast<int>(drawn.size()), &sz);
    }
    y += sz.cy;
  }
  ::SelectObject(hMem, hDefaultFont);
  if (hFont) ::DeleteObject(hFont);
}

LRESULT CCreditsCtrl::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&) {
  LRESULT lResult = DefWindowProc(uMsg, wParam, lParam);
  m_lines.clear();
  m_nTimer = 0;
  FreeLineBitmap();
  FreeImage();
  FreeRamp();
  return lResult;
}
