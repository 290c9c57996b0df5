#include "Splitter.h"

#include <windowsx.h>

#include <algorithm>

#include "View.h"

BOOL CSplitterWnd::CreateStatic(HWND hParent, int nRows, int nCols, UINT nID) {
  if (nRows < 1 || nCols < 1 || nRows > 16 || nCols > 16) return FALSE;
  m_nRows = nRows;
  m_nCols = nCols;
  m_colIdeal.assign(nCols, 0);
  m_colCur.assign(nCols, 0);
  m_panes.clear();
  m_panes.resize(static_cast<size_t>(nRows * nCols));
  LPCWSTR pszClass = RegisterClass(L"PloverSplitter", CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW),
                                   reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  return pszClass && CreateEx(0, pszClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                              0, 0, hParent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)));
}

BOOL CSplitterWnd::CreateView(int row, int col, std::unique_ptr<CView> pView, SIZE sizeInit,
                              CDocument* pDoc) {
  if (!pView || row < 0 || row >= m_nRows || col < 0 || col >= m_nCols) return FALSE;
  auto& slot = m_panes[static_cast<size_t>(row * m_nCols + col)];
  if (slot) return FALSE;
  RECT rc{0, 0, sizeInit.cx, sizeInit.cy};
  if (!pView->Create(m_hWnd, static_cast<UINT>(IdFromRowCol(row, col)), pDoc, rc)) return FALSE;
  m_colIdeal[col] = sizeInit.cx;
  slot = std::move(pView);
  RecalcLayout();
  return TRUE;
}

CWnd* CSplitterWnd::GetPane(int row, int col) const {
  if (row < 0 || row >= m_nRows || col < 0 || col >= m_nCols) return nullptr;
  CView* p = m_panes[static_cast<size_t>(row * m_nCols + col)].get();
  return (p && p->m_hWnd) ? p : nullptr;
}

void CSplitterWnd::SetColumnInfo(int col, int cxIdeal) {
  if (col >= 0 && col < m_nCols) m_colIdeal[col] = cxIdeal < 0 ? 0 : cxIdeal;
}

int CSplitterWnd::GetColumnWidth(int col) const {
  return (col >= 0 && col < m_nCols) ? m_colCur[col] : 0;
}

void CSplitterWnd::MovePane(HWND hPane, const RECT& rc) {
  RECT old{};
  ::GetWindowRect(hPane, &old);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&old), 2);
  if (::EqualRect(&old, &rc)) return;
  // The old picture is not kept: copied to the new place it left the list's first column
  // headings blank after the tree was widened. Children (the headings) are painted anew too.
  ::SetWindowPos(hPane, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  ::RedrawWindow(hPane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void CSplitterWnd::RecalcLayout() {
  if (!m_hWnd) return;
  RECT rc{};
  ::GetClientRect(m_hWnd, &rc);
  int x = 0;
  for (int col = 0; col < m_nCols; ++col) {
    int left = rc.right - x;
    int cx = (col == m_nCols - 1) ? left : std::min(m_colIdeal[col], left);
    if (cx < 0) cx = 0;
    m_colCur[col] = cx;
    int y = 0;
    int cyRow = m_nRows > 0 ? (rc.bottom - (m_nRows - 1) * kSplitterGap) / m_nRows : 0;
    for (int row = 0; row < m_nRows; ++row) {
      if (CWnd* pPane = GetPane(row, col)) MovePane(pPane->m_hWnd, RECT{x, y, x + cx, y + cyRow});
      y += cyRow + kSplitterGap;
    }
    x += cx + kSplitterGap;
  }
}

void CSplitterWnd::ActivateNext(bool bPrev) {
  int n = m_nRows * m_nCols;
  if (n == 0) return;
  HWND hFocus = ::GetFocus();
  int current = -1;
  for (int i = 0; i < n; ++i) {
    CView* p = m_panes[static_cast<size_t>(i)].get();
    if (p && p->m_hWnd && (hFocus == p->m_hWnd || ::IsChild(p->m_hWnd, hFocus))) current = i;
  }
  for (int step = 1; step <= n; ++step) {
    int i = current < 0 ? (bPrev ? n - step : step - 1)
                        : ((current + (bPrev ? -step : step)) % n + n) % n;
    CView* p = m_panes[static_cast<size_t>(i)].get();
    if (p && p->m_hWnd && ::IsWindowVisible(p->m_hWnd)) {
      ::SetFocus(p->m_hWnd);
      return;
    }
  }
}

int CSplitterWnd::HitBar(int x) const {
  int edge = 0;
  for (int col = 0; col + 1 < m_nCols; ++col) {
    edge += m_colCur[col];
    if (x >= edge && x < edge + kSplitterGap) return col;
    edge += kSplitterGap;
  }
  return -1;
}

LRESULT CSplitterWnd::OnSize(UINT, WPARAM, LPARAM, BOOL&) {
  RecalcLayout();
  return 0;
}

LRESULT CSplitterWnd::OnSetCursor(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  POINT pt{};
  ::GetCursorPos(&pt);
  ::ScreenToClient(m_hWnd, &pt);
  if (reinterpret_cast<HWND>(wParam) == m_hWnd && LOWORD(lParam) == HTCLIENT && HitBar(pt.x) >= 0) {
    ::SetCursor(::LoadCursorW(nullptr, IDC_SIZEWE));
    return TRUE;
  }
  bHandled = FALSE;
  return 0;
}

LRESULT CSplitterWnd::OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL&) {
  int x = GET_X_LPARAM(lParam);
  m_nDragBar = HitBar(x);
  if (m_nDragBar < 0) return 0;
  int edge = 0;
  for (int col = 0; col <= m_nDragBar; ++col)
    edge += m_colCur[col] + (col < m_nDragBar ? kSplitterGap : 0);
  m_nDragOffset = x - edge;
  ::SetCapture(m_hWnd);
  return 0;
}

LRESULT CSplitterWnd::OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL&) {
  if (m_nDragBar < 0 || ::GetCapture() != m_hWnd) return 0;
  int left = 0;
  for (int col = 0; col < m_nDragBar; ++col) left += m_colCur[col] + kSplitterGap;
  int cx = GET_X_LPARAM(lParam) - m_nDragOffset - left;
  SetColumnInfo(m_nDragBar, cx);
  RecalcLayout();
  return 0;
}

LRESULT CSplitterWnd::OnLButtonUp(UINT, WPARAM, LPARAM, BOOL&) {
  if (::GetCapture() == m_hWnd) ::ReleaseCapture();
  m_nDragBar = -1;
  return 0;
}

LRESULT CSplitterWnd::OnCaptureChanged(UINT, WPARAM, LPARAM, BOOL&) {
  m_nDragBar = -1;
  return 0;
}
