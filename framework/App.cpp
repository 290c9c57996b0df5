#include "App.h"

#include <commctrl.h>
#include <ole2.h>

#include "FrameWnd.h"
#include "ModalRunner.h"

namespace {
CWinApp* g_pApp = nullptr;
}  // namespace

CWinApp* AfxGetApp() {
  return g_pApp;
}

CWinApp::CWinApp() : m_hInstance(::GetModuleHandleW(nullptr)) {
  g_pApp = this;
  m_strAppName = LoadResString(AFX_IDS_APP_TITLE);
}

CWinApp::~CWinApp() {
  // Windows and documents go before the application they report to.
  m_pDocTemplate.reset();
  if (m_hDevMode) ::GlobalFree(m_hDevMode);
  if (m_hDevNames) ::GlobalFree(m_hDevNames);
  if (m_bOleInitialized) ::OleUninitialize();
  if (g_pApp == this) g_pApp = nullptr;
}

int CWinApp::ExitInstance() {
  SaveStdProfileSettings();
  m_pDocTemplate.reset();
  m_pMainWnd = nullptr;
  if (m_bOleInitialized) {
    ::OleUninitialize();
    m_bOleInitialized = false;
  }
  return 0;
}

BOOL CWinApp::PreTranslateMessage(MSG* pMsg) {
  CFrameWnd* pFrame = dynamic_cast<CFrameWnd*>(m_pMainWnd);
  return pFrame && pFrame->m_hWnd && pFrame->PreTranslateMessage(pMsg);
}

BOOL CWinApp::OnIdle(LONG lCount) {
  (void)lCount;
  CFrameWnd* pFrame = dynamic_cast<CFrameWnd*>(m_pMainWnd);
  if (pFrame && pFrame->m_hWnd && ::IsWindowVisible(pFrame->m_hWnd)) pFrame->OnIdleUpdateCmdUI();
  return FALSE;
}

BOOL CWinApp::PumpMessage() {
  MSG msg;
  BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
  if (r <= 0) return FALSE;
  if (!PreTranslateMessage(&msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return TRUE;
}

BOOL CWinApp::PumpWaitingMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return FALSE;
    if (!PreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  OnIdle(0);
  return TRUE;
}

int CWinApp::Run() {
  MSG msg;
  for (;;) {
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) OnIdle(0);
    if (!PumpMessage()) break;
  }
  return ExitInstance();
}

BOOL CWinApp::AfxOleInit() {
  if (m_bOleInitialized) return TRUE;
  if (FAILED(::OleInitialize(nullptr))) return FALSE;
  m_bOleInitialized = true;
  return TRUE;
}

void CWinApp::Enable3dControls() {
  INITCOMMONCONTROLSEX icc{
      sizeof(icc), ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
}

void CWinApp::SetRegistryKey(const std::wstring& key) {
  m_strRegistryKey = key;
}

std::wstring CWinApp::GetProfileKeyPath() const {
  return L"Software\\" + m_strRegistryKey + L"\\" + m_strAppName;
}

std::wstring CWinApp::GetProfileString(const std::wstring& section, const std::wstring& entry,
                                       const std::wstring& def) const {
  if (m_strRegistryKey.empty()) return def;
  std::wstring path = GetProfileKeyPath() + L"\\" + section;
  wchar_t buf[2048];
  DWORD cb = sizeof(buf) - sizeof(wchar_t);
  DWORD type = 0;
  HKEY hKey = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return def;
  LONG r =
      ::RegQueryValueExW(hKey, entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf), &cb);
  ::RegCloseKey(hKey);
  if (r != ERROR_SUCCESS || type != REG_SZ) return def;
  buf[cb / sizeof(wchar_t)] = 0;  // a stored value need not end with a terminator
  return buf;
}

BOOL CWinApp::WriteProfileString(const std::wstring& section, const std::wstring& entry,
                                 const wchar_t* pszValue) {
  if (m_strRegistryKey.empty()) return FALSE;
  std::wstring path = GetProfileKeyPath() + L"\\" + section;
  HKEY hKey = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS)
    return FALSE;
  LONG r = pszValue ? ::RegSetValueExW(
                          hKey, entry.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(pszValue),
                          static_cast<DWORD>((::lstrlenW(pszValue) + 1) * sizeof(wchar_t)))
                    : ::RegDeleteValueW(hKey, entry.c_str());
  ::RegCloseKey(hKey);
  return r == ERROR_SUCCESS;
}

UINT CWinApp::GetProfileInt(const std::wstring& section, const std::wstring& entry, int def) const {
  if (m_strRegistryKey.empty()) return static_cast<UINT>(def);
  std::wstring path = GetProfileKeyPath() + L"\\" + section;
  DWORD value = 0, cb = sizeof(value), type = 0;
  HKEY hKey = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return static_cast<UINT>(def);
  LONG r =
      ::RegQueryValueExW(hKey, entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb);
  ::RegCloseKey(hKey);
  return (r == ERROR_SUCCESS && type == REG_DWORD) ? value : static_cast<UINT>(def);
}

BOOL CWinApp::WriteProfileInt(const std::wstring& section, const std::wstring& entry, int value) {
  if (m_strRegistryKey.empty()) return FALSE;
  std::wstring path = GetProfileKeyPath() + L"\\" + section;
  HKEY hKey = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS)
    return FALSE;
  DWORD v = static_cast<DWORD>(value);
  LONG r = ::RegSetValueExW(hKey, entry.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                            sizeof(v));
  ::RegCloseKey(hKey);
  return r == ERROR_SUCCESS;
}

BOOL CWinApp::DeleteProfileSection(const std::wstring& section) {
  if (m_strRegistryKey.empty()) return FALSE;
  std::wstring path = GetProfileKeyPath() + L"\\" + section;
  LONG r = ::RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

void CWinApp::LoadStdProfileSettings(UINT nMaxMRU) {
  if (nMaxMRU == 0) return;
  m_pRecentFileList = std::make_unique<CRecentFileList>(ID_FILE_MRU_FILE1, L"Recent File List",
                                                        L"File%d", static_cast<int>(nMaxMRU));
  m_pRecentFileList->ReadList(*this);
}

void CWinApp::SaveStdProfileSettings() {
  if (m_pRecentFileList) m_pRecentFileList->WriteList(*this);
}

void CWinApp::AddDocTemplate(std::unique_ptr<CSingleDocTemplate> pTemplate) {
  m_pDocTemplate = std::move(pTemplate);
}

CDocument* CWinApp::OpenDocumentFile(const wchar_t* pszPath) {
  return m_pDocTemplate ? m_pDocTemplate->OpenDocumentFile(pszPath) : nullptr;
}

void CWinApp::AddToRecentFileList(const std::wstring& path) {
  if (!m_pRecentFileList) return;
  m_pRecentFileList->Add(path);
  // Kept in the profile at once, so a crash does not lose it.
  m_pRecentFileList->WriteList(*this);
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& info) {
  switch (info.m_nShellCommand) {
    case CCommandLineInfo::FileNew:
    case CCommandLineInfo::FileDDE:
      OnFileNew();
      return m_pMainWnd != nullptr;
    case CCommandLineInfo::FileOpen:
      return OpenDocumentFile(info.m_strFileName.c_str()) != nullptr;
    case CCommandLineInfo::FilePrint:
    case CCommandLineInfo::FilePrintTo: {
      // Print without asking, then end: the program was started only to print.
      if (!OpenDocumentFile(info.m_strFileName.c_str())) return FALSE;
      CFrameWnd* pFrame = dynamic_cast<CFrameWnd*>(m_pMainWnd);
      if (pFrame) pFrame->SendMessage(WM_COMMAND, ID_FILE_PRINT_DIRECT);
      return FALSE;
    }
    case CCommandLineInfo::AppRegister:
    case CCommandLineInfo::AppUnregister:
    case CCommandLineInfo::FileNothing:
      // Nothing to register: the document type has no file extension.
      return FALSE;
  }
  return FALSE;
}

BOOL CWinApp::DoPromptFileName(std::wstring& fileName, UINT nIDSTitle, DWORD dwFlags, BOOL bOpen) {
  // The document's own type first (and the extension a typed name without one gets), then
  // all files.
  std::wstring filter, ext;
  if (m_pDocTemplate) {
    std::wstring name = m_pDocTemplate->GetDocString(CSingleDocTemplate::filterName);
    ext = m_pDocTemplate->GetDocString(CSingleDocTemplate::filterExt);
    if (!name.empty() && ext.size() > 1 && ext[0] == L'.') {
      filter = name + L'\0' + L'*' + ext + L'\0';
      ext.erase(0, 1);
    } else {
      ext.clear();
    }
  }
  std::wstring all = LoadResString(AFX_IDS_ALLFILTER);
  filter += (all.empty() ? std::wstring(L"*.*") : all) + L'\0' + L"*.*" + L'\0';
  std::wstring title = LoadResString(nIDSTitle);
  std::wstring buf = fileName;
  buf.resize(MAX_PATH * 4, L'\0');
  buf.back() = L'\0';  // an over-long default name is cut, never left unterminated

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buf.data();
  ofn.nMaxFile = static_cast<DWORD>(buf.size());
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrDefExt = bOpen || ext.empty() ? nullptr : ext.c_str();
  ofn.Flags = dwFlags | OFN_EXPLORER | OFN_ENABLESIZING | OFN_PATHMUSTEXIST;
  if (!GetModalRunner().GetFileName(ofn, bOpen)) return FALSE;
  buf[buf.size() - 1] = L'\0';
  fileName = buf.c_str();
  return !fileName.empty();
}

void CWinApp::OnFileNew() {
  OpenDocumentFile(nullptr);
}

void CWinApp::OnFileOpen() {
  std::wstring name;
  if (!DoPromptFileName(name, AFX_IDS_OPENFILE, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST, TRUE)) return;
  OpenDocumentFile(name.c_str());
}

void CWinApp::OnFilePrintSetup() {
  PRINTDLGW pd{};
  pd.lStructSize = sizeof(pd);
  pd.hwndOwner = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
  pd.hDevMode = m_hDevMode;
  pd.hDevNames = m_hDevNames;
  pd.Flags = PD_PRINTSETUP;
  if (!GetModalRunner().PrintDialog(pd)) return;
  // The dialog may hand back new blocks; the old ones are then ours to free.
  if (m_hDevMode && m_hDevMode != pd.hDevMode) ::GlobalFree(m_hDevMode);
  if (m_hDevNames && m_hDevNames != pd.hDevNames) ::GlobalFree(m_hDevNames);
  m_hDevMode = pd.hDevMode;
  m_hDevNames = pd.hDevNames;
}

void CWinApp::OnAppExit() {
  if (m_pMainWnd && m_pMainWnd->m_hWnd) ::PostMessageW(m_pMainWnd->m_hWnd, WM_CLOSE, 0, 0);
}

void CWinApp::OnOpenRecentFile(UINT nID) {
  if (!m_pRecentFileList) return;
  int nIndex = static_cast<int>(nID - ID_FILE_MRU_FILE1);
  if (nIndex < 0 || nIndex >= m_pRecentFileList->GetSize()) return;
  std::wstring path = (*m_pRecentFileList)[nIndex];
  // A file that can no longer be opened leaves the list.
  if (!OpenDocumentFile(path.c_str())) {
    m_pRecentFileList->Remove(nIndex);
    m_pRecentFileList->WriteList(*this);
  }
}

void CWinApp::OnUpdateRecentFileMenu(CCmdUI& ui) {
  if (!m_pRecentFileList) {
    ui.Enable(FALSE);
    return;
  }
  if (ui.m_hMenu) {
    m_pRecentFileList->UpdateMenu(ui);
    ui.m_bEnableChanged = TRUE;  // the list set the items' state itself
    ui.m_bEnabled = m_pRecentFileList->GetSize() > 0;
  } else {
    ui.Enable(m_pRecentFileList->GetSize() > 0);
  }
}
