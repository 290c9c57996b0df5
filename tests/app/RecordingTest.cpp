// Recording from the window to a CSV file, against a server in a process of its own: the
// file is the lines of `watch --csv`, kept through a group change and items added, written
// out on the flush timer, closed by a disconnect and by the program's end.
#include "AppFixture.h"

#include <commctrl.h>

#include <map>
#include <set>
#include <sstream>

#include "BrowseView.h"
#include "PloverView.h"
#include "RecordText.h"
#include "SimProcess.h"

namespace {

// The file's records: the header's fields, then each line's fields (RFC 4180, no line
// breaks inside a field here).
std::vector<std::vector<std::wstring>> ParseCsv(const std::wstring& path, std::string* bytes) {
  // As another program reads a recording while it grows: beside its writer.
  bytes->clear();
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, h) << ::GetLastError();
  char chunk[65536];
  for (DWORD n = 0;
       h != INVALID_HANDLE_VALUE && ::ReadFile(h, chunk, sizeof(chunk), &n, nullptr) && n;)
    bytes->append(chunk, n);
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  std::wstring text;
  EXPECT_TRUE(FromUtf8(*bytes, text)) << "UTF-8";
  std::vector<std::vector<std::wstring>> rows;
  std::wistringstream lines(text);
  for (std::wstring line; std::getline(lines, line);) {
    std::vector<std::wstring> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
      const wchar_t c = line[i];
      if (quoted && c == L'"' && i + 1 < line.size() && line[i + 1] == L'"') {
        fields.back() += L'"';
        ++i;
      } else if (c == L'"') {
        quoted = !quoted;
      } else if (c == L',' && !quoted) {
        fields.emplace_back();
      } else {
        fields.back() += c;
      }
    }
    rows.push_back(fields);
  }
  return rows;
}

bool OpenForWriting(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

class RecordingTest : public AppFixture {
 protected:
  COpcServer* Server() const { return Frame()->GetOpcServer(); }
  HWND List() const { return Frame()->GetItemView()->m_hWnd; }
  std::wstring Status() { return Frame()->GetStatusBar().GetPaneText(0); }
  unsigned long long Count() const {
    return Frame()->GetRecorder() ? Frame()->GetRecorder()->Count() : 0;
  }
  void Add(OPCHANDLE group, const wchar_t* id) {
    ASSERT_NE(nullptr, Server()->SelectGroup(group));
    COpcItem* item = Server()->AddItem(id);
    ASSERT_NE(nullptr, item) << testing::PrintToString(std::wstring(id));
    Frame()->OnItemAdded(group, item);
  }
  // The File menu's two entries: enabled or not.
  void ExpectMenu(bool start, bool stop) {
    HMENU file = OpenPopup(0);
    EXPECT_EQ(start, !(::GetMenuState(file, ID_FILE_RECORD_START, MF_BYCOMMAND) & MF_GRAYED));
    EXPECT_EQ(stop, !(::GetMenuState(file, ID_FILE_RECORD_STOP, MF_BYCOMMAND) & MF_GRAYED));
  }
};

TEST_F(RecordingTest, EveryChangeThroughAGroupChangeUntilDisconnectThenTheSelectionUntilExit) {
  ASSERT_TRUE(Start(L"/server " PLOVER_SIM_LOCAL_PRIVATE_PROGID));
  ASSERT_TRUE(Server()->IsConnected());
  Frame()->SetAutoReconnect(false);
  const size_t listeners = Frame()->GetBrowseView()->m_itemObservers.Count();
  ASSERT_NO_FATAL_FAILURE(Add(1, L"Signals.Counter"));
  ASSERT_NO_FATAL_FAILURE(Add(1, L"Names.温度"));
  ExpectMenu(true, false);

  // A folder that does not exist: said in a box, nothing runs.
  const std::wstring dir = TempDir();
  m_runner.nextFile = dir + L"\\missing\\r.csv";
  Command(ID_FILE_RECORD_START);
  ASSERT_EQ(1u, m_runner.boxes.size());
  EXPECT_EQ(0u, m_runner.boxes[0].text.find(L"无法创建记录文件 " + m_runner.nextFile))
      << testing::PrintToString(m_runner.boxes[0].text);
  EXPECT_EQ(nullptr, Frame()->GetRecorder());

  // Every item (no row selected, so no question), into a save dialog's file.
  const std::wstring path = dir + L"\\all.csv";
  m_runner.nextFile = path;
  Command(ID_FILE_RECORD_START);
  ASSERT_NE(nullptr, Frame()->GetRecorder());
  EXPECT_EQ(1u, m_runner.boxes.size());
  EXPECT_FALSE(m_runner.fileDialogs.back()) << "a save dialog";
  EXPECT_EQ(L"csv", m_runner.lastDefExt);
  EXPECT_EQ(listeners + 1, Frame()->GetBrowseView()->m_itemObservers.Count());
  ExpectMenu(false, true);
  ASSERT_TRUE(PumpUntil([&] { return Count() >= 4; }, "records"));
  EXPECT_FALSE(OpenForWriting(path)) << "the recording holds its file";

  // A group change and an item of a new group while it runs.
  Server()->SetGroupUpdateRate(200);
  ASSERT_TRUE(SUCCEEDED(Server()->AddGroup(7, L"Later")));
  ASSERT_NO_FATAL_FAILURE(Add(7, L"Types.Short"));
  const unsigned long long before = Count();
  ASSERT_TRUE(PumpUntil([&] { return Count() >= before + 4; }, "records after the change"));

  // The flush timer puts every record so far into the file; the status bar counts them.
  Frame()->SendMessage(WM_TIMER, CMainFrame::kRecordTimer, 0);
  std::string bytes;
  const unsigned long long flushed = Count();
  EXPECT_EQ(flushed + 1, ParseCsv(path, &bytes).size());
  EXPECT_EQ(L"正在记录到 " + path + L": " + std::to_wstring(flushed) + L" 条记录", Status());

  // The disconnect ends it: listener gone, file closed and whole, the count in the status bar.
  Command(ID_OPC_DISCONNECT);
  EXPECT_EQ(nullptr, Frame()->GetRecorder());
  EXPECT_EQ(listeners, Frame()->GetBrowseView()->m_itemObservers.Count());
  EXPECT_TRUE(OpenForWriting(path));
  const auto rows = ParseCsv(path, &bytes);
  EXPECT_EQ(L"记录已停止: " + path + L", " + std::to_wstring(rows.size() - 1) + L" 条记录",
            Status());
  EXPECT_EQ(std::string::npos, bytes.find('\r')) << "lines end with LF alone";
  EXPECT_NE(0u, bytes.compare(0, 3, "\xEF\xBB\xBF")) << "no byte-order mark, as the CLI's";
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(
      (std::vector<std::wstring>{L"item", L"value", L"type", L"quality", L"qualityCode", L"time"}),
      rows[0]);
  const std::map<std::wstring, std::wstring> types = {
      {L"Signals.Counter", L"INT"}, {L"Names.温度", L"FLOAT"}, {L"Types.Short", L"SHORT"}};
  std::map<std::wstring, int> seen;
  for (size_t i = 1; i < rows.size(); ++i) {
    const auto& r = rows[i];
    ASSERT_EQ(6u, r.size()) << i;
    ASSERT_EQ(1u, types.count(r[0])) << testing::PrintToString(r[0]);
    ++seen[r[0]];
    EXPECT_EQ(types.at(r[0]), r[2]) << i;
    EXPECT_FALSE(r[1].empty()) << i;
    EXPECT_EQ(L"good", r[3]) << i;
    EXPECT_EQ(L"192", r[4]) << i;
    EXPECT_EQ(24u, r[5].size()) << testing::PrintToString(r[5]);
    EXPECT_EQ(L'Z', r[5].back()) << i;
  }
  EXPECT_EQ(3u, seen.size()) << "the item added while it ran is recorded too";
  EXPECT_GE(seen[L"Signals.Counter"], 3);

  // Again connected: only the selected row's item, then the program ends with it running.
  Frame()->ConnectServer(PLOVER_SIM_LOCAL_PRIVATE_PROGID, L"");
  ASSERT_TRUE(Server()->IsConnected());
  ASSERT_NO_FATAL_FAILURE(Add(1, L"Signals.Counter"));
  ASSERT_NO_FATAL_FAILURE(Add(1, L"Signals.Ramp"));
  LVITEMW sel{};
  sel.stateMask = sel.state = LVIS_SELECTED;
  ::SendMessageW(List(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&sel));
  const std::wstring picked = dir + L"\\selected.csv";
  m_runner.nextFile = picked;
  m_runner.answers = {IDYES};
  Command(ID_FILE_RECORD_START);
  ASSERT_NE(nullptr, Frame()->GetRecorder());
  ASSERT_EQ(2u, m_runner.boxes.size());
  EXPECT_EQ(0u, m_runner.boxes[1].text.find(L"只记录选中的 1 个项吗?"));
  ASSERT_TRUE(PumpUntil([&] { return Count() >= 3; }, "records of the selection"));
  Stop();
  EXPECT_TRUE(OpenForWriting(picked)) << "closed at the end";
  const auto only = ParseCsv(picked, &bytes);
  EXPECT_GE(only.size(), 4u);
  for (size_t i = 1; i < only.size(); ++i) EXPECT_EQ(L"Signals.Ramp", only[i][0]) << i;
}

}  // namespace
