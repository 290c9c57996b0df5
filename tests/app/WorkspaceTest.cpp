// Workspaces through the real program and the registered simulation server: save, open in a
// fresh program, refused groups and items, damaged files, the command line and the recent
// files.
#include <windows.h>
#include <commctrl.h>

#include "AppFixture.h"
#include "BrowseView.h"
#include "PloverDoc.h"
#include "PloverView.h"

namespace {

const wchar_t kSim[] = L"Plover.SimServer.1";
const wchar_t kFlat[] = L"Plover.SimServer.Flat.1";
const wchar_t kLarge[] = L"Plover.SimServer.Large.1";

// The source tree as Wine sees it: a Unix path is on drive Z:.
std::wstring SourceDir() {
  std::string dir = PLOVER_SOURCE_DIR;
  std::wstring out = dir.size() > 1 && dir[1] == ':' ? L"" : L"Z:";
  for (char c : dir) out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}

class WorkspaceTest : public AppFixture {
 protected:
  COpcServer& Server() { return Frame()->GetBrowseView()->m_server; }
  HWND List() { return Frame()->GetItemView()->m_hWnd; }
  // Each row as "group id|group name|item ID|icon" in list order.
  std::vector<std::wstring> Rows() {
    std::vector<std::wstring> rows;
    const int n = static_cast<int>(::SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      std::wstring row;
      for (int col = 0; col < m_nColumns; ++col) {
        wchar_t text[256] = {};
        LVITEMW it{};
        it.iSubItem = col;
        it.pszText = text;
        it.cchTextMax = 256;
        ::SendMessageW(List(), LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&it));
        row += text;
        row += L"|";
      }
      LVITEMW it{};
      it.mask = LVIF_IMAGE;
      it.iItem = i;
      ::SendMessageW(List(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
      row += it.iImage == 0 ? L"green" : L"red";
      rows.push_back(row);
    }
    return rows;
  }
  // What a double-click in the tree does, without the tree.
  COpcItem* Add(OPCHANDLE group, const std::wstring& id, VARTYPE type = VT_EMPTY) {
    Server().SelectGroup(group);
    COpcItem* item = Server().AddItemOfType(id, L"", type);
    if (item) Frame()->OnItemAdded(group, item);
    return item;
  }
  void Open(const std::wstring& path) {
    m_runner.nextFile = path;
    Command(ID_FILE_OPEN);
  }
  std::wstring Title() { return Frame()->GetWindowText(); }
  int RowCount() { return static_cast<int>(::SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0)); }
  int m_nColumns = 3;  // group id, group name, item ID; 4 adds the value
};

// What the run command opens: every item of the demonstration workspace comes back without a
// complaint and shows a value.
TEST_F(WorkspaceTest, DemoWorkspaceOpensWithEveryItemShowingAValue) {
  const std::wstring demo = SourceDir() + L"\\examples\\demo.plover";
  ASSERT_TRUE(Start(L"\"" + demo + L"\""));
  EXPECT_TRUE(m_runner.boxes.empty());
  EXPECT_EQ(kSim, Frame()->GetBrowseView()->m_strProgId);
  EXPECT_EQ(L"demo.plover - Plover CLIENT 2.0", Title());
  ASSERT_EQ(13u, Rows().size());
  EXPECT_EQ(L"Fast", Server().GetGroup(1)->m_strName);
  EXPECT_EQ(500u, Server().GetGroup(1)->m_dwRequestedRate);
  EXPECT_EQ(L"Slow", Server().GetGroup(2)->m_strName);
  m_nColumns = 4;
  PumpUntil(
      [&] {
        for (const std::wstring& row : Rows())
          if (row.find(L"||") != std::wstring::npos) return false;
        return true;
      },
      "a value in every row");
}

// A workspace built by hand comes back in a fresh program exactly: server, browse options,
// groups in creation order with their settings, items in list order with their types and
// active flags; saving it again writes the same bytes.
TEST_F(WorkspaceTest, SaveAndOpenInAFreshProgramRestoreEverything) {
  ASSERT_TRUE(Start());
  Server().SetBrowseFilter(L"*a*");
  Server().SetBrowseDataType(VT_R8);
  Server().SetBrowseAccessRights(OPC_READABLE);
  Frame()->ConnectServer(kSim, L"");
  ASSERT_TRUE(Server().IsConnected());
  Server().SelectGroup(1);
  ASSERT_EQ(S_OK, Server().RenameGroup(L"快 Fast"));
  ASSERT_EQ(S_OK, Server().ChangeGroupUpdateRate(250));
  ASSERT_EQ(S_OK, Server().ChangeGroupDeadband(1.5f));
  // Created second with a smaller handle: creation order, not handle order, is kept.
  Server().SetGroupActive(FALSE);
  Server().SetGroupUpdateRate(3000);
  Server().SetGroupDeadband(0.0f);
  Server().SetGroupActive(FALSE);
  ASSERT_EQ(S_OK, Server().AddGroup(65536, L"Slow"));  // low 16 bits 0: first by handle
  Server().SetGroupActive(TRUE);
  ASSERT_NE(nullptr, Add(1, L"Signals.Ramp"));
  ASSERT_NE(nullptr, Add(65536, L"Types.Short", VT_I4));
  COpcItem* off = Add(1, L"Names.温度");
  ASSERT_NE(nullptr, off);
  ASSERT_NE(nullptr, Add(1, L"Names.压力 Pressure"));
  ASSERT_TRUE(SUCCEEDED(Frame()->SetItemActive(off, FALSE)));
  const std::vector<std::wstring> rowsBefore = Rows();
  ASSERT_EQ(4u, rowsBefore.size());

  const std::wstring dir = TempDir(), first = dir + L"\\first.plover",
                     second = dir + L"\\second.plover";
  m_runner.nextFile = first;
  Command(ID_FILE_SAVE_AS);
  const std::string saved = ReadFileBytes(first);
  EXPECT_EQ(0u, saved.find("plover-workspace 1\n"));
  EXPECT_NE(std::string::npos, saved.find("\nserver Plover.SimServer.1\n")) << saved;
  EXPECT_NE(std::string::npos,
            saved.find("\n  item Names.\xE6\xB8\xA9\xE5\xBA\xA6\n    item-active 0\n"))
      << "UTF-8, one item a line: " << saved;
  EXPECT_NE(std::string::npos, saved.find("\n  item Types.Short\n    item-type I4\n")) << saved;
  EXPECT_LT(saved.find("\ngroup \xE5\xBF\xAB Fast\n"), saved.find("\ngroup Slow\n")) << saved;
  EXPECT_FALSE(Frame()->GetActiveDocument()->IsModified());

  Stop();
  ASSERT_TRUE(Start());
  ASSERT_FALSE(Server().IsConnected());
  Open(first);
  EXPECT_TRUE(m_runner.boxes.empty())
      << (m_runner.boxes.empty() ? L"" : m_runner.boxes[0].text).size();
  ASSERT_TRUE(Server().IsConnected());
  EXPECT_EQ(kSim, Frame()->GetBrowseView()->m_strProgId);
  EXPECT_EQ(L"*a*", Server().GetBrowseFilter());
  EXPECT_EQ(VT_R8, Server().GetBrowseDataType());
  EXPECT_EQ(OPC_READABLE, Server().GetBrowseAccessRights());
  std::vector<int> handles;
  ASSERT_EQ(2, Server().GetGroupHandles(handles)) << "the default group made way";
  COpcGroup* fast = Server().GetGroup(1);
  COpcGroup* slow = Server().GetGroup(65536);
  ASSERT_TRUE(fast && slow);
  EXPECT_EQ(L"快 Fast", fast->m_strName);
  EXPECT_TRUE(fast->m_bActive);
  EXPECT_EQ(250u, fast->m_dwRequestedRate);
  EXPECT_FLOAT_EQ(1.5f, fast->m_fDeadband);
  EXPECT_EQ(L"Slow", slow->m_strName);
  EXPECT_EQ(65536u, slow->m_hClient);
  EXPECT_FALSE(slow->m_bActive);
  EXPECT_EQ(3000u, slow->m_dwRequestedRate);
  EXPECT_LT(fast->m_nCreated, slow->m_nCreated);
  EXPECT_EQ(VT_I4, slow->m_items.front()->m_vtRequested);
  EXPECT_EQ(VT_EMPTY, fast->m_items.front()->m_vtRequested);
  EXPECT_FALSE(Server().FindItem(1, L"Names.温度")->m_bActive);
  // Rows by group, each group's in its order, inactive ones red.
  EXPECT_EQ((std::vector<std::wstring>{L"1|快 Fast|Signals.Ramp|green", L"1|快 Fast|Names.温度|red",
                                       L"1|快 Fast|Names.压力 Pressure|green",
                                       L"65536|Slow|Types.Short|red"}),
            Rows());
  EXPECT_EQ(L"first.plover - Plover CLIENT 2.0", Title());
  EXPECT_EQ(first, (*m_app->GetRecentFileList())[0]);

  m_runner.nextFile = second;
  Command(ID_FILE_SAVE_AS);
  EXPECT_EQ(saved, ReadFileBytes(second)) << "a restored workspace saves to the same text";
  EXPECT_TRUE(m_runner.boxes.empty());

  // A save that cannot replace the file leaves it as it was, and no temporary file behind.
  WriteFileText(first, "the good old workspace");
  HANDLE lock = ::CreateFileW(first.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  m_runner.nextFile = first;
  Command(ID_FILE_SAVE_AS);
  ::CloseHandle(lock);
  ASSERT_EQ(1u, m_runner.boxes.size());
  EXPECT_EQ(L"无法保存文档 " + first + L"。", m_runner.boxes[0].text);
  EXPECT_EQ("the good old workspace", ReadFileBytes(first));
  EXPECT_EQ(L"second.plover - Plover CLIENT 2.0", Title()) << "the document keeps its name";
  WIN32_FIND_DATAW fd;
  HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
  int files = 0;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
  }
  EXPECT_EQ(2, files) << "first.plover and second.plover only";
}

// Opening while connected to another server lets it go first; what the server refuses is
// reported once at the end with counts and texts, and the rest comes back.
TEST_F(WorkspaceTest, OpenWhileConnectedReportsRefusedGroupsAndItemsOnceAndRestoresTheRest) {
  const std::wstring path = TempDir() + L"\\refused.plover";
  WriteFileText(path,
                "plover-workspace 1\n"
                "server Plover.SimServer.1\n"
                "group A\n"
                "  item Signals.Ramp\n"
                "  item No.Such.Item\n"
                "  item Signals.Sine\n"
                "  item Types.String\n"
                "    item-type 4095\n"
                "group A\n"  // the server refuses a second group of that name
                "  item Signals.Ramp\n"
                "  item Signals.Counter\n"
                "group B\n"
                "  item Signals.Counter\n");
  ASSERT_TRUE(Start());
  Frame()->ConnectServer(kFlat, L"");
  ASSERT_TRUE(Server().IsConnected());
  ASSERT_NE(nullptr, Add(1, L"Signals.Ramp"));
  ASSERT_EQ(1u, Rows().size());

  Open(path);
  EXPECT_EQ(kSim, Frame()->GetBrowseView()->m_strProgId);
  ASSERT_TRUE(Server().IsConnected());
  EXPECT_EQ((std::vector<std::wstring>{L"1|A|Signals.Ramp|green", L"1|A|Signals.Sine|green",
                                       L"3|B|Signals.Counter|green"}),
            Rows());
  ASSERT_EQ(1u, m_runner.boxes.size()) << "one report at the end";
  const std::wstring& text = m_runner.boxes[0].text;
  EXPECT_NE(std::wstring::npos, text.find(path)) << text.size();
  EXPECT_NE(std::wstring::npos, text.find(L"1 个组和 4 个项未能恢复"));
  EXPECT_NE(std::wstring::npos, text.find(L"\n项 'No.Such.Item': "));
  EXPECT_NE(std::wstring::npos, text.find(L"\n项 'Types.String': "));
  EXPECT_NE(std::wstring::npos, text.find(L"\n组 'A': "));
  EXPECT_NE(std::wstring::npos, text.find(L"(2 个项)"));
  EXPECT_EQ(std::wstring::npos, text.find(L"Signals.Ramp"));
}

// Damaged files are refused whole, naming file and line; nothing changes. An empty file
// (what earlier versions saved) opens with nothing restored.
TEST_F(WorkspaceTest, DamagedFilesChangeNothingAndAnEmptyFileRestoresNothing) {
  ASSERT_TRUE(Start());
  Frame()->ConnectServer(kFlat, L"");
  ASSERT_NE(nullptr, Add(1, L"Signals.Ramp"));
  const std::wstring dir = TempDir();
  std::string million = "plover-workspace 1\nserver Plover.SimServer.1\ngroup G\n";
  for (int i = 0; i <= 1000000; ++i) million += "item x" + std::to_string(i) + "\n";
  const struct {
    const char* name;
    std::string text;
    const wchar_t* says;
  } files[] = {
      {"text.plover", "just some notes\n", L"第 1 行: 不是Plover工作区文件"},
      {"newer.plover", "plover-workspace 3\nserver X\n", L"第 1 行: 由更新版本"},
      {"number.plover", "plover-workspace 1\nserver S\ngroup G\nupdate-rate fast\n",
       L"第 4 行: 'update-rate' 的值无效"},
      {"long.plover", "plover-workspace 1\nserver " + std::string(9000, 'x') + "\n",
       L"第 2 行: 行过长"},
      {"utf8.plover", "plover-workspace 1\nserver \xFF\xFE\n", L"第 2 行: 不是有效的UTF-8"},
      {"million.plover", million, L"第 1000004 行: 项过多"},
  };
  for (const auto& f : files) {
    const std::wstring path = dir + L"\\" + std::wstring(f.name, f.name + strlen(f.name));
    WriteFileText(path, f.text.c_str());
    m_runner.boxes.clear();
    Open(path);
    ASSERT_EQ(1u, m_runner.boxes.size()) << f.name;
    EXPECT_EQ(0u, m_runner.boxes[0].text.find(L"无法打开工作区 " + path + L"\n")) << f.name;
    EXPECT_NE(std::wstring::npos, m_runner.boxes[0].text.find(f.says)) << f.name;
    EXPECT_EQ(kFlat, Frame()->GetBrowseView()->m_strProgId) << f.name;
    EXPECT_TRUE(Server().IsConnected()) << f.name;
    EXPECT_EQ(1u, Rows().size()) << f.name;
    EXPECT_EQ(L"Larkspur - Plover CLIENT 2.0", Title()) << f.name;
  }

  const std::wstring empty = dir + L"\\empty.plover";
  WriteFileText(empty, "");
  m_runner.boxes.clear();
  Open(empty);
  EXPECT_TRUE(m_runner.boxes.empty());
  EXPECT_EQ(L"empty.plover - Plover CLIENT 2.0", Title());
  EXPECT_TRUE(Server().IsConnected());
  EXPECT_EQ(1u, Rows().size());
}

// A file on the command line restores it; "/server" replaces its server; the recent-file
// list brings it back in a later start.
TEST_F(WorkspaceTest, CommandLineAndRecentFilesRestoreAndTheServerSwitchWins) {
  const std::wstring path = TempDir() + L"\\line.plover";
  WriteFileText(path,
                "plover-workspace 1\n"
                "server Plover.SimServer.1\n"
                "group G\n"
                "  group-id 5\n"
                "  item Signals.Ramp\n");
  ASSERT_TRUE(Start(L"\"" + path + L"\""));
  EXPECT_EQ(kSim, Frame()->GetBrowseView()->m_strProgId);
  EXPECT_EQ((std::vector<std::wstring>{L"5|G|Signals.Ramp|green"}), Rows());
  EXPECT_EQ(L"line.plover - Plover CLIENT 2.0", Title());
  Stop();

  // The same groups and items on the server the switch names.
  ASSERT_TRUE(Start(L"/server " + std::wstring(kFlat) + L" \"" + path + L"\""));
  EXPECT_EQ(kFlat, Frame()->GetBrowseView()->m_strProgId);
  EXPECT_EQ((std::vector<std::wstring>{L"5|G|Signals.Ramp|green"}), Rows());
  EXPECT_TRUE(m_runner.boxes.empty());
  Stop();

  ASSERT_TRUE(Start());
  ASSERT_EQ(path, (*m_app->GetRecentFileList())[0]);
  Command(ID_FILE_MRU_FILE1);
  EXPECT_EQ(kSim, Frame()->GetBrowseView()->m_strProgId);
  EXPECT_EQ((std::vector<std::wstring>{L"5|G|Signals.Ramp|green"}), Rows());
}

// What the program holds it saves and opens again: all of Bulk and seven more, the workspace
// once saved without a word and then refused whole. What a file cannot hold is named before
// anything is written, and written only when the user says so.
TEST_F(WorkspaceTest, BulkAndSevenOpenAgainAndAnUnopenableSaveWaitsForTheUser) {
  ASSERT_TRUE(Start());
  Frame()->ConnectServer(kLarge, L"");
  ASSERT_TRUE(Server().IsConnected());
  for (const wchar_t* id : {L"Signals.Ramp", L"Signals.Sine", L"Signals.Counter", L"Types.Short",
                            L"Types.String", L"Names.温度", L"Access.ReadWrite"})
    ASSERT_NE(nullptr, Add(1, id)) << testing::PrintToString(std::wstring(id));
  const std::wstring dir = TempDir(), path = dir + L"\\bulk.plover", odd = dir + L"\\odd.plover";

  // A group name longer than a line may be: the box says why, No writes nothing, Yes writes.
  ASSERT_EQ(S_OK, Server().RenameGroup(std::wstring(5000, L'G')));
  m_runner.answers = {IDNO};
  m_runner.nextFile = odd;
  Command(ID_FILE_SAVE_AS);
  ASSERT_EQ(1u, m_runner.boxes.size());
  EXPECT_EQ(0u, m_runner.boxes[0].text.find(L"工作区 " + odd + L" 保存后将无法再打开:\n第 "));
  EXPECT_NE(std::wstring::npos, m_runner.boxes[0].text.find(L"行过长"));
  EXPECT_EQ(UINT(MB_YESNO), m_runner.boxes[0].type & 0xF);
  EXPECT_EQ(-1, FileSize(odd));
  EXPECT_EQ(L"Larkspur - Plover CLIENT 2.0", Title());
  m_runner.answers = {IDYES};
  Command(ID_FILE_SAVE_AS);
  EXPECT_GT(FileSize(odd), 5000);
  EXPECT_EQ(L"odd.plover - Plover CLIENT 2.0", Title());

  ASSERT_EQ(S_OK, Server().RenameGroup(L"Bulk"));
  std::vector<OpcItemRequest> requests(400 * 250);
  for (size_t i = 0; i < requests.size(); ++i) {
    wchar_t id[40];
    std::swprintf(id, 40, L"Bulk.Area%03u.Tag%03u", unsigned(i / 250 + 1), unsigned(i % 250 + 1));
    requests[i].strItemId = id;
  }
  std::vector<OpcItemOutcome> outcomes;
  Server().AddItems(1, requests, outcomes);
  for (const OpcItemOutcome& o : outcomes) {
    ASSERT_EQ(S_OK, o.hr);
    Frame()->OnItemAdded(1, o.pItem);
  }
  ASSERT_EQ(100007, RowCount());
  m_runner.boxes.clear();
  m_runner.nextFile = path;
  Command(ID_FILE_SAVE_AS);
  EXPECT_TRUE(m_runner.boxes.empty());

  Stop();
  ASSERT_TRUE(Start());
  Open(path);
  EXPECT_TRUE(m_runner.boxes.empty())
      << (m_runner.boxes.empty() ? L"" : m_runner.boxes[0].text).size();
  EXPECT_EQ(100007, RowCount());
  EXPECT_EQ(100007, Server().GetGroupItemCount(1));
  EXPECT_EQ(L"bulk.plover - Plover CLIENT 2.0", Title());
}

// Save As offers the workspace type first. The title names what the window shows: once the
// user disconnects, the opened file no longer does, and Save asks for a name instead of
// writing over it.
TEST_F(WorkspaceTest, SaveAsOffersTheWorkspaceTypeAndTheTitleLeavesAFileNoLongerShown) {
  ASSERT_TRUE(Start());
  Frame()->ConnectServer(kSim, L"");
  ASSERT_NE(nullptr, Add(1, L"Signals.Ramp"));
  const std::wstring path = TempDir() + L"\\shown.plover";
  m_runner.nextFile = path;
  Command(ID_FILE_SAVE_AS);
  EXPECT_EQ(L"Plover 工作区 (*.plover)|*.plover|所有文件 (*.*)|*.*|", m_runner.lastFilter);
  EXPECT_EQ(L"plover", m_runner.lastDefExt);
  EXPECT_EQ(L"shown.plover - Plover CLIENT 2.0", Title());
  const std::string saved = ReadFileBytes(path);
  ASSERT_FALSE(saved.empty());

  Command(ID_OPC_DISCONNECT);
  EXPECT_EQ(L"Larkspur - Plover CLIENT 2.0", Title());
  m_runner.nextFile.clear();  // the name asked for is not given
  const size_t asked = m_runner.fileDialogs.size();
  Command(ID_FILE_SAVE);
  EXPECT_EQ(asked + 1, m_runner.fileDialogs.size());
  EXPECT_EQ(saved, ReadFileBytes(path));

  // Opening it again names it again; the open dialog offers the type too, with no extension
  // forced on a name.
  Open(path);
  EXPECT_EQ(L"shown.plover - Plover CLIENT 2.0", Title());
  EXPECT_EQ(L"Plover 工作区 (*.plover)|*.plover|所有文件 (*.*)|*.*|", m_runner.lastFilter);
  EXPECT_EQ(L"", m_runner.lastDefExt);
  EXPECT_EQ(1u, Rows().size());
}

}  // namespace
