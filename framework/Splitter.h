// Static splitter: a fixed grid of panes with draggable bars between the columns.
#pragma once
#include <memory>
#include <vector>

#include "FrameworkRes.h"
#include "Wnd.h"

class CView;
class CDocument;

class CSplitterWnd : public CWnd {
 public:
  BOOL CreateStatic(HWND hParent, int nRows, int nCols, UINT nID = AFX_IDW_PANE_FIRST);
  // Creates the view in its cell; sizeInit.cx is the column's width (the last column takes
  // what is left). The splitter owns the view from here on.
  BOOL CreateView(int row, int col, std::unique_ptr<CView> pView, SIZE sizeInit, CDocument* pDoc);
  CWnd* GetPane(int row, int col) const;
  int IdFromRowCol(int row, int col) const { return AFX_IDW_PANE_FIRST + row * 16 + col; }
  int GetRowCount() const { return m_nRows; }
  int GetColumnCount() const { return m_nCols; }
  void SetColumnInfo(int col, int cxIdeal);
  int GetColumnWidth(int col) const;
  // Moves the focus to the next (or previous) pane, wrapping around.
  void ActivateNext(bool bPrev);
  void RecalcLayout();

  static const int kSplitterGap = 6;

  // clang-format off
  BEGIN_MSG_MAP(CSplitterWnd)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    MESSAGE_HANDLER(WM_LBUTTONUP, OnLButtonUp)
    MESSAGE_HANDLER(WM_CAPTURECHANGED, OnCaptureChanged)
  END_MSG_MAP()
  // clang-format on

 private:
  LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnSetCursor(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnLButtonDown(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnMouseMove(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnLButtonUp(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnCaptureChanged(UINT, WPARAM, LPARAM, BOOL&);
  // The column bar under x (the bar right of that column), or -1.
  int HitBar(int x) const;
  // Moves a pane to rc (splitter client coordinates), painting it anew when it changed.
  void MovePane(HWND hPane, const RECT& rc);

  int m_nRows = 0;
  int m_nCols = 0;
  std::vector<int> m_colIdeal;
  std::vector<int> m_colCur;
  std::vector<std::unique_ptr<CView>> m_panes;  // row-major
  int m_nDragBar = -1;
  int m_nDragOffset = 0;
};
