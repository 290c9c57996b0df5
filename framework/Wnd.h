// Window base with a message map, and the command-target base shared by windows, documents
// and the application.
#pragma once
#include <windows.h>

#include <string>

// Commands travel through the same map as window messages, as three pseudo messages:
// WM_COMMAND runs a command, WM_FW_UPDATECMDUI asks for its enabled/checked state and
// WM_FW_PROBECMD asks only whether a handler exists.
#define WM_FW_UPDATECMDUI (WM_APP + 0x3F00)
#define WM_FW_PROBECMD (WM_APP + 0x3F01)
// Sent to every view when its document is (re)loaded.
#define WM_FW_INITIALUPDATE (WM_APP + 0x3F02)

// Reflected messages: a parent first offers a control's notifications to the control's own
// map under these numbers, so a control class handles what it reports about itself.
#ifndef OCM__BASE
#define OCM__BASE (WM_USER + 0x1C00)
#endif
#define OCM_COMMAND (OCM__BASE + WM_COMMAND)
#define OCM_NOTIFY (OCM__BASE + WM_NOTIFY)
#define OCM_DRAWITEM (OCM__BASE + WM_DRAWITEM)
#define OCM_MEASUREITEM (OCM__BASE + WM_MEASUREITEM)
#define OCM_CTLCOLORMSGBOX (OCM__BASE + WM_CTLCOLORMSGBOX)
#define OCM_CTLCOLOREDIT (OCM__BASE + WM_CTLCOLOREDIT)
#define OCM_CTLCOLORLISTBOX (OCM__BASE + WM_CTLCOLORLISTBOX)
#define OCM_CTLCOLORBTN (OCM__BASE + WM_CTLCOLORBTN)
#define OCM_CTLCOLORDLG (OCM__BASE + WM_CTLCOLORDLG)
#define OCM_CTLCOLORSCROLLBAR (OCM__BASE + WM_CTLCOLORSCROLLBAR)
#define OCM_CTLCOLORSTATIC (OCM__BASE + WM_CTLCOLORSTATIC)

class CCmdUI {
 public:
  explicit CCmdUI(UINT nID) : m_nID(nID) {}
  void Enable(BOOL bOn = TRUE) {
    m_bEnabled = bOn;
    m_bEnableChanged = TRUE;
  }
  void SetCheck(int nCheck = 1) { m_nCheck = nCheck; }

  UINT m_nID;
  BOOL m_bEnabled = TRUE;
  BOOL m_bEnableChanged = FALSE;
  int m_nCheck = -1;  // -1: the handler left the check mark alone
  // Set while a menu is being updated: the menu and the item's position (a handler that
  // inserts items leaves m_nIndex on the last one it inserted).
  HMENU m_hMenu = nullptr;
  UINT m_nIndex = 0;
};

class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;
  // The message map. Returns TRUE when the message (or command) was handled.
  virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                    LRESULT& lResult) {
    (void)hWnd, (void)uMsg, (void)wParam, (void)lParam, (void)lResult;
    return FALSE;
  }
};

// Message map macros, in the manner of WTL: the map lists every message and command the
// class handles and the method that handles it.
#define BEGIN_MSG_MAP(theClass)                                                                   \
  BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) \
      override {                                                                                  \
    (void)hWnd, (void)wParam, (void)lParam;                                                       \
    BOOL bHandled = TRUE;                                                                         \
    (void)bHandled;

// LRESULT Handler(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
#define MESSAGE_HANDLER(msg, func)                  \
  if (uMsg == (msg)) {                              \
    bHandled = TRUE;                                \
    lResult = func(uMsg, wParam, lParam, bHandled); \
    if (bHandled) return TRUE;                      \
  }

// void Handler()
#define COMMAND_ID_HANDLER(id, func)                                              \
  if ((uMsg == WM_COMMAND || uMsg == WM_FW_PROBECMD) && LOWORD(wParam) == (id)) { \
    if (uMsg == WM_COMMAND) func();                                               \
    lResult = 0;                                                                  \
    return TRUE;                                                                  \
  }

// void Handler(UINT nID)
#define COMMAND_RANGE_HANDLER(idFirst, idLast, func)                                   \
  if ((uMsg == WM_COMMAND || uMsg == WM_FW_PROBECMD) && LOWORD(wParam) >= (idFirst) && \
      LOWORD(wParam) <= (idLast)) {                                                    \
    if (uMsg == WM_COMMAND) func(LOWORD(wParam));                                      \
    lResult = 0;                                                                       \
    return TRUE;                                                                       \
  }

// void Handler(CCmdUI& ui)
#define UPDATE_COMMAND_UI(id, func)                  \
  if (uMsg == WM_FW_UPDATECMDUI && wParam == (id)) { \
    func(*reinterpret_cast<CCmdUI*>(lParam));        \
    return TRUE;                                     \
  }

#define UPDATE_COMMAND_UI_RANGE(idFirst, idLast, func)                          \
  if (uMsg == WM_FW_UPDATECMDUI && wParam >= (idFirst) && wParam <= (idLast)) { \
    func(*reinterpret_cast<CCmdUI*>(lParam));                                   \
    return TRUE;                                                                \
  }

// LRESULT Handler(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled)
#define COMMAND_HANDLER(id, nCode, func)                                                      \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == (nCode)) {            \
    bHandled = TRUE;                                                                          \
    lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                                \
  }

// LRESULT Handler(int idCtrl, NMHDR* pnmh, BOOL& bHandled)
#define NOTIFY_HANDLER(id, nCode, func)                                                   \
  if (uMsg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->idFrom == (UINT_PTR)(id) &&  \
      reinterpret_cast<NMHDR*>(lParam)->code == (nCode)) {                                \
    bHandled = TRUE;                                                                      \
    lResult = func(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                            \
  }

// In a control's own map: its notifications as the parent reflected them.
// LRESULT Handler(WORD wNotifyCode, WORD wID, HWND hWndCtl, BOOL& bHandled)
#define REFLECTED_COMMAND_CODE_HANDLER(nCode, func)                                           \
  if (uMsg == OCM_COMMAND && HIWORD(wParam) == (nCode)) {                                     \
    bHandled = TRUE;                                                                          \
    lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                                \
  }

// LRESULT Handler(int idCtrl, NMHDR* pnmh, BOOL& bHandled)
#define REFLECTED_NOTIFY_CODE_HANDLER(nCode, func)                                        \
  if (uMsg == OCM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == (nCode)) {          \
    bHandled = TRUE;                                                                      \
    lResult = func(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                            \
  }

// LRESULT Handler(NMHDR* pnmh)
#define NOTIFY_CODE_HANDLER(nCode, func)                                        \
  if (uMsg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == (nCode)) { \
    lResult = func(reinterpret_cast<NMHDR*>(lParam));                           \
    return TRUE;                                                                \
  }

#define CHAIN_MSG_MAP(theBase) \
  if (theBase::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult)) return TRUE;

#define END_MSG_MAP() \
  return FALSE;       \
  }

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  operator HWND() const { return m_hWnd; }

  // Creates a window of a class registered with RegisterClass below (our own window
  // procedure sees every message from WM_NCCREATE on).
  BOOL CreateEx(DWORD dwExStyle, LPCWSTR pszClass, LPCWSTR pszName, DWORD dwStyle, int x, int y,
                int cx, int cy, HWND hParent, HMENU hMenuOrId);
  // Creates a window of a system class (a common control) and subclasses it, so the map
  // sees its messages and everything else goes to the control's own procedure.
  BOOL CreateControl(DWORD dwExStyle, LPCWSTR pszClass, DWORD dwStyle, const RECT& rc, HWND hParent,
                     UINT nID);
  BOOL SubclassWindow(HWND hWnd);
  BOOL DestroyWindow();

  // The object attached to a window, if any.
  static CWnd* FromHandle(HWND hWnd);
  // Registers a window class whose procedure is ours; returns the class name.
  static LPCWSTR RegisterClass(LPCWSTR pszName, UINT style, HCURSOR hCursor, HBRUSH hbrBackground,
                               HICON hIcon = nullptr);

  LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageW(m_hWnd, uMsg, wParam, lParam);
  }
  std::wstring GetWindowText() const;
  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }

 protected:
  virtual LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);
  // Offers a control's notification (WM_NOTIFY, control WM_COMMAND, WM_DRAWITEM,
  // WM_MEASUREITEM, WM_CTLCOLOR*) to that control's own map as OCM_*; TRUE when it handled it.
  BOOL ReflectNotification(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
  LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);
  // Called after WM_NCDESTROY, once the window is gone.
  virtual void OnFinalMessage(HWND) {}
  // Called once SubclassWindow has taken over an existing window (a control of a template),
  // so a control class can adapt the window it was given.
  virtual void OnSubclassed() {}

  WNDPROC m_pfnSuperWindowProc = ::DefWindowProcW;

 private:
  void Attach(HWND hWnd);
  void Detach();
  // Drops the object's claim on its window.
  void Forget();
  static LRESULT CALLBACK StaticWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
  friend class CDialog;
};

// Text of a string resource of the program in the chosen language ("" when missing;
// UiLanguage.cpp).
std::wstring LoadResString(UINT nID);
// The part of a command's prompt string before "\n" (status bar) or after it (tool tip).
std::wstring GetCommandPrompt(UINT nID);
std::wstring GetCommandTip(UINT nID);
