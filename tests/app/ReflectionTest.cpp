// Control notifications reach the control's own map first (reflected), and the parent's map
// only when the control leaves them alone.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "Splitter.h"
#include "View.h"

namespace {

// A tree-view pane that handles its own selection change and nothing else.
class SelfAwareTree : public CView {
 public:
  int selChanges = 0;
  HTREEITEM lastNew = nullptr;

  // clang-format off
  BEGIN_MSG_MAP(SelfAwareTree)
    REFLECTED_NOTIFY_CODE_HANDLER(TVN_SELCHANGEDW, OnSelChanged)
    CHAIN_MSG_MAP(CView)
  END_MSG_MAP()
  // clang-format on

 protected:
  LPCWSTR GetViewClass() const override { return WC_TREEVIEWW; }
  DWORD GetViewStyle() const override { return WS_CHILD | WS_VISIBLE; }

 private:
  LRESULT OnSelChanged(int, NMHDR* pnmh, BOOL&) {
    ++selChanges;
    lastNew = reinterpret_cast<NMTREEVIEWW*>(pnmh)->itemNew.hItem;
    return 0;
  }
};

// An edit control that takes EN_CHANGE for itself only while `own` is set.
class PickyEdit : public CWnd {
 public:
  bool own = true;
  int changes = 0;

  // clang-format off
  BEGIN_MSG_MAP(PickyEdit)
    REFLECTED_COMMAND_CODE_HANDLER(EN_CHANGE, OnChange)
  END_MSG_MAP()
  // clang-format on

 private:
  LRESULT OnChange(WORD, WORD, HWND, BOOL& bHandled) {
    bHandled = own;
    if (own) ++changes;
    return 0;
  }
};

// The parent of the edit and of an unsubclassed tree: records what falls back to it.
class Parent : public CWnd {
 public:
  std::vector<UINT> fallbacks;  // notification codes, in order

  // clang-format off
  BEGIN_MSG_MAP(Parent)
    COMMAND_HANDLER(7, EN_CHANGE, OnEditChange)
    NOTIFY_HANDLER(8, TVN_SELCHANGEDW, OnTreeSel)
  END_MSG_MAP()
  // clang-format on

 private:
  LRESULT OnEditChange(WORD code, WORD id, HWND, BOOL&) {
    EXPECT_EQ(7, id);
    fallbacks.push_back(code);
    return 0;
  }
  LRESULT OnTreeSel(int idCtrl, NMHDR* pnmh, BOOL&) {
    EXPECT_EQ(8, idCtrl);
    fallbacks.push_back(pnmh->code);
    return 0;
  }
};

HTREEITEM Insert(HWND hTree, const wchar_t* text) {
  TVINSERTSTRUCTW tvi{};
  tvi.hParent = TVI_ROOT;
  tvi.hInsertAfter = TVI_LAST;
  tvi.item.mask = TVIF_TEXT;
  tvi.item.pszText = const_cast<LPWSTR>(text);
  return reinterpret_cast<HTREEITEM>(
      ::SendMessageW(hTree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tvi)));
}

TEST(ReflectionTest, ControlHandlesItsOwnNotificationsAndParentGetsTheRest) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_TREEVIEW_CLASSES};
  ::InitCommonControlsEx(&icc);

  // Through the real splitter: the tree's TVN_SELCHANGED lands in the tree's own map.
  Parent top;
  ASSERT_TRUE(top.CreateEx(0, CWnd::RegisterClass(L"ReflectTop", 0, nullptr, nullptr), L"",
                           WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr));
  CSplitterWnd splitter;
  ASSERT_TRUE(splitter.CreateStatic(top, 1, 2));
  auto tree = std::make_unique<SelfAwareTree>();
  SelfAwareTree* pTree = tree.get();
  ASSERT_TRUE(splitter.CreateView(0, 0, std::move(tree), SIZE{100, 100}, nullptr));
  HTREEITEM a = Insert(*pTree, L"a");
  HTREEITEM b = Insert(*pTree, L"b");
  ::SendMessageW(*pTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(a));
  ::SendMessageW(*pTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(b));
  EXPECT_EQ(2, pTree->selChanges);
  EXPECT_EQ(b, pTree->lastNew);

  // A plain control (no object) and a control that declines: the parent's map handles them.
  PickyEdit edit;
  ASSERT_TRUE(edit.CreateControl(0, L"EDIT", WS_CHILD | WS_VISIBLE, RECT{0, 0, 80, 20}, top, 7));
  HWND hPlainTree = ::CreateWindowExW(0, WC_TREEVIEWW, nullptr, WS_CHILD | WS_VISIBLE, 0, 30, 80,
                                      80, top, reinterpret_cast<HMENU>(8), nullptr, nullptr);
  ASSERT_NE(nullptr, hPlainTree);
  ::SetWindowTextW(edit, L"x");  // EN_CHANGE, taken by the edit itself
  EXPECT_EQ(1, edit.changes);
  EXPECT_TRUE(top.fallbacks.empty());
  edit.own = false;
  ::SetWindowTextW(edit, L"y");  // declined: falls back to the parent
  ::SendMessageW(hPlainTree, TVM_SELECTITEM, TVGN_CARET,
                 reinterpret_cast<LPARAM>(Insert(hPlainTree, L"c")));
  EXPECT_EQ(1, edit.changes);
  EXPECT_EQ((std::vector<UINT>{EN_CHANGE, static_cast<UINT>(TVN_SELCHANGEDW)}), top.fallbacks);
  // The splitter's own tree never reached the top window's map.
  top.DestroyWindow();
}

}  // namespace
