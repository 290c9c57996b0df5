#include "PloverView.h"

#include <commctrl.h>

LPCWSTR CPloverView::GetViewClass() const {
  return WC_LISTVIEWW;
}

DWORD CPloverView::GetViewStyle() const {
  return WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS;
}

void CPloverView::HighlightItem(const COpcItem* item) {
  LVFINDINFOW find{};
  find.flags = LVFI_PARAM;
  find.lParam = reinterpret_cast<LPARAM>(item);
  LRESULT row =
      SendMessage(LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find));
  if (row >= 0) SendMessage(LVM_SETHOTITEM, static_cast<WPARAM>(row));
}
