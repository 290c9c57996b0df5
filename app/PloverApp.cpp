#include "PloverApp.h"

#include "AboutDlg.h"
#include "BrowseView.h"
#include "MainFrm.h"
#include "ModalRunner.h"
#include "OpcMessage.h"
#include "PloverDoc.h"
#include "StartupSplash.h"
#include "resource.h"

namespace {
// The client core's boxes go where every other box of the program goes.
int CoreMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
  return GetModalRunner().MessageBox(owner, text, caption, type);
}
}  // namespace

void CPloverCommandLineInfo::ParseParam(const wchar_t* pszParam, bool bFlag, bool bLast) {
  if (m_pPending && !bFlag) {
    *m_pPending = pszParam;
    m_pPending = nullptr;
    return;
  }
  m_pPending = nullptr;
  if (bFlag && ::lstrcmpiW(pszParam, L"server") == 0) {
    m_pPending = &m_strServer;
    return;
  }
  if (bFlag && ::lstrcmpiW(pszParam, L"node") == 0) {
    m_pPending = &m_strNode;
    return;
  }
  CCommandLineInfo::ParseParam(pszParam, bFlag, bLast);
}

BOOL CPloverApp::InitInstance() {
  SetOpcMessageBox(CoreMessageBox);
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

  CPloverCommandLineInfo cmdInfo;
  ParseCommandLine(cmdInfo);
  if (!ProcessShellCommand(cmdInfo)) return FALSE;

  ::ShowWindow(m_pMainWnd->m_hWnd, SW_SHOWMAXIMIZED);
  ::UpdateWindow(m_pMainWnd->m_hWnd);
  if (!cmdInfo.m_strServer.empty()) {
    if (auto* pFrame = dynamic_cast<CMainFrame*>(m_pMainWnd))
      pFrame->ConnectServer(cmdInfo.m_strServer, cmdInfo.m_strNode);
  }
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
