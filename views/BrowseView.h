// Left pane: the tree of the connected server's address space. It owns the program's only
// OPC client object; every other window reaches the server through this view.
#pragma once
#include <string>

#include "OpcServer.h"
#include "View.h"

class CBrowseView : public CView {
 public:
  COpcServer m_server;
  std::wstring m_strProgId;
  std::wstring m_strNode;  // empty: this computer
  int m_nGroupId = 1;

 protected:
  LPCWSTR GetViewClass() const override;
  DWORD GetViewStyle() const override;
};
