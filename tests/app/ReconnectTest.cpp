// A lost server that comes back: the rows stay and go bad, the program connects again by
// itself and brings back groups, items, boxes and selection in place. The server is reached
// through a ProgID of the test's own, so its activation can be made to fail (a class that
// does not exist) or to start a server lacking items, without touching other tests.
#include "AppFixture.h"

#include <commctrl.h>

#include "BrowseView.h"
#include "OpcAliveCheck.h"
#include "PloverView.h"
#include "ServerSelectDlg.h"
#include "SimControl.h"
#include "SimProcess.h"
#include "TempClassKey.h"

namespace {

std::wstring ClsidText(const CLSID& clsid) {
  wchar_t text[64] = {};
  ::StringFromGUID2(clsid, text, 64);
  return text;
}

class ReconnectTest : public AppFixture {
 protected:
  void TearDown() override {
    Forget();
    AppFixture::TearDown();
  }
  void Forget() {
    if (!m_hProcess) return;
    ::TerminateProcess(m_hProcess, 1);
    ::CloseHandle(m_hProcess);
    m_hProcess = nullptr;
  }
  COpcServer* Server() const { return Frame()->GetOpcServer(); }
  HWND List() const { return Frame()->GetItemView()->m_hWnd; }
  int Rows() const { return static_cast<int>(::SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0)); }
  std::wstring Cell(int row, int col) const {
    wchar_t text[256] = {};
    LVITEMW it{};
    it.iSubItem = col;
    it.pszText = text;
    it.cchTextMax = 256;
    ::SendMessageW(List(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&it));
    return text;
  }
  std::wstring Status() { return Frame()->GetStatusBar().GetPaneText(0); }
  int Selected() const {
    return static_cast<int>(
        ::SendMessageW(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }
  // Holds the connection's server process, to end it as a crash would.
  void HoldProcess() {
    TComPtr<IPloverSimProcess> process;
    DWORD pid = 0;
    if (SUCCEEDED(process.QueryFrom(Server()->m_pServer.Get()))) process->GetServerProcessId(&pid);
    ASSERT_NE(0u, pid);
    ASSERT_NE(m_pid, pid) << "a new process serves each connection";
    m_pid = pid;
    m_hProcess = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    ASSERT_NE(nullptr, m_hProcess);
  }
  void Kill() {
    ASSERT_TRUE(::TerminateProcess(m_hProcess, 9));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(m_hProcess, 30000));
    Forget();
  }
  // The status check's ticks until the loss is taken up (or, with the setting off, boxed).
  bool TickUntil(const std::function<bool()>& cond, const char* what) {
    return PumpUntil(
        [&] {
          Frame()->GetBrowseView()->SendMessage(WM_TIMER, CBrowseView::kAliveTimer, 0);
          return cond();
        },
        what);
  }
  // An attempt as the timer makes it, once the lost server's proxies are let go of (until
  // then an attempt waits).
  void Attempt() {
    ASSERT_TRUE(PumpUntil([] { return !ReleasesPending(5000); }, "the lost proxies let go"));
    Frame()->SendMessage(WM_TIMER, CMainFrame::kReconnectTimer, 0);
  }

  HANDLE m_hProcess = nullptr;
  DWORD m_pid = 0;
};

// Answers the server selection with OK and a server of the test's choice.
struct ConnectingRunner : RecordingRunner {
  INT_PTR RunDialog(CDialog& dlg, HWND owner) override {
    auto* select = dynamic_cast<CServerSelectDlg*>(&dlg);
    if (!select || server.empty()) return RecordingRunner::RunDialog(dlg, owner);
    dialogs.push_back(dlg.m_nIDTemplate);
    select->m_strServer = server;
    select->m_strNode.clear();
    return IDOK;
  }
  std::wstring server;
};

TEST_F(ReconnectTest, AKilledServerComesBackWithEveryRowInPlace) {
  // Pauses: 1 s, doubling, never more than 30 s.
  const struct {
    int failed;
    UINT ms;
  } pauses[] = {{0, 1000}, {1, 2000}, {2, 4000}, {4, 16000}, {5, 30000}, {40, 30000}};
  for (const auto& p : pauses) EXPECT_EQ(p.ms, CMainFrame::ReconnectPauseMs(p.failed)) << p.failed;

  TempClassKey progId(L"Plover.Test.Reconnect");
  ASSERT_TRUE(progId.Created());
  // The large server has a bulk area the standard one lacks.
  ASSERT_TRUE(progId.SetSubKeyDefault(L"CLSID", ClsidText(CLSID_PloverSimServerLocalLargePrivate)));
  ASSERT_TRUE(Start(L"/server " + progId.Name()));
  ASSERT_TRUE(Server()->IsConnected());
  ASSERT_TRUE(Frame()->GetAutoReconnect()) << "on by default";
  ASSERT_NO_FATAL_FAILURE(HoldProcess());

  // Group 1 (the connect's) and a slow, inactive group 7 with a deadband.
  Server()->SetGroupActive(FALSE);
  Server()->SetGroupUpdateRate(2500);
  Server()->SetGroupDeadband(5.0f);
  ASSERT_TRUE(SUCCEEDED(Server()->AddGroup(7, L"Slow")));
  const struct {
    OPCHANDLE group;
    const wchar_t* id;
    VARTYPE type;
    bool active;
  } items[] = {{1, L"Signals.Counter", VT_EMPTY, true},
               {1, L"Bulk.Area001.Tag001", VT_EMPTY, true},
               {7, L"Types.Short", VT_EMPTY, true},
               {1, L"Types.Long", VT_R8, false}};
  for (const auto& it : items) {
    ASSERT_NE(nullptr, Server()->SelectGroup(it.group));
    COpcItem* item = Server()->AddItemOfType(it.id, L"", it.type);
    ASSERT_NE(nullptr, item) << testing::PrintToString(std::wstring(it.id));
    if (!it.active) {
      ASSERT_EQ(S_OK, Server()->SetItemActive(item, FALSE));
    }
    Frame()->OnItemAdded(it.group, item);
  }
  ASSERT_EQ(4, Rows());
  ASSERT_TRUE(PumpUntil([this] { return Cell(0, 5) != L""; }, "the counter's first update"));
  LVITEMW sel{};
  sel.stateMask = sel.state = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(List(), LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&sel));
  ASSERT_EQ(2, Selected());

  // The next activations fail: the class the ProgID names does not exist.
  ASSERT_TRUE(progId.SetSubKeyDefault(L"CLSID", L"{0BADC1A5-0000-4000-8000-00000000DEAD}"));
  ASSERT_NO_FATAL_FAILURE(Kill());
  ASSERT_TRUE(TickUntil([this] { return Frame()->IsReconnecting(); }, "the loss"));
  EXPECT_FALSE(Server()->IsConnected());
  EXPECT_TRUE(m_runner.boxes.empty()) << "a process that died is told in the status bar";
  EXPECT_NE(std::wstring::npos, Status().find(L"can no longer be reached")) << Status();
  ASSERT_EQ(4, Rows());
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(items[i].id, Cell(i, 2));
    EXPECT_EQ(L"Bad", Cell(i, 3)) << i;
    EXPECT_NE(L"", Cell(i, 5)) << "the time of the loss, row " << i;
  }
  EXPECT_EQ(2, Selected());

  // Attempts while it stays away: each one counted in the status bar, no box.
  for (int n = 0; n < 2; ++n) ASSERT_NO_FATAL_FAILURE(Attempt());
  Pump();
  EXPECT_FALSE(Server()->IsConnected());
  EXPECT_TRUE(Frame()->IsReconnecting());
  const int tried = Frame()->ReconnectAttempts();
  EXPECT_GE(tried, 2);
  EXPECT_EQ(0u, Status().find(L"正在重新连接 " + progId.Name() + L" (第 " + std::to_wstring(tried) +
                              L" 次)…"))
      << Status();
  EXPECT_TRUE(m_runner.boxes.empty());

  // Back, as the standard server: everything but the bulk item returns in place.
  ASSERT_TRUE(progId.SetSubKeyDefault(L"CLSID", ClsidText(CLSID_PloverSimServerLocalPrivate)));
  ASSERT_NO_FATAL_FAILURE(Attempt());
  ASSERT_TRUE(Server()->IsConnected());
  EXPECT_FALSE(Frame()->IsReconnecting());
  ASSERT_NO_FATAL_FAILURE(HoldProcess());
  ASSERT_EQ(4, Rows());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(items[i].id, Cell(i, 2));
  EXPECT_EQ(2, Selected());
  EXPECT_NE(std::wstring::npos, Cell(1, 3).find(L"0xC0040007")) << Cell(1, 3);
  EXPECT_NE(std::wstring::npos, Status().find(L"3 个项已恢复, 1 个项未能恢复")) << Status();
  const COpcGroup* slow = Server()->GetGroup(7);
  ASSERT_NE(nullptr, slow);
  EXPECT_EQ(L"Slow", slow->m_strName);
  EXPECT_FALSE(slow->m_bActive);
  EXPECT_EQ(2500u, slow->m_dwRequestedRate);
  EXPECT_EQ(5.0f, slow->m_fDeadband);
  const COpcItem* typed = Server()->FindItem(1, L"Types.Long");
  ASSERT_NE(nullptr, typed);
  EXPECT_EQ(VT_R8, typed->m_vtRequested);
  EXPECT_FALSE(typed->m_bActive);
  EXPECT_EQ(nullptr, Server()->FindItem(1, L"Bulk.Area001.Tag001"));
  ASSERT_TRUE(PumpUntil([this] { return Cell(0, 3) != L"Bad"; }, "the counter live again"));
  ASSERT_TRUE(m_runner.boxes.empty()) << testing::PrintToString(m_runner.boxes[0].text);

  // Lost again and the user presses Esc: the attempts end as a disconnect would.
  ASSERT_TRUE(progId.SetSubKeyDefault(L"CLSID", L"{0BADC1A5-0000-4000-8000-00000000DEAD}"));
  ASSERT_NO_FATAL_FAILURE(Kill());
  ASSERT_TRUE(TickUntil([this] { return Frame()->IsReconnecting(); }, "the second loss"));
  EXPECT_EQ(4, Rows()) << "the row of the missing item is not asked for, but stays";
  ::PostMessageW(List(), WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(PumpUntil([this] { return !Frame()->IsReconnecting(); }, "Esc to stop"));
  EXPECT_EQ(0, Rows());
  EXPECT_FALSE(Server()->IsConnected());

  // The setting off (the menu command): a loss is the disconnect and box of before.
  ASSERT_TRUE(progId.SetSubKeyDefault(L"CLSID", ClsidText(CLSID_PloverSimServerLocalPrivate)));
  Command(ID_VIEW_AUTO_RECONNECT);
  EXPECT_FALSE(Frame()->GetAutoReconnect());
  Frame()->ConnectServer(progId.Name(), L"");
  ASSERT_TRUE(Server()->IsConnected());
  ASSERT_NO_FATAL_FAILURE(HoldProcess());
  ASSERT_NE(nullptr, Server()->SelectGroup(1));
  COpcItem* item = Server()->AddItem(L"Types.Long");
  ASSERT_NE(nullptr, item);
  Frame()->OnItemAdded(1, item);
  ASSERT_NO_FATAL_FAILURE(Kill());
  ASSERT_TRUE(TickUntil([this] { return !m_runner.boxes.empty(); }, "the box about the loss"));
  EXPECT_FALSE(Frame()->IsReconnecting());
  EXPECT_EQ(0, Rows());
  EXPECT_EQ(1u, m_runner.boxes.size());
}

TEST_F(ReconnectTest, AShutdownRequestIsOneBoxThenAttemptsAndEveryStopEndsThem) {
  ConnectingRunner runner;
  struct Restore {
    CModalRunner* previous;
    ~Restore() { SetModalRunner(previous); }
  } restore{SetModalRunner(&runner)};
  TempClassKey progId(L"Plover.Test.ReconnectStop");
  ASSERT_TRUE(progId.Created());
  const std::wstring good = ClsidText(CLSID_PloverSimServerLocalPrivate);
  const std::wstring missing = L"{0BADC1A5-0000-4000-8000-00000000DEAD}";
  ASSERT_TRUE(progId.SetSubKeyDefault(L"CLSID", good));
  ASSERT_TRUE(Start(L"/server " + progId.Name()));
  ASSERT_TRUE(Server()->IsConnected());
  auto addItem = [this] {
    ASSERT_NE(nullptr, Server()->SelectGroup(1));
    COpcItem* item = Server()->AddItem(L"Types.Long");
    ASSERT_NE(nullptr, item);
    Frame()->OnItemAdded(1, item);
    ASSERT_EQ(1, Rows());
  };
  auto shutdownRequest = [this](const wchar_t* reason) {
    TComPtr<IPloverSimControl> sim;
    ASSERT_EQ(S_OK, sim.QueryFrom(Server()->m_pServer.Get()));
    ASSERT_EQ(S_OK, sim->SendShutdown(reason));
  };
  ASSERT_NO_FATAL_FAILURE(addItem());

  // The server asks to go: its one box, through the runner, then the attempts bring the row
  // back live without another box.
  ASSERT_NO_FATAL_FAILURE(shutdownRequest(L"maintenance at 14:00"));
  ASSERT_TRUE(PumpUntil([this] { return Frame()->IsReconnecting(); }, "the shutdown taken up"));
  ASSERT_EQ(1u, runner.boxes.size());
  EXPECT_NE(std::wstring::npos, runner.boxes[0].text.find(L"has shut down"))
      << runner.boxes[0].text;
  EXPECT_NE(std::wstring::npos, runner.boxes[0].text.find(L"maintenance at 14:00"));
  EXPECT_FALSE(Server()->IsConnected());
  ASSERT_EQ(1, Rows());
  EXPECT_EQ(L"Bad", Cell(0, 3));
  ASSERT_NO_FATAL_FAILURE(Attempt());
  ASSERT_TRUE(Server()->IsConnected());
  EXPECT_FALSE(Frame()->IsReconnecting());
  ASSERT_EQ(1, Rows());
  EXPECT_EQ(L"Types.Long", Cell(0, 2));
  EXPECT_EQ(0u, Status().find(L"已重新连接 " + progId.Name())) << Status();
  ASSERT_TRUE(PumpUntil([this] { return Cell(0, 3) != L"Bad"; }, "the row live again"));
  EXPECT_EQ(1u, runner.boxes.size());

  // Each way the user ends the attempts leaves the program disconnected as the command does
  // (or connected where the user said), and a later timer tick tries nothing: by then the
  // server could be reached again.
  const std::wstring folder = TempDir();
  const std::wstring empty = folder + L"\\empty.plover";
  WriteFileText(empty, "plover-workspace 1\n");
  const struct {
    const char* how;
    std::function<void()> stop;
    const wchar_t* connectedTo;  // nullptr: disconnected
  } stops[] = {
      {"Disconnect", [this] { Command(ID_OPC_DISCONNECT); }, nullptr},
      {"Connect, OK",
       [&] {
         runner.server = L"Plover.SimServer.1";
         Command(ID_OPC_CONNECT);
         runner.server.clear();
       },
       L"Plover.SimServer.1"},
      {"File New", [this] { Command(ID_FILE_NEW); }, nullptr},
      {"File Open",
       [&] {
         runner.nextFile = empty;
         Command(ID_FILE_OPEN);
       },
       nullptr},
  };
  for (const auto& s : stops) {
    SCOPED_TRACE(s.how);
    if (!Server()->IsConnected() || Server()->m_strProgId != progId.Name()) {
      Frame()->ConnectServer(progId.Name(), L"");
      ASSERT_TRUE(Server()->IsConnected());
      ASSERT_NO_FATAL_FAILURE(addItem());
    }
    ASSERT_TRUE(progId.SetSubKeyDefault(L"CLSID", missing));
    ASSERT_NO_FATAL_FAILURE(shutdownRequest(nullptr));
    ASSERT_TRUE(PumpUntil([this] { return Frame()->IsReconnecting(); }, "the loss"));
    ASSERT_NO_FATAL_FAILURE(Attempt());
    ASSERT_EQ(1, Frame()->ReconnectAttempts());
    ASSERT_NE(std::wstring::npos, Status().find(L"正在重新连接")) << Status();

    s.stop();
    EXPECT_FALSE(Frame()->IsReconnecting());
    EXPECT_EQ(std::wstring::npos, Status().find(L"正在重新连接")) << Status();
    EXPECT_EQ(0, Rows());
    EXPECT_EQ(s.connectedTo != nullptr, !!Server()->IsConnected());
    ASSERT_TRUE(progId.SetSubKeyDefault(L"CLSID", good));
    ASSERT_NO_FATAL_FAILURE(Attempt());
    Pump();
    EXPECT_FALSE(Frame()->IsReconnecting());
    EXPECT_EQ(0, Rows());
    if (s.connectedTo) {
      EXPECT_TRUE(Server()->IsConnected());
      EXPECT_EQ(s.connectedTo, Server()->m_strProgId);
    } else {
      EXPECT_FALSE(Server()->IsConnected()) << "an attempt after the stop";
    }
  }
  EXPECT_EQ(5u, runner.boxes.size()) << "one box for each shutdown request, nothing more";
}

}  // namespace
