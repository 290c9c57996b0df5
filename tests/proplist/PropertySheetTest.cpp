// The property sheets and the browse options dialog in the running application, against
// the simulation server, each driven through the modal runner on a shown window.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "AppFixture.h"
#include "BrowseOptionDlg.h"
#include "OpcServer.h"
#include "OpcTreePort.h"
#include "PropListTestSupport.h"
#include "ServerPropertyDlg.h"
#include "SimControl.h"
#include "TagPropertyDlg.h"

namespace {

using Rows = std::vector<std::pair<std::wstring, std::wstring>>;

// Shows every dialog and hands it to `drive`; the dialog ends as the drive leaves it.
class SheetRunner : public RecordingRunner {
 public:
  INT_PTR RunDialog(CDialog& dlg, HWND hOwner) override {
    dialogs.push_back(dlg.m_nIDTemplate);
    owners.push_back(hOwner);
    return DriveDialog(dlg, hOwner, [&](HWND hDlg) {
      ::ShowWindow(hDlg, SW_SHOW);
      ::UpdateWindow(hDlg);
      if (drive) drive(dlg, hDlg);
    });
  }
  std::function<void(CDialog&, HWND)> drive;
  std::vector<HWND> owners;
};

class PropertySheetTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    SetModalRunner(&runner);
    ASSERT_TRUE(Start());
    server = Frame()->GetOpcServer();
    ASSERT_TRUE(server);
    ASSERT_TRUE(server->Initialize(Frame()->m_hWnd));
  }
  void TearDown() override {
    if (server) server->Disconnect();
    AppFixture::TearDown();
  }
  // The leaves a fresh build of the tree lists, in a real tree-view.
  std::vector<std::wstring> BuildLeaves() {
    HWND hTree = ::CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD, 0, 0, 100, 100, Frame()->m_hWnd,
                                   nullptr, nullptr, nullptr);
    COpcTreePort port(hTree);
    server->SetBrowseRootName(PLOVER_SIM_PROGID);
    server->BuildBrowseTree(&port);
    ::DestroyWindow(hTree);
    return server->m_browser.m_itemIds;
  }

  SheetRunner runner;
  COpcServer* server = nullptr;
};

CPropertyList& ListOf(CDialog& dlg) {
  if (auto* p = dynamic_cast<CBrowseOptionDlg*>(&dlg)) return p->m_wndPropList;
  if (auto* p = dynamic_cast<CTagPropertyDlg*>(&dlg)) return p->m_wndPropList;
  return dynamic_cast<CServerPropertyDlg&>(dlg).m_wndPropList;
}

// A user's pick in a drop-down list: the keyboard moves onto the entry.
void Pick(HWND hCombo, int index) {
  ::SendMessageW(hCombo, CB_SETCURSEL, index == 0 ? 1 : index - 1, 0);
  ::SendMessageW(hCombo, WM_KEYDOWN, index == 0 ? VK_UP : VK_DOWN, 0);
}

void Type(HWND hEdit, const std::wstring& text) {
  ::SendMessageW(hEdit, EM_SETSEL, 0, -1);
  ::SendMessageW(hEdit, WM_CLEAR, 0, 0);
  for (wchar_t c : text) ::SendMessageW(hEdit, WM_CHAR, c, 0);
}

void Press(HWND hDlg, int id) {
  ::SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(hDlg, id)));
}

// Rows shared by every row position past `from` are one spacer record.
void ExpectSpacers(HWND hList, int from, int count) {
  ASSERT_EQ(from + count, ::SendMessageW(hList, LB_GETCOUNT, 0, 0));
  for (int i = from; i < from + count; ++i) EXPECT_EQ(RowAt(hList, from), RowAt(hList, i)) << i;
  EXPECT_EQ(ROW_DISPLAY, RowAt(hList, from)->m_nKind);
}

TEST_F(PropertySheetTest, ServerAndTagSheetsShowTheConnectedServerReadOnly) {
  ASSERT_TRUE(server->Connect(PLOVER_SIM_PROGID, L""));
  server->SetGroupUpdateRate(500);
  server->SetGroupDeadband(2.5f);
  ASSERT_EQ(S_OK, server->AddGroup(1, L"One"));
  ASSERT_EQ(S_OK, server->AddGroup(2, L"Two"));
  COpcGroup* group = server->SelectGroup(1);
  ASSERT_TRUE(group);
  COpcItem* item = server->AddItem(L"Types.Short");
  ASSERT_TRUE(item);

  Rows shown;
  int whiteRows = 0;
  runner.drive = [&](CDialog& dlg, HWND hDlg) {
    CPropertyList& list = ListOf(dlg);
    shown = RowTexts(list.m_hWnd);
    if (shown.empty()) return;
    EXPECT_EQ(CPropertyList::kRowHeight, list.SendMessage(LB_GETITEMHEIGHT, 13));
    SaveShot(hDlg, dlg.m_nIDTemplate == IDD_SERVER_PROPERTY ? L"server_sheet" : L"tag_sheet");
    Capture shot = CaptureClient(list.m_hWnd);
    whiteRows += shot.Pixel(10, 1) == RGB(255, 255, 255) &&
                 shot.Pixel(list.GetSplitterPos() + 60, 1) == RGB(255, 255, 255);
    // Read-only: the "..." button shows and does nothing.
    ClickRow(list, 0);
    HWND hButton = ::GetDlgItem(list.m_hWnd, CPropertyList::kButtonId);
    ::SendMessageW(hButton, BM_CLICK, 0, 0);
    EXPECT_TRUE(::IsWindowVisible(hButton));
    EXPECT_EQ(shown, RowTexts(list.m_hWnd));
    ExpectSpacers(list.m_hWnd, dlg.m_nIDTemplate == IDD_SERVER_PROPERTY ? 8 : 10,
                  dlg.m_nIDTemplate == IDD_SERVER_PROPERTY ? 6 : 4);
    EXPECT_EQ(dlg.m_nIDTemplate == IDD_SERVER_PROPERTY ? L"服务器属性" : L"TAG属性",
              WindowText(hDlg));
  };

  Command(ID_OPC_SERVER_PROPERTIES);
  ASSERT_EQ(std::vector<UINT>{IDD_SERVER_PROPERTY}, runner.dialogs);
  EXPECT_EQ(Frame()->m_hWnd, runner.owners.back());
  ASSERT_EQ(14u, shown.size());
  const wchar_t* names[] = {L"Vendor",      L"State",      L"StartTime", L"LastTime",
                            L"CurrentTime", L"GroupCount", L"BandWidth"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(names[i], shown[i].first);
  EXPECT_FALSE(shown[0].second.empty());
  EXPECT_EQ(L"RUNING", shown[1].second);
  for (int i : {2, 4})  // M/d/yy H:mm:ss; the server has not updated anything yet
    EXPECT_EQ(2, std::count(shown[i].second.begin(), shown[i].second.end(), L'/')) << i;
  EXPECT_EQ(L"", shown[3].second);
  EXPECT_EQ(L"2", shown[5].second);
  EXPECT_NE(std::wstring::npos, shown[6].second.find_first_of(L"0123456789"));
  // The versions its registered categories name.
  EXPECT_EQ(L"DA版本", shown[7].first);
  EXPECT_EQ(0u, shown[7].second.find(L"1.0 2.0")) << testing::PrintToString(shown[7].second);

  // The tag sheet: the item's attributes, the group's rates and deadband, the item's flag.
  for (BOOL active : {TRUE, FALSE}) {
    ASSERT_EQ(S_OK, server->SetItemActive(item, active));
    ItemAttributeText info;
    server->GetItemAttributes(item, info);
    CTagPropertyDlg dlg(group, &info, Frame()->m_hWnd);
    dlg.DoModal();
    EXPECT_EQ(Frame()->m_hWnd, runner.owners.back());
    Rows expected = {{L"TagName", L"Types.Short"},
                     {L"AccessPath", info.m_strAccessPath},
                     {L"AccessRight", info.m_strAccessRights},
                     {L"RequestType", info.m_strRequestedType},
                     {L"NativeType", info.m_strCanonicalType},
                     {L"EUType", info.m_strEuType},
                     {L"Request UpdateRate(us)", L"500"},
                     {L"Real UpdateRate(us)", std::to_wstring(group->m_dwRevisedRate)},
                     {L"Deadband(%)", L"2.50"},
                     {L"Active", active ? L"ON" : L"OFF"}};
    expected.resize(14);
    EXPECT_EQ(expected, shown);
    EXPECT_FALSE(info.m_strAccessRights.empty() || info.m_strCanonicalType.empty());
  }

  // No record, no rows.
  ItemAttributeText info;
  for (auto* dlg : {new CTagPropertyDlg(nullptr, &info), new CTagPropertyDlg(group, nullptr)}) {
    dlg->DoModal();
    EXPECT_TRUE(shown.empty());
    delete dlg;
  }
  EXPECT_EQ(3, whiteRows) << "white backgrounds in every sheet with rows";
  EXPECT_TRUE(runner.boxes.empty());
}

TEST_F(PropertySheetTest, BrowseOptionsApplyToTheTreeOfTheNextConnect) {
  std::vector<Rows> opened;
  std::vector<std::function<void(CPropertyList&, HWND)>> steps;
  runner.drive = [&](CDialog& dlg, HWND hDlg) {
    CPropertyList& list = ListOf(dlg);
    opened.push_back(RowTexts(list.m_hWnd));
    ExpectSpacers(list.m_hWnd, 3, 3);
    if (opened.size() <= steps.size()) steps[opened.size() - 1](list, hDlg);
  };
  auto choose = [](CPropertyList& list, int row, int index) {
    ClickRow(list, row);
    Pick(::GetDlgItem(list.m_hWnd, CPropertyList::kChoiceId), index);
  };
  auto type = [](CPropertyList& list, const std::wstring& text) {
    ClickRow(list, 0);
    Type(::GetDlgItem(list.m_hWnd, CPropertyList::kTextId), text);
  };
  steps.push_back([&](CPropertyList& list, HWND hDlg) {
    EXPECT_EQ(L"浏览选项", WindowText(hDlg));
    ClickRow(list, 1);
    HWND hChoice = ::GetDlgItem(list.m_hWnd, CPropertyList::kChoiceId);
    EXPECT_EQ((std::vector<std::wstring>{L"FLOAT", L"DOUBLE", L"SHORT", L"INT", L"BOOL", L"STRING",
                                         L"UNKNOWN"}),
              ComboEntries(hChoice));
    EXPECT_EQ(0, ::SendMessageW(hChoice, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(L"UNKOWN", list.GetRowValue(1)) << "highlighted is not chosen";
    SaveShot(hDlg, L"browse_options_choice", 120, [&] {
      ::SendMessageW(hChoice, CB_SHOWDROPDOWN, TRUE, 0);
      COMBOBOXINFO info{};
      info.cbSize = sizeof(info);
      ::GetComboBoxInfo(hChoice, &info);
      ::UpdateWindow(info.hwndList);
    });
    ::SendMessageW(hChoice, CB_SHOWDROPDOWN, FALSE, 0);
    Pick(hChoice, 2);
    type(list, L"*Level*");
    SaveShot(hDlg, L"browse_options_text");
    choose(list, 2, 1);
    Press(hDlg, IDOK);
  });
  steps.push_back([&](CPropertyList& list, HWND hDlg) {  // Cancel stores nothing
    type(list, L"zzz");
    choose(list, 1, 6);
    choose(list, 2, 2);
    Press(hDlg, IDCANCEL);
  });
  steps.push_back([&](CPropertyList& list, HWND hDlg) {
    type(list, L"");
    choose(list, 2, 2);
    Press(hDlg, IDOK);
  });
  steps.push_back([&](CPropertyList& list, HWND hDlg) {
    type(list, L"Sh*");
    choose(list, 1, 2);
    choose(list, 2, 0);
    Press(hDlg, IDOK);
  });

  ASSERT_TRUE(server->Connect(PLOVER_SIM_PROGID, L""));
  std::vector<std::wstring> all = BuildLeaves();
  server->Disconnect();

  Command(ID_OPC_BROWSE_OPTIONS);
  EXPECT_EQ(Rows({{L"Filter", L"*"},
                  {L"Data Type", L"UNKOWN"},
                  {L"Read or Write", L"Read and Write"},
                  {L"", L""},
                  {L"", L""},
                  {L"", L""}}),
            opened[0]);
  EXPECT_EQ(L"*Level*", server->GetBrowseFilter());
  EXPECT_EQ(VT_I2, server->GetBrowseDataType());
  EXPECT_EQ(OPC_READABLE, server->GetBrowseAccessRights());
  Command(ID_OPC_BROWSE_OPTIONS);
  EXPECT_EQ(L"*Level*", server->GetBrowseFilter());
  EXPECT_EQ(VT_I2, server->GetBrowseDataType());
  EXPECT_EQ(OPC_READABLE, server->GetBrowseAccessRights());
  EXPECT_EQ(Rows({{L"Filter", L"*Level*"}, {L"Data Type", L"SHORT"}, {L"Read or Write", L"Read"}}),
            Rows(opened[1].begin(), opened[1].begin() + 3));

  ASSERT_TRUE(server->Connect(PLOVER_SIM_PROGID, L""));
  std::vector<std::wstring> filtered = BuildLeaves();
  EXPECT_GT(all.size(), 5000u);
  EXPECT_EQ(std::vector<std::wstring>{}, filtered) << "no short, readable leaf is named *Level*";
  server->Disconnect();
  EXPECT_EQ(L"*Level*", server->GetBrowseFilter()) << "a disconnect keeps the options";

  // An empty filter is stored as typed; "Write" alone stores write access.
  Command(ID_OPC_BROWSE_OPTIONS);
  EXPECT_EQ(L"", server->GetBrowseFilter());
  EXPECT_EQ(OPC_WRITEABLE, server->GetBrowseAccessRights());
  Command(ID_OPC_BROWSE_OPTIONS);
  ASSERT_TRUE(server->Connect(PLOVER_SIM_PROGID, L""));
  EXPECT_EQ(std::vector<std::wstring>{L"Types.Short"}, BuildLeaves());
  EXPECT_EQ(4u, runner.dialogs.size());
  EXPECT_TRUE(runner.boxes.empty());
}

}  // namespace
