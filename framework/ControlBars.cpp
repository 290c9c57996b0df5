#include "ControlBars.h"

#include "FrameWnd.h"
#include "FrameworkRes.h"

SIZE CControlBar::CalcFixedLayout(int cxAvail) {
  RECT rc{};
  ::GetWindowRect(Window().m_hWnd, &rc);
  return SIZE{cxAvail, rc.bottom - rc.top};
}

// --- toolbar -------------------------------------------------------------------------------

CToolBar::~CToolBar() {
  if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
  if (m_hImages) ImageList_Destroy(m_hImages);
}

BOOL CToolBar::CreateEx(CFrameWnd& frame, DWORD dwCtrlStyle, DWORD dwStyle, DWORD dwBarStyle,
                        UINT nID) {
  m_nID = nID;
  m_dwBarStyle = dwBarStyle;
  RECT rc{0, 0, 0, 0};
  // Tool tips are always created; the frame answers them only while CBRS_TOOLTIPS is set.
  if (!CreateControl(0, TOOLBARCLASSNAMEW,
                     dwStyle | dwCtrlStyle | TBSTYLE_TOOLTIPS | CCS_NODIVIDER | CCS_NORESIZE |
                         CCS_NOPARENTALIGN,
                     rc, frame.m_hWnd, nID))
    return FALSE;
  SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
  frame.AddControlBar(*this);
  return TRUE;
}

BOOL CToolBar::LoadToolBar(UINT nIDResource) {
  HINSTANCE hInst = ::GetModuleHandleW(nullptr);
  HRSRC hRes =
      ::FindResourceW(hInst, MAKEINTRESOURCEW(nIDResource), MAKEINTRESOURCEW(RT_TOOLBAR_LAYOUT));
  if (!hRes) return FALSE;
  DWORD cb = ::SizeofResource(hInst, hRes);
  const WORD* p = static_cast<const WORD*>(::LockResource(::LoadResource(hInst, hRes)));
  // version, width, height, count, then count ids; a short resource is rejected whole.
  if (!p || cb < 4 * sizeof(WORD) || p[0] != 1) return FALSE;
  int cx = p[1], cy = p[2], n = p[3];
  if (cb < (4u + static_cast<DWORD>(n)) * sizeof(WORD)) return FALSE;

  if (m_hImages) ImageList_Destroy(m_hImages);
  m_hImages = ImageList_LoadImageW(hInst, MAKEINTRESOURCEW(nIDResource), cx, 0, RGB(192, 192, 192),
                                   IMAGE_BITMAP, LR_CREATEDIBSECTION);
  if (!m_hImages) return FALSE;
  SendMessage(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_hImages));
  SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(cx, cy));

  std::vector<TBBUTTON> buttons;
  m_ids.clear();
  int iImage = 0;
  for (int i = 0; i < n; ++i) {
    TBBUTTON b{};
    UINT id = p[4 + i];
    b.idCommand = static_cast<int>(id);
    if (id == 0) {
      b.fsStyle = BTNS_SEP;
      b.iBitmap = 8;  // width of the gap
    } else {
      b.fsStyle = BTNS_BUTTON;
      b.iBitmap = iImage++;
      b.fsState = TBSTATE_ENABLED;
    }
    buttons.push_back(b);
    m_ids.push_back(id);
  }
  SendMessage(TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
  SendMessage(TB_AUTOSIZE);
  return TRUE;
}

SIZE CToolBar::CalcFixedLayout(int cxAvail) {
  SIZE size{};
  SendMessage(TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
  (void)cxAvail;
  return size;
}

void CToolBar::OnUpdateCmdUI(CFrameWnd& frame) {
  for (UINT id : m_ids) {
    if (id == 0) continue;
    CCmdUI ui(id);
    frame.UpdateCmdUI(ui);
    LRESULT state = SendMessage(TB_GETSTATE, id);
    bool bEnabled = (state & TBSTATE_ENABLED) != 0;
    if (bEnabled != (ui.m_bEnabled != FALSE))
      SendMessage(TB_ENABLEBUTTON, id, MAKELPARAM(ui.m_bEnabled, 0));
    if (ui.m_nCheck >= 0) SendMessage(TB_CHECKBUTTON, id, MAKELPARAM(ui.m_nCheck != 0, 0));
  }
}

// --- dialog bar ----------------------------------------------------------------------------

BOOL CDialogBar::Create(CFrameWnd& frame, UINT nIDTemplate, DWORD dwBarStyle, UINT nID) {
  m_nIDTemplate = nIDTemplate;
  m_nID = nID;
  m_dwBarStyle = dwBarStyle;
  if (!CDialog::Create(frame.m_hWnd)) return FALSE;
  // A child window's id is its command id: the bar toggle finds it by that.
  ::SetWindowLongPtrW(m_hWnd, GWLP_ID, static_cast<LONG_PTR>(nID));
  RECT rc{};
  ::GetWindowRect(m_hWnd, &rc);
  m_sizeDefault = SIZE{rc.right - rc.left, rc.bottom - rc.top};
  ::ShowWindow(m_hWnd, SW_SHOW);
  frame.AddControlBar(*this);
  return TRUE;
}

SIZE CDialogBar::CalcFixedLayout(int cxAvail) {
  // Docked at the top it spans the frame; its height is the template's.
  return SIZE{m_pReBar ? m_sizeDefault.cx : cxAvail, m_sizeDefault.cy};
}

// --- rebar ---------------------------------------------------------------------------------

BOOL CReBar::Create(CFrameWnd& frame, DWORD dwCtrlStyle, DWORD dwStyle, UINT nID) {
  m_nID = nID;
  RECT rc{0, 0, 0, 0};
  if (!CreateControl(WS_EX_TOOLWINDOW, REBARCLASSNAMEW,
                     dwStyle | dwCtrlStyle | CCS_NODIVIDER | CCS_NOPARENTALIGN | CCS_NORESIZE, rc,
                     frame.m_hWnd, nID))
    return FALSE;
  REBARINFO ri{sizeof(ri), 0, nullptr};
  SendMessage(RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&ri));
  frame.AddControlBar(*this);
  return TRUE;
}

BOOL CReBar::AddBar(CControlBar& bar, UINT fBandStyle) {
  HWND hChild = bar.Window().m_hWnd;
  bar.m_pReBar = this;  // a bar sizes itself differently inside a band
  SIZE size = bar.CalcFixedLayout(0);
  REBARBANDINFOW rbi{};
  rbi.cbSize = sizeof(rbi);
  rbi.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_ID | RBBIM_IDEALSIZE;
  rbi.fStyle = fBandStyle;
  rbi.hwndChild = hChild;
  rbi.cxMinChild = static_cast<UINT>(size.cx);
  rbi.cyMinChild = static_cast<UINT>(size.cy);
  rbi.cx = static_cast<UINT>(size.cx) + 16;
  rbi.cxIdeal = static_cast<UINT>(size.cx);
  rbi.wID = bar.m_nID;
  if (!SendMessage(RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&rbi))) {
    bar.m_pReBar = nullptr;
    return FALSE;
  }
  return TRUE;
}

int CReBar::FindBand(HWND hChild) const {
  int n = static_cast<int>(::SendMessageW(m_hWnd, RB_GETBANDCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    REBARBANDINFOW rbi{};
    rbi.cbSize = sizeof(rbi);
    rbi.fMask = RBBIM_CHILD;
    if (::SendMessageW(m_hWnd, RB_GETBANDINFOW, i, reinterpret_cast<LPARAM>(&rbi)) &&
        rbi.hwndChild == hChild)
      return i;
  }
  return -1;
}

void CReBar::ShowBand(CControlBar& bar, bool bShow) {
  int i = FindBand(bar.Window().m_hWnd);
  if (i >= 0) SendMessage(RB_SHOWBAND, i, bShow);
  bar.m_bVisible = bShow;
}

SIZE CReBar::CalcFixedLayout(int cxAvail) {
  return SIZE{cxAvail, static_cast<int>(SendMessage(RB_GETBARHEIGHT))};
}

// --- status bar ----------------------------------------------------------------------------

BOOL CStatusBar::Create(CFrameWnd& frame, DWORD dwStyle, UINT nID) {
  m_nID = nID;
  m_dwBarStyle = CBRS_BOTTOM;
  RECT rc{0, 0, 0, 0};
  if (!CreateControl(0, STATUSCLASSNAMEW,
                     dwStyle | SBARS_SIZEGRIP | CCS_NOPARENTALIGN | CCS_NORESIZE, rc, frame.m_hWnd,
                     nID))
    return FALSE;
  frame.AddControlBar(*this);
  return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* pIDs, int nCount) {
  m_ids.assign(pIDs, pIDs + nCount);
  m_widths.assign(nCount, 0);
  HDC hdc = ::GetDC(m_hWnd);
  HFONT hFont = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
  HGDIOBJ hOld = hFont ? ::SelectObject(hdc, hFont) : nullptr;
  for (int i = 0; i < nCount; ++i) {
    if (pIDs[i] == ID_SEPARATOR) continue;
    // Wide enough for the text it shows when on.
    std::wstring text = LoadResString(pIDs[i]);
    SIZE size{};
    ::GetTextExtentPoint32W(hdc, text.c_str(), static_cast<int>(text.size()), &size);
    m_widths[i] = size.cx + 12;
  }
  if (hOld) ::SelectObject(hdc, hOld);
  ::ReleaseDC(m_hWnd, hdc);
  RECT rc{};
  ::GetClientRect(m_hWnd, &rc);
  UpdateParts(rc.right);
  return TRUE;
}

void CStatusBar::UpdateParts(int cx) {
  if (m_ids.empty()) return;
  // Right edges; the message pane takes what the indicators and the size grip leave.
  std::vector<int> rights(m_ids.size());
  int edge = cx - ::GetSystemMetrics(SM_CXVSCROLL);
  rights.back() = -1;
  for (size_t i = m_ids.size() - 1; i-- > 0;) {
    edge -= m_widths[i + 1];
    rights[i] = edge > 0 ? edge : 0;
  }
  SendMessage(SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data()));
}

void CStatusBar::SetPaneText(int nIndex, const std::wstring& text) {
  if (nIndex < 0 || nIndex >= GetCount()) return;
  if (GetPaneText(nIndex) == text) return;  // avoids flicker at every idle pass
  SendMessage(SB_SETTEXTW, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring CStatusBar::GetPaneText(int nIndex) const {
  LRESULT r = ::SendMessageW(m_hWnd, SB_GETTEXTLENGTHW, static_cast<WPARAM>(nIndex), 0);
  std::wstring s(LOWORD(r) + 1, L'\0');
  ::SendMessageW(m_hWnd, SB_GETTEXTW, static_cast<WPARAM>(nIndex),
                 reinterpret_cast<LPARAM>(s.data()));
  s.resize(LOWORD(r));
  return s;
}

SIZE CStatusBar::CalcFixedLayout(int cxAvail) {
  // Let the control pick its own height for its font.
  RECT rc{};
  ::SendMessageW(m_hWnd, WM_SIZE, 0, 0);
  ::GetWindowRect(m_hWnd, &rc);
  int cy = rc.bottom - rc.top;
  HDC hdc = ::GetDC(m_hWnd);
  HFONT hFont = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
  HGDIOBJ hOld = hFont ? ::SelectObject(hdc, hFont) : nullptr;
  TEXTMETRICW tm{};
  ::GetTextMetricsW(hdc, &tm);
  if (hOld) ::SelectObject(hdc, hOld);
  ::ReleaseDC(m_hWnd, hdc);
  int cyText = tm.tmHeight + 8;
  if (cy < cyText) cy = cyText;
  UpdateParts(cxAvail);
  return SIZE{cxAvail, cy};
}

void CStatusBar::OnUpdateCmdUI(CFrameWnd& frame) {
  // Indicators show their text while their state is on, blank otherwise.
  for (int i = 0; i < GetCount(); ++i) {
    if (m_ids[i] == ID_SEPARATOR) continue;
    CCmdUI ui(m_ids[i]);
    frame.UpdateCmdUI(ui);
    SetPaneText(i, ui.m_bEnabled ? LoadResString(m_ids[i]) : std::wstring());
  }
}
