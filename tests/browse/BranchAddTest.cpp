// The browse tree's context menu: whole branches added at once, in the real application
// against the simulation server.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "AppFixture.h"
#include "BrowseView.h"
#include "PloverView.h"
#include "SimControl.h"

namespace {

class MenuRunner : public RecordingRunner {
 public:
  int MessageBox(HWND h, const std::wstring& text, const std::wstring& caption,
                 UINT type) override {
    RecordingRunner::MessageBox(h, text, caption, type);
    if (onBox) std::exchange(onBox, nullptr)();
    return answer;
  }
  BOOL TrackPopupMenu(HMENU hMenu, UINT, POINT, HWND hOwner) override {
    std::vector<std::pair<std::wstring, bool>> entries;
    for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i) {
      wchar_t text[128] = {};
      ::GetMenuStringW(hMenu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
      entries.push_back({text, !(::GetMenuState(hMenu, i, MF_BYPOSITION) & MF_GRAYED)});
    }
    menus.push_back(entries);
    if (choice) ::PostMessageW(hOwner, WM_COMMAND, choice, 0);
    return choice != 0;
  }
  int answer = IDOK;
  UINT choice = 0;
  std::function<void()> onBox;  // what happens while the next box is up
  std::vector<std::vector<std::pair<std::wstring, bool>>> menus;
};

// Each progress text the status bar gets, and what to do at the first one of an add.
std::vector<std::wstring> g_status;
std::function<void()> g_onProgress;
WNDPROC g_oldBarProc;

LRESULT CALLBACK BarProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == SB_SETTEXTW && (w & 0xFF) == 0 && l) {
    std::wstring text = reinterpret_cast<const wchar_t*>(l);
    if (text.rfind(L"正在添加项", 0) == 0) {
      g_status.push_back(text);
      if (g_onProgress) std::exchange(g_onProgress, nullptr)();
    }
  }
  return ::CallWindowProcW(g_oldBarProc, h, m, w, l);
}

class BranchAddTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    SetModalRunner(&m_menu);
    ASSERT_TRUE(Start(L"/server Plover.SimServer.1"));
    ASSERT_TRUE(PumpUntil([&] { return Server().IsConnected(); }, "the connection"));
    // A loss here is the disconnect and box of a program that does not connect again.
    Frame()->SetAutoReconnect(false);
    HWND bar = ::GetDlgItem(Frame()->m_hWnd, 0xE801);
    g_oldBarProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProc)));
  }
  void TearDown() override {
    if (Frame())
      ::SetWindowLongPtrW(::GetDlgItem(Frame()->m_hWnd, 0xE801), GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(g_oldBarProc));
    g_status.clear();
    g_onProgress = nullptr;
    AppFixture::TearDown();
  }
  CBrowseView* View() const { return Frame()->GetBrowseView(); }
  COpcServer& Server() const { return View()->m_server; }
  HWND Tree() const { return View()->m_hWnd; }
  HTREEITEM Next(UINT code, HTREEITEM item = nullptr) const {
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageW(Tree(), TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
  }
  // The node at this dotted path below the root, opening each branch on the way.
  HTREEITEM Node(const std::wstring& path) {
    HTREEITEM h = Next(TVGN_ROOT);
    size_t start = 0;
    while (h && start < path.size()) {
      size_t dot = path.find(L'.', start);
      std::wstring name = path.substr(start, dot == std::wstring::npos ? dot : dot - start);
      ::SendMessageW(Tree(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(h));
      HTREEITEM c = Next(TVGN_CHILD, h);
      for (; c; c = Next(TVGN_NEXT, c)) {
        wchar_t buf[128] = {};
        TVITEMW it{};
        it.mask = TVIF_TEXT;
        it.hItem = c;
        it.pszText = buf;
        it.cchTextMax = 128;
        ::SendMessageW(Tree(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
        if (name == buf) break;
      }
      h = c;
      start = dot == std::wstring::npos ? path.size() : dot + 1;
    }
    return h;
  }
  // A right-click on the node (it need not be selected); choice is the command taken.
  void RightClick(HTREEITEM h, UINT choice) {
    ::SendMessageW(Tree(), TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(h));
    RECT rc{};
    std::memcpy(&rc, &h, sizeof(h));
    ::SendMessageW(Tree(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc));
    POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ::ClientToScreen(Tree(), &pt);
    m_menu.choice = choice;
    ::SendMessageW(Tree(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Tree()),
                   MAKELPARAM(pt.x, pt.y));
    Pump();
  }
  int Rows() const {
    return static_cast<int>(::SendMessageW(Frame()->GetItemView()->m_hWnd, LVM_GETITEMCOUNT, 0, 0));
  }
  // Server, records and list agree on the group's items; returns how many.
  int Agreed(OPCHANDLE group = 1) {
    ItemAttributeMap server;
    Server().GetGroupAttributes(group, server);
    const int records = Server().GetGroupItemCount(group);
    EXPECT_EQ(size_t(records), server.size());
    EXPECT_EQ(records, Rows());
    return records;
  }
  std::wstring StatusText() const {
    wchar_t buf[256] = {};
    ::SendMessageW(::GetDlgItem(Frame()->m_hWnd, 0xE801), SB_GETTEXTW, 0,
                   reinterpret_cast<LPARAM>(buf));
    return buf;
  }
  // In the program's language (the raw LoadString would follow Wine's own).
  static std::wstring IdleText() { return LoadResString(AFX_IDS_IDLEMESSAGE); }
  IPloverSimControl* Control() {
    if (!m_control) m_control.QueryFrom(Server().m_pServer.Get());
    return m_control.Get();
  }

  MenuRunner m_menu;
  TComPtr<IPloverSimControl> m_control;
};

TEST_F(BranchAddTest, OwnLeavesSubtreeSkipsRefusalsEscAndLossOfTheServer) {
  using Entries = std::vector<std::pair<std::wstring, bool>>;
  const Entries branchMenu = {{CBrowseView::AddLeavesText(), true},
                              {CBrowseView::AddSubtreeText(), true}};
  // The root, a branch and a leaf each get their menu, and the clicked node is selected.
  RightClick(Next(TVGN_ROOT), 0);
  HTREEITEM level1 = Node(L"Deep.Level1");
  ASSERT_NE(nullptr, level1);
  RightClick(level1, CBrowseView::ID_BROWSE_ADD_LEAVES);
  ASSERT_EQ(2u, m_menu.menus.size());
  EXPECT_EQ(branchMenu, m_menu.menus[0]);
  EXPECT_EQ(branchMenu, m_menu.menus[1]);
  EXPECT_EQ(level1, Next(TVGN_CARET));
  // Its own leaf only; then every leaf of the 30 levels, the one already there skipped.
  EXPECT_EQ(1, Agreed());
  EXPECT_NE(nullptr, Server().FindItem(1, L"Deep.Level1.Value"));
  RightClick(level1, CBrowseView::ID_BROWSE_ADD_SUBTREE);
  EXPECT_EQ(30, Agreed());
  EXPECT_NE(nullptr, Server().FindItem(1,
                                       L"Deep.Level1.Level2.Level3.Level4.Level5.Level6.Level7."
                                       L"Level8.Level9.Level10.Level11.Level12.Level13.Level14."
                                       L"Level15.Level16.Level17.Level18.Level19.Level20.Level21."
                                       L"Level22.Level23.Level24.Level25.Level26.Level27.Level28."
                                       L"Level29.Level30.Value"));
  EXPECT_TRUE(m_menu.boxes.empty());
  EXPECT_EQ(L"正在添加项: 30 / 30 (按 Esc 停止)", g_status.back());
  EXPECT_EQ(IdleText(), StatusText());  // the progress goes when the add ends

  // A leaf: what a double-click does (one group: added at once, its row the hot one).
  HTREEITEM leaf = Node(L"Signals.Ramp");
  RightClick(leaf, CBrowseView::ID_BROWSE_ADD_LEAF);
  EXPECT_EQ((Entries{{CBrowseView::AddLeafText(), true}}), m_menu.menus.back());
  EXPECT_EQ(31, Agreed());
  EXPECT_EQ(30, ::SendMessageW(Frame()->GetItemView()->m_hWnd, LVM_GETHOTITEM, 0, 0));

  // More than 1,000: asked first, with the count; "Cancel" adds nothing.
  HTREEITEM many = Node(L"Many");
  m_menu.answer = IDCANCEL;
  RightClick(many, CBrowseView::ID_BROWSE_ADD_LEAVES);
  ASSERT_EQ(1u, m_menu.boxes.size());
  EXPECT_NE(std::wstring::npos, m_menu.boxes[0].text.find(L"5000"));
  EXPECT_EQ(UINT(MB_OKCANCEL), m_menu.boxes[0].type & 0xF);
  EXPECT_EQ(31, Agreed());

  // Refused items (every type) are reported once, at the end, with the first five.
  const VARTYPE types[] = {VT_R4, VT_R8, VT_I2, VT_I4, VT_BOOL, VT_EMPTY};
  for (int i = 1; i <= 7; ++i)
    for (VARTYPE vt : types)
      Control()->RefuseType((L"Many.Item000" + std::to_wstring(i)).c_str(), vt);
  // Esc after the first batch: that batch stays, in the server, the records and the list.
  m_menu.answer = IDOK;
  g_status.clear();
  g_onProgress = [&] { ::PostMessageW(Tree(), WM_KEYDOWN, VK_ESCAPE, 0); };
  RightClick(many, CBrowseView::ID_BROWSE_ADD_LEAVES);
  ASSERT_EQ(1u, g_status.size());
  EXPECT_EQ(L"正在添加项: 1000 / 5000 (按 Esc 停止)", g_status[0]);
  EXPECT_EQ(31 + 1000 - 7, Agreed());
  ASSERT_EQ(3u, m_menu.boxes.size());
  const std::wstring& summary = m_menu.boxes[2].text;
  EXPECT_EQ(0u, summary.find(L"7 个项添加失败:\nMany.Item0001: ")) << summary;
  EXPECT_NE(std::wstring::npos, summary.find(L"\nMany.Item0005: "));
  EXPECT_EQ(std::wstring::npos, summary.find(L"Many.Item0006"));
  EXPECT_EQ(summary.size() - 4, summary.rfind(L"\n..."));
  EXPECT_EQ(IdleText(), StatusText());

  // Again: the first thousand are skipped, the rest go in to the end.
  Control()->ClearRefusals();
  g_status.clear();
  RightClick(many, CBrowseView::ID_BROWSE_ADD_LEAVES);
  EXPECT_EQ(31 + 5000, Agreed());
  EXPECT_EQ(5u, g_status.size());
  EXPECT_EQ(4u, m_menu.boxes.size());  // only the question

  // The server's process goes mid-way: the add stops without a summary, and the loss
  // disconnects as usual, the rows first.
  ASSERT_EQ(S_OK, Server().AddGroup(2, L"Group2"));
  g_onProgress = [&] { Control()->FailMethod(L"*", RPC_E_DISCONNECTED, TRUE); };
  RightClick(many, CBrowseView::ID_BROWSE_ADD_SUBTREE);
  ASSERT_TRUE(PumpUntil([&] { return !Server().IsConnected(); }, "the disconnect"));
  EXPECT_EQ(0, Rows());
  ASSERT_EQ(6u, m_menu.boxes.size());
  EXPECT_NE(std::wstring::npos, m_menu.boxes[5].text.find(L"can no longer be reached"))
      << m_menu.boxes[5].text;
  // Disconnected: no menu at all.
  size_t menus = m_menu.menus.size();
  RightClick(many, 0);
  EXPECT_EQ(menus, m_menu.menus.size());
}

// A tree that a lost server left behind answers a double-click or right-click in the status
// bar.
TEST_F(BranchAddTest, ALostServersTreeSaysSoInTheStatusBar) {
  RightClick(Node(L"Signals.Ramp"), CBrowseView::ID_BROWSE_ADD_LEAF);
  ASSERT_EQ(1, Agreed());
  HTREEITEM leaf = Node(L"Signals.Sine");
  ASSERT_NE(nullptr, leaf);
  // The server's process goes: the next call finds out.
  Control()->FailMethod(L"*", RPC_E_DISCONNECTED, TRUE);
  Frame()->ReadDevice(Server().FindItem(1, L"Signals.Ramp"));
  ASSERT_TRUE(PumpUntil([&] { return !Server().IsConnected(); }, "the loss"));
  ::SendMessageW(Tree(), TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(leaf));
  RECT rc{};
  std::memcpy(&rc, &leaf, sizeof(leaf));
  ASSERT_TRUE(::SendMessageW(Tree(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc)));
  Frame()->SetMessageText(AFX_IDS_IDLEMESSAGE);
  ::SendMessageW(Tree(), WM_LBUTTONDBLCLK, MK_LBUTTON,
                 MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2));
  EXPECT_EQ(CBrowseView::NotConnectedText(), StatusText());
  Frame()->SetMessageText(AFX_IDS_IDLEMESSAGE);
  POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  ::ClientToScreen(Tree(), &pt);
  ::SendMessageW(Tree(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Tree()), MAKELPARAM(pt.x, pt.y));
  EXPECT_EQ(CBrowseView::NotConnectedText(), StatusText());
  // Off the nodes, a double-click says nothing.
  Frame()->SetMessageText(AFX_IDS_IDLEMESSAGE);
  RECT client{};
  ::GetClientRect(Tree(), &client);
  ::SendMessageW(Tree(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, client.bottom - 2));
  EXPECT_EQ(IdleText(), StatusText());
}

}  // namespace
