#include "AboutDlg.h"

#include "CreditTexts.h"

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_HYPERLINK, m_link);
  DDX_Control(pDX, IDC_CREDITS, m_credits);
}

BOOL CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_link.SetLinkAddress(kMakerWebAddress);
  StartCredits(m_credits, kAboutCredits, 40);
  return TRUE;
}

LRESULT CAboutDlg::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  // The windows under the box, the item list's headings among them, are painted again: left
  // alone they could keep a strip of the box's scrolling banner.
  HWND hOwner = ::GetWindow(m_hWnd, GW_OWNER);
  if (!hOwner) return 0;
  RECT covered{};
  ::GetWindowRect(m_hWnd, &covered);
  ::MapWindowPoints(nullptr, hOwner, reinterpret_cast<POINT*>(&covered), 2);
  ::RedrawWindow(hOwner, &covered, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  return 0;
}
