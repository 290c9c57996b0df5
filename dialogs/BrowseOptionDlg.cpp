#include "BrowseOptionDlg.h"

#include "OpcServer.h"

namespace {
const wchar_t kTypeChoices[] = L"FLOAT|DOUBLE|SHORT|INT|BOOL|STRING|UNKNOWN|";
const wchar_t kAccessChoices[] = L"Read and Write|Read|Write|";
const wchar_t kReadWrite[] = L"Read and Write";
const wchar_t kRead[] = L"Read";
const wchar_t kWrite[] = L"Write";

std::wstring AccessText(BYTE rights) {
  switch (rights) {
    case OPC_READABLE | OPC_WRITEABLE:
      return kReadWrite;
    case OPC_READABLE:
      return kRead;
    case OPC_WRITEABLE:
      return kWrite;
    default:
      return std::wstring();
  }
}
}  // namespace

CBrowseOptionDlg::CBrowseOptionDlg(COpcServer* pServer, HWND hParent)
    : CDialog(IDD_BROWSE_OPTION), m_pServerObj(pServer), m_hParent(hParent) {}

void CBrowseOptionDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_PROPERTY_LIST, m_wndPropList);
}

BOOL CBrowseOptionDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_wndPropList.SetNameBkColor(RGB(255, 255, 255));
  m_wndPropList.SetValueBkColor(RGB(255, 255, 255));
  m_wndPropList.SetNameTextColor(RGB(0, 0, 0));
  m_wndPropList.SetValueTextColor(RGB(0, 0, 0));
  for (auto& row : m_rows) row.reset();
  if (!m_pServerObj) return TRUE;

  m_rows[0] =
      std::make_unique<CPropertyRow>(L"Filter", m_pServerObj->GetBrowseFilter(), ROW_TEXT, L"");
  m_rows[1] = std::make_unique<CPropertyRow>(
      L"Data Type", COpcServer::GetTypeName(m_pServerObj->GetBrowseDataType()), ROW_CHOICE,
      kTypeChoices);
  m_rows[2] = std::make_unique<CPropertyRow>(L"Read or Write",
                                             AccessText(m_pServerObj->GetBrowseAccessRights()),
                                             ROW_CHOICE, kAccessChoices);
  m_rows[3] = std::make_unique<CPropertyRow>(L"", L"", ROW_DISPLAY, L"");
  for (int i = 0; i < 3; ++i) m_wndPropList.AddRow(m_rows[i].get());
  for (int i = 0; i < 3; ++i) m_wndPropList.AddRow(m_rows[3].get());
  return TRUE;
}

void CBrowseOptionDlg::OnOK() {
  CDialog::OnOK();
  // The rows outlive the window, so they are read after it closed.
  if (!m_pServerObj || !m_rows[0]) return;
  m_pServerObj->SetBrowseFilter(m_rows[0]->m_strValue);
  m_pServerObj->SetBrowseDataType(COpcServer::ParseTypeName(m_rows[1]->m_strValue));
  const std::wstring& access = m_rows[2]->m_strValue;
  if (access == kReadWrite)
    m_pServerObj->SetBrowseAccessRights(OPC_READABLE | OPC_WRITEABLE);
  else if (access == kRead)
    m_pServerObj->SetBrowseAccessRights(OPC_READABLE);
  if (access == kWrite) m_pServerObj->SetBrowseAccessRights(OPC_WRITEABLE);
}
