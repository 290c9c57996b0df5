// A view: a window that shows the document, usually a pane of the frame's splitter.
#pragma once
#include "FrameworkRes.h"
#include "Wnd.h"

class CDocument;

class CView : public CWnd {
 public:
  // Creates the view window as a child with that id and attaches it to the document.
  virtual BOOL Create(HWND hParent, UINT nID, CDocument* pDoc, const RECT& rc);
  CDocument* GetDocument() const { return m_pDocument; }

  // Runs when the document was created or loaded (again for every File New/Open).
  virtual void OnInitialUpdate() {}
  // Draws the document on a printer or preview page; nothing by default.
  virtual void OnDraw(HDC) {}

  // clang-format off
  BEGIN_MSG_MAP(CView)
    MESSAGE_HANDLER(WM_FW_INITIALUPDATE, OnInitialUpdateMsg)
    MESSAGE_HANDLER(WM_SETFOCUS, OnSetFocus)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    COMMAND_ID_HANDLER(ID_FILE_PRINT, OnFilePrint)
    COMMAND_ID_HANDLER(ID_FILE_PRINT_DIRECT, OnFilePrintDirect)
    COMMAND_ID_HANDLER(ID_FILE_PRINT_PREVIEW, OnFilePrintPreview)
    COMMAND_ID_HANDLER(ID_NEXT_PANE, OnNextPane)
    COMMAND_ID_HANDLER(ID_PREV_PANE, OnPrevPane)
  END_MSG_MAP()
  // clang-format on

 protected:
  // Window class and style of the view: our own plain class unless a control view says otherwise.
  virtual LPCWSTR GetViewClass() const;
  virtual DWORD GetViewStyle() const { return WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }
  virtual DWORD GetViewExStyle() const { return WS_EX_CLIENTEDGE; }

  void OnFilePrint();
  void OnFilePrintDirect();
  void OnFilePrintPreview();
  void OnNextPane();
  void OnPrevPane();

 private:
  friend class CDocument;
  LRESULT OnInitialUpdateMsg(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnSetFocus(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);
  CDocument* m_pDocument = nullptr;
};
