// Left pane: the tree of the connected server's address space. It owns the program's only
// OPC client object; every other window reaches the server through this view.
#pragma once
#include <memory>
#include <string>

#include "OpcServer.h"
#include "OpcTreePort.h"
#include "PloverMessages.h"
#include "View.h"

class CBrowseView : public CView {
 public:
  COpcServer m_server;
  std::wstring m_strProgId;
  std::wstring m_strNode;  // empty: this computer
  int m_nGroupId = 1;

  void OnInitialUpdate() override;
  // Every few seconds the connected server is asked whether it is still there.
  static constexpr UINT_PTR kAliveTimer = 0x0A17;
  static constexpr UINT kAliveCheckMs = 2000;
  // The tree as the client core fills it (none before the first build).
  COpcTreePort* GetTreePort() const { return m_pTreePort.get(); }

  // clang-format off
  BEGIN_MSG_MAP(CBrowseView)
    MESSAGE_HANDLER(WM_OPC_CONNECT, OnOpcConnect)
    MESSAGE_HANDLER(WM_OPC_DISCONNECT, OnOpcDisconnect)
    MESSAGE_HANDLER(WM_OPC_DATACHANGE, OnOpcDataChange)
    MESSAGE_HANDLER(WM_OPC_SERVERSHUTDOWN, OnOpcServerShutdown)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_LBUTTONDBLCLK, OnLButtonDblClk)
    MESSAGE_HANDLER(WM_CONTEXTMENU, OnContextMenu)
    REFLECTED_NOTIFY_CODE_HANDLER(TVN_SELCHANGEDW, OnNotifyNothing)
    REFLECTED_NOTIFY_CODE_HANDLER(NM_DBLCLK, OnNotifyNothing)
    REFLECTED_NOTIFY_CODE_HANDLER(TVN_ITEMEXPANDINGW, OnItemExpanding)
    CHAIN_MSG_MAP(CView)
  END_MSG_MAP()
  // clang-format on

 protected:
  LPCWSTR GetViewClass() const override;
  DWORD GetViewStyle() const override;

 private:
  LRESULT OnOpcConnect(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnOpcDisconnect(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnOpcDataChange(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
  LRESULT OnOpcServerShutdown(UINT, WPARAM, LPARAM, BOOL&);
  // The connection's status check; the tree control's own timers pass through.
  LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnLButtonDblClk(UINT, WPARAM, LPARAM, BOOL& bHandled);
  LRESULT OnContextMenu(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
  LRESULT OnNotifyNothing(int, NMHDR*, BOOL&) { return 0; }
  LRESULT OnItemExpanding(int, NMHDR* pnmh, BOOL&);
  // Adds one tree style and lets the control see the change.
  void AddTreeStyle(DWORD style);

  std::unique_ptr<COpcTreePort> m_pTreePort;
};
