// Start-up splash entry points used by the application and the frame. The splash window
// itself is not built yet: these keep the enable flag and otherwise leave every message alone.
#pragma once
#include <windows.h>

void EnableStartupSplash(BOOL bEnable);
BOOL IsStartupSplashEnabled();
// Shows the splash over the parent when enabled (not yet: no splash window exists).
void ShowStartupSplash(HWND hParent);
// TRUE when the splash consumed the message; with no splash window it never does.
BOOL FilterStartupSplashInput(const MSG* pMsg);
