// Asks for the value text of a write; the box takes digits only.
#pragma once
#include <string>

#include "Dialog.h"
#include "resource.h"

class CInputDlg : public CDialog {
 public:
  CInputDlg() : CDialog(IDD_INPUT) {}

  std::wstring m_strInput;

 protected:
  void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_INPUT_VALUE, m_strInput); }
};
