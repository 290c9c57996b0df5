// The application object.
#pragma once
#include "App.h"

class CPloverApp : public CWinApp {
 public:
  BOOL InitInstance() override;
  BOOL PreTranslateMessage(MSG* pMsg) override;

  // clang-format off
  BEGIN_MSG_MAP(CPloverApp)
    COMMAND_ID_HANDLER(ID_APP_ABOUT, OnAppAbout)
    CHAIN_MSG_MAP(CWinApp)
  END_MSG_MAP()
  // clang-format on

 private:
  void OnAppAbout();
};
