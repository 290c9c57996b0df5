#include "PropertyList.h"

#include <commdlg.h>
#include <windowsx.h>

#include "ModalRunner.h"
#include "TextRes.h"
#include "UiLanguage.h"

namespace {

const int kHitZone = 5;      // pixels either side of the splitter that grab it
const int kDragMargin = 10;  // the pointer stays this far in from both sides while dragging
const int kDropRoom = 100;   // room below a choice row for the open drop-down list
const int kEditorGap = 3;    // text box and button stop this far above the row's bottom
const int kButtonWidth = 25;

// A leading decimal integer as a C runtime's atoi reads it, keeping only its low 8 bits.
BYTE LeadingByte(const std::wstring& s, size_t from, size_t to) {
  if (to > s.size()) to = s.size();
  size_t i = from;
  while (i < to && (s[i] == L' ' || (s[i] >= L'\t' && s[i] <= L'\r'))) ++i;
  bool bNegative = false;
  if (i < to && (s[i] == L'+' || s[i] == L'-')) bNegative = s[i++] == L'-';
  unsigned value = 0;
  for (; i < to && s[i] >= L'0' && s[i] <= L'9'; ++i) value = (value * 10 + (s[i] - L'0')) & 0xFF;
  return static_cast<BYTE>(bNegative ? 0u - value : value);
}

}  // namespace

CPropertyList::CPropertyList() {
  m_hSizeCursor = ::LoadCursorW(nullptr, IDC_SIZEWE);
  HDC hdc = ::GetDC(nullptr);
  int dpi = hdc ? ::GetDeviceCaps(hdc, LOGPIXELSY) : 96;
  if (hdc) ::ReleaseDC(nullptr, hdc);
  m_hEditorFont = ::CreateFontW(-::MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
}

CPropertyList::~CPropertyList() {
  // The editors use the font until the window is gone.
  if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
  if (m_hEditorFont) ::DeleteObject(m_hEditorFont);
}

BOOL CPropertyList::Create(DWORD dwStyle, const RECT& rc, HWND hParent, UINT nID) {
  dwStyle = (dwStyle & ~(LBS_SORT | LBS_OWNERDRAWVARIABLE)) | LBS_OWNERDRAWFIXED;
  m_nSplitter = 0;
  m_bTracking = FALSE;
  m_nTrackTop = m_nTrackBottom = m_nTrackX = 0;
  if (!CreateControl(0, L"LISTBOX", dwStyle, rc, hParent, nID)) return FALSE;
  // The list measured its rows while being created, before this object saw its messages.
  SendMessage(LB_SETITEMHEIGHT, 0, kRowHeight);
  return TRUE;
}

int CPropertyList::AddRow(CPropertyRow* row) {
  LRESULT index = SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L""));
  if (index >= 0)
    SendMessage(LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(row));
  return static_cast<int>(index);
}

CPropertyRow* CPropertyList::GetRow(int index) const {
  if (!m_hWnd || index < 0) return nullptr;
  LRESULT data = SendMessage(LB_GETITEMDATA, static_cast<WPARAM>(index));
  return data == LB_ERR ? nullptr : reinterpret_cast<CPropertyRow*>(data);
}

std::wstring CPropertyList::GetRowValue(int index) const {
  CPropertyRow* row = GetRow(index);
  return row ? row->m_strValue : std::wstring();
}

void CPropertyList::SetRowValue(int index, const std::wstring& value) {
  CPropertyRow* row = GetRow(index);
  if (!row) return;
  row->m_strValue = value;
  Redraw();
}

void CPropertyList::Redraw() {
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

COLORREF CPropertyList::ParseColorText(const std::wstring& text) {
  if (text.find(L"RGB") == std::wstring::npos) return RGB(0, 0, 0);
  // A separator that is missing ends its number at the end of the text.
  size_t c1 = text.find(L',', 3);
  size_t c2 = c1 == std::wstring::npos ? c1 : text.find(L',', c1 + 1);
  size_t c3 = c2 == std::wstring::npos ? c2 : text.find(L')', c2 + 1);
  size_t n = text.size();
  BYTE r = LeadingByte(text, 4, c1);
  BYTE g = c1 == std::wstring::npos ? 0 : LeadingByte(text, c1 + 1, c2);
  BYTE b =
      c2 == std::wstring::npos ? 0 : LeadingByte(text, c2 + 1, c3 == std::wstring::npos ? n : c3);
  return RGB(r, g, b);
}

std::vector<std::wstring> CPropertyList::SplitChoices(const std::wstring& choices) {
  std::vector<std::wstring> pieces;
  size_t start = 0;
  for (size_t bar = choices.find(L'|'); bar != std::wstring::npos;
       bar = choices.find(L'|', start)) {
    pieces.push_back(choices.substr(start, bar - start));
    start = bar + 1;
  }
  return pieces;
}

LRESULT CPropertyList::OnMeasureItem(UINT, WPARAM, LPARAM lParam, BOOL&) {
  reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = kRowHeight;
  return TRUE;
}

LRESULT CPropertyList::OnDrawItem(UINT, WPARAM, LPARAM lParam, BOOL&) {
  auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
  if (dis->itemID == static_cast<UINT>(-1)) return TRUE;
  CPropertyRow* row = reinterpret_cast<CPropertyRow*>(dis->itemData);
  RECT rc = dis->rcItem;
  if (m_nSplitter == 0) m_nSplitter = (rc.right - rc.left) / 2;
  RECT rcName = rc;
  rcName.right = m_nSplitter - 1;
  RECT rcValue = rc;
  rcValue.left = m_nSplitter;

  HDC hdc = dis->hDC;
  HBRUSH hbrName = ::CreateSolidBrush(m_crNameBk);
  HBRUSH hbrValue = ::CreateSolidBrush(m_crValueBk);
  ::FillRect(hdc, &rcName, hbrName);
  ::FillRect(hdc, &rcValue, hbrValue);
  ::DeleteObject(hbrName);
  ::DeleteObject(hbrValue);
  ::DrawEdge(hdc, &rcName, EDGE_SUNKEN, BF_RIGHT | BF_BOTTOM);
  ::DrawEdge(hdc, &rcValue, EDGE_SUNKEN, BF_BOTTOM);
  if (!row) return TRUE;

  HFONT hFont = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
  HGDIOBJ hOldFont = hFont ? ::SelectObject(hdc, hFont) : nullptr;
  int oldMode = ::SetBkMode(hdc, TRANSPARENT);
  COLORREF oldColor = ::SetTextColor(hdc, m_crNameText);
  // No prefix processing: an '&' in an item name or value is shown as it is.
  const UINT fmt = DT_LEFT | DT_SINGLELINE | DT_NOPREFIX;
  RECT rcText = {rcName.left + 3, rcName.top + 3, rcName.right - 3, rcName.bottom + 3};
  ::DrawTextW(hdc, row->m_strName.c_str(), -1, &rcText, fmt);
  ::SetTextColor(hdc, m_crValueText);
  rcText = {rcValue.left + 3, rcValue.top + 3, rcValue.right + 3, rcValue.bottom + 3};
  ::DrawTextW(hdc, row->m_strValue.c_str(), -1, &rcText, fmt);
  ::SetTextColor(hdc, oldColor);
  ::SetBkMode(hdc, oldMode);
  if (hOldFont) ::SelectObject(hdc, hOldFont);
  return TRUE;
}

HWND CPropertyList::MakeEditor(LPCWSTR pszClass, LPCWSTR pszText, DWORD dwStyle, const RECT& rc,
                               UINT nID) {
  HWND h = ::CreateWindowExW(0, pszClass, pszText, dwStyle, rc.left, rc.top, rc.right - rc.left,
                             rc.bottom - rc.top, m_hWnd,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)),
                             ::GetModuleHandleW(nullptr), nullptr);
  if (h) ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(m_hEditorFont), TRUE);
  return h;
}

LRESULT CPropertyList::OnSelChange(WORD, WORD, HWND, BOOL&) {
  // The current row can lie past the end (row 1 of a one-row list before any click).
  CPropertyRow* row = GetRow(m_nCurRow);
  RECT rc;
  if (!row || SendMessage(LB_GETITEMRECT, static_cast<WPARAM>(m_nCurRow),
                          reinterpret_cast<LPARAM>(&rc)) == LB_ERR)
    return 0;
  rc.left = m_nSplitter;
  if (m_hButton) ::ShowWindow(m_hButton, SW_HIDE);
  if (row->m_nKind == ROW_CHOICE)
    ShowChoiceEditor(row, rc);
  else if (row->m_nKind == ROW_TEXT)
    ShowTextEditor(row, rc);
  else
    ShowChooserButton(rc);
  return 0;
}

void CPropertyList::ShowChoiceEditor(CPropertyRow* row, RECT rc) {
  // A reused list keeps the same room for its drop-down part as a new one.
  rc.bottom += kDropRoom;
  if (!m_hChoice) {
    m_hChoice = MakeEditor(
        L"COMBOBOX", L"",
        WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_NOINTEGRALHEIGHT,
        rc, kChoiceId);
    if (!m_hChoice) return;
  } else {
    ::MoveWindow(m_hChoice, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  }
  ::SendMessageW(m_hChoice, CB_RESETCONTENT, 0, 0);
  for (const std::wstring& piece : SplitChoices(row->m_strChoices))
    ::SendMessageW(m_hChoice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(piece.c_str()));
  ::ShowWindow(m_hChoice, SW_SHOW);
  ::SetFocus(m_hChoice);
  // Selecting by message changes nothing: the value changes only when the user picks.
  LRESULT index = ::SendMessageW(m_hChoice, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(row->m_strValue.c_str()));
  ::SendMessageW(m_hChoice, CB_SETCURSEL, index == CB_ERR ? 0 : static_cast<WPARAM>(index), 0);
}

void CPropertyList::ShowTextEditor(CPropertyRow* row, RECT rc) {
  rc.bottom -= kEditorGap;
  if (!m_hText) {
    m_hText =
        MakeEditor(L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, rc, kTextId);
    if (!m_hText) return;
  } else {
    ::MoveWindow(m_hText, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  }
  ::ShowWindow(m_hText, SW_SHOW);
  ::SetFocus(m_hText);
  ::SetWindowTextW(m_hText, row->m_strValue.c_str());
}

void CPropertyList::ShowChooserButton(RECT rc) {
  rc.bottom -= kEditorGap;
  if (rc.right - rc.left > kButtonWidth) rc.left = rc.right - kButtonWidth;
  if (!m_hButton) {
    m_hButton = MakeEditor(L"BUTTON", L"...", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, rc, kButtonId);
    if (!m_hButton) return;
  } else {
    ::MoveWindow(m_hButton, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  }
  ::ShowWindow(m_hButton, SW_SHOW);
  ::SetFocus(m_hButton);
}

LRESULT CPropertyList::OnChoiceChange(WORD, WORD, HWND, BOOL&) {
  CPropertyRow* row = GetRow(m_nCurRow);
  LRESULT index = ::SendMessageW(m_hChoice, CB_GETCURSEL, 0, 0);
  if (!row || index == CB_ERR) return 0;
  LRESULT len = ::SendMessageW(m_hChoice, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  std::wstring text(len > 0 ? static_cast<size_t>(len) + 1 : 1, L'\0');
  len = ::SendMessageW(m_hChoice, CB_GETLBTEXT, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(text.data()));
  text.resize(len > 0 ? static_cast<size_t>(len) : 0);
  row->m_strValue = text;
  return 0;
}

LRESULT CPropertyList::OnTextChange(WORD, WORD, HWND, BOOL&) {
  CPropertyRow* row = GetRow(m_nCurRow);
  if (!row) return 0;
  int len = ::GetWindowTextLengthW(m_hText);
  std::wstring text(static_cast<size_t>(len) + 1, L'\0');
  len = ::GetWindowTextW(m_hText, text.data(), len + 1);
  text.resize(len > 0 ? static_cast<size_t>(len) : 0);
  row->m_strValue = text;
  return 0;
}

LRESULT CPropertyList::OnEditorKillFocus(WORD, WORD, HWND hCtl, BOOL&) {
  ::ShowWindow(hCtl, SW_HIDE);
  Redraw();
  return 0;
}

LRESULT CPropertyList::OnChooser(WORD, WORD, HWND, BOOL&) {
  CPropertyRow* row = GetRow(m_nCurRow);
  if (!row) return 0;
  std::wstring value;
  BOOL bOk = FALSE;
  if (row->m_nKind == ROW_COLOR)
    bOk = RunColorChooser(row, value);
  else if (row->m_nKind == ROW_FILE)
    bOk = RunFileChooser(row, value);
  else if (row->m_nKind == ROW_FONT)
    bOk = RunFontChooser(value);
  if (!bOk) return 0;
  if (m_hButton) ::ShowWindow(m_hButton, SW_HIDE);
  row->m_strValue = value;
  Redraw();
  return 0;
}

BOOL CPropertyList::RunColorChooser(CPropertyRow* row, std::wstring& value) {
  CHOOSECOLORW cc{};
  cc.lStructSize = sizeof(cc);
  cc.hwndOwner = m_hWnd;
  cc.rgbResult = ParseColorText(row->m_strValue);
  cc.lpCustColors = m_customColors;
  cc.Flags = CC_RGBINIT;
  if (!GetModalRunner().ChooseColor(cc)) return FALSE;
  wchar_t buf[64];
  wsprintfW(buf, L"RGB(%d,%d,%d)", GetRValue(cc.rgbResult), GetGValue(cc.rgbResult),
            GetBValue(cc.rgbResult));
  value = buf;
  return TRUE;
}

BOOL CPropertyList::RunFileChooser(CPropertyRow* row, std::wstring& value) {
  wchar_t file[MAX_PATH] = {};
  std::wstring folder;
  size_t slash = row->m_strValue.rfind(L'\\');
  // A folder longer than the chooser takes would be cut to a different one: use none.
  if (slash != std::wstring::npos && slash < MAX_PATH) folder = row->m_strValue.substr(0, slash);
  // The filter's pairs are '|'-separated in the resource, NUL-separated for the chooser.
  std::wstring filter = LoadResString(IDS_FILE_FILTER);
  for (wchar_t& c : filter)
    if (c == L'|') c = L'\0';
  const std::wstring title = LoadResString(IDS_CHOOSE_FILE);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = m_hWnd;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrTitle = title.c_str();
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
  if (!GetModalRunner().GetFileName(ofn, TRUE)) return FALSE;
  value = file;
  return TRUE;
}

BOOL CPropertyList::RunFontChooser(std::wstring& value) {
  LOGFONTW lf{};
  CHOOSEFONTW cf{};
  cf.lStructSize = sizeof(cf);
  cf.hwndOwner = m_hWnd;
  cf.lpLogFont = &lf;
  cf.Flags = CF_SCREENFONTS | CF_EFFECTS;
  if (!GetModalRunner().ChooseFont(cf)) return FALSE;
  value = lf.lfFaceName;
  return TRUE;
}

void CPropertyList::InvertLine(int x) {
  HDC hdc = ::GetDC(m_hWnd);
  int oldRop = ::SetROP2(hdc, R2_NOT);
  ::MoveToEx(hdc, x, m_nTrackTop, nullptr);
  ::LineTo(hdc, x, m_nTrackBottom);
  ::SetROP2(hdc, oldRop);
  ::ReleaseDC(m_hWnd, hdc);
}

LRESULT CPropertyList::OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  int x = GET_X_LPARAM(lParam);
  if (x < m_nSplitter - kHitZone || x > m_nSplitter + kHitZone) {
    bHandled = FALSE;
    return 0;
  }
  m_bTracking = TRUE;
  ::SetCursor(m_hSizeCursor);
  RECT rcWindow;
  ::GetWindowRect(m_hWnd, &rcWindow);
  rcWindow.left += kDragMargin;
  rcWindow.right -= kDragMargin;
  ::ClipCursor(&rcWindow);
  if (m_hChoice) ::ShowWindow(m_hChoice, SW_HIDE);
  if (m_hText) ::ShowWindow(m_hText, SW_HIDE);
  RECT rcClient;
  ::GetClientRect(m_hWnd, &rcClient);
  m_nTrackTop = rcClient.top;
  m_nTrackBottom = rcClient.bottom;
  m_nTrackX = x;
  InvertLine(x);
  ::SetCapture(m_hWnd);
  return 0;
}

LRESULT CPropertyList::OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  int x = GET_X_LPARAM(lParam);
  if (m_bTracking) {
    InvertLine(m_nTrackX);
    m_nTrackX = x;
    InvertLine(x);
    return 0;
  }
  if (x >= m_nSplitter - kHitZone && x <= m_nSplitter + kHitZone) {
    ::SetCursor(m_hSizeCursor);
    return 0;
  }
  bHandled = FALSE;
  return 0;
}

void CPropertyList::EndDrag(int x, BOOL bPlace) {
  m_bTracking = FALSE;  // before ReleaseCapture, whose WM_CAPTURECHANGED comes back here
  if (::GetCapture() == m_hWnd) ::ReleaseCapture();
  ::ClipCursor(nullptr);
  InvertLine(x);
  if (bPlace) m_nSplitter = x;
  Redraw();
}

LRESULT CPropertyList::OnLButtonUp(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  if (m_bTracking) {
    EndDrag(GET_X_LPARAM(lParam), TRUE);
    return 0;
  }
  LRESULT hit = SendMessage(LB_ITEMFROMPOINT, 0, lParam);
  m_nCurRow = LOWORD(hit);
  bHandled = FALSE;
  return 0;
}

LRESULT CPropertyList::OnCaptureChanged(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  // Losing the mouse in mid-drag (another window took it) must not leave the pointer
  // confined: end the drag where the splitter was.
  if (m_bTracking && reinterpret_cast<HWND>(lParam) != m_hWnd) EndDrag(m_nTrackX, FALSE);
  bHandled = FALSE;
  return 0;
}

LRESULT CPropertyList::OnScroll(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  // An editor would stay over the wrong row; its value is already written.
  HWND hFocus = ::GetFocus();
  if (hFocus && (hFocus == m_hChoice || hFocus == m_hText)) ::SetFocus(m_hWnd);
  if (m_hChoice) ::ShowWindow(m_hChoice, SW_HIDE);
  if (m_hText) ::ShowWindow(m_hText, SW_HIDE);
  if (m_hButton) ::ShowWindow(m_hButton, SW_HIDE);
  bHandled = FALSE;
  return 0;
}

LRESULT CPropertyList::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  if (m_bTracking) {
    m_bTracking = FALSE;
    ::ClipCursor(nullptr);
  }
  // The editors die with the list box, their parent.
  m_hChoice = m_hText = m_hButton = nullptr;
  bHandled = FALSE;
  return 0;
}
