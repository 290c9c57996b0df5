// The application object.
#pragma once
#include "App.h"
#include "TextRes.h"
#include "UiLanguage.h"

// The standard command line plus "/server <ProgID> [/node <name>]": connect at start-up as
// if that server had been picked in the server selection.
class CPloverCommandLineInfo : public CCommandLineInfo {
 public:
  void ParseParam(const wchar_t* pszParam, bool bFlag, bool bLast) override;

  std::wstring m_strServer;
  std::wstring m_strNode;

 private:
  std::wstring* m_pPending = nullptr;  // the switch whose value comes next
};

class CPloverApp : public CWinApp {
 public:
  BOOL InitInstance() override;
  BOOL PreTranslateMessage(MSG* pMsg) override;
  // Opens the file as the document and then restores the workspace it holds (File Open,
  // the recent-file list and the command line all come here).
  CDocument* OpenDocumentFile(const wchar_t* pszPath) override;

  // "/server" on the command line: it replaces the server and node of an opened workspace.
  std::wstring m_strServerOverride;
  std::wstring m_strNodeOverride;

  // The language saved for the next start (profile Settings\Language: "zh" or "en").
  static constexpr const wchar_t* kLanguageEntry = L"Language";

  // clang-format off
  BEGIN_MSG_MAP(CPloverApp)
    COMMAND_ID_HANDLER(ID_APP_ABOUT, OnAppAbout)
    COMMAND_RANGE_HANDLER(ID_VIEW_LANGUAGE_ZH, ID_VIEW_LANGUAGE_EN, OnViewLanguage)
    UPDATE_COMMAND_UI_RANGE(ID_VIEW_LANGUAGE_ZH, ID_VIEW_LANGUAGE_EN, OnUpdateViewLanguage)
    CHAIN_MSG_MAP(CWinApp)
  END_MSG_MAP()
  // clang-format on

 private:
  void OnAppAbout();
  // The command line's choice, else the saved one, else Chinese.
  void ChooseLanguage(const std::wstring& commandLine);
  void OnViewLanguage(UINT nID);
  void OnUpdateViewLanguage(CCmdUI& ui);

  UiLanguage m_nextLanguage = UiLanguage::Chinese;  // what the next start shows
};
