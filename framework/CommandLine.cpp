#include "CommandLine.h"

#include <windows.h>
#include <shellapi.h>

void CCommandLineInfo::ParseParam(const wchar_t* pszParam, bool bFlag, bool bLast) {
  (void)bLast;
  if (m_bLanguagePending && !bFlag) {
    m_bLanguagePending = false;
    m_strLanguage = pszParam;
    return;
  }
  m_bLanguagePending = false;
  if (bFlag) {
    if (::lstrcmpiW(pszParam, L"lang") == 0) {
      m_bLanguagePending = true;
    } else if (::lstrcmpiW(pszParam, L"pt") == 0) {
      m_nShellCommand = FilePrintTo;
      m_nPrintToArgs = 3;
    } else if (::lstrcmpiW(pszParam, L"p") == 0) {
      m_nShellCommand = FilePrint;
    } else if (::lstrcmpiW(pszParam, L"dde") == 0) {
      m_nShellCommand = FileDDE;
    } else if (::lstrcmpiW(pszParam, L"Embedding") == 0) {
      m_bRunEmbedded = true;
      m_bShowSplash = false;
    } else if (::lstrcmpiW(pszParam, L"Automation") == 0) {
      m_bRunAutomated = true;
      m_bShowSplash = false;
    } else if (::lstrcmpiW(pszParam, L"Register") == 0 ||
               ::lstrcmpiW(pszParam, L"Regserver") == 0) {
      m_nShellCommand = AppRegister;
    } else if (::lstrcmpiW(pszParam, L"Unregister") == 0 ||
               ::lstrcmpiW(pszParam, L"Unregserver") == 0) {
      m_nShellCommand = AppUnregister;
    }
    return;
  }
  if (m_strFileName.empty()) {
    m_strFileName = pszParam;
    if (m_nShellCommand == FileNew) m_nShellCommand = FileOpen;
    return;
  }
  if (m_nShellCommand == FilePrintTo && m_nPrintToArgs > 0) {
    std::wstring* slots[] = {&m_strPortName, &m_strDriverName, &m_strPrinterName};
    *slots[--m_nPrintToArgs] = pszParam;
  }
}

void CCommandLineInfo::ParseCommandLine(const std::wstring& cmdLine) {
  // CommandLineToArgvW treats the first word as the program name; give it one.
  std::wstring full = L"x " + cmdLine;
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(full.c_str(), &argc);
  if (!argv) return;
  for (int i = 1; i < argc; ++i) {
    const wchar_t* p = argv[i];
    bool bFlag = (*p == L'/' || *p == L'-');
    ParseParam(bFlag ? p + 1 : p, bFlag, i == argc - 1);
  }
  ::LocalFree(argv);
}
