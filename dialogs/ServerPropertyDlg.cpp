#include "ServerPropertyDlg.h"

#include "OpcStatus.h"

CServerPropertyDlg::CServerPropertyDlg(ServerStatusText* pStatus, HWND hParent)
    : CDialog(IDD_SERVER_PROPERTY), m_pStatus(pStatus), m_hParent(hParent) {}

void CServerPropertyDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_PROPERTY_LIST, m_wndPropList);
}

BOOL CServerPropertyDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_wndPropList.SetBlackOnWhite();
  for (auto& row : m_rows) row.reset();
  // Without a record the sheet has nothing to show.
  if (!m_pStatus) return TRUE;

  const ServerStatusText& s = *m_pStatus;
  const struct {
    const wchar_t* name;
    std::wstring value;
  } rows[] = {
      {L"Vendor", s.m_strVendor},
      {L"State", s.m_strState},
      {L"StartTime", s.m_strStartTime},
      {L"LastTime", s.m_strLastUpdateTime},
      {L"CurrentTime", s.m_strCurrentTime},
      // Unsigned, so a figure past 2^31 is not shown negative.
      {L"GroupCount", std::to_wstring(s.m_dwGroupCount)},
      {L"BandWidth", std::to_wstring(s.m_dwBandwidth)},
      {nullptr, s.m_strDaVersions},
      {L"", L""},
  };
  for (size_t i = 0; i < 9; ++i) {
    const std::wstring name = rows[i].name ? rows[i].name : LoadResString(IDS_SERVER_DA_VERSIONS);
    m_rows[i] = std::make_unique<CPropertyRow>(name, rows[i].value, ROW_DISPLAY, L"");
    m_wndPropList.AddRow(m_rows[i].get());
  }
  for (int i = 0; i < 5; ++i) m_wndPropList.AddRow(m_rows[8].get());
  return TRUE;
}
