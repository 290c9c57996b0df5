// Connecting through the server selection, the browse tree and the add-item path, in the
// real application, on real windows, against the simulation servers in the registry.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <functional>
#include <vector>

#include "AddTagDlg.h"
#include "AppFixture.h"
#include "BrowseView.h"
#include "InputDlg.h"
#include "PloverView.h"
#include "ServerSelectDlg.h"
#include "SimControl.h"

namespace {

const wchar_t kSim[] = L"Plover.SimServer.1";
const wchar_t kNoBrowse[] = L"Plover.SimServer.NoBrowse.1";

// Drives each dialog with the next script (cancels when none is left); boxes are recorded.
class ScriptRunner : public RecordingRunner {
 public:
  INT_PTR RunDialog(CDialog& dlg, HWND hOwner) override {
    dialogs.push_back(dlg.m_nIDTemplate);
    if (scripts.empty()) return IDCANCEL;
    std::function<void(HWND)> drive = scripts.front();
    scripts.erase(scripts.begin());
    return DriveDialog(dlg, hOwner, drive);
  }
  std::vector<std::function<void(HWND)>> scripts;
};

// What reaches the item list: the messages in order, with the connection state seen then.
// It fills a row for each new item, as the list view will, so hot items can be checked.
struct ListMessage {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  BOOL connected;
};
std::vector<ListMessage> g_list;
COpcServer* g_pServer;
WNDPROC g_oldListProc;

LRESULT CALLBACK ListProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_OPC_ITEMADDED || m == WM_OPC_DISCONNECT || m == WM_OPC_GROUPDATA)
    g_list.push_back({m, w, l, g_pServer->IsConnected()});
  return ::CallWindowProcW(g_oldListProc, h, m, w, l);
}

void DlgCommand(HWND hDlg, int id, int code) {
  ::SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(::GetDlgItem(hDlg, id)));
}

std::wstring Text(HWND h) {
  wchar_t buf[512] = {};
  ::GetWindowTextW(h, buf, 512);
  return buf;
}

std::vector<std::wstring> ComboTexts(HWND hCombo) {
  std::vector<std::wstring> out;
  int n = static_cast<int>(::SendMessageW(hCombo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    wchar_t buf[256] = {};
    ::SendMessageW(hCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
    out.push_back(buf);
  }
  return out;
}

class BrowseFixture : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    SetModalRunner(&m_script);
  }
  void TearDown() override {
    if (Frame() && Frame()->GetItemView() && g_oldListProc)
      ::SetWindowLongPtrW(Frame()->GetItemView()->m_hWnd, GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(g_oldListProc));
    g_oldListProc = nullptr;
    g_list.clear();
    AppFixture::TearDown();
  }
  void StartWatched(const std::wstring& cmdLine = std::wstring()) {
    ASSERT_TRUE(Start(cmdLine));
    g_pServer = &View()->m_server;
    HWND hList = Frame()->GetItemView()->m_hWnd;
    g_oldListProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProc)));
  }
  CBrowseView* View() const { return Frame()->GetBrowseView(); }
  HWND Tree() const { return View()->m_hWnd; }
  HTREEITEM Next(UINT code, HTREEITEM item = nullptr) const {
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageW(Tree(), TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
  }
  std::wstring ItemText(HTREEITEM h) const {
    wchar_t buf[256] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = h;
    item.pszText = buf;
    item.cchTextMax = 256;
    ::SendMessageW(Tree(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return buf;
  }
  LPARAM ItemData(HTREEITEM h) const {
    TVITEMW item{};
    item.mask = TVIF_PARAM;
    item.hItem = h;
    ::SendMessageW(Tree(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
  }
  bool Expanded(HTREEITEM h) const {
    return ::SendMessageW(Tree(), TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(h), TVIS_EXPANDED) &
           TVIS_EXPANDED;
  }
  HTREEITEM Child(HTREEITEM parent, const std::wstring& text) const {
    for (HTREEITEM c = Next(TVGN_CHILD, parent); c; c = Next(TVGN_NEXT, c))
      if (ItemText(c) == text) return c;
    return nullptr;
  }
  // Opens a branch as its button does: the control asks its parent first.
  void Open(HTREEITEM h) {
    ::SendMessageW(Tree(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(h));
    Pump();
  }
  // The user's double-click on a node: the first click selected it.
  void DoubleClick(HTREEITEM h) {
    if (h) ::SendMessageW(Tree(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(h));
    RECT rc{};
    std::memcpy(&rc, &h, sizeof(h));  // TVM_GETITEMRECT takes the item in the rectangle
    if (h) ::SendMessageW(Tree(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc));
    ::SendMessageW(Tree(), WM_LBUTTONDBLCLK, MK_LBUTTON,
                   MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2));
    Pump();
  }
  // The last new row; the sink's data messages may arrive after it.
  const ListMessage& LastAdded() const {
    static const ListMessage none{};
    for (auto it = g_list.rbegin(); it != g_list.rend(); ++it)
      if (it->msg == WM_OPC_ITEMADDED) return *it;
    return none;
  }
  int HotRow() const {
    return static_cast<int>(::SendMessageW(Frame()->GetItemView()->m_hWnd, LVM_GETHOTITEM, 0, 0));
  }
  std::vector<int> Groups() const {
    std::vector<int> g;
    View()->m_server.GetGroupHandles(g);
    return g;
  }
  size_t ItemsAdded() const {
    size_t n = 0;
    for (const ListMessage& m : g_list) n += m.msg == WM_OPC_ITEMADDED;
    return n;
  }
  bool MenuEnabled(UINT id) {
    HMENU hPopup = OpenPopup(1);
    return !(::GetMenuState(hPopup, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED));
  }

  ScriptRunner m_script;
};

TEST_F(BrowseFixture, ConnectThroughTheSelectionBrowseAddAndDisconnect) {
  StartWatched();
  EXPECT_TRUE(MenuEnabled(ID_OPC_CONNECT));
  EXPECT_FALSE(MenuEnabled(ID_OPC_DISCONNECT));

  // Cancel: nothing changes, nothing is sent.
  m_script.scripts.push_back([](HWND hDlg) {
    HWND hList = ::GetDlgItem(hDlg, IDC_SERVER_LIST);
    EXPECT_NE(LB_ERR, ::SendMessageW(hList, LB_FINDSTRINGEXACT, -1, (LPARAM)kSim));
    EXPECT_NE(LB_ERR, ::SendMessageW(hList, LB_FINDSTRINGEXACT, -1, (LPARAM)kNoBrowse));
    EXPECT_EQ(0, ::SendMessageW(hList, LB_GETCURSEL, 0, 0)) << "first entry highlighted";
    EXPECT_EQ(L"", Text(::GetDlgItem(hDlg, IDC_SERVER_PROGID))) << "not a pick";
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(hDlg, IDOK)));
    DlgCommand(hDlg, IDCANCEL, BN_CLICKED);
  });
  Command(ID_OPC_CONNECT);
  ASSERT_EQ(1u, m_script.dialogs.size());
  EXPECT_EQ(static_cast<UINT>(IDD_SERVER_SELECT), m_script.dialogs[0]);
  EXPECT_EQ(L"", View()->m_strProgId);
  EXPECT_FALSE(View()->m_server.IsConnected());

  // A pick copies the ProgID and enables OK; a double-click accepts it.
  m_script.scripts.push_back([](HWND hDlg) {
    HWND hList = ::GetDlgItem(hDlg, IDC_SERVER_LIST);
    ::SendMessageW(hList, LB_SELECTSTRING, -1, (LPARAM)kSim);
    DlgCommand(hDlg, IDC_SERVER_LIST, LBN_SELCHANGE);
    EXPECT_EQ(kSim, Text(::GetDlgItem(hDlg, IDC_SERVER_PROGID)));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(hDlg, IDOK)));
    DlgCommand(hDlg, IDC_SERVER_LIST, LBN_DBLCLK);
  });
  Command(ID_OPC_CONNECT);
  ASSERT_TRUE(View()->m_server.IsConnected());
  EXPECT_EQ(kSim, View()->m_strProgId);
  EXPECT_EQ(L"", View()->m_strNode);
  EXPECT_TRUE(m_script.boxes.empty());
  EXPECT_FALSE(MenuEnabled(ID_OPC_CONNECT));
  EXPECT_TRUE(MenuEnabled(ID_OPC_DISCONNECT));
  const DWORD kStyles =
      TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_SINGLEEXPAND | TVS_HASBUTTONS;
  EXPECT_EQ(kStyles, View()->GetStyle() & kStyles);

  // The tree: one root named after the server, selected and open; branches -1.
  HTREEITEM root = Next(TVGN_ROOT);
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(nullptr, Next(TVGN_NEXT, root));
  EXPECT_EQ(kSim, ItemText(root));
  EXPECT_EQ(-1, ItemData(root));
  EXPECT_EQ(root, Next(TVGN_CARET));
  EXPECT_TRUE(Expanded(root));
  COpcGroup* group1 = View()->m_server.GetGroup(1);
  ASSERT_NE(nullptr, group1);
  EXPECT_EQ(L"Group1", group1->m_strName);
  EXPECT_EQ(1000u, group1->m_dwRequestedRate);
  EXPECT_EQ(0.0f, group1->m_fDeadband);

  HTREEITEM signals = Child(root, L"Signals");
  ASSERT_NE(nullptr, signals);
  EXPECT_EQ(-1, ItemData(signals));
  Open(signals);
  HTREEITEM ramp = Child(signals, L"Ramp");
  HTREEITEM random = Child(signals, L"Random");
  ASSERT_TRUE(ramp && random);
  EXPECT_EQ(L"Signals.Ramp", View()->m_server.GetBrowseItemId(static_cast<int>(ItemData(ramp))));

  // Root and branch: nothing added, nothing opened or closed.
  HTREEITEM types = Child(root, L"Types");
  ASSERT_NE(nullptr, types);
  for (HTREEITEM node : {root, signals, types}) {
    ::SendMessageW(Tree(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
    Pump();
    bool before = Expanded(node);
    DoubleClick(node);
    EXPECT_EQ(before, Expanded(node)) << testing::PrintToString(ItemText(node));
  }
  EXPECT_EQ(0u, ItemsAdded());
  EXPECT_EQ(2u, m_script.dialogs.size());
  EXPECT_TRUE(m_script.boxes.empty());

  // One group: added at once, no dialog; its row is the hot item.
  DoubleClick(ramp);
  ASSERT_EQ(1u, ItemsAdded());
  EXPECT_EQ(1u, LastAdded().wParam);
  auto* pRamp = reinterpret_cast<COpcItem*>(LastAdded().lParam);
  EXPECT_EQ(pRamp, View()->m_server.FindItem(1, L"Signals.Ramp"));
  EXPECT_EQ(0, HotRow());
  // Already in the group: no error, no new row, the existing row is hot again.
  DoubleClick(random);
  ASSERT_EQ(2u, ItemsAdded());
  EXPECT_EQ(1, HotRow());
  DoubleClick(ramp);
  EXPECT_EQ(2u, ItemsAdded());
  EXPECT_EQ(0, HotRow());
  EXPECT_TRUE(m_script.boxes.empty());
  EXPECT_EQ(2u, m_script.dialogs.size());
  // Quick double-clicks on successive leaves: the leaf under the pointer is added, also when
  // its first click has not moved the selection there.
  HTREEITEM sine = Child(signals, L"Sine");
  ASSERT_NE(nullptr, sine);
  RECT at{};
  std::memcpy(&at, &sine, sizeof(sine));
  ::SendMessageW(Tree(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&at));
  ASSERT_EQ(ramp, Next(TVGN_CARET));
  ::SendMessageW(Tree(), WM_LBUTTONDBLCLK, MK_LBUTTON,
                 MAKELPARAM((at.left + at.right) / 2, (at.top + at.bottom) / 2));
  Pump();
  ASSERT_EQ(3u, ItemsAdded());
  EXPECT_NE(nullptr, View()->m_server.FindItem(1, L"Signals.Sine"));
  EXPECT_EQ(sine, Next(TVGN_CARET));

  // Three groups: the dialog shows the ID greyed, the IDs sorted as text, the first chosen.
  ASSERT_TRUE(SUCCEEDED(View()->m_server.AddGroup(2, L"G2")));
  ASSERT_TRUE(SUCCEEDED(View()->m_server.AddGroup(10, L"G10")));
  HTREEITEM counter = Child(signals, L"Counter");
  ASSERT_NE(nullptr, counter);
  m_script.scripts.push_back([](HWND hDlg) {
    HWND hName = ::GetDlgItem(hDlg, IDC_ADDTAG_NAME);
    HWND hGroups = ::GetDlgItem(hDlg, IDC_ADDTAG_GROUP);
    EXPECT_EQ(L"Signals.Counter", Text(hName));
    EXPECT_FALSE(::IsWindowEnabled(hName));
    EXPECT_EQ((std::vector<std::wstring>{L"1", L"10", L"2"}), ComboTexts(hGroups));
    EXPECT_EQ(0, ::SendMessageW(hGroups, CB_GETCURSEL, 0, 0));
    ::SendMessageW(hGroups, CB_SETCURSEL, 2, 0);
    DlgCommand(hDlg, IDOK, BN_CLICKED);
  });
  DoubleClick(counter);
  ASSERT_EQ(4u, ItemsAdded());
  EXPECT_EQ(2u, LastAdded().wParam);
  EXPECT_EQ(2, View()->m_nGroupId);
  EXPECT_NE(nullptr, View()->m_server.FindItem(2, L"Signals.Counter"));
  EXPECT_EQ(nullptr, View()->m_server.FindItem(1, L"Signals.Counter"));
  // Cancel adds nothing.
  DoubleClick(counter);
  EXPECT_EQ(4u, ItemsAdded());
  EXPECT_EQ(static_cast<UINT>(IDD_ADDTAG), m_script.dialogs.back());

  // Failed asynchronous writes: what arrives together is one box, naming each item with the
  // server's text for its code; a write that succeeds adds nothing to it.
  COpcServer& server = View()->m_server;
  server.SelectGroup(1);
  COpcItem* readOnly = server.AddItem(L"Access.ReadOnly");
  COpcItem* bad = server.AddItem(L"Quality.Bad");
  COpcItem* writable = server.AddItem(L"Types.Double");
  ASSERT_TRUE(readOnly && bad && writable);
  TComPtr<IPloverSimControl> control;
  ASSERT_EQ(S_OK, control.QueryFrom(server.m_pServer.Get()));
  EXPECT_TRUE(server.WriteAsync(readOnly, L"1"));
  EXPECT_TRUE(server.WriteAsync(writable, L"50"));
  EXPECT_TRUE(server.WriteAsync(bad, L"2"));
  ASSERT_EQ(S_OK, control->Flush());
  ASSERT_TRUE(PumpUntil([&] { return !m_script.boxes.empty(); }, "the write error box"));
  Pump();
  ASSERT_EQ(1u, m_script.boxes.size()) << "one box for the three writes";
  auto line = [&](const wchar_t* id) {
    std::wstring t = server.GetErrorText(std::wstring(id) + L":", OPC_E_BADRIGHTS);
    while (!t.empty() && std::iswspace(t.back())) t.pop_back();
    return t;
  };
  EXPECT_EQ(L"异步写错误!\n" + line(L"Access.ReadOnly") + L"\n" + line(L"Quality.Bad"),
            m_script.boxes[0].text);
  EXPECT_EQ(std::wstring::npos, m_script.boxes[0].text.find(L"Unknown Error"));
  m_script.boxes.clear();

  // No group at all: the add has nowhere to go, and says so.
  for (int g : Groups()) View()->m_server.RemoveGroup(static_cast<OPCHANDLE>(g), TRUE);
  DoubleClick(Child(signals, L"Square"));
  ASSERT_EQ(1u, m_script.boxes.size());
  EXPECT_EQ(L"AddItem 'Signals.Square' error!", m_script.boxes[0].text);
  EXPECT_EQ(L"Plover", m_script.boxes[0].caption);

  // Data for a group reaches the list through the frame.
  ::SendMessageW(Tree(), WM_OPC_DATACHANGE, 0, 7);
  EXPECT_EQ(WM_OPC_GROUPDATA, g_list.back().msg);
  EXPECT_EQ(7, g_list.back().lParam);

  // Disconnect: the list hears it first, while the items still exist; the tree stays and
  // ignores double-clicks.
  size_t nodes = ::SendMessageW(Tree(), TVM_GETCOUNT, 0, 0);
  Command(ID_OPC_DISCONNECT);
  EXPECT_FALSE(View()->m_server.IsConnected());
  auto disconnect = std::find_if(g_list.begin(), g_list.end(),
                                 [](const ListMessage& m) { return m.msg == WM_OPC_DISCONNECT; });
  ASSERT_NE(g_list.end(), disconnect);
  EXPECT_TRUE(disconnect->connected);
  EXPECT_EQ(nodes, static_cast<size_t>(::SendMessageW(Tree(), TVM_GETCOUNT, 0, 0)));
  size_t dialogs = m_script.dialogs.size();
  DoubleClick(counter);
  EXPECT_EQ(dialogs, m_script.dialogs.size());
  EXPECT_EQ(4u, ItemsAdded());
  EXPECT_EQ(1u, m_script.boxes.size());

  // A second connect starts again from "Group1".
  View()->m_nGroupId = 5;
  Frame()->ConnectServer(kSim, L"");
  EXPECT_EQ(1, View()->m_nGroupId);
  EXPECT_EQ(std::vector<int>{1}, Groups());
}

TEST_F(BrowseFixture, StartUpSwitchNoBrowseServerRefusedConnectAndTheDialogs) {
  StartWatched(std::wstring(L"/server ") + kNoBrowse);
  ASSERT_TRUE(View()->m_server.IsConnected());
  ASSERT_EQ(1u, m_script.boxes.size());
  EXPECT_EQ(L" This OPC Server doesn't support borwse!", m_script.boxes[0].text);
  EXPECT_EQ(std::vector<int>{1}, Groups());
  EXPECT_EQ(nullptr, Next(TVGN_ROOT));

  // Anywhere in the tree: the add-tag dialog with an empty, editable name.
  m_script.scripts.push_back([](HWND hDlg) {
    HWND hName = ::GetDlgItem(hDlg, IDC_ADDTAG_NAME);
    EXPECT_EQ(L"", Text(hName));
    EXPECT_TRUE(::IsWindowEnabled(hName));
    EXPECT_EQ(std::vector<std::wstring>{L"1"}, ComboTexts(::GetDlgItem(hDlg, IDC_ADDTAG_GROUP)));
    ::SetWindowTextW(hName, L"Signals.Ramp");
    DlgCommand(hDlg, IDOK, BN_CLICKED);
  });
  DoubleClick(nullptr);
  ASSERT_EQ(1u, ItemsAdded());
  EXPECT_EQ(View()->m_server.FindItem(1, L"Signals.Ramp"),
            reinterpret_cast<COpcItem*>(LastAdded().lParam));
  // A typed ID the server does not know.
  m_script.scripts.push_back([](HWND hDlg) {
    ::SetDlgItemTextW(hDlg, IDC_ADDTAG_NAME, L"No.Such.Item");
    DlgCommand(hDlg, IDOK, BN_CLICKED);
  });
  DoubleClick(nullptr);
  EXPECT_EQ(1u, ItemsAdded());
  ASSERT_EQ(2u, m_script.boxes.size());
  EXPECT_EQ(L"AddItem 'No.Such.Item' error!", m_script.boxes[1].text);

  // The server asks its clients to go: one disconnect as the command does it (the rows first,
  // the tree kept), one box with the server's reason, and connect enabled again. (Without
  // connecting again by itself, which would keep the rows.)
  Frame()->SetAutoReconnect(false);
  {
    TComPtr<IPloverSimControl> sim;
    ASSERT_EQ(S_OK, sim.QueryFrom(View()->m_server.m_pServer.Get()));
    ASSERT_EQ(S_OK, sim->SendShutdown(L"maintenance at 14:00"));
  }
  size_t listBefore = g_list.size();
  Pump();
  EXPECT_FALSE(View()->m_server.IsConnected());
  ASSERT_EQ(listBefore + 1, g_list.size());
  EXPECT_EQ(static_cast<UINT>(WM_OPC_DISCONNECT), g_list.back().msg);
  EXPECT_TRUE(g_list.back().connected) << "the rows go before the server";
  ASSERT_EQ(3u, m_script.boxes.size());
  EXPECT_EQ(L"OPC Server 'Plover.SimServer.NoBrowse.1' has shut down.\nmaintenance at 14:00",
            m_script.boxes[2].text);
  Pump();
  EXPECT_EQ(3u, m_script.boxes.size()) << "one notice, one box";

  // A notice without a reason: the box has the first line only.
  Frame()->ConnectServer(kNoBrowse, L"");
  ASSERT_TRUE(View()->m_server.IsConnected());
  ASSERT_EQ(4u, m_script.boxes.size());
  {
    TComPtr<IPloverSimControl> sim;
    ASSERT_EQ(S_OK, sim.QueryFrom(View()->m_server.m_pServer.Get()));
    ASSERT_EQ(S_OK, sim->SendShutdown(nullptr));
  }
  Pump();
  EXPECT_FALSE(View()->m_server.IsConnected());
  ASSERT_EQ(5u, m_script.boxes.size());
  EXPECT_EQ(L"OPC Server 'Plover.SimServer.NoBrowse.1' has shut down.", m_script.boxes[4].text);

  // A notice still queued when the user disconnects: nothing more happens, no box.
  Frame()->ConnectServer(kNoBrowse, L"");
  ASSERT_TRUE(View()->m_server.IsConnected());
  ASSERT_EQ(6u, m_script.boxes.size());
  {
    TComPtr<IPloverSimControl> sim;
    ASSERT_EQ(S_OK, sim.QueryFrom(View()->m_server.m_pServer.Get()));
    ASSERT_EQ(S_OK, sim->SendShutdown(L"late"));
  }
  listBefore = g_list.size();
  Command(ID_OPC_DISCONNECT);
  Pump();
  EXPECT_FALSE(View()->m_server.IsConnected());
  EXPECT_EQ(listBefore + 1, g_list.size()) << "one disconnect, the user's";
  EXPECT_EQ(6u, m_script.boxes.size()) << "a notice for a connection already ended";

  // A refused connect: the core's box, then ours; no connection, no group.
  Frame()->ConnectServer(L"Plover.No.Such.Server", L"");
  EXPECT_FALSE(View()->m_server.IsConnected());
  EXPECT_TRUE(Groups().empty());
  ASSERT_EQ(8u, m_script.boxes.size());
  EXPECT_EQ(0u, m_script.boxes[6].text.rfind(L"RegOpenKey: ", 0)) << "the core's box is captured";
  EXPECT_EQ(L"Connect OPC Server: Plover.No.Such.Server Failed!", m_script.boxes[7].text);

  // The node list: this computer and remembered nodes; a pick lists that node and is returned.
  CServerSelectDlg::RememberNode(L"PLANT-7");
  CServerSelectDlg::RememberNode(L"plant-9");
  CServerSelectDlg::RememberNode(L"PLANT-7");
  std::vector<std::wstring> choices = CServerSelectDlg::GetNodeChoices();
  ASSERT_EQ(3u, choices.size());
  EXPECT_EQ(L"PLANT-7", choices[1]);
  EXPECT_EQ(L"plant-9", choices[2]);
  CServerSelectDlg select(&View()->m_server);
  INT_PTR result = DriveDialog(select, Frame()->m_hWnd, [&](HWND hDlg) {
    HWND hNodes = ::GetDlgItem(hDlg, IDC_SERVER_NODES);
    HWND hList = ::GetDlgItem(hDlg, IDC_SERVER_LIST);
    EXPECT_EQ(3, ::SendMessageW(hNodes, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(CB_ERR, ::SendMessageW(hNodes, CB_GETCURSEL, 0, 0));
    ::SendMessageW(hList, LB_SELECTSTRING, -1, (LPARAM)kSim);
    DlgCommand(hDlg, IDC_SERVER_LIST, LBN_SELCHANGE);
    // Typed text is not read.
    ::SetWindowTextW(hNodes, L"typed-node");
    DlgCommand(hDlg, IDC_SERVER_NODES, CBN_EDITCHANGE);
    ::SendMessageW(hNodes, CB_SELECTSTRING, -1, (LPARAM)L"PLANT-7");
    DlgCommand(hDlg, IDC_SERVER_NODES, CBN_SELCHANGE);
    EXPECT_EQ(0, ::SendMessageW(hList, LB_GETCOUNT, 0, 0)) << "an unreachable node lists nothing";
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(hDlg, IDOK)));
    // The ProgID may be edited after a pick; OK returns the edited text.
    ::SetDlgItemTextW(hDlg, IDC_SERVER_PROGID, L"Edited.Server.1");
    DlgCommand(hDlg, IDOK, BN_CLICKED);
  });
  EXPECT_EQ(IDOK, result);
  EXPECT_EQ(L"Edited.Server.1", select.m_strServer);
  EXPECT_EQ(L"PLANT-7", select.m_strNode);

  // The input box takes any text as typed: signs, decimals and words reach the write, which
  // converts them to the item's type or says why it cannot.
  CInputDlg input;
  result = DriveDialog(input, Frame()->m_hWnd, [](HWND hDlg) {
    HWND hEdit = ::GetDlgItem(hDlg, IDC_INPUT_VALUE);
    EXPECT_FALSE(::GetWindowLongW(hEdit, GWL_STYLE) & ES_NUMBER);
    for (wchar_t c : std::wstring(L"abc-1.5x42")) ::SendMessageW(hEdit, WM_CHAR, c, 0);
    EXPECT_EQ(L"abc-1.5x42", Text(hEdit));
    DlgCommand(hDlg, IDOK, BN_CLICKED);
  });
  EXPECT_EQ(IDOK, result);
  EXPECT_EQ(L"abc-1.5x42", input.m_strInput);
}

}  // namespace

namespace {

// What the server lists at its browse position, in its own order: leaves, then branches, the
// order a level of the tree takes.
std::vector<std::wstring> ServerLevel(IOPCBrowseServerAddressSpace* browse) {
  std::vector<std::wstring> names;
  for (OPCBROWSETYPE type : {OPC_LEAF, OPC_BRANCH}) {
    TComPtr<IEnumString> e;
    if (FAILED(browse->BrowseOPCItemIDs(type, L"*", VT_EMPTY, 0, e.Put())) || !e) continue;
    LPOLESTR name = nullptr;
    ULONG got = 0;
    while (e->Next(1, &name, &got) == S_OK && got == 1) {
      names.emplace_back(name);
      ::CoTaskMemFree(name);
    }
  }
  return names;
}

}  // namespace

// Each level shows its nodes in the order the server lists them, not sorted, not reversed:
// the top level and every branch below it, as each is opened.
TEST_F(BrowseFixture, EveryLevelKeepsTheServersOrder) {
  StartWatched(std::wstring(L"/server ") + kSim);
  ASSERT_TRUE(View()->m_server.IsConnected());
  // A second client of the same server, to ask it directly.
  CLSID clsid{};
  ASSERT_EQ(S_OK, ::CLSIDFromProgID(kSim, &clsid));
  TComPtr<IOPCBrowseServerAddressSpace> browse;
  ASSERT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IOPCBrowseServerAddressSpace, browse.PutVoid()));
  auto check = [&](HTREEITEM level, const std::wstring& name) {
    std::vector<std::wstring> shown;
    for (HTREEITEM c = Next(TVGN_CHILD, level); c; c = Next(TVGN_NEXT, c))
      shown.push_back(ItemText(c));
    // The server's order, of the names the tree shows (the browse filters may drop some).
    std::vector<std::wstring> expected;
    for (const std::wstring& n : ServerLevel(browse.Get()))
      if (std::find(shown.begin(), shown.end(), n) != shown.end()) expected.push_back(n);
    EXPECT_EQ(expected, shown) << testing::PrintToString(name);
    EXPECT_EQ(expected.size(), shown.size()) << "a node the server does not list";
    return shown.size();
  };
  HTREEITEM root = Next(TVGN_ROOT);
  ASSERT_GE(check(root, L"(top)"), 3u);
  size_t several = 0;
  for (HTREEITEM branch = Next(TVGN_CHILD, root); branch; branch = Next(TVGN_NEXT, branch)) {
    if (ItemData(branch) != -1) continue;
    const std::wstring name = ItemText(branch);
    Open(branch);
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, name.c_str()));
    several += check(branch, name) >= 3;
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
  }
  EXPECT_GE(several, 2u) << "levels of several nodes";
}
