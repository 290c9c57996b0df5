// The Win32 adapters of the tree and the server list, against real controls.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "OpcBrowser.h"
#include "OpcDiscovery.h"
#include "OpcListBoxPort.h"
#include "OpcTreePort.h"
#include "SimControl.h"
#include "SimServer.h"

namespace {

class Window {
 public:
  Window(const wchar_t* cls, DWORD style) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    m_hWnd = CreateWindowExW(0, cls, L"", WS_OVERLAPPEDWINDOW | style, 0, 0, 300, 400, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~Window() {
    if (m_hWnd) DestroyWindow(m_hWnd);
  }
  HWND m_hWnd;
};

HTREEITEM Next(HWND tree, UINT code, HTREEITEM item) {
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

// A shown child of a shown node, opened first the way its owner opens a branch.
HTREEITEM Child(COpcTreePort& port, HTREEITEM parent, const std::wstring& text) {
  port.Expand(port.GetNode(parent));
  for (HTREEITEM c = Next(port.Window(), TVGN_CHILD, parent); c;
       c = Next(port.Window(), TVGN_NEXT, c))
    if (port.GetItemText(port.GetNode(c)) == text) return c;
  return nullptr;
}

TEST(Ports, BrowseTreeInARealTreeView) {
  Window w(WC_TREEVIEWW, TVS_HASLINES | TVS_HASBUTTONS);
  ASSERT_NE(nullptr, w.m_hWnd);
  COpcTreePort port(w.m_hWnd);
  TComPtr<IOPCServer> server;
  ASSERT_EQ(S_OK, CreateSimServer(PLOVER_SIM_PROGID, server));
  COpcBrowser browser;
  ASSERT_EQ(S_OK, browser.Attach(server.Get()));
  browser.SetBrowseRootName(PLOVER_SIM_PROGID);
  browser.BuildBrowseTree(&port);
  browser.BuildBrowseTree(&port);  // a rebuild replaces, it does not add

  HTREEITEM root = Next(w.m_hWnd, TVGN_ROOT, nullptr);
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(nullptr, Next(w.m_hWnd, TVGN_NEXT, root)) << "one root";
  EXPECT_EQ(PLOVER_SIM_PROGID, port.GetItemText(port.GetNode(root)));
  EXPECT_EQ(-1, port.GetItemData(port.GetNode(root)));
  EXPECT_EQ(root, Next(w.m_hWnd, TVGN_CARET, nullptr));
  EXPECT_TRUE(
      SendMessageW(w.m_hWnd, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(root), TVIS_EXPANDED) &
      TVIS_EXPANDED);

  // Only the open root's children are in the control; a branch says it has children.
  size_t shown = SendMessageW(w.m_hWnd, TVM_GETCOUNT, 0, 0);
  EXPECT_LT(shown, 20u);
  HTREEITEM names = Child(port, root, L"Names");
  ASSERT_NE(nullptr, names);
  TVITEMW tvi = {};
  tvi.mask = TVIF_CHILDREN | TVIF_PARAM;
  tvi.hItem = names;
  SendMessageW(w.m_hWnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvi));
  EXPECT_EQ(1, tvi.cChildren);
  EXPECT_EQ(-1, tvi.lParam);
  EXPECT_EQ(nullptr, Next(w.m_hWnd, TVGN_CHILD, names)) << "not opened yet";
  HTREEITEM branch = Child(port, names, L"中文 分支");
  ASSERT_NE(nullptr, branch);
  EXPECT_EQ(port.GetNode(names), port.GetParentItem(port.GetNode(branch)));
  EXPECT_EQ(-1, port.GetItemData(port.GetNode(branch)));
  HTREEITEM leaf = Child(port, branch, L"状态");
  ASSERT_NE(nullptr, leaf);
  tvi.hItem = leaf;
  SendMessageW(w.m_hWnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvi));
  EXPECT_EQ(0, tvi.cChildren);
  EXPECT_EQ(L"Names.中文 分支.状态", browser.GetBrowseItemId(static_cast<int>(tvi.lParam)));
  // The opened branches' children came in once each.
  EXPECT_GT(static_cast<size_t>(SendMessageW(w.m_hWnd, TVM_GETCOUNT, 0, 0)), shown);
  port.Expand(port.GetNode(names));
  size_t opened = SendMessageW(w.m_hWnd, TVM_GETCOUNT, 0, 0);
  port.OnItemExpanding(names);
  EXPECT_EQ(opened, static_cast<size_t>(SendMessageW(w.m_hWnd, TVM_GETCOUNT, 0, 0)));

  // A first child of a shown node that was never opened: the node gets its button, and the
  // child comes in when it opens.
  OpcTreeNode late = port.InsertItem(L"late", port.GetNode(leaf), 5);
  tvi.hItem = leaf;
  SendMessageW(w.m_hWnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvi));
  EXPECT_EQ(1, tvi.cChildren);
  EXPECT_EQ(nullptr, port.GetTreeItem(late));
  HTREEITEM lateItem = Child(port, leaf, L"late");
  EXPECT_NE(nullptr, lateItem) << "opened: shown";
  EXPECT_EQ(lateItem, port.GetTreeItem(late));

  // Texts longer than the first buffer come back whole; a child of an open branch shows at once.
  std::wstring longText(700, L'长');
  OpcTreeNode n = port.InsertItem(longText, port.GetNode(branch), 12);
  EXPECT_NE(nullptr, port.GetTreeItem(n));
  EXPECT_EQ(longText, port.GetItemText(n));
  EXPECT_EQ(12, port.GetItemData(n));
  port.SetItemData(n, -7);
  EXPECT_EQ(-7, port.GetItemData(n));
  tvi.hItem = port.GetTreeItem(n);
  SendMessageW(w.m_hWnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvi));
  EXPECT_EQ(-7, tvi.lParam) << "the control's own item data, which a double-click reads";
  port.DeleteAllItems();
  EXPECT_EQ(0, SendMessageW(w.m_hWnd, TVM_GETCOUNT, 0, 0));

  // A note about the whole tree goes to the status bar of the tree's top-level window.
  INITCOMMONCONTROLSEX bars = {sizeof(bars), ICC_BAR_CLASSES};
  InitCommonControlsEx(&bars);
  Window frame(L"STATIC", 0);
  HWND bar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD, 0, 0, 0, 0, frame.m_hWnd,
                             reinterpret_cast<HMENU>(0xE801), nullptr, nullptr);
  HWND inner = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD, 0, 0, 100, 100, frame.m_hWnd,
                               nullptr, nullptr, nullptr);
  ASSERT_TRUE(bar && inner);
  COpcTreePort framed(inner);
  framed.ShowStatusText(COpcBrowser::kIncompleteText);
  wchar_t text[128] = {};
  SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(COpcBrowser::kIncompleteText, text);
  port.ShowStatusText(L"no status bar here");  // a window without one: nothing happens
}

// Built as it is opened: a branch not listed yet shows its button, is listed through the
// lister when it opens (once), and loses its button when there was nothing after all.
TEST(Ports, OpenedTreeListsThroughTheListerAndDropsEmptyButtons) {
  Window w(WC_TREEVIEWW, TVS_HASLINES | TVS_HASBUTTONS);
  ASSERT_NE(nullptr, w.m_hWnd);
  COpcTreePort port(w.m_hWnd);
  TComPtr<IOPCServer> server;
  ASSERT_EQ(S_OK, CreateSimServer(PLOVER_SIM_PROGID, server));
  COpcBrowser browser;
  ASSERT_EQ(S_OK, browser.Attach(server.Get()));
  browser.SetBrowseRootName(L"Root");
  std::vector<OpcTreeNode> listed;
  port.SetLister([&](OpcTreeNode node) {
    listed.push_back(node);
    browser.ListBranch(node);
  });
  browser.BuildBrowseTop(&port);
  auto children = [&](HTREEITEM h) {
    TVITEMW tvi = {};
    tvi.mask = TVIF_CHILDREN;
    tvi.hItem = h;
    SendMessageW(w.m_hWnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvi));
    return tvi.cChildren;
  };

  HTREEITEM root = Next(w.m_hWnd, TVGN_ROOT, nullptr);
  ASSERT_NE(nullptr, root);
  HTREEITEM names = Child(port, root, L"Names");
  ASSERT_NE(nullptr, names);
  EXPECT_TRUE(listed.empty()) << "the open root was listed by the build";
  EXPECT_EQ(1, children(names));
  EXPECT_EQ(nullptr, Next(w.m_hWnd, TVGN_CHILD, names));
  HTREEITEM branch = Child(port, names, L"中文 分支");
  ASSERT_NE(nullptr, branch);
  EXPECT_EQ((std::vector<OpcTreeNode>{port.GetNode(names)}), listed);
  HTREEITEM leaf = Child(port, branch, L"状态");
  ASSERT_NE(nullptr, leaf);
  EXPECT_EQ(0, children(leaf));
  EXPECT_EQ(L"Names.中文 分支.状态", browser.GetBrowseItemId(port.GetItemData(port.GetNode(leaf))));
  port.OnItemExpanding(names);
  port.Expand(port.GetNode(branch));
  EXPECT_EQ(2u, listed.size()) << "each branch once";

  // Marked, but nothing comes: the button goes when it opens.
  port.MarkExpandable(port.GetNode(leaf));
  EXPECT_EQ(1, children(leaf));
  port.Expand(port.GetNode(leaf));
  EXPECT_EQ(3u, listed.size());
  EXPECT_EQ(0, children(leaf));
  EXPECT_EQ(nullptr, Next(w.m_hWnd, TVGN_CHILD, leaf));
}

TEST(Ports, ServerListInARealListBox) {
  Window w(L"LISTBOX", LBS_NOTIFY);
  ASSERT_NE(nullptr, w.m_hWnd);
  COpcListBoxPort port(w.m_hWnd);
  std::vector<std::wstring> names;
  EXPECT_GT(FillServerList(&port, L"", names), 0);
  ASSERT_EQ(static_cast<int>(names.size()), port.GetCount());
  wchar_t text[256];
  for (size_t i = 0; i < names.size(); ++i) {
    SendMessageW(w.m_hWnd, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(names[i], text);
  }
  EXPECT_EQ(0, SendMessageW(w.m_hWnd, LB_GETCURSEL, 0, 0));
  EXPECT_EQ(0, FillServerList(&port, L"plover-no-such-node", names));
  EXPECT_EQ(0, port.GetCount());
  EXPECT_EQ(LB_ERR, SendMessageW(w.m_hWnd, LB_GETCURSEL, 0, 0));
}

}  // namespace
