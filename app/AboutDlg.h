// The About box (template 100). Its scrolling credits and hyperlink come with those controls;
// until then it shows the bare template and closes with Esc or the close box.
#pragma once
#include "Dialog.h"
#include "resource.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
