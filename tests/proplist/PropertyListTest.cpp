// The property list on a real list box: editors per row kind, write-through, choosers
// answered through the modal runner, the splitter drag and the drawing.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModalRunner.h"
#include "PropListTestSupport.h"
#include "PropertyList.h"

namespace {

// Answers the choosers and records what they were opened with.
class ChooserRunner : public CModalRunner {
 public:
  BOOL ChooseColor(CHOOSECOLORW& cc) override {
    colorIn.push_back(cc.rgbResult);
    if (!colorOk) return FALSE;
    cc.rgbResult = colorOut;
    return TRUE;
  }
  BOOL GetFileName(OPENFILENAMEW& ofn, BOOL bOpen) override {
    EXPECT_TRUE(bOpen);
    fileDirs.push_back(ofn.lpstrInitialDir ? ofn.lpstrInitialDir : L"<none>");
    EXPECT_EQ(0, memcmp(L"所有文件(*.*)\0*.*\0\0", ofn.lpstrFilter, 14 * sizeof(wchar_t)));
    EXPECT_STREQ(L"选择文件", ofn.lpstrTitle);
    lstrcpynW(ofn.lpstrFile, L"C:\\other\\y.log", ofn.nMaxFile);
    return TRUE;
  }
  BOOL ChooseFont(CHOOSEFONTW& cf) override {
    EXPECT_EQ(static_cast<DWORD>(CF_SCREENFONTS | CF_EFFECTS),
              cf.Flags & (CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT));
    lstrcpyW(cf.lpLogFont->lfFaceName, L"宋体");
    cf.lpLogFont->lfHeight = -40;
    return TRUE;
  }
  std::vector<COLORREF> colorIn;
  std::vector<std::wstring> fileDirs;
  BOOL colorOk = TRUE;
  COLORREF colorOut = RGB(0, 255, 0);
};

class PropertyListTest : public testing::Test {
 protected:
  void SetUp() override {
    prevRunner = SetModalRunner(&runner);
    ASSERT_TRUE(host.Create(L"host", 320, 200));
    // Sorted and variable-height styles are overridden: rows keep their order and height.
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_SORT |
                                LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
                            RECT{0, 0, 300, 124}, host.m_hWnd, 1004));
  }
  void TearDown() override {
    list.DestroyWindow();
    SetModalRunner(prevRunner);
  }
  HWND Child(UINT id) const { return ::GetDlgItem(list.m_hWnd, static_cast<int>(id)); }

  ChooserRunner runner;
  CModalRunner* prevRunner = nullptr;
  TestHost host;
  CPropertyList list;
};

TEST(PropertyListText, ChoicePiecesAndColourTextsStayInsideTheirString) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ((V{L"ON", L"OFF"}), CPropertyList::SplitChoices(L"ON|OFF|"));
  EXPECT_EQ((V{L"A", L"", L"B"}), CPropertyList::SplitChoices(L"A||B|C"));
  EXPECT_EQ(V{}, CPropertyList::SplitChoices(L"no bar"));
  EXPECT_EQ((V{L""}), CPropertyList::SplitChoices(L"|"));

  const struct {
    const wchar_t* text;
    COLORREF color;
  } colours[] = {
      {L"RGB(255,0,128)", RGB(255, 0, 128)},
      {L"RGB( 7 , 8 , 9 )", RGB(7, 8, 9)},
      {L"RGB(300,-1,7)", RGB(44, 255, 7)},
      {L"RGB(1,2", RGB(1, 2, 0)},
      {L"RGB(", RGB(0, 0, 0)},
      {L"RGB", RGB(0, 0, 0)},
      {L"", RGB(0, 0, 0)},
      {L"rgb(1,2,3)", RGB(0, 0, 0)},
      {L"RGB(12,x,3)", RGB(12, 0, 3)},
      {L"RGB(1,2,3", RGB(1, 2, 3)},
  };
  for (const auto& c : colours)
    EXPECT_EQ(c.color, CPropertyList::ParseColorText(c.text)) << std::string(c.text, c.text + 4);
}

TEST_F(PropertyListTest, EditorsWriteThroughAndChoosersActOnTheClickedRow) {
  EXPECT_TRUE(list.GetStyle() & LBS_OWNERDRAWFIXED);
  EXPECT_FALSE(list.GetStyle() & (LBS_SORT | LBS_OWNERDRAWVARIABLE));
  std::wstring longDir(MAX_PATH + 5, L'd');
  CPropertyRow onOff(L"Active", L"maybe", ROW_CHOICE, L"ON|OFF|");
  CPropertyRow letters(L"Letters", L"b", ROW_CHOICE, L"A||B|C");
  CPropertyRow text(L"Name", L"abc", ROW_TEXT, L"");
  CPropertyRow colour(L"Colour", L"RGB(255,0,128)", ROW_COLOR, L"");
  CPropertyRow file(L"File", L"C:\\dir\\x.txt", ROW_FILE, L"");
  CPropertyRow font(L"Font", L"Arial", ROW_FONT, L"");
  CPropertyRow shown(L"Shown", L"fixed", ROW_DISPLAY, L"");
  CPropertyRow spacer(L"", L"", ROW_DISPLAY, L"");
  CPropertyRow* rows[] = {&onOff, &letters, &text, &colour, &file, &font, &shown, &spacer, &spacer};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(i, list.AddRow(rows[i]));
  EXPECT_EQ(CPropertyList::kRowHeight, list.SendMessage(LB_GETITEMHEIGHT, 0));
  ::UpdateWindow(list.m_hWnd);
  RECT rcClient;
  ::GetClientRect(list.m_hWnd, &rcClient);
  EXPECT_EQ(rcClient.right / 2, list.GetSplitterPos());

  // A keyboard selection before any click opens the editor of row 1.
  EXPECT_EQ(1, list.GetCurrentRow());
  list.SendMessage(WM_KEYDOWN, VK_DOWN, 0);
  HWND hChoice = Child(CPropertyList::kChoiceId);
  ASSERT_TRUE(hChoice);
  EXPECT_EQ((std::vector<std::wstring>{L"A", L"", L"B"}), ComboEntries(hChoice));
  EXPECT_EQ(2, ::SendMessageW(hChoice, CB_GETCURSEL, 0, 0)) << "case-blind exact match";
  RECT rcDrop, rcRow;
  ::SendMessageW(hChoice, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&rcDrop));
  EXPECT_GT(rcDrop.bottom - rcDrop.top, 90) << "room for the open list";
  EXPECT_EQ(L"b", list.GetRowValue(1)) << "opening selects, it does not write";

  // Row 0: no exact match highlights the first entry; a user's pick writes at once.
  ClickRow(list, 0);
  EXPECT_EQ(0, list.GetCurrentRow());
  EXPECT_EQ((std::vector<std::wstring>{L"ON", L"OFF"}), ComboEntries(hChoice));
  EXPECT_EQ(0, ::SendMessageW(hChoice, CB_GETCURSEL, 0, 0));
  EXPECT_EQ(L"maybe", list.GetRowValue(0));
  ::SendMessageW(hChoice, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(L"OFF", list.GetRowValue(0));

  // Row 2: the text box over the value cell; every keystroke lands in the row.
  ClickRow(list, 2);
  EXPECT_FALSE(::IsWindowVisible(hChoice)) << "the choice list hides when it loses the focus";
  HWND hText = Child(CPropertyList::kTextId);
  ASSERT_TRUE(hText);
  EXPECT_EQ(hText, ::GetFocus());
  EXPECT_EQ(L"abc", WindowText(hText));
  RECT rcText;
  ::GetWindowRect(hText, &rcText);
  ::MapWindowPoints(nullptr, list.m_hWnd, reinterpret_cast<POINT*>(&rcText), 2);
  list.SendMessage(LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&rcRow));
  EXPECT_EQ((RECT{list.GetSplitterPos(), rcRow.top, rcRow.right, rcRow.bottom - 3}), rcText);
  ::SendMessageW(hText, EM_SETSEL, 0, -1);
  ::SendMessageW(hText, WM_CHAR, L'x', 0);
  EXPECT_EQ(L"x", list.GetRowValue(2));
  ::SendMessageW(hText, WM_CHAR, L'y', 0);
  EXPECT_EQ(L"xy", list.GetRowValue(2));
  EXPECT_EQ(hText, ::GetFocus()) << "written before the box loses the focus";

  // Scrolling hides the open editor rather than leaving it over another row.
  list.SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_FALSE(::IsWindowVisible(hText));
  EXPECT_EQ(L"xy", list.GetRowValue(2));
  list.SendMessage(LB_SETTOPINDEX, 0, 0);

  // Row 3: the "..." button, 25 pixels at the right; the colour round trip.
  ClickRow(list, 3);
  HWND hButton = Child(CPropertyList::kButtonId);
  ASSERT_TRUE(hButton);
  EXPECT_TRUE(::IsWindowVisible(hButton));
  EXPECT_EQ(L"...", WindowText(hButton));
  RECT rcButton;
  ::GetClientRect(hButton, &rcButton);
  EXPECT_EQ(25, rcButton.right);
  runner.colorOk = FALSE;
  ::SendMessageW(hButton, BM_CLICK, 0, 0);
  EXPECT_EQ(L"RGB(255,0,128)", list.GetRowValue(3)) << "cancel changes nothing";
  EXPECT_TRUE(::IsWindowVisible(hButton));
  runner.colorOk = TRUE;
  ::SendMessageW(hButton, BM_CLICK, 0, 0);
  EXPECT_EQ((std::vector<COLORREF>{RGB(255, 0, 128), RGB(255, 0, 128)}), runner.colorIn);
  EXPECT_EQ(L"RGB(0,255,0)", list.GetRowValue(3));
  EXPECT_FALSE(::IsWindowVisible(hButton));

  // File: starts in the value's folder, when that folder fits the chooser.
  ClickRow(list, 4);
  ::SendMessageW(hButton, BM_CLICK, 0, 0);
  EXPECT_EQ(L"C:\\other\\y.log", list.GetRowValue(4));
  list.SetRowValue(4, L"C:\\" + longDir + L"\\z.txt");
  ClickRow(list, 4);
  ::SendMessageW(hButton, BM_CLICK, 0, 0);
  EXPECT_EQ((std::vector<std::wstring>{L"C:\\dir", L"<none>"}), runner.fileDirs);

  // Font: the face name only.
  ClickRow(list, 5);
  ::SendMessageW(hButton, BM_CLICK, 0, 0);
  EXPECT_EQ(L"宋体", list.GetRowValue(5));

  // A display row's button does nothing.
  ClickRow(list, 6);
  ::SendMessageW(hButton, BM_CLICK, 0, 0);
  EXPECT_EQ(L"fixed", list.GetRowValue(6));
  EXPECT_TRUE(::IsWindowVisible(hButton));
  EXPECT_EQ(2u, runner.colorIn.size());
  EXPECT_EQ(2u, runner.fileDirs.size());

  // Only the clicked row's editor shows. Scrolling by bar or wheel hides it, the "..." button
  // too, rather than leaving it over another row; the row keeps its value.
  const struct {
    int row;
    UINT editor, msg;
  } scrolls[] = {{0, CPropertyList::kChoiceId, WM_VSCROLL},
                 {0, CPropertyList::kChoiceId, WM_MOUSEWHEEL},
                 {2, CPropertyList::kTextId, WM_MOUSEWHEEL},
                 {3, CPropertyList::kButtonId, WM_VSCROLL},
                 {6, CPropertyList::kButtonId, WM_MOUSEWHEEL}};
  for (const auto& s : scrolls) {
    list.SendMessage(LB_SETTOPINDEX, 0, 0);
    ClickRow(list, s.row);
    HWND hEditor = Child(s.editor);
    ASSERT_TRUE(::IsWindowVisible(hEditor)) << s.row;
    for (UINT other :
         {CPropertyList::kChoiceId, CPropertyList::kTextId, CPropertyList::kButtonId}) {
      if (other != s.editor) {
        EXPECT_FALSE(::IsWindowVisible(Child(other))) << s.row << " " << other;
      }
    }
    const std::wstring value = list.GetRowValue(s.row);
    list.SendMessage(s.msg, s.msg == WM_VSCROLL ? SB_LINEDOWN : MAKEWPARAM(0, -WHEEL_DELTA), 0);
    EXPECT_FALSE(::IsWindowVisible(hEditor)) << s.row << " after message " << s.msg;
    EXPECT_EQ(value, list.GetRowValue(s.row)) << s.row;
  }
  list.SendMessage(LB_SETTOPINDEX, 0, 0);

  // One editor of each kind, reused; the spacer record sits in two positions.
  EXPECT_EQ(3, CountChildren(list.m_hWnd));
  EXPECT_EQ(list.SendMessage(LB_GETITEMDATA, 7), list.SendMessage(LB_GETITEMDATA, 8));
  EXPECT_EQ(L"", list.GetRowValue(42));
  list.SetRowValue(-1, L"ignored");
}

// 32-bit Wine here neither confines the pointer nor reports a confinement; elsewhere the
// drag's confinement is checked.
bool PlatformConfinesPointer() {
  RECT want{1, 1, 50, 50}, got{};
  ::ClipCursor(&want);
  ::GetClipCursor(&got);
  ::ClipCursor(nullptr);
  return ::EqualRect(&want, &got) != FALSE;
}

TEST_F(PropertyListTest, SplitterDragsBetweenConfinedEdgesAndRedrawsBothColumns) {
  CPropertyRow a(L"Name", L"Value", ROW_TEXT, L"");
  CPropertyRow b(L"Pick", L"ON", ROW_CHOICE, L"ON|OFF|");
  CPropertyRow c(L"Shown", L"", ROW_DISPLAY, L"");
  list.AddRow(&a);
  list.AddRow(&b);
  list.AddRow(&c);
  list.SetNameBkColor(RGB(255, 0, 0));
  list.SetValueBkColor(RGB(0, 0, 255));
  ::UpdateWindow(list.m_hWnd);
  int half = list.GetSplitterPos();
  RECT rcClient;
  ::GetClientRect(list.m_hWnd, &rcClient);
  ASSERT_EQ(rcClient.right / 2, half);
  auto shot = CaptureClient(list.m_hWnd);
  EXPECT_EQ(RGB(255, 0, 0), shot.Pixel(half - 10, 1));
  EXPECT_EQ(RGB(0, 0, 255), shot.Pixel(half + 10, 1));
  EXPECT_NE(shot.Pixel(half + 10, 1), shot.Pixel(half + 10, 19)) << "sunken edge at the bottom";
  EXPECT_NE(shot.Pixel(half - 10, 1), shot.Pixel(half - 2, 1)) << "and at the name's right";

  // A click 6 pixels away is a plain click.
  ClickRow(list, 0);
  HWND hText = Child(CPropertyList::kTextId);
  ASSERT_TRUE(::IsWindowVisible(hText));
  list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(half + 6, 30));
  list.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(half + 12, 30));
  EXPECT_EQ(half, list.GetSplitterPos());
  EXPECT_EQ(1, list.GetCurrentRow());

  // A drag: the open text box hides, the pointer is confined, the release places the
  // splitter and both columns are drawn again.
  ClickRow(list, 0);
  ASSERT_TRUE(::IsWindowVisible(hText));
  list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(half - 5, 30));
  EXPECT_EQ(list.m_hWnd, ::GetCapture());
  EXPECT_FALSE(::IsWindowVisible(hText));
  RECT rcClip, rcWindow;
  ::GetClipCursor(&rcClip);
  ::GetWindowRect(list.m_hWnd, &rcWindow);
  if (PlatformConfinesPointer()) {
    EXPECT_EQ((RECT{rcWindow.left + 10, rcWindow.top, rcWindow.right - 10, rcWindow.bottom}),
              rcClip);
  }
  list.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(80, 30));
  list.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(60, 30));
  EXPECT_EQ(60, list.GetSplitterPos());
  EXPECT_EQ(nullptr, ::GetCapture());
  ::GetClipCursor(&rcClip);
  EXPECT_GT(rcClip.right - rcClip.left, rcWindow.right - rcWindow.left) << "pointer freed";
  EXPECT_EQ(0, list.GetCurrentRow()) << "a drag does not change the current row";
  ::UpdateWindow(list.m_hWnd);
  shot = CaptureClient(list.m_hWnd);
  EXPECT_EQ(RGB(255, 0, 0), shot.Pixel(50, 1));
  EXPECT_EQ(RGB(0, 0, 255), shot.Pixel(70, 1));
  EXPECT_EQ(RGB(0, 0, 255), shot.Pixel(half + 10, 1));

  // The "..." button stays through a drag; a drag whose capture is taken away ends without
  // moving the splitter.
  ClickRow(list, 2);
  HWND hButton = Child(CPropertyList::kButtonId);
  ASSERT_TRUE(::IsWindowVisible(hButton));
  list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(62, 30));
  EXPECT_EQ(list.m_hWnd, ::GetCapture());
  EXPECT_TRUE(::IsWindowVisible(hButton));
  ::SetCapture(host.m_hWnd);
  ::ReleaseCapture();
  ::GetClipCursor(&rcClip);
  EXPECT_GT(rcClip.right - rcClip.left, rcWindow.right - rcWindow.left);
  list.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(120, 30));
  EXPECT_EQ(60, list.GetSplitterPos());
}

}  // namespace
