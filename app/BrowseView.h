// Left pane: the tree of the server's address space. For now a plain tree-view; the OPC
// client object it will own arrives with the client core.
#pragma once
#include "View.h"

class CBrowseView : public CView {
 protected:
  LPCWSTR GetViewClass() const override;
  DWORD GetViewStyle() const override;
};
