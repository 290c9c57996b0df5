// The process-wide log file: opened (truncated) before the application object exists and
// closed at process exit. Nothing is written to it.
#pragma once
#include <cstdio>
#include <string>

class CLogFile {
 public:
  explicit CLogFile(const wchar_t* pszFileName);
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  bool IsOpen() const { return m_pFile != nullptr; }
  const std::wstring& GetFileName() const { return m_strFileName; }

 private:
  std::wstring m_strFileName;
  FILE* m_pFile = nullptr;
};
