#include "GroupManageDlg.h"

#include <cwchar>
#include <cwctype>
#include <vector>

#include "ModalRunner.h"
#include "OpcServer.h"
#include "PloverMessages.h"
#include "TextRes.h"
#include "UiLanguage.h"

namespace {

std::wstring Format(const wchar_t* format, int value) {
  wchar_t text[32];
  std::swprintf(text, 32, format, value);
  return text;
}

std::wstring FormatDeadband(float value) {
  wchar_t text[64];
  std::swprintf(text, 64, L"%0.2f", static_cast<double>(value));
  return text;
}

}  // namespace

CGroupManageDlg::CGroupManageDlg(COpcServer* pServerObj, HWND hParent)
    : CDialog(IDD_GROUP_MANAGE), m_pServerObj(pServerObj), m_hParent(hParent) {}

CGroupManageDlg::~CGroupManageDlg() = default;

int CGroupManageDlg::ParseId(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && std::iswspace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  uint32_t value = 0;  // wraps like the 32-bit handle it names
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i)
    value = value * 10u + static_cast<uint32_t>(text[i] - L'0');
  return static_cast<int>(negative ? 0u - value : value);
}

void CGroupManageDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_GROUP_ID, m_wndGroupBox);
  DDX_Control(pDX, IDC_GROUP_PROPLIST, m_wndPropList);
}

HWND CGroupManageDlg::MessageTarget() const {
  return m_hParent ? m_hParent : ::GetWindow(m_hWnd, GW_OWNER);
}

int CGroupManageDlg::BoxCount() const {
  return static_cast<int>(m_wndGroupBox.SendMessage(CB_GETCOUNT));
}

std::wstring CGroupManageDlg::ReadGroupText() {
  m_strGroupText = m_wndGroupBox.GetWindowText();
  return m_strGroupText;
}

BOOL CGroupManageDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_wndPropList.SetBlackOnWhite();
  if (!m_pServerObj) return TRUE;

  std::vector<int> handles;
  m_pServerObj->GetGroupHandles(handles);
  for (int handle : handles)
    m_wndGroupBox.SendMessage(CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(Format(L"%d", handle).c_str()));
  if (BoxCount() < 2) Enable(IDC_GROUP_DELETE, FALSE);

  m_nGroupIdShown = static_cast<int>(m_pServerObj->GetGroupHandle(L""));
  // The current group may have been deleted since: show the lowest one left.
  if (!m_pServerObj->GetGroup(static_cast<OPCHANDLE>(m_nGroupIdShown)) && !handles.empty()) {
    m_nGroupIdShown = handles[0];
    for (int handle : handles)
      if (handle < m_nGroupIdShown) m_nGroupIdShown = handle;
  }
  const std::wstring shown = Format(L"%d", m_nGroupIdShown);
  LRESULT index = m_wndGroupBox.SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(shown.c_str()));
  if (index >= 0) m_wndGroupBox.SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index));

  const wchar_t* names[kSpacer] = {
      L"GroupName",           L"Active",       L"Request UpdateRate(us)",
      L"Real UpdateRate(us)", L"Deadband(%s)", L"ItemCount"};
  const int kinds[kSpacer] = {ROW_TEXT, ROW_CHOICE, ROW_TEXT, ROW_DISPLAY, ROW_TEXT, ROW_DISPLAY};
  for (int i = 0; i < kSpacer; ++i) {
    m_rows[i] =
        std::make_unique<CPropertyRow>(names[i], L"", kinds[i], i == kActive ? L"ON|OFF|" : L"");
    m_wndPropList.AddRow(m_rows[i].get());
  }
  m_rows[kSpacer] = std::make_unique<CPropertyRow>(L"", L"", ROW_DISPLAY, L"");
  for (int i = 0; i < 4; ++i) m_wndPropList.AddRow(m_rows[kSpacer].get());

  if (m_pServerObj->GetGroup(static_cast<OPCHANDLE>(m_nGroupIdShown))) {
    ShowGroup();
  } else {
    // No group at all: empty rows; only create makes sense.
    ClearRows();
    Enable(IDOK, FALSE);
    Enable(IDC_GROUP_CREATE, TRUE);
  }
  return TRUE;
}

void CGroupManageDlg::ShowGroup() {
  const OPCHANDLE id = static_cast<OPCHANDLE>(m_nGroupIdShown);
  COpcGroup* group = m_pServerObj->GetGroup(id);
  if (!group) return;
  m_wndPropList.SetRowValue(kName, group->m_strName);
  m_wndPropList.SetRowValue(kActive, group->m_bActive ? L"ON" : L"OFF");
  m_wndPropList.SetRowValue(kRequestedRate,
                            Format(L"%d", static_cast<int>(group->m_dwRequestedRate)));
  m_wndPropList.SetRowValue(kRevisedRate, Format(L"%d", static_cast<int>(group->m_dwRevisedRate)));
  m_wndPropList.SetRowValue(kDeadband, FormatDeadband(group->m_fDeadband));
  m_wndPropList.SetRowValue(kItemCount, Format(L"%d", m_pServerObj->GetGroupItemCount(id)));
}

void CGroupManageDlg::ClearRows() {
  m_wndPropList.SetRowValue(kName, L"");
  m_wndPropList.SetRowValue(kActive, L"ON");
  m_wndPropList.SetRowValue(kItemCount, L"0");
}

void CGroupManageDlg::UpdateButtons() {
  if (ReadGroupText().empty() || !m_pServerObj) return;
  m_nGroupIdShown = ParseId(m_strGroupText);
  if (!m_pServerObj->GetGroup(static_cast<OPCHANDLE>(m_nGroupIdShown))) {
    Enable(IDC_GROUP_CREATE, TRUE);
    Enable(IDC_GROUP_DELETE, FALSE);
    Enable(IDOK, FALSE);
    ClearRows();
    return;
  }
  Enable(IDC_GROUP_CREATE, FALSE);
  Enable(IDOK, TRUE);
  Enable(IDC_GROUP_DELETE, BoxCount() >= 2);
  ShowGroup();
}

LRESULT CGroupManageDlg::OnGroupSelChange(WORD, WORD, HWND, BOOL&) {
  LRESULT index = m_wndGroupBox.SendMessage(CB_GETCURSEL);
  if (index >= 0) {
    LRESULT length = m_wndGroupBox.SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    std::wstring text(length > 0 ? static_cast<size_t>(length) : 0, L'\0');
    m_wndGroupBox.SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index),
                              reinterpret_cast<LPARAM>(text.data()));
    text.resize(::lstrlenW(text.c_str()));
    m_strGroupText = text;
    ::SetWindowTextW(m_wndGroupBox.m_hWnd, m_strGroupText.c_str());
  }
  UpdateButtons();
  return 0;
}

LRESULT CGroupManageDlg::OnGroupEditChange(WORD, WORD, HWND, BOOL&) {
  UpdateButtons();
  return 0;
}

LRESULT CGroupManageDlg::OnCreateGroup(WORD, WORD, HWND, BOOL&) {
  if (!m_pServerObj) return 0;
  m_nGroupIdShown = ParseId(ReadGroupText());
  const std::wstring name = Row(kName);
  if (m_pServerObj->GetGroup(static_cast<OPCHANDLE>(m_nGroupIdShown))) {
    AfxMessageBox(LoadResString(IDS_GROUP_EXISTS), MB_OK);
  } else if (name.empty()) {
    AfxMessageBox(LoadResString(IDS_GROUP_NAME_EMPTY), MB_OK);
  } else if (m_pServerObj->FindGroup(name)) {
    AfxMessageBox(LoadResString(IDS_GROUP_NAME_EXISTS), MB_OK);
  } else {
    m_pServerObj->SetGroupActive(Row(kActive) == L"ON");
    m_pServerObj->SetGroupUpdateRate(static_cast<DWORD>(ParseId(Row(kRequestedRate))));
    m_pServerObj->SetGroupDeadband(
        static_cast<float>(std::wcstod(Row(kDeadband).c_str(), nullptr)));
    // A refusal is not reported; the new group becomes the current one.
    if (m_pServerObj->AddGroup(static_cast<OPCHANDLE>(m_nGroupIdShown), name) >= 0)
      m_wndGroupBox.SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m_strGroupText.c_str()));
    Enable(IDC_GROUP_CREATE, FALSE);
    return 0;
  }
  Enable(IDC_GROUP_CREATE, FALSE);
  return 0;
}

void CGroupManageDlg::OnOK() {
  if (!m_pServerObj || ReadGroupText().empty()) return;
  m_nGroupIdShown = ParseId(m_strGroupText);
  const OPCHANDLE id = static_cast<OPCHANDLE>(m_nGroupIdShown);
  if (!m_pServerObj->GetGroup(id)) return;
  // The calls below act on the current group: make it the one shown.
  m_pServerObj->SelectGroup(id);
  const std::wstring name = Row(kName);
  if (!name.empty()) m_pServerObj->RenameGroup(name);
  m_pServerObj->ChangeGroupActive(Row(kActive) == L"ON");
  m_pServerObj->ChangeGroupUpdateRate(static_cast<DWORD>(ParseId(Row(kRequestedRate))));
  m_pServerObj->ChangeGroupDeadband(
      static_cast<float>(std::wcstod(Row(kDeadband).c_str(), nullptr)));
  ::SendMessageW(MessageTarget(), WM_OPC_GROUPCHANGED, 0, m_nGroupIdShown);
}

LRESULT CGroupManageDlg::OnDeleteGroup(WORD, WORD, HWND, BOOL&) {
  if (!m_pServerObj || ReadGroupText().empty()) return 0;
  m_nGroupIdShown = ParseId(m_strGroupText);
  if (m_pServerObj->GetGroup(static_cast<OPCHANDLE>(m_nGroupIdShown)))
    ::SendMessageW(MessageTarget(), WM_OPC_GROUPDELETED, 0, m_nGroupIdShown);
  LRESULT index = m_wndGroupBox.SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(m_strGroupText.c_str()));
  if (index >= 0) m_wndGroupBox.SendMessage(CB_DELETESTRING, static_cast<WPARAM>(index));
  Enable(IDC_GROUP_DELETE, BoxCount() >= 2);
  return 0;
}
