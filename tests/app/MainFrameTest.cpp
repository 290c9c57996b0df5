// The main window as the user meets it: caption, menu, bars, panes and their commands.
#include <windows.h>
#include <commctrl.h>

#include "AppFixture.h"
#include "BrowseView.h"
#include "PloverMessages.h"
#include "PloverView.h"
#include "Print.h"

namespace {

struct MenuEntry {
  const wchar_t* text;  // nullptr for a separator
  UINT id;              // kSubMenu for a popup
};
const UINT kSubMenu = ~0u;

void ExpectMenu(HMENU hMenu, const std::vector<MenuEntry>& expected) {
  ASSERT_EQ(static_cast<int>(expected.size()), ::GetMenuItemCount(hMenu));
  for (UINT i = 0; i < expected.size(); ++i) {
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE | MIIM_ID;
    ASSERT_TRUE(::GetMenuItemInfoW(hMenu, i, TRUE, &mii));
    if (!expected[i].text) {
      EXPECT_TRUE(mii.fType & MFT_SEPARATOR) << "item " << i;
      continue;
    }
    EXPECT_EQ(expected[i].text, ReadMenuString(hMenu, i)) << "item " << i;
    if (expected[i].id == kSubMenu)
      EXPECT_NE(nullptr, ::GetSubMenu(hMenu, static_cast<int>(i))) << "item " << i;
    else
      EXPECT_EQ(expected[i].id, mii.wID) << "item " << i;
  }
}

bool IsMenuItemEnabled(HMENU hMenu, UINT id) {
  return !(::GetMenuState(hMenu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED));
}

// Asked the way the toolbar's tool tip asks: the toolbar passes the request on to the frame.
std::wstring TipFor(CMainFrame* pFrame, UINT id) {
  CToolBar& toolBar = pFrame->GetToolBar();
  HWND hTips = reinterpret_cast<HWND>(toolBar.SendMessage(TB_GETTOOLTIPS));
  NMTTDISPINFOW info{};
  info.hdr.hwndFrom = hTips;
  info.hdr.idFrom = id;
  info.hdr.code = TTN_GETDISPINFOW;
  toolBar.SendMessage(WM_NOTIFY, id, reinterpret_cast<LPARAM>(&info));
  // Asking leaves the toolbar's band where it was.
  REBARBANDINFOW band{};
  band.cbSize = sizeof(band);
  band.fMask = RBBIM_STYLE;
  pFrame->GetReBar().SendMessage(RB_GETBANDINFOW, 0, reinterpret_cast<LPARAM>(&band));
  EXPECT_FALSE(band.fStyle & RBBS_HIDDEN) << "the toolbar's band was hidden asking for " << id;
  EXPECT_TRUE(::IsWindowVisible(toolBar.m_hWnd)) << id;
  return info.lpszText && !IS_INTRESOURCE(info.lpszText) ? info.lpszText : info.szText;
}

RECT WindowRectIn(HWND hWnd, HWND hParent) {
  RECT rc{};
  ::GetWindowRect(hWnd, &rc);
  ::MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

std::vector<MSG> g_relayed;
WNDPROC g_oldListProc;

LRESULT CALLBACK RecordGroupMessages(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_OPC_GROUPCHANGED || m == WM_OPC_GROUPDELETED)
    g_relayed.push_back(MSG{h, m, w, l, 0, {}});
  return ::CallWindowProcW(g_oldListProc, h, m, w, l);
}

using MainFrameTest = AppFixture;

TEST_F(MainFrameTest, StartsMaximisedWithDocumentCaptionAndEmptyPanes) {
  ASSERT_TRUE(Start());
  CMainFrame* pFrame = Frame();
  ASSERT_NE(nullptr, pFrame);
  EXPECT_EQ(L"Larkspur - Plover CLIENT 2.0", pFrame->GetWindowText());
  EXPECT_TRUE(::IsWindowVisible(pFrame->m_hWnd));
  EXPECT_TRUE(::IsZoomed(pFrame->m_hWnd));

  CBrowseView* pTree = pFrame->GetBrowseView();
  CPloverView* pList = pFrame->GetItemView();
  ASSERT_NE(nullptr, pTree);
  ASSERT_NE(nullptr, pList);
  EXPECT_EQ(0, pTree->SendMessage(TVM_GETCOUNT));
  EXPECT_EQ(0, pList->SendMessage(LVM_GETITEMCOUNT));
  EXPECT_TRUE(pList->GetStyle() & LVS_REPORT);
  EXPECT_EQ(pFrame->GetActiveDocument(), pTree->GetDocument());
  EXPECT_EQ(pFrame->GetActiveDocument(), pList->GetDocument());
  EXPECT_TRUE(m_runner.boxes.empty());
}

TEST_F(MainFrameTest, MenuHasExactTextsAndIds) {
  ASSERT_TRUE(Start());
  HMENU hMenu = ::GetMenu(Frame()->m_hWnd);
  ASSERT_EQ(4, ::GetMenuItemCount(hMenu));
  EXPECT_EQ(L"文件(&F)", ReadMenuString(hMenu, 0));
  EXPECT_EQ(L"Plover", ReadMenuString(hMenu, 1));
  EXPECT_EQ(L"查看(&V)", ReadMenuString(hMenu, 2));
  EXPECT_EQ(L"帮助(&H)", ReadMenuString(hMenu, 3));

  // Opening the menu runs the update handlers, which also put the recent-file list in.
  ExpectMenu(OpenPopup(0), {{L"新建(&N)\tCtrl+N", 57600},
                            {L"打开(&O)...\tCtrl+O", 57601},
                            {L"保存(&S)\tCtrl+S", 57603},
                            {L"另存为(&A)...", 57604},
                            {nullptr, 0},
                            {L"打印(&P)...\tCtrl+P", 57607},
                            {L"打印预览(&V)", 57609},
                            {L"打印设置(&R)...", 57606},
                            {nullptr, 0},
                            {L"开始记录…", ID_FILE_RECORD_START},
                            {L"停止记录", ID_FILE_RECORD_STOP},
                            {nullptr, 0},
                            {L"最近文件", 57616},
                            {nullptr, 0},
                            {L"退出(&X)", 57665}});
  EXPECT_FALSE(IsMenuItemEnabled(::GetSubMenu(hMenu, 0), 57616))
      << "empty list shows a greyed placeholder";
  ExpectMenu(OpenPopup(1), {{L"连接OPC服务器(&C)", 32771},
                            {L"中断连接(&D)", 32772},
                            {nullptr, 0},
                            {L"服务器属性(&A)", 32784},
                            {L"组管理(&G)", 32786},
                            {L"浏览选项(&O)", 32787},
                            {nullptr, 0},
                            {L"退出(&X)", 57665}});
  ExpectMenu(OpenPopup(2), {{L"工具栏(&T)", 59392},
                            {L"状态栏(&S)", 59393},
                            {nullptr, 0},
                            {L"趋势图(&E)", ID_VIEW_TREND},
                            {nullptr, 0},
                            {L"服务器断开后自动重新连接(&R)", ID_VIEW_AUTO_RECONNECT},
                            {nullptr, 0},
                            {L"语言(&L)", kSubMenu}});
  ExpectMenu(OpenPopup(3), {{L"关于Larkspur(&A)...", 57664}});
}

TEST_F(MainFrameTest, ServerCommandsBeforeConnectingOnlyConnectAndBrowseOptions) {
  ASSERT_TRUE(Start());
  HMENU hPlover = OpenPopup(1);
  EXPECT_TRUE(IsMenuItemEnabled(hPlover, ID_OPC_CONNECT));
  EXPECT_TRUE(IsMenuItemEnabled(hPlover, ID_OPC_BROWSE_OPTIONS));
  EXPECT_FALSE(IsMenuItemEnabled(hPlover, ID_OPC_DISCONNECT));
  EXPECT_FALSE(IsMenuItemEnabled(hPlover, ID_OPC_SERVER_PROPERTIES));
  EXPECT_FALSE(IsMenuItemEnabled(hPlover, ID_OPC_GROUP_MANAGEMENT));
  EXPECT_TRUE(IsMenuItemEnabled(hPlover, ID_APP_EXIT));

  // The toolbar follows the same rules at idle time.
  CToolBar& toolBar = Frame()->GetToolBar();
  EXPECT_TRUE(toolBar.SendMessage(TB_ISBUTTONENABLED, ID_OPC_CONNECT));
  EXPECT_TRUE(toolBar.SendMessage(TB_ISBUTTONENABLED, ID_OPC_BROWSE_OPTIONS));
  EXPECT_TRUE(toolBar.SendMessage(TB_ISBUTTONENABLED, ID_APP_ABOUT));
  EXPECT_FALSE(toolBar.SendMessage(TB_ISBUTTONENABLED, ID_OPC_DISCONNECT));
  EXPECT_FALSE(toolBar.SendMessage(TB_ISBUTTONENABLED, ID_OPC_SERVER_PROPERTIES));
  EXPECT_FALSE(toolBar.SendMessage(TB_ISBUTTONENABLED, ID_OPC_GROUP_MANAGEMENT));

  // Commands nothing handles are greyed; the edit keys are bound to such commands.
  CCmdUI ui(ID_EDIT_PASTE);
  Frame()->UpdateCmdUI(ui);
  EXPECT_FALSE(ui.m_bEnabled);
}

TEST_F(MainFrameTest, ToolbarButtonsTipsAndPrompts) {
  ASSERT_TRUE(Start());
  CMainFrame* pFrame = Frame();
  CToolBar& toolBar = pFrame->GetToolBar();
  const UINT expected[] = {ID_OPC_CONNECT,
                           ID_OPC_DISCONNECT,
                           0,
                           ID_OPC_SERVER_PROPERTIES,
                           ID_OPC_GROUP_MANAGEMENT,
                           ID_OPC_BROWSE_OPTIONS,
                           0,
                           ID_APP_ABOUT,
                           0,
                           ID_VIEW_TREND};
  ASSERT_EQ(static_cast<LRESULT>(std::size(expected)), toolBar.SendMessage(TB_BUTTONCOUNT));
  for (UINT i = 0; i < std::size(expected); ++i) {
    TBBUTTON b{};
    ASSERT_TRUE(toolBar.SendMessage(TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&b)));
    if (expected[i] == 0) {
      EXPECT_TRUE(b.fsStyle & BTNS_SEP) << "button " << i;
    } else {
      EXPECT_EQ(static_cast<int>(expected[i]), b.idCommand) << "button " << i;
    }
  }
  EXPECT_TRUE(toolBar.GetStyle() & TBSTYLE_FLAT);
  SIZE size{};
  toolBar.SendMessage(TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
  EXPECT_GT(size.cx, 6 * 16);

  EXPECT_EQ(L"连接OPC服务器", TipFor(pFrame, ID_OPC_CONNECT));
  EXPECT_EQ(L"中断连接", TipFor(pFrame, ID_OPC_DISCONNECT));
  EXPECT_EQ(L"", TipFor(pFrame, ID_OPC_SERVER_PROPERTIES)) << "its string has no line break";
  EXPECT_EQ(L"组管理(", TipFor(pFrame, ID_OPC_GROUP_MANAGEMENT));
  EXPECT_EQ(L"浏览选项", TipFor(pFrame, ID_OPC_BROWSE_OPTIONS));

  // Fly-by prompt while the pointer is over a button, the idle text when it leaves.
  NMTBHOTITEM hot{};
  hot.hdr.hwndFrom = toolBar.m_hWnd;
  hot.hdr.idFrom = AFX_IDW_TOOLBAR;
  hot.hdr.code = TBN_HOTITEMCHANGE;
  hot.idNew = ID_OPC_SERVER_PROPERTIES;
  ::SendMessageW(pFrame->m_hWnd, WM_NOTIFY, AFX_IDW_TOOLBAR, reinterpret_cast<LPARAM>(&hot));
  EXPECT_EQ(L"服务器属性\\服务器属性", pFrame->GetStatusBar().GetPaneText(0));
  hot.idNew = 0;
  hot.dwFlags = HICF_LEAVING;
  ::SendMessageW(pFrame->m_hWnd, WM_NOTIFY, AFX_IDW_TOOLBAR, reinterpret_cast<LPARAM>(&hot));
  EXPECT_EQ(L"就绪", pFrame->GetStatusBar().GetPaneText(0));

  // Menu prompts are the part before the line break.
  ::SendMessageW(pFrame->m_hWnd, WM_MENUSELECT, MAKEWPARAM(ID_OPC_GROUP_MANAGEMENT, MF_STRING),
                 reinterpret_cast<LPARAM>(::GetMenu(pFrame->m_hWnd)));
  EXPECT_EQ(L"组管理(", pFrame->GetStatusBar().GetPaneText(0));
  ::SendMessageW(pFrame->m_hWnd, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
  EXPECT_EQ(L"就绪", pFrame->GetStatusBar().GetPaneText(0));
  EXPECT_EQ(L"Show or hide PL Dialog Bar", GetCommandPrompt(ID_VIEW_PLDIALOGBAR));
  EXPECT_EQ(L"Toggle PL Dialog Bar", GetCommandTip(ID_VIEW_PLDIALOGBAR));
}

TEST_F(MainFrameTest, WideningTheTreePaintsTheEmptyListsHeadingsAnew) {
  ASSERT_TRUE(Start());
  CSplitterWnd& splitter = Frame()->GetSplitter();
  HWND hList = Frame()->GetItemView()->m_hWnd;
  HWND hHeader = reinterpret_cast<HWND>(::SendMessageW(hList, LVM_GETHEADER, 0, 0));
  ASSERT_NE(nullptr, hHeader);
  for (int width : {300, 180, 180}) {
    Pump();
    ::RedrawWindow(Frame()->m_hWnd, nullptr, nullptr, RDW_VALIDATE | RDW_NOERASE | RDW_ALLCHILDREN);
    const int before = splitter.GetColumnWidth(0);
    splitter.SetColumnInfo(0, width);  // what dragging the bar does
    splitter.RecalcLayout();
    RECT first{};
    ::SendMessageW(hHeader, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    HRGN dirty = ::CreateRectRgn(0, 0, 0, 0);
    const bool headingDirty = ::GetUpdateRgn(hHeader, dirty, FALSE) != NULLREGION &&
                              ::PtInRegion(dirty, first.left + 2, first.top + 2);
    ::DeleteObject(dirty);
    // A move repaints the first heading; no move, no repaint.
    EXPECT_EQ(before != width, headingDirty) << width;
  }
}

TEST_F(MainFrameTest, StatusBarShowsIdleTextAndLockIndicatorsOnlyWhenOn) {
  ASSERT_TRUE(Start());
  CStatusBar& status = Frame()->GetStatusBar();
  ASSERT_EQ(4, status.SendMessage(SB_GETPARTS));
  EXPECT_EQ(L"就绪", status.GetPaneText(0));

  BYTE keys[256];
  ASSERT_TRUE(::GetKeyboardState(keys));
  keys[VK_CAPITAL] = 1;
  keys[VK_NUMLOCK] = 1;
  keys[VK_SCROLL] = 1;
  ASSERT_TRUE(::SetKeyboardState(keys));
  Pump();
  EXPECT_EQ(L"大写", status.GetPaneText(1));
  EXPECT_EQ(L"数字", status.GetPaneText(2));
  EXPECT_EQ(L"滚动", status.GetPaneText(3));

  keys[VK_CAPITAL] = 0;
  keys[VK_NUMLOCK] = 0;
  keys[VK_SCROLL] = 0;
  ASSERT_TRUE(::SetKeyboardState(keys));
  Pump();
  EXPECT_EQ(L"", status.GetPaneText(1));
  EXPECT_EQ(L"", status.GetPaneText(2));
  EXPECT_EQ(L"", status.GetPaneText(3));

  // The message pane stretches; each indicator is wide enough for its text.
  RECT rc0{}, rc1{};
  status.SendMessage(SB_GETRECT, 0, reinterpret_cast<LPARAM>(&rc0));
  status.SendMessage(SB_GETRECT, 1, reinterpret_cast<LPARAM>(&rc1));
  EXPECT_GT(rc0.right - rc0.left, 3 * (rc1.right - rc1.left));
  EXPECT_GE(rc1.right - rc1.left, 20);
}

TEST_F(MainFrameTest, SplitterHasTreeOnLeftAt100PixelsAndListFillingTheRest) {
  ASSERT_TRUE(Start());
  CMainFrame* pFrame = Frame();
  CSplitterWnd& splitter = pFrame->GetSplitter();
  EXPECT_EQ(1, splitter.GetRowCount());
  EXPECT_EQ(2, splitter.GetColumnCount());
  EXPECT_EQ(AFX_IDW_PANE_FIRST, ::GetDlgCtrlID(splitter.m_hWnd));
  EXPECT_EQ(static_cast<CWnd*>(pFrame->GetBrowseView()), splitter.GetPane(0, 0));
  EXPECT_EQ(static_cast<CWnd*>(pFrame->GetItemView()), splitter.GetPane(0, 1));
  EXPECT_EQ(nullptr, splitter.GetPane(0, 2));
  EXPECT_EQ(0xE900, ::GetDlgCtrlID(pFrame->GetBrowseView()->m_hWnd));
  EXPECT_EQ(0xE901, ::GetDlgCtrlID(pFrame->GetItemView()->m_hWnd));

  RECT rcSplit{};
  ::GetClientRect(splitter.m_hWnd, &rcSplit);
  RECT rcTree = WindowRectIn(pFrame->GetBrowseView()->m_hWnd, splitter.m_hWnd);
  RECT rcList = WindowRectIn(pFrame->GetItemView()->m_hWnd, splitter.m_hWnd);
  EXPECT_EQ(0, rcTree.left);
  EXPECT_EQ(100, rcTree.right - rcTree.left);
  EXPECT_GT(rcList.left, rcTree.right);
  EXPECT_EQ(rcSplit.right, rcList.right);
  EXPECT_EQ(rcSplit.bottom, rcList.bottom);
  EXPECT_EQ(rcSplit.bottom, rcTree.bottom);

  // Dragging the bar moves the boundary by as much as the pointer moved.
  int grab = rcTree.right + 2;
  splitter.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grab, 50));
  splitter.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(grab + 150, 60));
  splitter.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(grab + 150, 60));
  rcTree = WindowRectIn(pFrame->GetBrowseView()->m_hWnd, splitter.m_hWnd);
  rcList = WindowRectIn(pFrame->GetItemView()->m_hWnd, splitter.m_hWnd);
  EXPECT_EQ(250, rcTree.right - rcTree.left);
  EXPECT_EQ(rcTree.right + CSplitterWnd::kSplitterGap, rcList.left);
  EXPECT_EQ(rcSplit.right, rcList.right);
  splitter.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(grab + 300, 60));
  EXPECT_EQ(250, splitter.GetColumnWidth(0)) << "no dragging once the button is up";

  // The splitter sits between the bars: below the dialog bar, above the status bar.
  RECT rcSplitFrame = WindowRectIn(splitter.m_hWnd, pFrame->m_hWnd);
  RECT rcBar = WindowRectIn(pFrame->GetPLDialogBar().m_hWnd, pFrame->m_hWnd);
  RECT rcStatus = WindowRectIn(pFrame->GetStatusBar().m_hWnd, pFrame->m_hWnd);
  RECT rcReBar = WindowRectIn(pFrame->GetReBar().m_hWnd, pFrame->m_hWnd);
  EXPECT_EQ(rcReBar.bottom, rcBar.top);
  EXPECT_EQ(rcBar.bottom, rcSplitFrame.top);
  EXPECT_EQ(rcStatus.top, rcSplitFrame.bottom);

  // The next start comes back as the user left it: the tree's width, the window's place and
  // size, and whether it was maximised.
  const RECT placed{40, 30, 840, 630};
  WINDOWPLACEMENT wp{};
  wp.length = sizeof(wp);
  ASSERT_TRUE(::GetWindowPlacement(pFrame->m_hWnd, &wp));
  wp.showCmd = SW_SHOWNORMAL;
  wp.rcNormalPosition = placed;
  ASSERT_TRUE(::SetWindowPlacement(pFrame->m_hWnd, &wp));
  auto normalRect = [&] {
    EXPECT_TRUE(::GetWindowPlacement(Frame()->m_hWnd, &wp));
    const RECT& r = wp.rcNormalPosition;
    return std::vector<LONG>{r.left, r.top, r.right, r.bottom};
  };
  const std::vector<LONG> placedRect{placed.left, placed.top, placed.right, placed.bottom};
  for (bool maximize : {false, true}) {
    Stop();
    ASSERT_TRUE(Start());
    EXPECT_EQ(maximize, ::IsZoomed(Frame()->m_hWnd) != FALSE);
    EXPECT_EQ(placedRect, normalRect());
    EXPECT_EQ(250, Frame()->GetSplitter().GetColumnWidth(0));
    ::ShowWindow(Frame()->m_hWnd, SW_MAXIMIZE);
  }
  // A place on no screen any more (a monitor unplugged) is not taken: maximised, as at first.
  Stop();
  {
    CPloverApp app;
    app.SetRegistryKey(L"Local AppWizard-Generated Applications");
    ASSERT_TRUE(app.WriteProfileString(CMainFrame::kSettingsSection, CMainFrame::kPlacementEntry,
                                       L"0 30000 30000 30800 30600"));
  }
  ASSERT_TRUE(Start());
  EXPECT_TRUE(::IsZoomed(Frame()->m_hWnd));
}

TEST_F(MainFrameTest, F6AndShiftF6MoveFocusBetweenPanes) {
  ASSERT_TRUE(Start());
  CMainFrame* pFrame = Frame();
  HWND hTree = pFrame->GetBrowseView()->m_hWnd;
  HWND hList = pFrame->GetItemView()->m_hWnd;
  ::SetForegroundWindow(pFrame->m_hWnd);
  ::SetFocus(hTree);
  Pump();
  ASSERT_EQ(hTree, ::GetFocus());

  auto press = [&](bool bShift) {
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = bShift ? 0x80 : 0;
    ::SetKeyboardState(keys);
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_F6, 1);
    Pump();
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
  };
  press(false);
  EXPECT_EQ(hList, ::GetFocus());
  EXPECT_EQ(static_cast<CView*>(pFrame->GetItemView()), pFrame->GetActiveView());
  press(false);
  EXPECT_EQ(hTree, ::GetFocus()) << "F6 wraps around";
  press(true);
  EXPECT_EQ(hList, ::GetFocus()) << "Shift+F6 goes back, wrapping";
  press(true);
  EXPECT_EQ(hTree, ::GetFocus());
}

TEST_F(MainFrameTest, BarsRebarBandsAndDialogBarTemplates) {
  ASSERT_TRUE(Start());
  CMainFrame* pFrame = Frame();
  CReBar& reBar = pFrame->GetReBar();
  EXPECT_TRUE(reBar.GetStyle() & RBS_BANDBORDERS);
  ASSERT_EQ(2, reBar.SendMessage(RB_GETBANDCOUNT));
  HWND children[2] = {pFrame->GetToolBar().m_hWnd, pFrame->GetDialogBar().m_hWnd};
  for (int i = 0; i < 2; ++i) {
    REBARBANDINFOW rbi{};
    rbi.cbSize = sizeof(rbi);
    rbi.fMask = RBBIM_CHILD | RBBIM_STYLE;
    ASSERT_TRUE(reBar.SendMessage(RB_GETBANDINFOW, i, reinterpret_cast<LPARAM>(&rbi)));
    EXPECT_EQ(children[i], rbi.hwndChild) << "band " << i;
    EXPECT_TRUE(rbi.fStyle & RBBS_GRIPPERALWAYS) << "band " << i;
    EXPECT_TRUE(rbi.fStyle & RBBS_FIXEDBMP) << "band " << i;
  }

  // Template 128: an empty 330 x 16 band; template 102: 330 x 36 with the empty static 1011.
  HWND hBand = pFrame->GetDialogBar().m_hWnd;
  EXPECT_EQ(nullptr, ::GetWindow(hBand, GW_CHILD));
  RECT rcBand{0, 0, 330, 16};
  ::MapDialogRect(hBand, &rcBand);
  REBARBANDINFOW band{};
  band.cbSize = sizeof(band);
  band.fMask = RBBIM_CHILDSIZE;
  reBar.SendMessage(RB_GETBANDINFOW, 1, reinterpret_cast<LPARAM>(&band));
  EXPECT_EQ(static_cast<UINT>(rcBand.right), band.cxMinChild)
      << "the band is at least the template's width";
  RECT rcActual{};
  ::GetClientRect(hBand, &rcActual);
  EXPECT_EQ(rcBand.bottom, rcActual.bottom);

  HWND hBar = pFrame->GetPLDialogBar().m_hWnd;
  EXPECT_EQ(ID_VIEW_PLDIALOGBAR, ::GetDlgCtrlID(hBar));
  HWND hStatic = ::GetDlgItem(hBar, IDC_CREDITS);
  ASSERT_NE(nullptr, hStatic);
  wchar_t text[16] = L"x";
  ::GetWindowTextW(hStatic, text, 16);
  EXPECT_STREQ(L"", text);
  RECT rcStatic{2, 3, 2 + 326, 3 + 30};
  ::MapDialogRect(hBar, &rcStatic);
  RECT rcStaticActual = WindowRectIn(hStatic, hBar);
  EXPECT_EQ(rcStatic.left, rcStaticActual.left);
  EXPECT_EQ(rcStatic.top, rcStaticActual.top);
  EXPECT_EQ(rcStatic.right, rcStaticActual.right);
  EXPECT_EQ(rcStatic.bottom, rcStaticActual.bottom);
  RECT rcTemplate{0, 0, 330, 36};
  ::MapDialogRect(hBar, &rcTemplate);
  RECT rcBarActual{};
  ::GetWindowRect(hBar, &rcBarActual);
  EXPECT_EQ(rcTemplate.bottom, rcBarActual.bottom - rcBarActual.top);
}

TEST_F(MainFrameTest, ViewTogglesHideAndShowBarsWithCheckMarks) {
  ASSERT_TRUE(Start());
  CMainFrame* pFrame = Frame();
  HMENU hView = OpenPopup(2);
  EXPECT_TRUE(::GetMenuState(hView, ID_VIEW_TOOLBAR, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_TRUE(::GetMenuState(hView, ID_VIEW_STATUS_BAR, MF_BYCOMMAND) & MF_CHECKED);

  RECT before{};
  ::GetWindowRect(pFrame->GetSplitter().m_hWnd, &before);
  Command(ID_VIEW_STATUS_BAR);
  EXPECT_FALSE(::IsWindowVisible(pFrame->GetStatusBar().m_hWnd));
  RECT after{};
  ::GetWindowRect(pFrame->GetSplitter().m_hWnd, &after);
  EXPECT_GT(after.bottom, before.bottom) << "the panes take the status bar's room";
  hView = OpenPopup(2);
  EXPECT_FALSE(::GetMenuState(hView, ID_VIEW_STATUS_BAR, MF_BYCOMMAND) & MF_CHECKED);
  Command(ID_VIEW_STATUS_BAR);
  EXPECT_TRUE(::IsWindowVisible(pFrame->GetStatusBar().m_hWnd));

  Command(ID_VIEW_TOOLBAR);
  REBARBANDINFOW rbi{};
  rbi.cbSize = sizeof(rbi);
  rbi.fMask = RBBIM_STYLE;
  pFrame->GetReBar().SendMessage(RB_GETBANDINFOW, 0, reinterpret_cast<LPARAM>(&rbi));
  EXPECT_TRUE(rbi.fStyle & RBBS_HIDDEN);
  hView = OpenPopup(2);
  EXPECT_FALSE(::GetMenuState(hView, ID_VIEW_TOOLBAR, MF_BYCOMMAND) & MF_CHECKED);
  Command(ID_VIEW_TOOLBAR);
  pFrame->GetReBar().SendMessage(RB_GETBANDINFOW, 0, reinterpret_cast<LPARAM>(&rbi));
  EXPECT_FALSE(rbi.fStyle & RBBS_HIDDEN);

  // 103 is the standard toggle of the second dialog bar, though nothing in the UI sends it.
  Command(ID_VIEW_PLDIALOGBAR);
  EXPECT_FALSE(::IsWindowVisible(pFrame->GetPLDialogBar().m_hWnd));
  Command(ID_VIEW_PLDIALOGBAR);
  EXPECT_TRUE(::IsWindowVisible(pFrame->GetPLDialogBar().m_hWnd));
}

TEST_F(MainFrameTest, GroupMessagesAreRelayedToTheItemListUnchanged) {
  ASSERT_TRUE(Start());
  CMainFrame* pFrame = Frame();
  HWND hList = pFrame->GetItemView()->m_hWnd;

  g_relayed.clear();
  g_oldListProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordGroupMessages)));
  ::SendMessageW(pFrame->m_hWnd, WM_OPC_GROUPCHANGED, 0, 7);
  ::SendMessageW(pFrame->m_hWnd, WM_OPC_GROUPDELETED, 0, 0x12345);
  ::SetWindowLongPtrW(hList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_oldListProc));

  // Sent, not posted: both arrived before SendMessage returned.
  ASSERT_EQ(2u, g_relayed.size());
  EXPECT_EQ(static_cast<UINT>(WM_OPC_GROUPCHANGED), g_relayed[0].message);
  EXPECT_EQ(0u, g_relayed[0].wParam);
  EXPECT_EQ(7, g_relayed[0].lParam);
  EXPECT_EQ(static_cast<UINT>(WM_OPC_GROUPDELETED), g_relayed[1].message);
  EXPECT_EQ(0x12345, g_relayed[1].lParam);
}

TEST_F(MainFrameTest, BannerTimerRunsOnce) {
  // Right after creation the timer is pending (no message was pumped, so it cannot have
  // fired) ...
  m_app = std::make_unique<CPloverApp>();
  ASSERT_TRUE(m_app->InitInstance());
  EXPECT_TRUE(::KillTimer(Frame()->m_hWnd, CMainFrame::kBannerTimer));
  Stop();
  // ... and after it has fired once it is gone, and the banner fills the second dialog bar.
  ASSERT_TRUE(Start());
  CCreditsCtrl& banner = Frame()->GetCreditsBanner();
  ASSERT_TRUE(PumpUntil([&] { return banner.m_hWnd != nullptr; }, "the banner timer's first tick"));
  EXPECT_FALSE(::KillTimer(Frame()->m_hWnd, CMainFrame::kBannerTimer));
  HWND hBar = Frame()->GetPLDialogBar().m_hWnd;
  ASSERT_NE(nullptr, banner.m_hWnd);
  EXPECT_EQ(hBar, ::GetParent(banner.m_hWnd));
  EXPECT_EQ(0xFFFF, ::GetDlgCtrlID(banner.m_hWnd));
  EXPECT_TRUE(::GetWindowLongPtrW(banner.m_hWnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(L"", banner.GetWindowText());
  RECT bar{}, rc{};
  ::GetWindowRect(hBar, &bar);
  ::GetWindowRect(banner.m_hWnd, &rc);
  EXPECT_EQ(bar.left + 2, rc.left);
  EXPECT_EQ(bar.top + 2, rc.top);
  EXPECT_EQ(bar.right - 2, rc.right);
  EXPECT_EQ(bar.bottom - 2, rc.bottom);
  EXPECT_TRUE(banner.GetState().scrolling);
  const std::vector<std::wstring>& lines = banner.GetLines();
  ASSERT_EQ(19u, lines.size());
  EXPECT_EQ(L'\t', lines[0].back());
  for (size_t i = 2; i < 10; i += 2) {
    EXPECT_EQ(L'\r', lines[i].back()) << i;
    EXPECT_EQ(L"", lines[i + 1]) << i;
  }
  EXPECT_EQ(L"170^", lines[10]);
  EXPECT_EQ(L'\r', lines[11].back());
  EXPECT_EQ(L"169^", lines[13]);
  EXPECT_EQ((std::vector<std::wstring>{L"", L""}),
            std::vector<std::wstring>(lines.end() - 2, lines.end()));
  // Title lines 30 high.
  ASSERT_TRUE(banner.StartScroll());
  for (int i = 0; i < 100 && banner.GetState().nextLine == 0; ++i)
    ::SendMessageW(banner.m_hWnd, WM_TIMER, CCreditsCtrl::kTimerId, 0);
  EXPECT_EQ(lines[0], banner.GetState().currentLine);
  EXPECT_EQ(30, banner.GetState().lineHeight);
  ::SendMessageW(Frame()->m_hWnd, WM_TIMER, CMainFrame::kBannerTimer, 0);
  EXPECT_EQ(banner.m_hWnd, ::GetDlgItem(hBar, 0xFFFF)) << "a stray 1001 makes no second one";
}

TEST_F(MainFrameTest, AboutAndPrintGoThroughTheModalRunner) {
  ASSERT_TRUE(Start());
  Command(ID_APP_ABOUT);
  ASSERT_EQ(1u, m_runner.dialogs.size());
  EXPECT_EQ(static_cast<UINT>(IDD_ABOUTBOX), m_runner.dialogs[0]);

  // A cancelled print dialog prints nothing and says nothing.
  Command(ID_FILE_PRINT);
  EXPECT_EQ(1, m_runner.printDialogs);
  EXPECT_TRUE(m_runner.boxes.empty());

  // A device that cannot start a print job is reported, not passed over as printed.
  m_runner.printDC = ::CreateCompatibleDC(nullptr);
  Command(ID_FILE_PRINT);
  EXPECT_EQ(2, m_runner.printDialogs);
  ASSERT_EQ(1u, m_runner.boxes.size());
  EXPECT_EQ(L"无法启动打印任务。", m_runner.boxes[0].text);
  EXPECT_EQ(L"Plover", m_runner.boxes[0].caption);
}

TEST_F(MainFrameTest, PrintPreviewShowsABlankPageUntilClosed) {
  ASSERT_TRUE(Start());
  CMainFrame* pFrame = Frame();
  Command(ID_FILE_PRINT_PREVIEW);
  ASSERT_TRUE(pFrame->IsInPrintPreview());
  HWND hPreview = ::GetDlgItem(pFrame->m_hWnd, AFX_IDW_PREVIEW);
  ASSERT_NE(nullptr, hPreview);
  EXPECT_FALSE(::IsWindowVisible(pFrame->GetSplitter().m_hWnd));
  auto* pPreview = static_cast<CPreviewWnd*>(CWnd::FromHandle(hPreview));
  RECT page = pPreview->GetPageRect();
  ASSERT_GT(page.bottom - page.top, 0);
  SIZE paper = pPreview->GetPaperSize();
  double ratio = double(page.right - page.left) / (page.bottom - page.top);
  EXPECT_NEAR(double(paper.cx) / paper.cy, ratio, 0.02);

  // Its close button ends the preview and brings the panes back.
  ::SendMessageW(hPreview, WM_COMMAND, MAKEWPARAM(CPreviewWnd::IDC_PREVIEW_CLOSE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(hPreview, CPreviewWnd::IDC_PREVIEW_CLOSE)));
  Pump();
  EXPECT_FALSE(pFrame->IsInPrintPreview());
  EXPECT_FALSE(::IsWindow(hPreview));
  EXPECT_TRUE(::IsWindowVisible(pFrame->GetSplitter().m_hWnd));
}

}  // namespace
