// The application object: start-up helpers, message loop with idle updates, profile,
// recent-file list, document template and the application-wide commands.
#pragma once
#include <memory>
#include <string>

#include "CommandLine.h"
#include "Document.h"
#include "FrameworkRes.h"
#include "RecentFileList.h"
#include "Wnd.h"

class CWinApp : public CCmdTarget {
 public:
  CWinApp();
  ~CWinApp() override;

  virtual BOOL InitInstance() { return TRUE; }
  virtual int ExitInstance();
  // The message loop; returns ExitInstance's result.
  virtual int Run();
  // Offered every message before dispatch; TRUE means it was consumed.
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  // Runs when the queue is empty: refreshes the state of the bars' buttons and indicators.
  virtual BOOL OnIdle(LONG lCount);

  // Handles one queued message; FALSE on WM_QUIT.
  BOOL PumpMessage();
  // Handles everything waiting, then one idle pass. FALSE once WM_QUIT was seen.
  BOOL PumpWaitingMessages();

  // OLE and COM for this thread, as a single-threaded apartment; undone by ExitInstance.
  BOOL AfxOleInit();
  // Common controls with the current look for dialogs and bars.
  void Enable3dControls();

  // Profile: HKCU\Software\<key>\<application title>\<section>.
  void SetRegistryKey(const std::wstring& key);
  std::wstring GetProfileString(const std::wstring& section, const std::wstring& entry,
                                const std::wstring& def = std::wstring()) const;
  BOOL WriteProfileString(const std::wstring& section, const std::wstring& entry,
                          const wchar_t* pszValue);  // nullptr deletes the entry
  UINT GetProfileInt(const std::wstring& section, const std::wstring& entry, int def) const;
  BOOL WriteProfileInt(const std::wstring& section, const std::wstring& entry, int value);
  BOOL DeleteProfileSection(const std::wstring& section);
  std::wstring GetProfileKeyPath() const;
  void LoadStdProfileSettings(UINT nMaxMRU = 4);
  void SaveStdProfileSettings();

  void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> pTemplate);
  CSingleDocTemplate* GetDocTemplate() const { return m_pDocTemplate.get(); }
  void ParseCommandLine(CCommandLineInfo& info) const { info.ParseCommandLine(m_strCmdLine); }
  BOOL ProcessShellCommand(CCommandLineInfo& info);
  virtual CDocument* OpenDocumentFile(const wchar_t* pszPath);
  virtual void AddToRecentFileList(const std::wstring& path);
  CRecentFileList* GetRecentFileList() const { return m_pRecentFileList.get(); }
  // Runs the open or save dialog (through the modal runner) starting at fileName.
  BOOL DoPromptFileName(std::wstring& fileName, UINT nIDSTitle, DWORD dwFlags, BOOL bOpen);
  // Printer chosen in print setup (or none yet: the default printer).
  HGLOBAL m_hDevMode = nullptr;
  HGLOBAL m_hDevNames = nullptr;

  HINSTANCE m_hInstance;
  std::wstring m_strAppName;  // string 57344: every message box's caption
  std::wstring m_strCmdLine;  // without the program name
  int m_nCmdShow = SW_SHOWNORMAL;
  CWnd* m_pMainWnd = nullptr;
  std::wstring m_strRegistryKey;

  // clang-format off
  BEGIN_MSG_MAP(CWinApp)
    COMMAND_ID_HANDLER(ID_FILE_NEW, OnFileNew)
    COMMAND_ID_HANDLER(ID_FILE_OPEN, OnFileOpen)
    COMMAND_ID_HANDLER(ID_FILE_PRINT_SETUP, OnFilePrintSetup)
    COMMAND_ID_HANDLER(ID_APP_EXIT, OnAppExit)
    COMMAND_RANGE_HANDLER(ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE4, OnOpenRecentFile)
    UPDATE_COMMAND_UI(ID_FILE_MRU_FILE1, OnUpdateRecentFileMenu)
  END_MSG_MAP()
  // clang-format on

 protected:
  void OnFileNew();
  void OnFileOpen();
  void OnFilePrintSetup();
  void OnAppExit();
  void OnOpenRecentFile(UINT nID);
  void OnUpdateRecentFileMenu(CCmdUI& ui);

  std::unique_ptr<CSingleDocTemplate> m_pDocTemplate;
  std::unique_ptr<CRecentFileList> m_pRecentFileList;
  bool m_bOleInitialized = false;
};

// The one application object of the process (nullptr before it exists).
CWinApp* AfxGetApp();
