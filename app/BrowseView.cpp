#include "BrowseView.h"

#include <commctrl.h>

LPCWSTR CBrowseView::GetViewClass() const {
  return WC_TREEVIEWW;
}

DWORD CBrowseView::GetViewStyle() const {
  return WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASLINES | TVS_LINESATROOT | TVS_HASBUTTONS |
         TVS_SHOWSELALWAYS;
}
