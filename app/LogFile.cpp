#include "LogFile.h"

CLogFile::CLogFile(const wchar_t* pszFileName) : m_strFileName(pszFileName) {
  // A directory we cannot write to is no reason to stop: the file stays closed.
  m_pFile = _wfopen(m_strFileName.c_str(), L"w");
}

CLogFile::~CLogFile() {
  if (m_pFile) std::fclose(m_pFile);
}
