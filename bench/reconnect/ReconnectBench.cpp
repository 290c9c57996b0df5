// Reconnecting after a killed server, in the real program against the executable large
// simulation server (a process per client): 10,000 live items in 10 groups.
//  - from the kill to every row showing bad quality (the status check's ticks are sent at
//    once here; the program's own tick comes every 2 s);
//  - from the attempt (the server available again) to every row live, the server's start
//    and the 100,000-item address space it builds included;
//  - over many cycles: resident memory, private bytes, handle count, server processes left,
//    rows.
// Prints figures; asserts nothing. PLOVER_BENCH_QUICK: 3 cycles instead of 100;
// PLOVER_BENCH_CYCLES=n: n. PLOVER_BENCH_PLAIN=1: each cycle is a plain disconnect and
// connect (the workspace restored) instead of a kill, to tell what a lost server leaves
// from what any connection leaves.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BrowseView.h"
#include "ComPtr.h"
#include "BulkWorkspace.h"
#include "MainFrm.h"
#include "OpcAliveCheck.h"
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

// Committed private memory of this process (PrivateUsage is 0 under Wine): the heaps, the
// stacks, what is allocated outside the heaps.
SIZE_T PrivateBytes() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION mbi{};
  for (BYTE* p = nullptr; VirtualQuery(p, &mbi, sizeof(mbi)) == sizeof(mbi);) {
    if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) total += mbi.RegionSize;
    BYTE* next = static_cast<BYTE*>(mbi.BaseAddress) + mbi.RegionSize;
    if (next <= p) break;
    p = next;
  }
  return total;
}

// This process's handles by kind. GetProcessHandleCount says 0 under Wine; the system's
// handle list has them (each with its owner), and where it is missing every small handle
// value is probed instead (kinds unknown then).
std::map<std::wstring, int> HandlesByKind() {
  std::map<std::wstring, int> kinds;
  using QuerySystem = NTSTATUS(WINAPI*)(SYSTEM_INFORMATION_CLASS, void*, ULONG, ULONG*);
  using QueryObject = NTSTATUS(WINAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, void*, ULONG, ULONG*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto querySystem = reinterpret_cast<QuerySystem>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
  auto queryObject = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryObject")));
  std::vector<BYTE> buffer(1 << 20);
  ULONG needed = 0;
  NTSTATUS status = -1;
  while (querySystem) {
    status = querySystem(static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(),
                         static_cast<ULONG>(buffer.size()), &needed);
    if (status != static_cast<NTSTATUS>(0xC0000004L) || buffer.size() >= (64u << 20)) break;
    buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
  }
  if (status == 0) {
    const auto* info = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
    const DWORD self = GetCurrentProcessId();
    std::map<int, std::wstring> names;
    for (ULONG i = 0; i < info->Count; ++i) {
      const SYSTEM_HANDLE_ENTRY& e = info->Handle[i];
      if (e.OwnerPid != self) continue;
      std::wstring& name = names[e.ObjectType];
      if (name.empty()) {
        // OBJECT_TYPE_INFORMATION begins with the type's name.
        alignas(8) BYTE type[1024] = {};
        const HANDLE h = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(e.HandleValue));
        if (queryObject && queryObject(h, static_cast<OBJECT_INFORMATION_CLASS>(2), type,
                                       sizeof(type), nullptr) == 0) {
          const auto* text = reinterpret_cast<const UNICODE_STRING*>(type);
          name.assign(text->Buffer, text->Length / sizeof(wchar_t));
        }
        if (name.empty()) name = L"type " + std::to_wstring(e.ObjectType);
      }
      ++kinds[name];
    }
    return kinds;
  }
  for (ULONG_PTR value = 4; value < 0x20000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++kinds[L"handle"];
  }
  return kinds;
}

int Total(const std::map<std::wstring, int>& kinds) {
  int n = 0;
  for (const auto& [kind, count] : kinds) n += count;
  return n;
}

// "+2 Event, -1 Thread" between two counts by kind; empty when they agree.
std::wstring KindChanges(const std::map<std::wstring, int>& from,
                         const std::map<std::wstring, int>& to) {
  std::map<std::wstring, int> diff;
  for (const auto& [kind, count] : to) diff[kind] += count;
  for (const auto& [kind, count] : from) diff[kind] -= count;
  std::wstring text;
  for (const auto& [kind, d] : diff)
    if (d != 0)
      text += (text.empty() ? L"" : L", ") + std::wstring(d > 0 ? L"+" : L"") + std::to_wstring(d) +
              L" " + kind;
  return text;
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
  const bool plain = GetEnvironmentVariableW(L"PLOVER_BENCH_PLAIN", nullptr, 0) > 0;
  int cycles = quick ? 3 : 100;
  wchar_t number[16] = {};
  if (GetEnvironmentVariableW(L"PLOVER_BENCH_CYCLES", number, 16) > 0 && _wtoi(number) > 0)
    cycles = _wtoi(number);
  const auto workspace = BulkWorkspace(PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID, 10, 1000);

  auto app = std::make_unique<CPloverApp>();
  if (!app->InitInstance()) return 1;
  auto* frame = dynamic_cast<CMainFrame*>(app->m_pMainWnd);
  Pump();
  CBrowseView* view = frame->GetBrowseView();
  HWND list = frame->GetItemView()->m_hWnd;
  frame->SetAutoReconnect(true);
  RestoreReport report;
  RestoreWorkspace(*frame, workspace, report);
  if (!view->m_server.IsConnected() || report.restoredItems != 10000) {
    std::printf("reconnect_bench: no 10,000 items on %ls\n", PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID);
    return 1;
  }
  if (!PumpUntil([&] { return BadRows(list) == 0; }, 60000)) std::printf("  rows not all live\n");
  const int serversBefore = ServerProcesses() - 1;  // others' servers on this machine
  std::printf("reconnect_bench: 10,000 items in 10 groups on %ls, %d %s cycles\n",
              PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID, cycles,
              plain ? "disconnect-and-connect" : "kill-and-restart");

  std::vector<double> toBad, toLive;
  SIZE_T firstRss = 0, firstPrivate = 0;
  std::map<std::wstring, int> firstHandles;
  int wrongRows = 0, failed = 0;
  for (int c = 0; c < cycles; ++c) {
    double t0 = NowMs();
    bool lost = true, live = false;
    if (plain) {
      frame->DisconnectServer();
      toBad.push_back(NowMs() - t0);
      t0 = NowMs();
      RestoreWorkspace(*frame, workspace, report);
      live = view->m_server.IsConnected() && PumpUntil([&] { return BadRows(list) == 0; }, 60000);
    } else {
      HANDLE process =
          OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, ServerPid(view->m_server));
      if (!process) return 1;
      TerminateProcess(process, 9);
      WaitForSingleObject(process, 30000);
      CloseHandle(process);
      t0 = NowMs();
      lost = PumpUntil(
          [&] {
            view->SendMessage(WM_TIMER, CBrowseView::kAliveTimer, 0);
            return frame->IsReconnecting() && BadRows(list) == 10000;
          },
          30000);
      toBad.push_back(NowMs() - t0);
      t0 = NowMs();
      // As the timer would: the attempt waits for the lost proxies' release first.
      PumpUntil([] { return !ReleasesPending(5000); }, 10000);
      frame->SendMessage(WM_TIMER, CMainFrame::kReconnectTimer, 0);
      live = view->m_server.IsConnected() && PumpUntil([&] { return BadRows(list) == 0; }, 60000);
    }
    toLive.push_back(NowMs() - t0);
    if (!lost || !live) ++failed;
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != 10000) ++wrongRows;
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                         sizeof(pmc));
    if (pmc.PrivateUsage == 0) pmc.PrivateUsage = PrivateBytes();
    const std::map<std::wstring, int> handles = HandlesByKind();
    if (c == 0) {
      firstRss = pmc.WorkingSetSize;
      firstPrivate = pmc.PrivateUsage;
      firstHandles = handles;
    }
    if (c == 0 || c == cycles - 1 || (c + 1) % 25 == 0 || cycles <= 30)
      std::printf(
          "  cycle %3d: bad after %.0f ms, live after %.0f ms, RSS %.2f MB, private %.2f MB, "
          "handles %d %ls\n",
          c + 1, toBad.back(), toLive.back(), pmc.WorkingSetSize / 1048576.0,
          pmc.PrivateUsage / 1048576.0, Total(handles), KindChanges(firstHandles, handles).c_str());
    if (c == cycles - 1) {
      std::printf("  first cycle: RSS %.2f MB, private %.2f MB, %d handles\n", firstRss / 1048576.0,
                  firstPrivate / 1048576.0, Total(firstHandles));
      std::printf("  last cycle:  RSS %.2f MB, private %.2f MB, %d handles\n",
                  pmc.WorkingSetSize / 1048576.0, pmc.PrivateUsage / 1048576.0, Total(handles));
      if (cycles > 1)
        std::printf("  per cycle after the first: RSS %+.1f KB, private %+.1f KB\n",
                    (static_cast<double>(pmc.WorkingSetSize) - firstRss) / 1024.0 / (cycles - 1),
                    (static_cast<double>(pmc.PrivateUsage) - firstPrivate) / 1024.0 / (cycles - 1));
    }
  }
  std::printf("  %s median %.0f ms, worst %.0f ms\n",
              plain ? "disconnect:               " : "kill to every row bad:    ", Median(toBad),
              *std::max_element(toBad.begin(), toBad.end()));
  std::printf("  %s median %.0f ms, worst %.0f ms\n",
              plain ? "connect to every row live:" : "attempt to every row live:", Median(toLive),
              *std::max_element(toLive.begin(), toLive.end()));
  std::printf("  cycles failed %d, with a row count other than 10,000: %d\n", failed, wrongRows);
  frame->DisconnectServer();
  PumpUntil([&] { return ServerProcesses() - serversBefore <= 0; }, 30000);
  std::printf("  server processes left after the last disconnect: %d\n",
              ServerProcesses() - serversBefore);
  return 0;
}
