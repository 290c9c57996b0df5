#include "PloverView.h"

#include <commctrl.h>

LPCWSTR CPloverView::GetViewClass() const {
  return WC_LISTVIEWW;
}

DWORD CPloverView::GetViewStyle() const {
  return WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS;
}
