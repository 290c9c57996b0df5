// Left pane: the tree of the connected server's address space. It owns the program's only
// OPC client object; every other window reaches the server through this view.
#pragma once
#include <memory>
#include <string>

#include "OpcItemObserverList.h"
#include "OpcServer.h"
#include "OpcTreePort.h"
#include "PloverMessages.h"
#include "View.h"

class CBrowseView : public CView {
 public:
  // The tree's context menu: a branch's (or the root's) own leaves, every leaf below it,
  // and on a leaf what a double-click does.
  static const UINT ID_BROWSE_ADD_LEAVES = 32800;
  static const UINT ID_BROWSE_ADD_SUBTREE = 32801;
  static const UINT ID_BROWSE_ADD_LEAF = 32802;
  static std::wstring AddLeavesText();
  static std::wstring AddSubtreeText();
  static std::wstring AddLeafText();
  // The status bar's answer to a double-click or right-click on a tree with no server.
  static std::wstring NotConnectedText();
  // More items than this are added only after the user agrees.
  static const size_t kConfirmAbove = 1000;

  COpcServer m_server;
  // Listeners to every stored value (trend, recording); add and remove, never replace.
  COpcItemObserverList m_itemObservers;
  std::wstring m_strProgId;
  std::wstring m_strNode;  // empty: this computer
  int m_nGroupId = 1;
  // Connect without a box on failure (the frame's attempts after a lost server).
  bool m_bQuietConnect = false;

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
    MESSAGE_HANDLER(WM_OPC_WRITEERROR, OnOpcWriteError)
    MESSAGE_HANDLER(WM_OPC_SERVERSHUTDOWN, OnOpcServerShutdown)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_LBUTTONDBLCLK, OnLButtonDblClk)
    MESSAGE_HANDLER(WM_CONTEXTMENU, OnContextMenu)
    REFLECTED_NOTIFY_CODE_HANDLER(TVN_SELCHANGEDW, OnNotifyNothing)
    REFLECTED_NOTIFY_CODE_HANDLER(NM_DBLCLK, OnNotifyNothing)
    REFLECTED_NOTIFY_CODE_HANDLER(NM_RCLICK, OnRClick)
    REFLECTED_NOTIFY_CODE_HANDLER(TVN_ITEMEXPANDINGW, OnItemExpanding)
    COMMAND_ID_HANDLER(ID_BROWSE_ADD_LEAVES, OnAddLeaves)
    COMMAND_ID_HANDLER(ID_BROWSE_ADD_SUBTREE, OnAddSubtree)
    COMMAND_ID_HANDLER(ID_BROWSE_ADD_LEAF, OnAddLeaf)
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
  LRESULT OnOpcWriteError(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
  LRESULT OnOpcServerShutdown(UINT, WPARAM, LPARAM, BOOL&);
  // The connection's status check; the tree control's own timers pass through.
  LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnLButtonDblClk(UINT, WPARAM, LPARAM, BOOL& bHandled);
  LRESULT OnContextMenu(UINT, WPARAM, LPARAM lParam, BOOL&);
  // A right-click: the menu at the pointer. Handled here, so the control sends no
  // WM_CONTEXTMENU of its own.
  LRESULT OnRClick(int, NMHDR*, BOOL& bHandled);
  LRESULT OnNotifyNothing(int, NMHDR*, BOOL&) { return 0; }
  LRESULT OnItemExpanding(int, NMHDR* pnmh, BOOL&);
  void OnAddLeaves() { AddBranch(false); }
  void OnAddSubtree() { AddBranch(true); }
  void OnAddLeaf();
  // The selected node's data: -1 for the root or a branch, a leaf's index, or FALSE when
  // no node is selected.
  BOOL SelectedData(int& data) const;
  // The add-item path of a double-click on a leaf (or of any node of a server that cannot
  // browse, index 0).
  void AddLeaf(int index);
  // The selected branch's leaves (subtree: all below it) into the current group, batched.
  void AddBranch(bool subtree);
  void SayNotConnected();
  // Adds one tree style and lets the control see the change.
  void AddTreeStyle(DWORD style);

  std::unique_ptr<COpcTreePort> m_pTreePort;
};
