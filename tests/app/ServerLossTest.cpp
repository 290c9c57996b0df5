// A server in a process of its own that dies or stops answering while the program is
// connected and subscribed: noticed without a user's action, one box naming the server,
// the connection let go cleanly, and connecting again works.
#include "AppFixture.h"

#include <commctrl.h>

#include "BrowseView.h"
#include "PloverView.h"
#include "SimControl.h"
#include "SimProcess.h"

namespace {

class ServerLossTest : public AppFixture {
 protected:
  void TearDown() override {
    if (m_hProcess) {
      ::TerminateProcess(m_hProcess, 1);
      ::CloseHandle(m_hProcess);
    }
    COpcAliveCheck::SetLimit(COpcAliveCheck::kDefaultLimitMs);
    AppFixture::TearDown();
  }

  COpcServer* Server() const { return Frame()->GetOpcServer(); }
  CBrowseView* Tree() const { return Frame()->GetBrowseView(); }
  int Rows() const {
    return static_cast<int>(Frame()->GetItemView()->SendMessage(LVM_GETITEMCOUNT));
  }

  // Connected through the command line, as `run.sh /server` does, with two subscribed
  // items in the list; remembers the server's process. The program does not connect again
  // by itself here: the loss is seen as the disconnect it was before.
  void ConnectAndSubscribe() {
    ASSERT_TRUE(Start(L"/server " PLOVER_SIM_LOCAL_PRIVATE_PROGID));
    ASSERT_TRUE(Server()->IsConnected());
    Frame()->SetAutoReconnect(false);
    const DWORD pid = ServerPid();
    ASSERT_NE(0u, pid);
    ASSERT_NE(::GetCurrentProcessId(), pid) << "the server runs in a process of its own";
    m_hProcess = ::OpenProcess(
        PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_SUSPEND_RESUME | PROCESS_QUERY_INFORMATION, FALSE,
        pid);
    ASSERT_NE(nullptr, m_hProcess);
    m_pid = pid;
    // The program made "Group1" at the connect.
    ASSERT_NE(nullptr, Server()->SelectGroup(1));
    COpcItem* counter = nullptr;
    for (const wchar_t* id : {L"Signals.Counter", L"Types.Long"}) {
      COpcItem* item = Server()->AddItem(id);
      ASSERT_NE(nullptr, item);
      Frame()->OnItemAdded(1, item);
      if (!counter) counter = item;
    }
    ASSERT_EQ(2, Rows());
    // Subscribed: the first update has come from the other process.
    ASSERT_TRUE(PumpUntil([counter] { return counter->m_ftTimeStamp.dwHighDateTime != 0; },
                          "the first data change"));
  }

  // The process serving the connection; 0 when it cannot be asked.
  DWORD ServerPid() const {
    TComPtr<IPloverSimProcess> process;
    DWORD pid = 0;
    if (SUCCEEDED(process.QueryFrom(Server()->m_pServer.Get()))) process->GetServerProcessId(&pid);
    return pid;
  }
  // The one box the loss brings, naming the server and what became of it.
  void ExpectOneLossBox(const std::wstring& what) const {
    ASSERT_EQ(1u, m_runner.boxes.size());
    EXPECT_EQ(0u, m_runner.boxes[0].text.find(
                      L"OPC Server '" PLOVER_SIM_LOCAL_PRIVATE_PROGID L"' " + what + L"\n"))
        << testing::PrintToString(m_runner.boxes[0].text);
  }

  void SendAliveTimer() { Tree()->SendMessage(WM_TIMER, CBrowseView::kAliveTimer, 0); }
  // Ticks of the status check until the box comes: one starts a check, a later one reads
  // its answer.
  bool TickUntilBox() {
    return PumpUntil(
        [this] {
          SendAliveTimer();
          return !m_runner.boxes.empty();
        },
        "the box about the loss");
  }

  HANDLE m_hProcess = nullptr;
  DWORD m_pid = 0;
};

TEST_F(ServerLossTest, AKilledServerIsNoticedOnceAndConnectingAgainWorks) {
  ConnectAndSubscribe();
  ASSERT_TRUE(::TerminateProcess(m_hProcess, 9));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(m_hProcess, 30000));
  // No user action: the status check the tree's timer runs finds the server gone.
  ASSERT_TRUE(TickUntilBox());
  EXPECT_FALSE(Server()->IsConnected());
  EXPECT_EQ(0, Rows());
  ExpectOneLossBox(L"can no longer be reached.");
  // Later ticks ask nothing of a server that is gone, and show nothing more.
  SendAliveTimer();
  SendAliveTimer();
  Pump(100);
  EXPECT_EQ(1u, m_runner.boxes.size());

  // A new process serves the next connection.
  ::CloseHandle(m_hProcess);
  m_hProcess = nullptr;
  Frame()->ConnectServer(PLOVER_SIM_LOCAL_PRIVATE_PROGID, L"");
  ASSERT_TRUE(Server()->IsConnected());
  ASSERT_NE(nullptr, Server()->SelectGroup(1));
  EXPECT_NE(nullptr, Server()->AddItem(L"Types.Long"));
  const DWORD pid = ServerPid();
  ASSERT_NE(0u, pid);
  EXPECT_NE(m_pid, pid);
  m_hProcess = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(nullptr, m_hProcess);
  SendAliveTimer();
  Pump(50);
  SendAliveTimer();
  EXPECT_TRUE(Server()->IsConnected());
  EXPECT_EQ(1u, m_runner.boxes.size());
  Frame()->DisconnectServer();
  EXPECT_FALSE(Server()->IsConnected());
  EXPECT_EQ(1u, m_runner.boxes.size());
  // Let go of, the server's process ends by itself.
  EXPECT_TRUE(PumpUntil([this] { return ::WaitForSingleObject(m_hProcess, 0) == WAIT_OBJECT_0; },
                        "the end of the server's process"));
}

using ProcessFn = LONG(WINAPI*)(HANDLE);

// Lets a held server process go on after a minute, unless told first that all went well.
struct Watchdog {
  HANDLE process, done;
  ProcessFn resume;
  volatile LONG fired;
};
DWORD WINAPI RunWatchdog(void* param) {
  auto* dog = static_cast<Watchdog*>(param);
  if (::WaitForSingleObject(dog->done, 60000) == WAIT_TIMEOUT) {
    ::InterlockedExchange(&dog->fired, 1);
    dog->resume(dog->process);
  }
  return 0;
}

// A server that stops answering: its whole process held still, as a hang looks from outside.
TEST_F(ServerLossTest, AServerThatStopsAnsweringIsLetGoWithoutHoldingTheProgram) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  auto suspend = reinterpret_cast<ProcessFn>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtSuspendProcess")));
  auto resume = reinterpret_cast<ProcessFn>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtResumeProcess")));
  ASSERT_TRUE(suspend && resume);
  ConnectAndSubscribe();
  COpcAliveCheck::SetLimit(1500);
  ASSERT_EQ(0, suspend(m_hProcess));
  // Should the program wait for the server anywhere, the server answers again after a
  // minute: the test then fails below instead of hanging.
  Watchdog dog = {m_hProcess, ::CreateEventW(nullptr, TRUE, FALSE, nullptr), resume, 0};
  HANDLE thread = ::CreateThread(nullptr, 0, RunWatchdog, &dog, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  const bool box = TickUntilBox();
  ::SetEvent(dog.done);
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
  ::CloseHandle(dog.done);
  EXPECT_EQ(0, dog.fired) << "the program waited for the server that does not answer";
  ASSERT_TRUE(box);
  EXPECT_FALSE(Server()->IsConnected());
  EXPECT_EQ(0, Rows());
  ExpectOneLossBox(L"stopped answering.");

  // Once it answers again it is nothing to the program: the next connection has a process
  // of its own, and ends it when let go.
  if (!dog.fired) resume(m_hProcess);
  Frame()->ConnectServer(PLOVER_SIM_LOCAL_PRIVATE_PROGID, L"");
  ASSERT_TRUE(Server()->IsConnected());
  const DWORD pid = ServerPid();
  ASSERT_NE(0u, pid);
  EXPECT_NE(m_pid, pid);
  HANDLE next = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(nullptr, next);
  Frame()->DisconnectServer();
  EXPECT_TRUE(PumpUntil([next] { return ::WaitForSingleObject(next, 0) == WAIT_OBJECT_0; },
                        "the end of the next server's process"));
  ::TerminateProcess(next, 1);
  ::CloseHandle(next);
  EXPECT_EQ(1u, m_runner.boxes.size());
}

}  // namespace
