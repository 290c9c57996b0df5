#include "AddTagDlg.h"

#include <cwchar>
#include <vector>

#include "OpcServer.h"

BOOL CAddTagDlg::PrepareAdd() {
  if (!m_pServerObj->CanBrowse()) {
    m_strTagName.clear();
    m_nMode = 1;
    return FALSE;
  }
  m_strTagName = m_pServerObj->GetBrowseItemId(m_nIndex);
  std::vector<int> groups;
  m_pServerObj->GetGroupHandles(groups);
  if (groups.size() >= 2) {
    m_nMode = 2;
    return FALSE;
  }
  // No group at all: nothing to add to; the caller reports the missing item.
  if (groups.empty()) {
    m_pItem = nullptr;
    m_nMode = 0;
    return TRUE;
  }
  m_nGroupId = groups[0];
  m_pServerObj->SelectGroup(static_cast<OPCHANDLE>(m_nGroupId));
  m_pItem = m_pServerObj->AddItem(m_strTagName);
  m_nMode = 0;
  return TRUE;
}

void CAddTagDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Text(pDX, IDC_ADDTAG_NAME, m_strTagName);
}

BOOL CAddTagDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (m_nMode == 2) ::EnableWindow(GetDlgItem(IDC_ADDTAG_NAME), FALSE);
  std::vector<int> groups;
  m_pServerObj->GetGroupHandles(groups);
  HWND hGroups = GetDlgItem(IDC_ADDTAG_GROUP);
  for (int id : groups) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%d", id);
    ::SendMessageW(hGroups, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  ::SendMessageW(hGroups, CB_SETCURSEL, 0, 0);
  return TRUE;
}

void CAddTagDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  if (m_nMode != 1 && m_nMode != 2) {
    EndDialog(IDOK);
    return;
  }
  HWND hGroups = GetDlgItem(IDC_ADDTAG_GROUP);
  wchar_t text[16] = {};
  LRESULT sel = ::SendMessageW(hGroups, CB_GETCURSEL, 0, 0);
  if (sel != CB_ERR && ::SendMessageW(hGroups, CB_GETLBTEXTLEN, static_cast<WPARAM>(sel), 0) < 16)
    ::SendMessageW(hGroups, CB_GETLBTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(text));
  m_nGroupId = static_cast<int>(std::wcstol(text, nullptr, 10));
  // No group to choose: the add is not attempted, so nothing goes to a group never picked.
  if (sel != CB_ERR) {
    m_pServerObj->SelectGroup(static_cast<OPCHANDLE>(m_nGroupId));
    m_pItem = m_pServerObj->AddItem(m_strTagName);
  }
  m_nMode = 0;
  EndDialog(IDOK);
}
