#include "TagPropertyDlg.h"

#include <cwchar>

#include "OpcGroup.h"
#include "OpcStatus.h"

namespace {
std::wstring Format(const wchar_t* fmt, double value) {
  wchar_t buf[64];
  std::swprintf(buf, 64, fmt, value);
  return buf;
}
std::wstring FormatRate(DWORD value) {
  // Unsigned, so a rate past 2^31 is not shown negative.
  return std::to_wstring(value);
}
}  // namespace

CTagPropertyDlg::CTagPropertyDlg(COpcGroup* pGroup, ItemAttributeText* pAttributes, HWND hParent)
    : CDialog(IDD_TAG_PROPERTY), m_pGroup(pGroup), m_pAttributes(pAttributes), m_hParent(hParent) {}

void CTagPropertyDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_PROPERTY_LIST, m_wndPropList);
}

BOOL CTagPropertyDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_wndPropList.SetNameBkColor(RGB(255, 255, 255));
  m_wndPropList.SetValueBkColor(RGB(255, 255, 255));
  m_wndPropList.SetNameTextColor(RGB(0, 0, 0));
  m_wndPropList.SetValueTextColor(RGB(0, 0, 0));
  for (auto& row : m_rows) row.reset();
  if (!m_pAttributes || !m_pGroup) return TRUE;

  const ItemAttributeText& a = *m_pAttributes;
  const struct {
    const wchar_t* name;
    std::wstring value;
  } rows[] = {
      {L"TagName", a.m_strItemId},
      {L"AccessPath", a.m_strAccessPath},
      {L"AccessRight", a.m_strAccessRights},
      {L"RequestType", a.m_strRequestedType},
      {L"NativeType", a.m_strCanonicalType},
      {L"EUType", a.m_strEuType},
      {L"Request UpdateRate(us)", FormatRate(m_pGroup->m_dwRequestedRate)},
      {L"Real UpdateRate(us)", FormatRate(m_pGroup->m_dwRevisedRate)},
      {L"Deadband(%)", Format(L"%0.2f", m_pGroup->m_fDeadband)},
      // The item's own flag; the rates and the deadband above are the group's.
      {L"Active", a.m_bActive ? L"ON" : L"OFF"},
      {L"", L""},
  };
  for (size_t i = 0; i < 11; ++i) {
    m_rows[i] = std::make_unique<CPropertyRow>(rows[i].name, rows[i].value, ROW_DISPLAY, L"");
    m_wndPropList.AddRow(m_rows[i].get());
  }
  for (int i = 0; i < 3; ++i) m_wndPropList.AddRow(m_rows[10].get());
  return TRUE;
}
