// Single-document frame window: bars around a client window, command routing with enable
// rules, menu and toolbar prompts, accelerators and the bar toggles of the View menu.
#pragma once
#include "ControlBars.h"

#include <commctrl.h>

#include <memory>
#include <vector>

#include "Document.h"
#include "FrameworkRes.h"
#include "Wnd.h"

class CView;
class CPreviewWnd;

class CFrameWnd : public CWnd {
 public:
  CFrameWnd();
  ~CFrameWnd() override;

  // Creates the window with the menu, icon, accelerators and title of the resource id.
  BOOL LoadFrame(UINT nIDResource, DWORD dwStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
  virtual BOOL PreTranslateMessage(MSG* pMsg);

  CView* GetActiveView() const { return m_pActiveView; }
  void SetActiveView(CView* pView, bool bNotify = true);
  CDocument* GetActiveDocument() const;
  void InitialUpdateFrame(CDocument* pDoc);
  void OnUpdateFrameTitle();

  // Command routing: the frame, the active view, its document, then the application.
  BOOL RouteCommand(UINT uMsg, WPARAM wParam, LPARAM lParam);
  // Fills ui with the command's state; with no handler anywhere the command is disabled.
  void UpdateCmdUI(CCmdUI& ui);
  void OnIdleUpdateCmdUI();

  void AddControlBar(CControlBar& bar) { m_bars.push_back(&bar); }
  CControlBar* GetControlBar(UINT nID) const;
  void ShowControlBar(CControlBar& bar, bool bShow);
  void RecalcLayout();
  // Shows text in the message pane of the status bar (the idle prompt for the id 57345).
  void SetMessageText(const std::wstring& text);
  void SetMessageText(UINT nID);
  CStatusBar* GetMessageBar() const;

  void BeginPrintPreview(CView* pView);
  void EndPrintPreview();
  bool IsInPrintPreview() const { return m_pPreview != nullptr; }

  HWND m_hWndClient = nullptr;  // the window between the bars: a view or a splitter
  CSingleDocTemplate* m_pTemplate = nullptr;
  CDocument* m_pCreatingDoc = nullptr;  // during LoadFrame only
  HACCEL m_hAccelTable = nullptr;

  // clang-format off
  BEGIN_MSG_MAP(CFrameWnd)
    MESSAGE_HANDLER(WM_CREATE, OnCreateMsg)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_CLOSE, OnClose)
    MESSAGE_HANDLER(WM_NCDESTROY, OnNcDestroy)
    MESSAGE_HANDLER(WM_SETFOCUS, OnSetFocus)
    MESSAGE_HANDLER(WM_INITMENUPOPUP, OnInitMenuPopup)
    MESSAGE_HANDLER(WM_MENUSELECT, OnMenuSelect)
    MESSAGE_HANDLER(WM_EXITMENULOOP, OnExitMenuLoop)
    NOTIFY_CODE_HANDLER(TTN_GETDISPINFOW, OnToolTipText)
    NOTIFY_CODE_HANDLER(TBN_HOTITEMCHANGE, OnHotItemChange)
    COMMAND_ID_HANDLER(ID_VIEW_TOOLBAR, OnViewToolBar)
    COMMAND_ID_HANDLER(ID_VIEW_STATUS_BAR, OnViewStatusBar)
    UPDATE_COMMAND_UI(ID_VIEW_TOOLBAR, OnUpdateControlBarMenu)
    UPDATE_COMMAND_UI(ID_VIEW_STATUS_BAR, OnUpdateControlBarMenu)
    UPDATE_COMMAND_UI_RANGE(ID_INDICATOR_CAPS, ID_INDICATOR_SCRL, OnUpdateKeyIndicator)
  END_MSG_MAP()
  // clang-format on

 protected:
  // The frame's own creation: the client window, then the first layout.
  virtual int OnCreate(LPCREATESTRUCTW lpcs);
  // Default client: one view of the template's view class.
  virtual BOOL OnCreateClient(LPCREATESTRUCTW lpcs, CDocument* pDoc);
  LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

  // Shows or hides the bar with that id (View menu and other bar toggles).
  void OnBarCheck(UINT nID);
  void OnUpdateControlBarMenu(CCmdUI& ui);

 private:
  LRESULT OnCreateMsg(UINT, WPARAM, LPARAM lParam, BOOL&) {
    return OnCreate(reinterpret_cast<LPCREATESTRUCTW>(lParam));
  }
  LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnNcDestroy(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnSetFocus(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnInitMenuPopup(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnMenuSelect(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnExitMenuLoop(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnToolTipText(NMHDR* pnmh);
  LRESULT OnHotItemChange(NMHDR* pnmh);
  void OnViewToolBar() { OnBarCheck(ID_VIEW_TOOLBAR); }
  void OnViewStatusBar() { OnBarCheck(ID_VIEW_STATUS_BAR); }
  void OnUpdateKeyIndicator(CCmdUI& ui);

  std::vector<CControlBar*> m_bars;
  CView* m_pActiveView = nullptr;
  std::unique_ptr<CPreviewWnd> m_pPreview;
  std::unique_ptr<CView> m_pDefaultView;  // only when OnCreateClient is not overridden
  std::wstring m_strTitle;                // the window title part of the caption
  std::wstring m_strTip;                  // storage for the tool tip being shown
  UINT m_nIDResource = 0;
};

// The frame a child window lives in.
CFrameWnd* GetParentFrame(HWND hWnd);
