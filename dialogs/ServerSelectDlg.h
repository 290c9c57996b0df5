// Picks the server to connect to: the OPC servers registered on a node, listed through the
// client core. The node list offers this computer and the nodes of earlier successful
// connections, which the program keeps in its profile.
#pragma once
#include <string>
#include <vector>

#include "Dialog.h"
#include "resource.h"

class COpcServer;

class CServerSelectDlg : public CDialog {
 public:
  // How many remembered nodes the profile keeps, newest first.
  static const int kMaxNodes = 8;

  // The owner is given to DoModal.
  explicit CServerSelectDlg(COpcServer* pServerObj)
      : CDialog(IDD_SERVER_SELECT), m_pServerObj(pServerObj) {}

  // Remembers a node the program connected to (this computer's own name is always offered
  // and is not stored).
  static void RememberNode(const std::wstring& node);
  // The entries of the node list: this computer's name, then the remembered nodes.
  static std::vector<std::wstring> GetNodeChoices();

  std::wstring m_strServer;
  COpcServer* m_pServerObj;
  std::wstring m_strNode;

  // clang-format off
  BEGIN_MSG_MAP(CServerSelectDlg)
    COMMAND_HANDLER(IDC_SERVER_NODES, CBN_SELCHANGE, OnNodeChange)
    COMMAND_HANDLER(IDC_SERVER_LIST, LBN_SELCHANGE, OnServerChange)
    COMMAND_HANDLER(IDC_SERVER_LIST, LBN_DBLCLK, OnServerDblClk)
  END_MSG_MAP()
  // clang-format on

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  LRESULT OnNodeChange(WORD, WORD, HWND, BOOL&);
  LRESULT OnServerChange(WORD, WORD, HWND, BOOL&);
  LRESULT OnServerDblClk(WORD, WORD, HWND, BOOL&);
  void FillServers(const std::wstring& node);
  // The OPC DA versions of the server picked in the list, under it.
  void ShowVersions();
};
