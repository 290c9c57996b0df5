// Reconnecting after a killed server, in the real program against the executable large
// simulation server (a process per client): 10,000 live items in 10 groups.
//  - from the kill to every row showing bad quality (the status check's ticks are sent at
//    once here; the program's own tick comes every 2 s);
//  - from the attempt (the server available again) to every row live, the server's start
//    and the 100,000-item address space it builds included;
//  - over many cycles: resident memory, handle count, server processes left, rows.
// Prints figures; asserts nothing. PLOVER_BENCH_QUICK: 3 cycles instead of 100.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "BenchClock.h"
#include "BrowseView.h"
#include "ComPtr.h"
#include "MainFrm.h"
#include "BulkWorkspace.h"
#include "PloverApp.h"
#include "PloverView.h"
#include "SimProcess.h"
#include "WorkspaceRestore.h"

namespace {

// Rows whose value column says "Bad".
int BadRows(HWND list) {
  const int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  int bad = 0;
  for (int i = 0; i < n; ++i) {
    wchar_t text[64] = {};
    LVITEMW it{};
    it.iSubItem = 3;
    it.pszText = text;
    it.cchTextMax = 64;
    SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&it));
    if (lstrcmpW(text, L"Bad") == 0) ++bad;
  }
  return bad;
}

DWORD ServerPid(COpcServer& server) {
  TComPtr<IPloverSimProcess> process;
  DWORD pid = 0;
  if (SUCCEEDED(process.QueryFrom(server.m_pServer.Get()))) process->GetServerProcessId(&pid);
  return pid;
}

int ServerProcesses() {
  int count = 0;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W e{};
  e.dwSize = sizeof(e);
  for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e))
    if (lstrcmpiW(e.szExeFile, L"PloverSimLocal.exe") == 0) ++count;
  CloseHandle(snap);
  return count;
}

// Pumps until cond holds or limitMs passed; false on the limit.
template <class F>
bool PumpUntil(F cond, double limitMs) {
  const double start = NowMs();
  while (!cond()) {
    if (NowMs() - start > limitMs) return false;
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const bool quick = GetEnvironmentVariableW(L"PLOVER_BENCH_QUICK", nullptr, 0) > 0;
  const int cycles = quick ? 3 : 100;

  auto app = std::make_unique<CPloverApp>();
  if (!app->InitInstance()) return 1;
  auto* frame = dynamic_cast<CMainFrame*>(app->m_pMainWnd);
  Pump();
  CBrowseView* view = frame->GetBrowseView();
  HWND list = frame->GetItemView()->m_hWnd;
  frame->SetAutoReconnect(true);
  RestoreReport report;
  RestoreWorkspace(*frame, BulkWorkspace(PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID, 10, 1000), report);
  if (!view->m_server.IsConnected() || report.restoredItems != 10000) {
    std::printf("reconnect_bench: no 10,000 items on %ls\n", PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID);
    return 1;
  }
  if (!PumpUntil([&] { return BadRows(list) == 0; }, 60000)) std::printf("  rows not all live\n");
  const int serversBefore = ServerProcesses() - 1;  // others' servers on this machine
  std::printf("reconnect_bench: 10,000 items in 10 groups on %ls, %d cycles\n",
              PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID, cycles);

  std::vector<double> toBad, toLive;
  SIZE_T firstRss = 0;
  DWORD firstHandles = 0;
  int wrongRows = 0, failed = 0;
  for (int c = 0; c < cycles; ++c) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, ServerPid(view->m_server));
    if (!process) return 1;
    TerminateProcess(process, 9);
    WaitForSingleObject(process, 30000);
    CloseHandle(process);
    double t0 = NowMs();
    const bool lost = PumpUntil(
        [&] {
          view->SendMessage(WM_TIMER, CBrowseView::kAliveTimer, 0);
          return frame->IsReconnecting() && BadRows(list) == 10000;
        },
        30000);
    toBad.push_back(NowMs() - t0);
    t0 = NowMs();
    frame->SendMessage(WM_TIMER, CMainFrame::kReconnectTimer, 0);
    const bool live =
        view->m_server.IsConnected() && PumpUntil([&] { return BadRows(list) == 0; }, 60000);
    toLive.push_back(NowMs() - t0);
    if (!lost || !live) ++failed;
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != 10000) ++wrongRows;
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    if (c == 0) {
      firstRss = pmc.WorkingSetSize;
      firstHandles = handles;
    }
    if (c == 0 || c == cycles - 1 || (c + 1) % 25 == 0)
      std::printf("  cycle %3d: bad after %.0f ms, live after %.0f ms, RSS %.1f MB, handles %lu\n",
                  c + 1, toBad.back(), toLive.back(), pmc.WorkingSetSize / 1048576.0,
                  static_cast<unsigned long>(handles));
  }
  std::printf("  kill to every row bad:          median %.0f ms, worst %.0f ms\n", Median(toBad),
              *std::max_element(toBad.begin(), toBad.end()));
  std::printf("  attempt to every row live:      median %.0f ms, worst %.0f ms\n", Median(toLive),
              *std::max_element(toLive.begin(), toLive.end()));
  std::printf("  first cycle: RSS %.1f MB, %lu handles\n", firstRss / 1048576.0,
              static_cast<unsigned long>(firstHandles));
  std::printf("  cycles failed %d, with a row count other than 10,000: %d\n", failed, wrongRows);
  frame->DisconnectServer();
  PumpUntil([&] { return ServerProcesses() - serversBefore <= 0; }, 30000);
  std::printf("  server processes left after the last disconnect: %d\n",
              ServerProcesses() - serversBefore);
  return 0;
}
