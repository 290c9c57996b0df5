// The item list against the simulation server: rows, live data, the five messages, the item
// menu and its commands.
#include "ItemViewFixture.h"

#include <commctrl.h>

#include <algorithm>
#include <map>

#include "OpcText.h"
#include "PropertyList.h"

namespace {

using ItemListTest = ItemViewFixture;

std::wstring Heading(HWND hList, int col, int* width) {
  wchar_t text[64] = {};
  LVCOLUMNW c{};
  c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  c.pszText = text;
  c.cchTextMax = 64;
  ::SendMessageW(hList, LVM_GETCOLUMNW, col, reinterpret_cast<LPARAM>(&c));
  *width = (c.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_LEFT ? c.cx : -1;
  return text;
}

TEST_F(ItemListTest, RowsFollowTheirOwnGroupsDataAndTheCommandsActOnTheSelectedItem) {
  Connect();
  HWND hList = List()->m_hWnd;
  const struct {
    const wchar_t* heading;
    int width;
  } columns[] = {{L"GroupID", 60}, {L"GroupName", 100}, {L"TagName", 180},
                 {L"Value", 80},   {L"Value Type", 80}, {L"Time", 120}};
  HWND hHeader = reinterpret_cast<HWND>(::SendMessageW(hList, LVM_GETHEADER, 0, 0));
  ASSERT_EQ(6, ::SendMessageW(hHeader, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < 6; ++i) {
    int width = 0;
    EXPECT_EQ(columns[i].heading, Heading(hList, i, &width));
    EXPECT_EQ(columns[i].width, width) << i;
  }
  EXPECT_EQ(0x42D, ::SendMessageW(hList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  EXPECT_EQ(2, ImageList_GetImageCount(reinterpret_cast<HIMAGELIST>(
                   ::SendMessageW(hList, LVM_GETIMAGELIST, LVSIL_SMALL, 0))));

  // Groups 1 and 11: a prefix of each other's text. 11 is inactive.
  AddGroup(1, L"One");
  AddGroup(11, L"Eleven", FALSE);
  COpcItem* ramp = AddItem(1, L"Signals.Ramp");
  COpcItem* shorty = AddItem(11, L"Types.Short");
  COpcItem* lng = AddItem(1, L"Types.Long");
  ASSERT_TRUE(ramp && shorty && lng);
  const struct {
    const wchar_t *group, *name, *id;
    COpcItem* item;
    int image;
  } rows[] = {{L"1", L"One", L"Signals.Ramp", ramp, 0},
              {L"11", L"Eleven", L"Types.Short", shorty, 1},
              {L"1", L"One", L"Types.Long", lng, 0}};
  ASSERT_EQ(3, Rows());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i].group, Text(i, 0));
    EXPECT_EQ(rows[i].name, Text(i, 1));
    EXPECT_EQ(rows[i].id, Text(i, 2));
    EXPECT_EQ(Server()->GetValueText(rows[i].item), Text(i, 3));
    EXPECT_EQ(Server()->GetValueTypeText(rows[i].item), Text(i, 4));
    EXPECT_EQ(L"", Text(i, 5));
    EXPECT_EQ(rows[i].image, Image(i)) << i;
    EXPECT_EQ(INDEXTOSTATEIMAGEMASK(2u),
              ::SendMessageW(hList, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK));
  }

  // The run of added rows is drawn when the loop comes back; after it, a group's data
  // message redraws the list.
  Pump();
  ::ValidateRect(hList, nullptr);
  Frame()->OnGroupData(0, 1);
  // Within a repaint period the data waits for the period's end.
  ::SendMessageW(hList, WM_TIMER, CPloverView::kRepaintTimer, 0);
  RECT rcData{};
  EXPECT_TRUE(::GetUpdateRect(hList, &rcData, FALSE)) << "the list is left not drawing";

  // The clock moves: group 1's rows take their items' values and time stamps.
  Step(1000);
  const std::wstring firstRamp = Text(0, 3);
  EXPECT_EQ(L"FLOAT", Text(0, 4));
  EXPECT_EQ(Server()->GetValueTypeText(lng), Text(2, 4));
  EXPECT_EQ(Server()->GetValueText(ramp), firstRamp);
  EXPECT_EQ(FormatLocalTime(ramp->m_ftTimeStamp), Text(0, 5));
  EXPECT_NE(L"", Text(0, 5));
  Step(1000);
  EXPECT_NE(firstRamp, Text(0, 3));
  EXPECT_EQ(Server()->GetValueText(ramp), Text(0, 3));

  // Group 11's record changes behind the list: group 1's data does not touch its row,
  // group 11's does, and without a time stamp column 5 stays as it was.
  ::VariantClear(&shorty->m_value);
  shorty->m_value.vt = VT_I2;
  shorty->m_value.iVal = 77;
  shorty->m_wQuality = OPC_QUALITY_GOOD;
  shorty->m_ftTimeStamp = {0, 0};
  Frame()->OnGroupData(0, 1);
  EXPECT_NE(L"77", Text(1, 3));
  Frame()->OnGroupData(0, 11);
  EXPECT_EQ(L"77", Text(1, 3));
  EXPECT_EQ(L"SHORT", Text(1, 4));
  EXPECT_EQ(L"", Text(1, 5));

  // A synchronous read updates the record; the row waits for the group's next data.
  Server()->SelectGroup(1);
  ASSERT_TRUE(Server()->WriteSync(lng, L"42"));
  Select(2);
  const std::wstring beforeRead = Text(2, 3);
  Command(ID_ITEM_READ_DEVICE);
  EXPECT_EQ(L"42", Server()->GetValueText(lng));
  EXPECT_EQ(beforeRead, Text(2, 3));
  EXPECT_NE(L"42", beforeRead);
  Step(1000);
  EXPECT_EQ(L"42", Text(2, 3));

  // An asynchronous read arrives as a data change and refreshes the row.
  Select(0);
  ::VariantClear(&ramp->m_value);
  ramp->m_value.vt = VT_R4;
  ramp->m_value.fltVal = -1.0f;
  Command(ID_ITEM_ASYNC_READ_DEVICE);
  m_control->Flush();
  Pump();
  EXPECT_NE(L"-1", Server()->GetValueText(ramp));
  EXPECT_EQ(Server()->GetValueText(ramp), Text(0, 3));

  // Toggling changes the icon at once and the item's state on the server. "At once": the
  // row is invalidated by the command itself, not left for some later repaint.
  ItemAttributeText info;
  Pump();
  ::ValidateRect(hList, nullptr);
  ::SendMessageW(Frame()->m_hWnd, WM_COMMAND, MAKEWPARAM(ID_ITEM_TOGGLE_ACTIVE, 0), 0);
  RECT rcDirty{}, rcRow{LVIR_BOUNDS, 0, 0, 0}, rcBoth{};
  ::SendMessageW(hList, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rcRow));
  ::GetUpdateRect(hList, &rcDirty, FALSE);
  EXPECT_TRUE(::IntersectRect(&rcBoth, &rcDirty, &rcRow)) << "the toggled row is not redrawn";
  Pump();
  EXPECT_EQ(1, Image(0));
  Server()->GetItemAttributes(ramp, info);
  EXPECT_FALSE(info.m_bActive);
  Command(ID_ITEM_TOGGLE_ACTIVE);
  EXPECT_EQ(0, Image(0));
  Server()->GetItemAttributes(ramp, info);
  EXPECT_TRUE(info.m_bActive);

  // The row of a record is found by its client handle.
  Frame()->HighlightItem(lng);
  EXPECT_EQ(2, ::SendMessageW(hList, LVM_GETHOTITEM, 0, 0));
  Frame()->HighlightItem(nullptr);
  EXPECT_EQ(2, ::SendMessageW(hList, LVM_GETHOTITEM, 0, 0));
  EXPECT_TRUE(m_items.boxes.empty());

  // Writes through the input box: OK with text writes, cancel or empty text does nothing.
  // The box names the item and starts from its value.
  Select(2);
  const wchar_t* input = L"-43";
  std::wstring shownItem, shownValue;
  m_items.drive = [&](HWND hDlg) {
    wchar_t text[64] = {};
    ::GetDlgItemTextW(hDlg, IDC_INPUT_ITEM, text, 64);
    shownItem = text;
    ::GetDlgItemTextW(hDlg, IDC_INPUT_VALUE, text, 64);
    shownValue = text;
    ::SetDlgItemTextW(hDlg, IDC_INPUT_VALUE, input);
    ::SendMessageW(hDlg, WM_COMMAND, IDOK, 0);
  };
  Command(ID_ITEM_SYNC_WRITE);
  EXPECT_EQ(L"Types.Long", shownItem);
  EXPECT_EQ(L"42", shownValue);
  EXPECT_EQ(L"42", Text(2, 3));
  Step(1000);
  EXPECT_EQ(L"-43", Text(2, 3));
  input = L"";
  Command(ID_ITEM_SYNC_WRITE);
  m_items.drive = nullptr;
  Command(ID_ITEM_ASYNC_WRITE);
  EXPECT_EQ((std::vector<UINT>{IDD_INPUT, IDD_INPUT, IDD_INPUT}), m_items.dialogs);
  EXPECT_TRUE(m_items.boxes.empty());
  input = L"44";
  m_items.drive = [&](HWND hDlg) {
    ::SetDlgItemTextW(hDlg, IDC_INPUT_VALUE, input);
    ::SendMessageW(hDlg, WM_COMMAND, IDOK, 0);
  };
  // A failure names the item and says why: the server's code, or a text that does not
  // convert (which never reaches the server).
  const struct {
    UINT command;
    const wchar_t *failing, *text, *box;
    HRESULT code;
  } failures[] = {
      {ID_ITEM_SYNC_WRITE, L"IOPCSyncIO::Write", L"44", L"同步写错误!", E_FAIL},
      {ID_ITEM_ASYNC_WRITE, L"IOPCAsyncIO::Write", L"44", L"异步写错误!", E_FAIL},
      {ID_ITEM_SYNC_WRITE, nullptr, L"forty-four", L"同步写错误!", DISP_E_TYPEMISMATCH},
  };
  for (const auto& f : failures) {
    input = f.text;
    if (f.failing) m_control->FailMethod(f.failing, f.code, TRUE);
    const size_t before = m_items.boxes.size();
    Command(f.command);
    m_control->ClearFailures();
    ASSERT_EQ(before + 1, m_items.boxes.size()) << f.text;
    const std::wstring& box = m_items.boxes.back().text;
    const std::wstring head = std::wstring(f.box) + L"\n";
    if (f.failing) {
      EXPECT_EQ(head + Server()->GetErrorText(L"Types.Long:", static_cast<DWORD>(f.code)), box);
    } else {
      // Not the server's business: the text and the system's words (or ours) say why.
      EXPECT_EQ(0u, box.find(head + L"Types.Long: \"forty-four\" ")) << box;
      EXPECT_EQ(std::wstring::npos, box.find(L"GetErrorString")) << box;
    }
    EXPECT_GT(box.size(), head.size() + 12) << "a reason follows";
    EXPECT_EQ(m_app->m_strAppName, m_items.boxes.back().caption);
  }

  // Double-click: the row's group becomes current and the tag sheet shows the row's item.
  Select(1);
  RECT rc{LVIR_BOUNDS, 0, 0, 0};
  ::SendMessageW(hList, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&rc));
  std::vector<std::wstring> sheet, names;
  m_items.drive = [&](HWND hDlg) {
    HWND hProps = ::GetDlgItem(hDlg, IDC_PROPERTY_LIST);
    int n = static_cast<int>(::SendMessageW(hProps, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      auto* p = reinterpret_cast<CPropertyRow*>(::SendMessageW(hProps, LB_GETITEMDATA, i, 0));
      sheet.push_back(p->m_strValue);
      names.push_back(p->m_strName);
    }
  };
  ::SendMessageW(hList, WM_LBUTTONDBLCLK, MK_LBUTTON,
                 MAKELPARAM(rc.left + 100, (rc.top + rc.bottom) / 2));
  EXPECT_EQ(IDD_TAG_PROPERTY, m_items.dialogs.back());
  // Ten rows, four spacers, then the server's item properties (the simulation has them).
  ASSERT_GE(sheet.size(), 14u + 8u);
  EXPECT_EQ(L"Types.Short", sheet[0]);
  EXPECT_EQ(L"ON", sheet[9]);
  EXPECT_EQ(L"", names[13]);
  EXPECT_EQ(L"(1) Item Canonical DataType", names[14]);
  EXPECT_EQ(L"(5) Item Access Rights", names[18]);
  EXPECT_NE(names.end(), std::find(names.begin(), names.end(), L"(101) Item Description"));
  EXPECT_EQ(11u, Server()->m_groupManager.GetCurrentGroup()->m_hClient);

  // Rows show their items' qualities: a bad item reads "Bad", and a cycling item's row
  // follows its quality from one data message to the next.
  AddGroup(3, L"Three");
  COpcItem* bad = AddItem(3, L"Quality.Bad");
  COpcItem* cycling = AddItem(3, L"Quality.Cycling");
  ASSERT_TRUE(bad && cycling);
  const int badRow = Rows() - 2, cyclingRow = Rows() - 1;
  bool sawBad = false, sawValue = false;
  for (int step = 0; step < 16; ++step) {
    Step(1000);
    EXPECT_EQ(L"Bad", Text(badRow, 3)) << step;
    const std::wstring shown = Text(cyclingRow, 3);
    EXPECT_EQ(Server()->GetValueText(cycling), shown) << step;
    (shown == L"Bad" ? sawBad : sawValue) = true;
  }
  EXPECT_TRUE(sawBad && sawValue) << sawBad << sawValue;
}

TEST_F(ItemListTest, MenuGroupMessagesAndDisconnectRemoveRowsBeforeRecords) {
  Connect();
  HWND hList = List()->m_hWnd;
  AddGroup(1, L"One");
  AddGroup(11, L"Eleven", FALSE);
  AddItem(1, L"Signals.Ramp");
  COpcItem* shorty = AddItem(11, L"Types.Short");
  AddItem(1, L"Types.Long");
  AddItem(1, L"Types.Float");
  COpcItem* dbl = AddItem(11, L"Types.Double");
  ASSERT_EQ(5, Rows());
  EXPECT_EQ(1, Image(1));

  // Nothing selected: no menu.
  Select(-1);
  ::SendMessageW(hList, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hList), MAKELPARAM(40, 40));
  EXPECT_TRUE(m_items.menus.empty());

  // The item menu; its delete removes the row, then the record.
  Select(2);
  m_items.menuChoice = ID_ITEM_DELETE;
  ::SendMessageW(hList, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hList), MAKELPARAM(40, 40));
  Pump();
  ASSERT_EQ(1u, m_items.menus.size());
  const std::vector<std::pair<std::wstring, UINT>> menu = {{L"改变活动状态(&S)", 32773},
                                                           {L"", 0},
                                                           {L"从缓冲刷新(&F)", 32774},
                                                           {L"从设备刷新(&D)", 32776},
                                                           {L"", 0},
                                                           {L"同步读缓冲(&H)", 32777},
                                                           {L"同步读设备(&D)", 32775},
                                                           {L"", 0},
                                                           {L"异步读缓冲(&Y)", 32778},
                                                           {L"异步读设备(&S)", 32779},
                                                           {L"", 0},
                                                           {L"异步写(&W)", 32780},
                                                           {L"同步写(&B)", 32781},
                                                           {L"", 0},
                                                           {L"删除(&I)", 32782},
                                                           {L"", 0},
                                                           {L"趋势图(&T)", ID_VIEW_TREND}};
  EXPECT_EQ(menu, m_items.menus[0]);
  ASSERT_EQ(4, Rows());
  EXPECT_EQ(L"Types.Float", Text(2, 2));
  EXPECT_EQ(nullptr, Server()->FindItem(1, L"Types.Long"));

  // From the mouse the menu opens at the pointer; from the keyboard, under the selected row.
  ASSERT_EQ(1u, m_items.points.size());
  EXPECT_EQ(40, m_items.points[0].x);
  EXPECT_EQ(40, m_items.points[0].y);
  Select(1);
  m_items.menuChoice = 0;
  ::SendMessageW(hList, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hList), -1);
  RECT rcRow{LVIR_BOUNDS, 0, 0, 0};
  ::SendMessageW(hList, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&rcRow));
  POINT under{rcRow.left, rcRow.bottom};
  ::ClientToScreen(hList, &under);
  ASSERT_EQ(2u, m_items.points.size());
  EXPECT_EQ(under.x, m_items.points[1].x);
  EXPECT_EQ(under.y, m_items.points[1].y);
  EXPECT_EQ(4, Rows()) << "no command chosen";

  // Name and state of group 1 change; group 11's rows are left alone.
  Server()->SelectGroup(1);
  Server()->RenameGroup(L"Renamed");
  Server()->ChangeGroupActive(FALSE);
  ::SendMessageW(Frame()->m_hWnd, WM_OPC_GROUPCHANGED, 0, 1);
  const struct {
    const wchar_t* name;
    int image;
  } changed[] = {{L"Renamed", 1}, {L"Eleven", 1}, {L"Renamed", 1}, {L"Eleven", 1}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(changed[i].name, Text(i, 1)) << i;
    EXPECT_EQ(changed[i].image, Image(i)) << i;
  }
  // An active group's rows show their items' own states.
  Server()->SelectGroup(11);
  Server()->ChangeGroupActive(TRUE);
  ASSERT_EQ(S_OK, Server()->SetItemActive(dbl, FALSE));
  ::SendMessageW(Frame()->m_hWnd, WM_OPC_GROUPCHANGED, 0, 11);
  EXPECT_EQ(0, Image(1));
  EXPECT_EQ(1, Image(3));
  EXPECT_EQ(1, Image(0));

  // A record freed behind the list: the row stays as it was and its commands do nothing.
  const std::wstring shortText = Text(1, 3);
  ASSERT_TRUE(Server()->RemoveItem(shorty));
  Frame()->OnGroupData(0, 11);
  EXPECT_EQ(shortText, Text(1, 3));
  Select(1);
  Command(ID_ITEM_TOGGLE_ACTIVE);
  EXPECT_EQ(0, Image(1));
  Command(ID_ITEM_DELETE);
  ASSERT_EQ(3, Rows());

  // Deleting group 1 removes its rows (interleaved with group 11's), then the group.
  ::SendMessageW(Frame()->m_hWnd, WM_OPC_GROUPDELETED, 0, 1);
  ASSERT_EQ(1, Rows());
  EXPECT_EQ(L"Types.Double", Text(0, 2));
  EXPECT_EQ(nullptr, Server()->GetGroup(1));
  EXPECT_NE(nullptr, Server()->GetGroup(11));

  // Disconnect: the list empties, then the client lets go of every server object.
  ::SendMessageW(hList, WM_OPC_DISCONNECT, 0, 0);
  EXPECT_EQ(0, Rows());
  Server()->Disconnect();
  m_control.Release();
  PloverSimLiveCounts live = SimLiveCounts();
  EXPECT_EQ(1, live.servers);
  EXPECT_EQ(0, live.groups);
  EXPECT_EQ(0, live.connections);
  EXPECT_EQ(0, live.enumerators);
  EXPECT_TRUE(m_items.boxes.empty());
}

// What the list asks of its parent while it paints: the value text given for each row, and
// every cell of the value, type and time columns asked for (row, column).
std::map<int, std::wstring> g_painted;
std::map<std::pair<int, int>, std::wstring> g_dataCells;
WNDPROC g_oldParentProc;
int g_paints;
WNDPROC g_oldListProc;

LRESULT CALLBACK ParentProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  LRESULT r = ::CallWindowProcW(g_oldParentProc, h, m, w, l);
  auto* info = reinterpret_cast<NMLVDISPINFOW*>(l);
  if (m == WM_NOTIFY && info->hdr.code == LVN_GETDISPINFOW && info->item.iSubItem >= 3 &&
      (info->item.mask & LVIF_TEXT) && info->item.pszText) {
    if (info->item.iSubItem == 3) g_painted[info->item.iItem] = info->item.pszText;
    g_dataCells[{info->item.iItem, info->item.iSubItem}] = info->item.pszText;
  }
  return r;
}

LRESULT CALLBACK CountingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_PAINT) ++g_paints;
  return ::CallWindowProcW(g_oldListProc, h, m, w, l);
}

TEST_F(ItemListTest, EachRepaintPaintsEveryVisibleRowAndDataRepaintsAtMostOncePerPeriod) {
  Connect();
  AddGroup(1, L"Group1");
  std::vector<COpcItem*> items;
  for (int i = 1; i <= 80; ++i) {
    wchar_t id[32];
    swprintf(id, 32, L"Many.Item%04d", i);
    items.push_back(AddItem(1, id));
  }
  Pump();
  HWND hList = List()->m_hWnd;
  const int top = static_cast<int>(::SendMessageW(hList, LVM_GETTOPINDEX, 0, 0));
  const int perPage = static_cast<int>(::SendMessageW(hList, LVM_GETCOUNTPERPAGE, 0, 0));
  ASSERT_GT(perPage, 10);  // a list tall enough to show many rows
  g_oldParentProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
      ::GetParent(hList), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ParentProc)));
  g_oldListProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
  auto settle = [&] {  // the period of any earlier repaint ends
    for (int i = 0; i < 2; ++i) ::SendMessageW(hList, WM_TIMER, CPloverView::kRepaintTimer, 0);
    ::UpdateWindow(hList);
    g_painted.clear();
    g_dataCells.clear();
    g_paints = 0;
  };
  auto data = [&](double v) {
    for (COpcItem* item : items) {
      ::VariantClear(&item->m_value);
      item->m_value.vt = VT_R8;
      item->m_value.dblVal = v;
    }
    ::SendMessageW(hList, WM_OPC_GROUPDATA, 0, 1);
    ::UpdateWindow(hList);
  };
  // Every row on screen was painted, with the value of the group's last data message, and
  // its type and time as well.
  auto everyVisibleRowShows = [&](const wchar_t* text) {
    for (int row = top; row < top + perPage && row < Rows(); ++row) {
      ASSERT_TRUE(g_painted.count(row)) << "row " << row << " not painted";
      EXPECT_EQ(text, g_painted[row]) << "row " << row;
      EXPECT_EQ(L"DOUBLE", g_dataCells[std::make_pair(row, 4)]) << "row " << row;
      EXPECT_TRUE(g_dataCells.count(std::make_pair(row, 5)))
          << "row " << row << ": time not painted";
    }
  };

  settle();
  data(1.25);  // the first of a period: at once
  EXPECT_EQ(1, g_paints);
  everyVisibleRowShows(L"1.25");
  g_painted.clear();
  g_dataCells.clear();
  for (double v : {2.5, 3.5, 4.5}) data(v);  // the rest of the period: later, together
  EXPECT_EQ(1, g_paints);
  EXPECT_TRUE(g_painted.empty());
  ::SendMessageW(hList, WM_TIMER, CPloverView::kRepaintTimer, 0);
  ::UpdateWindow(hList);
  EXPECT_EQ(2, g_paints);
  everyVisibleRowShows(L"4.5");
  // A period without data ends the repaints; the next message paints at once again.
  ::SendMessageW(hList, WM_TIMER, CPloverView::kRepaintTimer, 0);
  ::UpdateWindow(hList);
  EXPECT_EQ(2, g_paints);
  g_painted.clear();
  g_dataCells.clear();
  data(5.75);
  EXPECT_EQ(3, g_paints);
  everyVisibleRowShows(L"5.75");

  // A change that turns redrawing off and on again leaves no row unpainted either.
  settle();
  ::SendMessageW(hList, WM_OPC_GROUPCHANGED, 0, 1);
  ::UpdateWindow(hList);
  everyVisibleRowShows(L"5.75");

  // A check box the user clears stays clear through data and group changes; new rows come
  // ticked.
  LVITEMW check{};
  check.stateMask = LVIS_STATEIMAGEMASK;
  check.state = INDEXTOSTATEIMAGEMASK(1);
  ::SendMessageW(hList, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&check));
  data(6.5);
  ::SendMessageW(hList, WM_OPC_GROUPCHANGED, 0, 1);
  AddItem(1, L"Many.Item0100");
  for (int row : {2, 3, 4, Rows() - 1})
    EXPECT_EQ(INDEXTOSTATEIMAGEMASK(row == 3 ? 1u : 2u),
              ::SendMessageW(hList, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK))
        << row;

  ::SetWindowLongPtrW(hList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_oldListProc));
  ::SetWindowLongPtrW(::GetParent(hList), GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(g_oldParentProc));
}

// The list keeps no rows of its own: check boxes, selection, focus and the first column's
// type-ahead are answered from the view's rows, and must stay with their rows.
int g_countMessages;
WNDPROC g_oldCountProc;

LRESULT CALLBACK CountProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == LVM_SETITEMCOUNT) ++g_countMessages;
  return ::CallWindowProcW(g_oldCountProc, h, m, w, l);
}

TEST_F(ItemListTest, CheckBoxesSelectionAndFocusStayWithTheirRowsThroughClicksKeysAndDeletes) {
  Connect();
  HWND hList = List()->m_hWnd;
  g_countMessages = 0;
  g_oldCountProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountProc)));
  AddGroup(1, L"One");
  AddGroup(2, L"Two");
  // Rows 0..5 alternate between the groups: Many.Item0001 (1), Many.Item0002 (2), ...
  std::vector<COpcItem*> items;
  for (int i = 1; i <= 6; ++i) {
    wchar_t id[32];
    swprintf(id, 32, L"Many.Item%04d", i);
    items.push_back(AddItem(i % 2 ? 1 : 2, id));
  }
  // A run of added rows reaches the control as one count, whoever asks first.
  EXPECT_EQ(6, Rows());
  EXPECT_EQ(1, g_countMessages);
  Pump();
  EXPECT_EQ(1, g_countMessages);

  auto checks = [&] {
    std::wstring out;
    for (int i = 0; i < Rows(); ++i)
      out += ::SendMessageW(hList, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK) ==
                     INDEXTOSTATEIMAGEMASK(2u)
                 ? L'x'
                 : L'-';
    return out;
  };
  auto next = [&](UINT flags) {
    return static_cast<int>(::SendMessageW(hList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), flags));
  };
  // Clicks on a row's check box toggle it and nothing else; a click on the row's text
  // selects the row and leaves its box alone.
  auto click = [&](int row, bool onBox) {
    RECT rc{LVIR_BOUNDS, 0, 0, 0};
    ::SendMessageW(hList, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rc));
    POINT pt{rc.left + 1, (rc.top + rc.bottom) / 2};
    if (onBox) {
      LVHITTESTINFO hit{};
      for (; pt.x < rc.left + 60; ++pt.x) {
        hit.pt = pt;
        ::SendMessageW(hList, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        if (hit.flags & LVHT_ONITEMSTATEICON) break;
      }
      ASSERT_TRUE(hit.flags & LVHT_ONITEMSTATEICON) << "no check box in row " << row;
    } else {
      pt.x = rc.left + 200;  // the item ID column
    }
    ::SendMessageW(hList, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    ::SendMessageW(hList, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
  };
  EXPECT_EQ(L"xxxxxx", checks());
  Select(-1);
  click(1, true);
  EXPECT_EQ(L"x-xxxx", checks());
  EXPECT_EQ(-1, next(LVNI_SELECTED));
  click(1, true);
  click(1, true);
  click(4, true);
  click(4, true);
  EXPECT_EQ(L"x-xxxx", checks());
  click(3, false);
  EXPECT_EQ(3, next(LVNI_SELECTED));
  EXPECT_EQ(3, next(LVNI_FOCUSED));
  EXPECT_EQ(L"x-xxxx", checks());
  // The space bar toggles the focused row's box.
  ::SendMessageW(hList, WM_KEYDOWN, VK_SPACE, 0);
  ::SendMessageW(hList, WM_KEYUP, VK_SPACE, 0);
  EXPECT_EQ(L"x-x-xx", checks());
  EXPECT_EQ(3, next(LVNI_SELECTED));

  // Deleting the first row moves every box, the selection and the focus up with its row.
  Select(0);
  Command(ID_ITEM_DELETE);
  ASSERT_EQ(5, Rows());
  EXPECT_EQ(L"-x-xx", checks());
  EXPECT_EQ(L"Many.Item0002", Text(0, 2));
  // Group 1 goes (rows 1 and 3): the last row, selected and focused, ends up row 2.
  click(4, false);
  ASSERT_EQ(4, next(LVNI_SELECTED));
  ::SendMessageW(Frame()->m_hWnd, WM_OPC_GROUPDELETED, 0, 1);
  ASSERT_EQ(3, Rows());
  EXPECT_EQ(L"--x", checks());
  const wchar_t* left[] = {L"Many.Item0002", L"Many.Item0004", L"Many.Item0006"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(L"2", Text(i, 0)) << i;
    EXPECT_EQ(left[i], Text(i, 2)) << i;
  }
  EXPECT_EQ(2, next(LVNI_SELECTED));
  EXPECT_EQ(2, next(LVNI_FOCUSED));
  Frame()->HighlightItem(items[3]);
  EXPECT_EQ(1, ::SendMessageW(hList, LVM_GETHOTITEM, 0, 0));

  // Typing a group's number goes to the next row whose first column starts with it,
  // wrapping at the end.
  ::SendMessageW(hList, WM_CHAR, L'2', 1);
  EXPECT_EQ(0, next(LVNI_FOCUSED));
  EXPECT_EQ(0, next(LVNI_SELECTED));

  // Every row's box at once.
  LVITEMW all{};
  all.stateMask = LVIS_STATEIMAGEMASK;
  all.state = INDEXTOSTATEIMAGEMASK(2);
  ::SendMessageW(hList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
  EXPECT_EQ(L"xxx", checks());
  EXPECT_EQ(0, next(LVNI_SELECTED)) << "the selection is not the boxes' business";

  ::SetWindowLongPtrW(hList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_oldCountProc));
}

// A row's box is its item's active flag at the server, in a group of any size: one call per
// group, the record follows (a saved workspace writes it), and a box changes only with the
// server's consent.
TEST_F(ItemListTest, CheckBoxesAreTheItemsActiveFlagsInGroupsOfAnySize) {
  Connect();
  HWND hList = List()->m_hWnd;
  AddGroup(1, L"Big");
  const int big = 5000;
  std::vector<OpcItemRequest> requests(big);
  for (int i = 0; i < big; ++i) {
    wchar_t id[32];
    swprintf(id, 32, L"Many.Item%04d", i + 1);
    requests[size_t(i)].strItemId = id;
  }
  std::vector<OpcItemOutcome> outcomes;
  ASSERT_EQ(size_t(big), Server()->AddItems(1, requests, outcomes));
  std::vector<COpcItem*> items;
  for (const OpcItemOutcome& o : outcomes) {
    items.push_back(o.pItem);
    Frame()->OnItemAdded(1, o.pItem);
  }
  AddGroup(2, L"Small");
  items.push_back(AddItem(2, L"Types.Short"));
  items.push_back(AddItem(2, L"Types.Long"));
  Pump();
  ASSERT_EQ(big + 2, Rows());

  auto ticked = [&](int row) {
    return ::SendMessageW(hList, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) ==
           INDEXTOSTATEIMAGEMASK(2u);
  };
  auto setBox = [&](int row, bool on) {
    LVITEMW it{};
    it.stateMask = LVIS_STATEIMAGEMASK;
    it.state = INDEXTOSTATEIMAGEMASK(on ? 2u : 1u);
    ::SendMessageW(hList, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&it));
  };
  auto clickBox = [&](int row) {
    ::SendMessageW(hList, LVM_ENSUREVISIBLE, row, FALSE);
    RECT rc{LVIR_BOUNDS, 0, 0, 0};
    ::SendMessageW(hList, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rc));
    LVHITTESTINFO hit{};
    hit.pt = {rc.left, (rc.top + rc.bottom) / 2};
    for (; hit.pt.x < rc.left + 60; ++hit.pt.x) {
      ::SendMessageW(hList, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
      if (hit.flags & LVHT_ONITEMSTATEICON) break;
    }
    ASSERT_TRUE(hit.flags & LVHT_ONITEMSTATEICON) << row;
    ::SendMessageW(hList, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(hit.pt.x, hit.pt.y));
    ::SendMessageW(hList, WM_LBUTTONUP, 0, MAKELPARAM(hit.pt.x, hit.pt.y));
  };
  // The rows the server keeps inactive, both groups; the records and the boxes must agree.
  auto inactive = [&] {
    std::vector<int> rows;
    for (OPCHANDLE g : {1u, 2u}) {
      ItemActiveMap map;
      Server()->GetGroupActiveStates(g, map);
      EXPECT_EQ(g == 1 ? size_t(big) : 2u, map.size());
      for (int row = 0; row < big + 2; ++row) {
        auto found = map.find(items[size_t(row)]->m_hClient);
        if (found == map.end()) continue;
        EXPECT_EQ(found->second, items[size_t(row)]->m_bActive) << row;
        EXPECT_EQ(found->second != FALSE, ticked(row)) << row;
        EXPECT_EQ(found->second ? 0 : 1, Image(row)) << row;
        if (!found->second) rows.push_back(row);
      }
    }
    return rows;
  };
  EXPECT_EQ(std::vector<int>{}, inactive());

  // A click on a box, a box set far below the screen, and the space bar in the small group.
  clickBox(1);
  setBox(big - 1, false);
  LVITEMW focus{};
  focus.stateMask = focus.state = LVIS_FOCUSED | LVIS_SELECTED;
  ::SendMessageW(hList, LVM_SETITEMSTATE, big + 1, reinterpret_cast<LPARAM>(&focus));
  ::SendMessageW(hList, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ((std::vector<int>{1, big - 1, big + 1}), inactive());
  clickBox(1);
  EXPECT_EQ((std::vector<int>{big - 1, big + 1}), inactive());

  // A refusal leaves box, icon and item as they were.
  ASSERT_EQ(S_OK, m_control->FailMethod(L"IOPCItemMgt::SetActiveState", E_FAIL, TRUE));
  clickBox(2);
  setBox(big - 1, true);
  m_control->ClearFailures();
  EXPECT_EQ((std::vector<int>{big - 1, big + 1}), inactive());

  // What the server is told some other way, the boxes show after the group's next change.
  ASSERT_EQ(S_OK, Server()->SetItemActive(items[3], FALSE));
  ::SendMessageW(hList, WM_OPC_GROUPCHANGED, 0, 1);
  EXPECT_EQ((std::vector<int>{3, big - 1, big + 1}), inactive());

  // Every box at once, each group in one call.
  setBox(-1, false);
  EXPECT_EQ(size_t(big + 2), inactive().size());
  setBox(-1, true);
  EXPECT_EQ(std::vector<int>{}, inactive());
}

}  // namespace
