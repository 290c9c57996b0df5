// Most-recently-used file list shown in the File menu in place of its placeholder item.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class CCmdUI;
class CWinApp;

class CRecentFileList {
 public:
  CRecentFileList(UINT nStartID, const wchar_t* pszSection, const wchar_t* pszEntryFormat,
                  int nSize);

  // Puts the file first; an entry for the same file (any letter case) moves up.
  void Add(const std::wstring& path);
  void Remove(int nIndex);
  int GetSize() const { return static_cast<int>(m_files.size()); }
  int GetMaxSize() const { return m_nMaxSize; }
  const std::wstring& operator[](int nIndex) const { return m_files[nIndex]; }
  // Menu text of an entry: "&1 name", the name alone when the file is in currentDir.
  std::wstring GetMenuText(int nIndex, const std::wstring& currentDir) const;
  // Replaces the placeholder (or the previous entries) in the menu the command belongs to;
  // an empty list shows the greyed placeholder.
  void UpdateMenu(CCmdUI& ui);
  void ReadList(const CWinApp& app);
  void WriteList(CWinApp& app) const;

 private:
  UINT m_nStartID;
  std::wstring m_strSection;
  std::wstring m_strEntryFormat;
  int m_nMaxSize;
  std::vector<std::wstring> m_files;
  std::wstring m_strPlaceholder;
};
