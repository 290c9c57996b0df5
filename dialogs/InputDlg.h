// Asks for the value text of a write. The box takes any text: the write converts it to the
// item's type and reports a text that does not convert, so nothing typed is altered here.
#pragma once
#include <string>

#include "Dialog.h"
#include "resource.h"

class CInputDlg : public CDialog {
 public:
  CInputDlg() : CDialog(IDD_INPUT) {}

  std::wstring m_strItemId;  // shown above the box
  std::wstring m_strInput;   // the starting text (the current value), then what was typed

 protected:
  void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_INPUT_VALUE, m_strInput); }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    ::SetDlgItemTextW(m_hWnd, IDC_INPUT_ITEM, m_strItemId.c_str());
    // Typing replaces the starting text; the focus is not on OK, where a key would write.
    HWND hEdit = GetDlgItem(IDC_INPUT_VALUE);
    ::SetFocus(hEdit);
    ::SendMessageW(hEdit, EM_SETSEL, 0, -1);
    return FALSE;
  }
};
