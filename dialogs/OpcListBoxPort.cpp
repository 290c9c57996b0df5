#include "OpcListBoxPort.h"

void COpcListBoxPort::ResetContent() {
  ::SendMessageW(m_hList, LB_RESETCONTENT, 0, 0);
}

void COpcListBoxPort::AddString(const std::wstring& text) {
  ::SendMessageW(m_hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int COpcListBoxPort::GetCount() {
  LRESULT n = ::SendMessageW(m_hList, LB_GETCOUNT, 0, 0);
  return n == LB_ERR ? 0 : static_cast<int>(n);
}

void COpcListBoxPort::SetCurSel(int index) {
  ::SendMessageW(m_hList, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
