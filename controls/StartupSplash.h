// The start-up splash: bitmap 173 in a borderless window centred on the screen, shown as the
// frame's last creation step and gone after 1.5 seconds or at the first key or button press
// anywhere in the program (that press is swallowed). At most one exists at a time.
#pragma once
#include <windows.h>

#include "Wnd.h"

class CStartupSplash : public CWnd {
 public:
  static constexpr UINT_PTR kTimerId = 1;
  static constexpr UINT kTimeoutMs = 1500;

  // The splash shown now, if any.
  static CStartupSplash* GetCurrent();

  // clang-format off
  BEGIN_MSG_MAP(CStartupSplash)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
  END_MSG_MAP()
  // clang-format on

 private:
  friend void ShowStartupSplash(HWND hParent);
  friend void HideStartupSplash();
  CStartupSplash() = default;
  ~CStartupSplash() override;
  BOOL Create(HWND hParent);
  void OnFinalMessage(HWND) override { delete this; }

  LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&);

  HBITMAP m_hBitmap = nullptr;
  SIZE m_size{};
};

void EnableStartupSplash(BOOL bEnable);
BOOL IsStartupSplashEnabled();
// Shows the splash owned by the parent, when enabled and none is shown; silently nothing
// when the picture does not load.
void ShowStartupSplash(HWND hParent);
// TRUE when the splash consumed the message: a key or button press while it is shown.
BOOL FilterStartupSplashInput(const MSG* pMsg);
// Closes the splash and repaints the main window at once.
void HideStartupSplash();
