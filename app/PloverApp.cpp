#include "PloverApp.h"

#include <optional>

#include "AboutDlg.h"
#include "BrowseView.h"
#include "MainFrm.h"
#include "ModalRunner.h"
#include "OpcUiPorts.h"
#include "PloverDoc.h"
#include "StartupSplash.h"
#include "TextRes.h"
#include "UiLanguage.h"
#include "WaitCursor.h"
#include "WorkspaceRestore.h"
#include "resource.h"

namespace {
// The client core's boxes go where every other box of the program goes.
int CoreMessageBox(OpcBoxOwner owner, const std::wstring& text, const std::wstring& caption,
                   UINT type) {
  HWND hOwner = owner == OpcBoxOwner::ActiveWindow ? ::GetActiveWindow() : nullptr;
  return GetModalRunner().MessageBox(hOwner, text, caption, type);
}

// The core's long calls show the hourglass; nested calls keep it until the outermost ends.
class CWaitCursorIndicator : public IOpcBusyIndicator {
 public:
  void Begin() override {
    if (m_nDepth++ == 0) m_wait.emplace();
  }
  void End() override {
    if (m_nDepth > 0 && --m_nDepth == 0) m_wait.reset();
  }

 private:
  int m_nDepth = 0;
  std::optional<CWaitCursor> m_wait;
};
CWaitCursorIndicator g_waitCursor;

// The core's texts from the string table, in the user's language.
std::wstring CoreText(OpcUiText key) {
  return LoadResString(IDS_CORE_FIRST + static_cast<UINT>(key));
}

const wchar_t kSettingsSection[] = L"Settings";
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
  SetOpcBusyIndicator(&g_waitCursor);
  SetOpcTextSource(CoreText);
  CCommandLineInfo splashInfo;
  ParseCommandLine(splashInfo);
  EnableStartupSplash(splashInfo.m_bShowSplash);
  // Before any text shows: the language comes from the command line or the profile.
  SetRegistryKey(L"Local AppWizard-Generated Applications");
  ChooseLanguage(splashInfo.m_strLanguage);

  if (!AfxOleInit()) {
    AfxMessageBox(LoadResString(IDS_OLE_INIT_FAILED), MB_OK);
    return FALSE;
  }

  Enable3dControls();

  LoadStdProfileSettings(4);

  AddDocTemplate(std::make_unique<CSingleDocTemplate>(
      IDR_MAINFRAME, [] { return std::make_unique<CPloverDoc>(); },
      [] { return std::make_unique<CMainFrame>(); },
      [] { return std::make_unique<CBrowseView>(); }));

  CPloverCommandLineInfo cmdInfo;
  ParseCommandLine(cmdInfo);
  // A file is opened once the main window shows: a file that cannot be opened is then
  // reported in a box the user closes, and the program goes on as it would without one.
  std::wstring file;
  if (cmdInfo.m_nShellCommand == CCommandLineInfo::FileOpen) {
    file = cmdInfo.m_strFileName;
    cmdInfo.m_nShellCommand = CCommandLineInfo::FileNew;
  }
  if (!ProcessShellCommand(cmdInfo)) return FALSE;

  // Where the user left it; maximised on the first start.
  if (auto* pMain = dynamic_cast<CMainFrame*>(m_pMainWnd))
    pMain->ShowAtStart();
  else
    ::ShowWindow(m_pMainWnd->m_hWnd, SW_SHOWMAXIMIZED);
  ::UpdateWindow(m_pMainWnd->m_hWnd);
  if (!file.empty()) {
    m_strServerOverride = cmdInfo.m_strServer;
    m_strNodeOverride = cmdInfo.m_strNode;
    CDocument* pDoc = OpenDocumentFile(file.c_str());
    m_strServerOverride.clear();
    m_strNodeOverride.clear();
    if (pDoc) return TRUE;
  }
  if (!cmdInfo.m_strServer.empty()) {
    if (auto* pFrame = dynamic_cast<CMainFrame*>(m_pMainWnd))
      pFrame->ConnectServer(cmdInfo.m_strServer, cmdInfo.m_strNode);
  }
  return TRUE;
}

CDocument* CPloverApp::OpenDocumentFile(const wchar_t* pszPath) {
  CDocument* pDoc = CWinApp::OpenDocumentFile(pszPath);
  auto* pPloverDoc = dynamic_cast<CPloverDoc*>(pDoc);
  auto* pFrame = dynamic_cast<CMainFrame*>(m_pMainWnd);
  if (!pszPath || !pPloverDoc || !pFrame) return pDoc;
  std::unique_ptr<workspace::Workspace> ws = pPloverDoc->TakePendingWorkspace();
  if (!ws) return pDoc;  // an empty file: nothing to restore
  if (!m_strServerOverride.empty()) {
    ws->progId = m_strServerOverride;
    ws->node = m_strNodeOverride;
  }
  RestoreReport report;
  RestoreWorkspace(*pFrame, *ws, report);
  std::wstring text = report.Text(pPloverDoc->GetPathName());
  if (!text.empty()) AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
  return pDoc;
}

BOOL CPloverApp::PreTranslateMessage(MSG* pMsg) {
  if (FilterStartupSplashInput(pMsg)) return TRUE;
  return CWinApp::PreTranslateMessage(pMsg);
}

void CPloverApp::ChooseLanguage(const std::wstring& commandLine) {
  UiLanguage saved = UiLanguage::Chinese;
  ParseUiLanguage(GetProfileString(kSettingsSection, kLanguageEntry, L""), saved);
  UiLanguage lang = saved;
  SetUiLanguage(saved);
  // A word after /lang that names no language: said in the saved language, then ignored.
  if (!commandLine.empty() && !ParseUiLanguage(commandLine, lang))
    AfxMessageBox(FormatResString(IDS_BAD_LANGUAGE, {commandLine}), MB_OK | MB_ICONEXCLAMATION);
  SetUiLanguage(lang);
  m_nextLanguage = saved;
}

void CPloverApp::OnViewLanguage(UINT nID) {
  const UiLanguage lang = nID == ID_VIEW_LANGUAGE_EN ? UiLanguage::English : UiLanguage::Chinese;
  m_nextLanguage = lang;
  WriteProfileString(kSettingsSection, kLanguageEntry, UiLanguageCode(lang));
  // Said in the language chosen: the one the user reads.
  std::wstring text;
  if (!LoadLangString(::GetModuleHandleW(nullptr), IDS_LANGUAGE_NEXT_START, UiLanguageId(lang),
                      text))
    text = LoadResString(IDS_LANGUAGE_NEXT_START);
  AfxMessageBox(text, MB_OK | MB_ICONINFORMATION);
}

void CPloverApp::OnUpdateViewLanguage(CCmdUI& ui) {
  const UiLanguage lang =
      ui.m_nID == ID_VIEW_LANGUAGE_EN ? UiLanguage::English : UiLanguage::Chinese;
  ui.SetCheck(lang == m_nextLanguage ? 1 : 0);
}

void CPloverApp::OnAppAbout() {
  CAboutDlg dlg;
  dlg.DoModal(m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr);
}
