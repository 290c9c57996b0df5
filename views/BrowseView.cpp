#include "BrowseView.h"

#include <commctrl.h>

LPCWSTR CBrowseView::GetViewClass() const {
  return WC_TREEVIEWW;
}

DWORD CBrowseView::GetViewStyle() const {
  // The tree styles are added at each connect.
  return WS_CHILD | WS_VISIBLE | WS_BORDER;
}
