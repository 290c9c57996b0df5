// The bars around a frame's client area: toolbar, rebar, dialog bar and status bar.
#pragma once
#include "Dialog.h"

#include <commctrl.h>

#include <string>
#include <vector>

class CFrameWnd;

// Bar styles kept by the framework (not window styles).
#define CBRS_ALIGN_TOP 0x2000
#define CBRS_ALIGN_BOTTOM 0x8000
#define CBRS_TOOLTIPS 0x0010
#define CBRS_FLYBY 0x0020
#define CBRS_GRIPPER 0x00400000
#define CBRS_TOP CBRS_ALIGN_TOP
#define CBRS_BOTTOM CBRS_ALIGN_BOTTOM

class CReBar;

class CControlBar {
 public:
  virtual ~CControlBar() = default;
  virtual CWnd& Window() = 0;
  // Size the bar wants along the frame's edge, given the width available.
  virtual SIZE CalcFixedLayout(int cxAvail);
  // Idle-time refresh of the bar's buttons or panes from the frame's command routing.
  virtual void OnUpdateCmdUI(CFrameWnd&) {}

  DWORD GetBarStyle() const { return m_dwBarStyle; }
  void SetBarStyle(DWORD dwStyle) { m_dwBarStyle = dwStyle; }
  bool IsVisible() const { return m_bVisible; }
  UINT m_nID = 0;
  CReBar* m_pReBar = nullptr;  // set when the bar is a band of a rebar
  bool m_bVisible = true;

 protected:
  DWORD m_dwBarStyle = 0;
};

class CToolBar : public CControlBar, public CWnd {
 public:
  ~CToolBar() override;
  BOOL CreateEx(CFrameWnd& frame, DWORD dwCtrlStyle, DWORD dwStyle, DWORD dwBarStyle, UINT nID);
  // A toolbar layout resource (ids, 0 for a gap) and the bitmap of the same id.
  BOOL LoadToolBar(UINT nIDResource);
  CWnd& Window() override { return *this; }
  SIZE CalcFixedLayout(int cxAvail) override;
  void OnUpdateCmdUI(CFrameWnd& frame) override;
  const std::vector<UINT>& GetButtonIds() const { return m_ids; }

 private:
  std::vector<UINT> m_ids;
  HIMAGELIST m_hImages = nullptr;
};

class CDialogBar : public CControlBar, public CDialog {
 public:
  CDialogBar() : CDialog(0) {}
  BOOL Create(CFrameWnd& frame, UINT nIDTemplate, DWORD dwBarStyle, UINT nID);
  CWnd& Window() override { return *this; }
  SIZE CalcFixedLayout(int cxAvail) override;

 protected:
  // A bar is not a dialog box: Enter and Esc must not close it.
  void OnOK() override {}
  void OnCancel() override {}
  SIZE m_sizeDefault{};
};

class CReBar : public CControlBar, public CWnd {
 public:
  BOOL Create(CFrameWnd& frame, DWORD dwCtrlStyle, DWORD dwStyle, UINT nID);
  // Adds the bar as the next band.
  BOOL AddBar(CControlBar& bar, UINT fBandStyle);
  void ShowBand(CControlBar& bar, bool bShow);
  int FindBand(HWND hChild) const;
  CWnd& Window() override { return *this; }
  SIZE CalcFixedLayout(int cxAvail) override;
};

class CStatusBar : public CControlBar, public CWnd {
 public:
  BOOL Create(CFrameWnd& frame, DWORD dwStyle, UINT nID);
  // ID_SEPARATOR makes the stretching message pane; other ids name indicator strings.
  BOOL SetIndicators(const UINT* pIDs, int nCount);
  void SetPaneText(int nIndex, const std::wstring& text);
  std::wstring GetPaneText(int nIndex) const;
  int GetCount() const { return static_cast<int>(m_ids.size()); }
  CWnd& Window() override { return *this; }
  SIZE CalcFixedLayout(int cxAvail) override;
  void OnUpdateCmdUI(CFrameWnd& frame) override;

 private:
  void UpdateParts(int cx);
  std::vector<UINT> m_ids;
  std::vector<int> m_widths;
};
