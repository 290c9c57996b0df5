#include "StartupSplash.h"

namespace {
BOOL g_bSplashEnabled = FALSE;
}  // namespace

void EnableStartupSplash(BOOL bEnable) {
  g_bSplashEnabled = bEnable;
}

BOOL IsStartupSplashEnabled() {
  return g_bSplashEnabled;
}

void ShowStartupSplash(HWND hParent) {
  (void)hParent;
}

BOOL FilterStartupSplashInput(const MSG* pMsg) {
  (void)pMsg;
  return FALSE;
}
