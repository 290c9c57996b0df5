// The group management dialog through the frame's command: its box, rows,
// buttons and messages, and what its changes do to the item list.
#include "GroupManageDlg.h"
#include "ItemViewFixture.h"
#include <commctrl.h>
#include "OpcGroup.h"

namespace {

using GroupManageTest = ItemViewFixture;

CPropertyRow* RowOf(HWND hDlg, int index) {
  return reinterpret_cast<CPropertyRow*>(
      ::SendDlgItemMessageW(hDlg, IDC_GROUP_PROPLIST, LB_GETITEMDATA, index, 0));
}

std::wstring Value(HWND hDlg, int index) {
  return RowOf(hDlg, index)->m_strValue;
}

void SetValue(HWND hDlg, int index, const std::wstring& value) {
  RowOf(hDlg, index)->m_strValue = value;
}

// Types into the ID box, as the user does: the box reports the edit.
void TypeId(HWND hDlg, const wchar_t* text) {
  HWND hBox = ::GetDlgItem(hDlg, IDC_GROUP_ID);
  ::SetWindowTextW(hBox, text);
  ::SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_GROUP_ID, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(hBox));
}

void ChooseId(HWND hDlg, const wchar_t* text) {
  HWND hBox = ::GetDlgItem(hDlg, IDC_GROUP_ID);
  LRESULT index = ::SendMessageW(hBox, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(text));
  ::SendMessageW(hBox, CB_SETCURSEL, index, 0);
  ::SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_GROUP_ID, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(hBox));
}

void Press(HWND hDlg, int id) {
  ::SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(hDlg, id)));
}

// Enabled state of create, modify and delete, as "cmd" letters ('-' when
// disabled).
std::string Buttons(HWND hDlg) {
  std::string s;
  s += ::IsWindowEnabled(::GetDlgItem(hDlg, IDC_GROUP_CREATE)) ? 'c' : '-';
  s += ::IsWindowEnabled(::GetDlgItem(hDlg, IDOK)) ? 'm' : '-';
  s += ::IsWindowEnabled(::GetDlgItem(hDlg, IDC_GROUP_DELETE)) ? 'd' : '-';
  return s;
}

std::vector<std::wstring> Entries(HWND hDlg) {
  std::vector<std::wstring> out;
  HWND hBox = ::GetDlgItem(hDlg, IDC_GROUP_ID);
  for (LRESULT i = 0; i < ::SendMessageW(hBox, CB_GETCOUNT, 0, 0); ++i) {
    wchar_t text[32] = {};
    ::SendMessageW(hBox, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    out.push_back(text);
  }
  return out;
}

TEST_F(GroupManageTest, CreateModifyDeleteActOnTheGroupShownAndTellTheList) {
  Connect();
  // No group at all: empty rows, only create.
  m_items.drive = [&](HWND hDlg) {
    EXPECT_EQ(L"组管理", CWnd::FromHandle(hDlg)->GetWindowText());
    EXPECT_EQ("c--", Buttons(hDlg));
    EXPECT_EQ(L"", Value(hDlg, 0));
    EXPECT_TRUE(Entries(hDlg).empty());
  };
  Command(ID_OPC_GROUP_MANAGEMENT);
  ASSERT_EQ(std::vector<UINT>{IDD_GROUP_MANAGE}, m_items.dialogs);

  AddGroup(2, L"Two");
  AddItem(2, L"Types.Short");
  AddGroup(10, L"Ten");
  AddItem(10, L"Signals.Ramp");
  AddItem(10, L"Types.Long");
  AddGroup(7, L"Seven");
  Server()->RemoveGroup(7, FALSE);  // the current group is gone: the lowest one is shown
  ASSERT_EQ(3, Rows());

  m_items.drive = [&](HWND hDlg) {
    // Sorted as text; rows of group 2 with their kinds and names as written.
    EXPECT_EQ((std::vector<std::wstring>{L"10", L"2"}), Entries(hDlg));
    EXPECT_EQ(L"2", CWnd::FromHandle(::GetDlgItem(hDlg, IDC_GROUP_ID))->GetWindowText());
    const struct {
      const wchar_t *name, *value;
      int kind;
    } rows[] = {{L"GroupName", L"Two", ROW_TEXT},
                {L"Active", L"ON", ROW_CHOICE},
                {L"Request UpdateRate(us)", L"1000", ROW_TEXT},
                {L"Real UpdateRate(us)", nullptr, ROW_DISPLAY},
                {L"Deadband(%s)", L"1.00", ROW_TEXT},
                {L"ItemCount", L"1", ROW_DISPLAY},
                {L"", L"", ROW_DISPLAY}};
    for (int i = 0; i < 10; ++i) {
      const auto& want = rows[i < 6 ? i : 6];
      EXPECT_EQ(want.name, RowOf(hDlg, i)->m_strName) << i;
      EXPECT_EQ(want.kind, RowOf(hDlg, i)->m_nKind) << i;
      if (want.value) {
        EXPECT_EQ(want.value, Value(hDlg, i)) << i;
      }
    }
    EXPECT_EQ(L"ON|OFF|", RowOf(hDlg, 1)->m_strChoices);
    EXPECT_EQ(std::to_wstring(Server()->GetGroup(2)->m_dwRevisedRate), Value(hDlg, 3));
    EXPECT_EQ("-md", Buttons(hDlg));

    // A new number: name cleared, "ON", count 0; rates and deadband kept.
    SetValue(hDlg, 1, L"OFF");
    TypeId(hDlg, L"5");
    EXPECT_EQ("c--", Buttons(hDlg));
    EXPECT_EQ(L"", Value(hDlg, 0));
    EXPECT_EQ(L"ON", Value(hDlg, 1));
    EXPECT_EQ(L"1000", Value(hDlg, 2));
    EXPECT_EQ(L"1.00", Value(hDlg, 4));
    EXPECT_EQ(L"0", Value(hDlg, 5));

    // The three refusals; each attempt disables create until the text changes.
    Press(hDlg, IDC_GROUP_CREATE);
    EXPECT_EQ("---", Buttons(hDlg));
    SetValue(hDlg, 0, L"Ten");
    Press(hDlg, IDC_GROUP_CREATE);
    TypeId(hDlg, L"65538");  // low 16 bits: group 2
    EXPECT_EQ(L"Two", Value(hDlg, 0));
    EXPECT_EQ("-md", Buttons(hDlg));
    Press(hDlg, IDC_GROUP_CREATE);

    // A create the server refuses: no entry, no box.
    m_control->FailMethod(L"IOPCServer::AddGroup", E_FAIL, FALSE);
    TypeId(hDlg, L"6");
    SetValue(hDlg, 0, L"Six");
    Press(hDlg, IDC_GROUP_CREATE);
    EXPECT_EQ((std::vector<std::wstring>{L"10", L"2"}), Entries(hDlg));
    EXPECT_EQ(nullptr, Server()->GetGroup(6));

    // A real create: its settings, its entry; modify stays off until it is
    // chosen.
    TypeId(hDlg, L"5");
    SetValue(hDlg, 0, L"Five");
    SetValue(hDlg, 1, L"OFF");
    SetValue(hDlg, 2, L"500");
    SetValue(hDlg, 4, L"2.5");
    Press(hDlg, IDC_GROUP_CREATE);
    EXPECT_EQ((std::vector<std::wstring>{L"10", L"2", L"5"}), Entries(hDlg));
    EXPECT_EQ("---", Buttons(hDlg));
    COpcGroup* five = Server()->GetGroup(5);
    ASSERT_NE(nullptr, five);
    EXPECT_EQ(L"Five", five->m_strName);
    EXPECT_FALSE(five->m_bActive);
    EXPECT_EQ(500u, five->m_dwRequestedRate);
    EXPECT_FLOAT_EQ(2.5f, five->m_fDeadband);

    // Modify acts on the group chosen, not on the current one, and the dialog
    // stays.
    ChooseId(hDlg, L"10");
    EXPECT_EQ(L"Ten", Value(hDlg, 0));
    EXPECT_EQ(L"2", Value(hDlg, 5));
    SetValue(hDlg, 0, L"Zehn");
    SetValue(hDlg, 1, L"OFF");
    SetValue(hDlg, 2, L"500");  // the requested rate is sent, not the granted one below it
    SetValue(hDlg, 4, L"3.5");
    Press(hDlg, IDOK);
    EXPECT_TRUE(::IsWindow(hDlg));
    ChooseId(hDlg, L"2");
    ChooseId(hDlg, L"10");
    EXPECT_EQ(L"500", Value(hDlg, 2));
    EXPECT_EQ(L"3.50", Value(hDlg, 4));

    // Delete: the list loses the rows, the box the entry; the rows keep the
    // values.
    ChooseId(hDlg, L"2");
    Press(hDlg, IDC_GROUP_DELETE);
    EXPECT_EQ((std::vector<std::wstring>{L"10", L"5"}), Entries(hDlg));
    EXPECT_EQ(L"Two", Value(hDlg, 0));
    EXPECT_EQ("-md", Buttons(hDlg));
    ChooseId(hDlg, L"5");
    Press(hDlg, IDC_GROUP_DELETE);
    EXPECT_EQ("-m-", Buttons(hDlg));
  };
  Command(ID_OPC_GROUP_MANAGEMENT);

  std::vector<std::wstring> texts;
  for (const RecordedMessageBox& box : m_items.boxes) {
    texts.push_back(box.text);
    EXPECT_EQ(m_app->m_strAppName, box.caption);
  }
  EXPECT_EQ((std::vector<std::wstring>{L"组名不能为空!", L"该组名已存在!", L"该组已存在!"}), texts);
  EXPECT_EQ(nullptr, Server()->GetGroup(5));  // created, then deleted again
  COpcGroup* ten = Server()->GetGroup(10);
  ASSERT_NE(nullptr, ten);
  EXPECT_EQ(L"Zehn", ten->m_strName);
  EXPECT_FALSE(ten->m_bActive);
  EXPECT_EQ(500u, ten->m_dwRequestedRate);
  EXPECT_FLOAT_EQ(3.5f, ten->m_fDeadband);
  EXPECT_EQ(nullptr, Server()->GetGroup(2));
  ASSERT_EQ(2, Rows());
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(L"10", Text(i, 0));
    EXPECT_EQ(L"Zehn", Text(i, 1));
    EXPECT_EQ(1, Image(i));
  }

  // The dialog opens on the current group, not the lowest.
  AddGroup(3, L"Three");
  Server()->SelectGroup(10);
  m_items.drive = [&](HWND hDlg) {
    EXPECT_EQ(L"10", CWnd::FromHandle(::GetDlgItem(hDlg, IDC_GROUP_ID))->GetWindowText());
    EXPECT_EQ(L"Zehn", Value(hDlg, 0));
    EXPECT_EQ(L"OFF", Value(hDlg, 1));
    EXPECT_EQ("-md", Buttons(hDlg));
  };
  Command(ID_OPC_GROUP_MANAGEMENT);
  EXPECT_EQ(3u, m_items.dialogs.size());
}

}  // namespace
