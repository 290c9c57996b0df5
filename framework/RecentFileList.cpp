#include "RecentFileList.h"

#include <cwchar>

#include "App.h"

CRecentFileList::CRecentFileList(UINT nStartID, const wchar_t* pszSection,
                                 const wchar_t* pszEntryFormat, int nSize)
    : m_nStartID(nStartID),
      m_strSection(pszSection),
      m_strEntryFormat(pszEntryFormat),
      m_nMaxSize(nSize > 0 ? nSize : 1) {}

void CRecentFileList::Add(const std::wstring& path) {
  if (path.empty()) return;
  for (size_t i = 0; i < m_files.size(); ++i) {
    if (::lstrcmpiW(m_files[i].c_str(), path.c_str()) == 0) {
      m_files.erase(m_files.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  m_files.insert(m_files.begin(), path);
  if (static_cast<int>(m_files.size()) > m_nMaxSize) m_files.resize(m_nMaxSize);
}

void CRecentFileList::Remove(int nIndex) {
  if (nIndex >= 0 && nIndex < GetSize()) m_files.erase(m_files.begin() + nIndex);
}

std::wstring CRecentFileList::GetMenuText(int nIndex, const std::wstring& currentDir) const {
  const std::wstring& path = m_files[nIndex];
  std::wstring name = path;
  size_t pos = path.find_last_of(L"\\/");
  if (pos != std::wstring::npos && !currentDir.empty()) {
    std::wstring dir = path.substr(0, pos);
    std::wstring cur = currentDir;
    if (!cur.empty() && (cur.back() == L'\\' || cur.back() == L'/')) cur.pop_back();
    if (::lstrcmpiW(dir.c_str(), cur.c_str()) == 0) name = path.substr(pos + 1);
  }
  // A single '&' in a file name would underline the next letter instead of showing.
  std::wstring escaped;
  for (wchar_t c : name) {
    escaped += c;
    if (c == L'&') escaped += L'&';
  }
  return L"&" + std::to_wstring(nIndex + 1) + L" " + escaped;
}

void CRecentFileList::UpdateMenu(CCmdUI& ui) {
  HMENU hMenu = ui.m_hMenu;
  if (!hMenu) return;
  if (m_strPlaceholder.empty()) {
    wchar_t buf[256] = {};
    if (::GetMenuStringW(hMenu, m_nStartID, buf, 256, MF_BYCOMMAND) > 0) m_strPlaceholder = buf;
  }
  for (int i = 0; i < m_nMaxSize; ++i) ::DeleteMenu(hMenu, m_nStartID + i, MF_BYCOMMAND);

  UINT nIndex = ui.m_nIndex;
  if (m_files.empty()) {
    ::InsertMenuW(hMenu, nIndex, MF_BYPOSITION | MF_STRING | MF_GRAYED, m_nStartID,
                  m_strPlaceholder.c_str());
    return;
  }
  wchar_t cur[MAX_PATH * 2] = {};
  ::GetCurrentDirectoryW(MAX_PATH * 2, cur);
  for (int i = 0; i < GetSize(); ++i) {
    std::wstring text = GetMenuText(i, cur);
    ::InsertMenuW(hMenu, nIndex + i, MF_BYPOSITION | MF_STRING, m_nStartID + i, text.c_str());
  }
  ui.m_nIndex = nIndex + GetSize() - 1;
}

void CRecentFileList::ReadList(const CWinApp& app) {
  m_files.clear();
  for (int i = 0; i < m_nMaxSize; ++i) {
    wchar_t entry[64];
    std::swprintf(entry, 64, m_strEntryFormat.c_str(), i + 1);
    std::wstring path = app.GetProfileString(m_strSection, entry);
    if (!path.empty()) m_files.push_back(path);
  }
}

void CRecentFileList::WriteList(CWinApp& app) const {
  app.DeleteProfileSection(m_strSection);
  for (int i = 0; i < GetSize(); ++i) {
    wchar_t entry[64];
    std::swprintf(entry, 64, m_strEntryFormat.c_str(), i + 1);
    app.WriteProfileString(m_strSection, entry, m_files[i].c_str());
  }
}
