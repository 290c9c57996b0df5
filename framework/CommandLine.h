// The standard command line: an optional file name and the shell's switches.
#pragma once
#include <string>

class CCommandLineInfo {
 public:
  enum ShellCommand {
    FileNew,
    FileOpen,
    FilePrint,
    FilePrintTo,
    FileDDE,
    AppRegister,
    AppUnregister,
    FileNothing = -1
  };
  virtual ~CCommandLineInfo() = default;
  // One argument; bFlag when it started with '/' or '-' (already stripped).
  virtual void ParseParam(const wchar_t* pszParam, bool bFlag, bool bLast);
  // Splits a command line (without the program name) and parses every argument.
  void ParseCommandLine(const std::wstring& cmdLine);

  ShellCommand m_nShellCommand = FileNew;
  bool m_bShowSplash = true;
  bool m_bRunEmbedded = false;
  bool m_bRunAutomated = false;
  std::wstring m_strFileName;
  std::wstring m_strPrinterName;
  std::wstring m_strDriverName;
  std::wstring m_strPortName;
  // "/lang en" or "/lang zh": the texts' language for this run (empty: not given).
  std::wstring m_strLanguage;

 private:
  bool m_bLanguagePending = false;  // the next word is the language
  int m_nPrintToArgs = 0;           // arguments still owed to /pt
};
