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
