// Printing and print preview of a view. The program's views print nothing, so a print job is
// one empty page and the preview shows a blank sheet.
#pragma once
#include "Wnd.h"

class CView;
class CFrameWnd;

// Prints the view: the print dialog first (through the modal runner) unless bAsk is false,
// which uses the chosen or default printer. FALSE when cancelled or when printing failed.
BOOL PrintView(CView& view, bool bAsk);

// The preview: covers the frame's client area with a blank page and two buttons.
class CPreviewWnd : public CWnd {
 public:
  CPreviewWnd(CFrameWnd& frame, CView& view) : m_frame(frame), m_view(view) {}
  BOOL Create();
  // Paper size in tenths of a millimetre (A4 when no printer answers).
  SIZE GetPaperSize() const { return m_sizePaper; }
  RECT GetPageRect() const;

  enum { IDC_PREVIEW_PRINT = 0x100, IDC_PREVIEW_CLOSE = 0x101 };
  static const UINT WM_ENDPREVIEW = WM_APP + 0x3F10;  // wParam: print after closing

  // clang-format off
  BEGIN_MSG_MAP(CPreviewWnd)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    MESSAGE_HANDLER(WM_KEYDOWN, OnKeyDown)
    MESSAGE_HANDLER(WM_ENDPREVIEW, OnEndPreview)
  END_MSG_MAP()
  // clang-format on

 private:
  LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnCommand(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnKeyDown(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnEndPreview(UINT, WPARAM, LPARAM, BOOL&);
  int ButtonStripHeight() const { return 32; }

  CFrameWnd& m_frame;
  CView& m_view;
  SIZE m_sizePaper{2100, 2970};
  HWND m_hPrint = nullptr;
  HWND m_hClose = nullptr;
};
