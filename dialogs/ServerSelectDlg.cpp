#include "ServerSelectDlg.h"

#include "App.h"
#include "OpcDiscovery.h"
#include "OpcListBoxPort.h"
#include "OpcServer.h"

namespace {
const wchar_t kNodeSection[] = L"Nodes";

std::wstring NodeEntry(int i) {
  return L"Node" + std::to_wstring(i + 1);
}

std::wstring ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return ::GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

bool SameNode(const std::wstring& a, const std::wstring& b) {
  return ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

std::vector<std::wstring> RememberedNodes() {
  std::vector<std::wstring> nodes;
  CWinApp* pApp = AfxGetApp();
  if (!pApp) return nodes;
  for (int i = 0; i < CServerSelectDlg::kMaxNodes; ++i) {
    std::wstring node = pApp->GetProfileString(kNodeSection, NodeEntry(i));
    if (!node.empty()) nodes.push_back(node);
  }
  return nodes;
}
}  // namespace

void CServerSelectDlg::RememberNode(const std::wstring& node) {
  CWinApp* pApp = AfxGetApp();
  if (!pApp || node.empty() || SameNode(node, ComputerName())) return;
  std::vector<std::wstring> nodes = {node};
  for (const std::wstring& old : RememberedNodes())
    if (!SameNode(old, node) && nodes.size() < static_cast<size_t>(kMaxNodes)) nodes.push_back(old);
  for (size_t i = 0; i < nodes.size(); ++i)
    pApp->WriteProfileString(kNodeSection, NodeEntry(static_cast<int>(i)), nodes[i].c_str());
}

std::vector<std::wstring> CServerSelectDlg::GetNodeChoices() {
  std::vector<std::wstring> nodes;
  std::wstring self = ComputerName();
  if (!self.empty()) nodes.push_back(self);
  for (const std::wstring& node : RememberedNodes())
    if (!SameNode(node, self)) nodes.push_back(node);
  return nodes;
}

void CServerSelectDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Text(pDX, IDC_SERVER_PROGID, m_strServer);
}

BOOL CServerSelectDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  HWND hNodes = GetDlgItem(IDC_SERVER_NODES);
  for (const std::wstring& node : GetNodeChoices())
    ::SendMessageW(hNodes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(node.c_str()));
  // The first listing is this computer's.
  FillServers(std::wstring());
  ::EnableWindow(GetDlgItem(IDOK), FALSE);
  return TRUE;
}

void CServerSelectDlg::FillServers(const std::wstring& node) {
  if (!m_pServerObj) return;
  COpcListBoxPort list(GetDlgItem(IDC_SERVER_LIST));
  m_pServerObj->FillServerList(&list, node);
  m_strServer.clear();
  ShowVersions();
}

void CServerSelectDlg::ShowVersions() {
  std::wstring text;
  const std::wstring versions = ServerDaVersions(m_strNode, m_strServer);
  if (!versions.empty()) {
    wchar_t line[128];
    ::swprintf(line, 128, LoadResString(IDS_SERVER_SELECT_VERSIONS).c_str(), versions.c_str());
    text = line;
  }
  ::SetDlgItemTextW(m_hWnd, IDC_SERVER_VERSIONS, text.c_str());
}

LRESULT CServerSelectDlg::OnNodeChange(WORD, WORD, HWND hCombo, BOOL&) {
  LRESULT sel = ::SendMessageW(hCombo, CB_GETCURSEL, 0, 0);
  if (sel == CB_ERR) return 0;
  LRESULT len = ::SendMessageW(hCombo, CB_GETLBTEXTLEN, static_cast<WPARAM>(sel), 0);
  if (len == CB_ERR) return 0;
  std::wstring text(static_cast<size_t>(len) + 1, L'\0');
  ::SendMessageW(hCombo, CB_GETLBTEXT, static_cast<WPARAM>(sel),
                 reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(len));
  m_strNode = text;
  FillServers(m_strNode);
  return 0;
}

LRESULT CServerSelectDlg::OnServerChange(WORD, WORD, HWND hList, BOOL&) {
  LRESULT sel = ::SendMessageW(hList, LB_GETCURSEL, 0, 0);
  if (sel == LB_ERR) return 0;
  LRESULT len = ::SendMessageW(hList, LB_GETTEXTLEN, static_cast<WPARAM>(sel), 0);
  if (len == LB_ERR) return 0;
  std::wstring text(static_cast<size_t>(len) + 1, L'\0');
  ::SendMessageW(hList, LB_GETTEXT, static_cast<WPARAM>(sel),
                 reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(len));
  m_strServer = text;
  ::SetDlgItemTextW(m_hWnd, IDC_SERVER_PROGID, m_strServer.c_str());
  ShowVersions();
  ::EnableWindow(GetDlgItem(IDOK), TRUE);
  return 0;
}

LRESULT CServerSelectDlg::OnServerDblClk(WORD, WORD, HWND, BOOL&) {
  OnOK();
  return 0;
}
