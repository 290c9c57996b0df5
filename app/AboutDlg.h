// The About box (template 100): the maker's scrolling credits and a link to the maker's web
// address. No buttons: Esc or the close box closes it.
#pragma once
#include "CreditsCtrl.h"
#include "Dialog.h"
#include "HyperLink.h"
#include "resource.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

  CHyperLink m_link;
  CCreditsCtrl m_credits;

  // clang-format off
  BEGIN_MSG_MAP(CAboutDlg)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()
  // clang-format on

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled);
};
