#include "PloverApp.h"

#include "AboutDlg.h"
#include "BrowseView.h"
#include "MainFrm.h"
#include "ModalRunner.h"
#include "PloverDoc.h"
#include "StartupSplash.h"
#include "resource.h"

BOOL CPloverApp::InitInstance() {
  CCommandLineInfo splashInfo;
  ParseCommandLine(splashInfo);
  EnableStartupSplash(splashInfo.m_bShowSplash);

  if (!AfxOleInit()) {
    AfxMessageBox(L"AfxOleInit失败!", MB_OK);
    return FALSE;
  }

  Enable3dControls();

  SetRegistryKey(L"Local AppWizard-Generated Applications");
  LoadStdProfileSettings(4);

  AddDocTemplate(std::make_unique<CSingleDocTemplate>(
      IDR_MAINFRAME, [] { return std::make_unique<CPloverDoc>(); },
      [] { return std::make_unique<CMainFrame>(); },
      [] { return std::make_unique<CBrowseView>(); }));

  CCommandLineInfo cmdInfo;
  ParseCommandLine(cmdInfo);
  if (!ProcessShellCommand(cmdInfo)) return FALSE;

  ::ShowWindow(m_pMainWnd->m_hWnd, SW_SHOWMAXIMIZED);
  ::UpdateWindow(m_pMainWnd->m_hWnd);
  return TRUE;
}

BOOL CPloverApp::PreTranslateMessage(MSG* pMsg) {
  if (FilterStartupSplashInput(pMsg)) return TRUE;
  return CWinApp::PreTranslateMessage(pMsg);
}

void CPloverApp::OnAppAbout() {
  CAboutDlg dlg;
  dlg.DoModal(m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr);
}
