// Runs against "Plover.SimServer.Large.1" (in this process) and
// "Plover.SimServer.Local.Large.Private.1" (its own process, every call through the
// proxy/stub; the private variant, as its clock is driven here):
//   connecting to the executable server: started anew for each client (the private
//   variant), and to the shared one already running,
//   the program's connect, and browsing the 100,000-item address space into a tree,
//   the program's batched add of 10,000 items,
//   10 groups of 10,000 items all changing, through DA 2.0 callbacks and DA 1.0 streams
//   into the program's own item records: values per second and CPU time per value in
//   each process,
//   the bare transport: bytes there and back, and the CPU each process spends on them.
// The server's clock is driven (deterministic mode), so the figures are of transport and
// decoding, not of waiting for timers. Figures only; nothing is asserted.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "FakeUiPorts.h"
#include "OpcItemObserver.h"
#include "OpcUiPorts.h"
#include "OpcServer.h"
#include "OpcBrowser.h"
#include "OpcStream.h"
#include "SimControl.h"
#include "SimProcess.h"
#include "opcda.h"

namespace {

template <class F>
double TimedMs(F&& work) {
  const double t0 = NowMs();
  work();
  return NowMs() - t0;
}

// A Unix process's user plus system CPU milliseconds, from /proc through Wine's Z: drive.
// GetProcessTimes gives another process's times wrongly under Wine (the caller's own), and
// the wineserver, which carries every cross-process call, is no Windows process at all.
double UnixCpuMs(const std::string& pid) {
  std::string path = "Z:\\proc\\" + pid + "\\stat";
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  char buf[1024] = {};
  size_t n = std::fread(buf, 1, sizeof(buf) - 1, f);
  std::fclose(f);
  buf[n] = 0;
  const char* p = std::strrchr(buf, ')');  // the name may hold blanks
  if (!p) return 0;
  // Fields 14 and 15 (utime, stime) follow the state, field 3.
  unsigned long long field[16] = {};
  char state = 0;
  if (std::sscanf(p + 1, " %c %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu", &state,
                  &field[4], &field[5], &field[6], &field[7], &field[8], &field[9], &field[10],
                  &field[11], &field[12], &field[13], &field[14], &field[15]) != 13)
    return 0;
  return static_cast<double>(field[14] + field[15]) * 10.0;  // 100 ticks a second
}

std::string ReadSmall(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::string();
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0 && text.size() < 65536) text.append(buf, n);
  std::fclose(f);
  return text;
}

// The Unix process of this Wine prefix whose command line holds `name` (the newest one).
std::string FindUnixProcess(const char* name) {
  char prefix[1024] = {};
  GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix));
  const std::string mine = std::string("WINEPREFIX=") + prefix;
  std::string best;
  unsigned long bestPid = 0;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA("Z:\\proc\\*", &fd);
  if (h == INVALID_HANDLE_VALUE) return best;
  do {
    char* end = nullptr;
    unsigned long pid = std::strtoul(fd.cFileName, &end, 10);
    if (!pid || *end) continue;
    const std::string dir = std::string("Z:\\proc\\") + fd.cFileName;
    std::string cmd = ReadSmall(dir + "\\cmdline");
    if (cmd.find(name) == std::string::npos) continue;
    std::string env = ReadSmall(dir + "\\environ");
    if (prefix[0] && env.find(mine + '\0') == std::string::npos) continue;
    if (pid > bestPid) bestPid = pid, best = fd.cFileName;
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return best;
}

// Counts the values the client core stores into its item records.
class StoreCounter : public IOpcItemObserver {
 public:
  void OnItemStored(OPCHANDLE, const COpcItem&) override { ++values; }
  void OnWriteResult(OPCHANDLE, HRESULT) override {}
  size_t values = 0;
};

int NoBox(OpcBoxOwner, const std::wstring&, const std::wstring&, UINT) {
  return IDOK;
}

// Which stages run: every one, or those named on the command line.
bool g_only = false;
bool g_stage[6] = {};  // calls, browse, add, da2, da1, connect
bool Stage(int i) {
  return !g_only || g_stage[i];
}

// The CPUs a Unix process may run on, as /proc lists them ("0-1"): the figures depend on
// whether the session shares one CPU (tools/wineenv.sh, plover_pin_session).
std::string CpusOf(const std::string& pid) {
  const std::string status =
      pid.empty() ? std::string() : ReadSmall("Z:\\proc\\" + pid + "\\status");
  const size_t at = status.find("Cpus_allowed_list:");
  if (at == std::string::npos) return "?";
  size_t begin = status.find_first_not_of(" \t", at + 18);
  const size_t end = status.find('\n', at);
  return begin == std::string::npos ? "?" : status.substr(begin, end - begin);
}

// CPU milliseconds of the client, the server and the wineserver, read together.
struct Cpu {
  double client = 0, server = 0, wineserver = 0;
};

class Processes {
 public:
  Processes(bool own)
      : m_own(own),
        m_client(FindUnixProcess("boundary_bench.exe")),
        m_server(own ? FindUnixProcess("PloverSimLocal.exe") : std::string()),
        m_wineserver(own ? FindUnixProcess("wineserver") : std::string()) {}
  Cpu Read() const {
    return {UnixCpuMs(m_client), m_own ? UnixCpuMs(m_server) : 0,
            m_own ? UnixCpuMs(m_wineserver) : 0};
  }
  // CPU microseconds per unit (a value, a megabyte) in each process since `before`.
  void Print(const Cpu& before, double units, const char* unit) const {
    const Cpu now = Read();
    if (units <= 0) units = 1;
    if (m_own)
      std::printf("    CPU per %s: client %.2f us, server %.2f us, wineserver %.2f us\n", unit,
                  (now.client - before.client) * 1000.0 / units,
                  (now.server - before.server) * 1000.0 / units,
                  (now.wineserver - before.wineserver) * 1000.0 / units);
    else
      std::printf("    CPU per %s: %.2f us (one process)\n", unit,
                  (now.client - before.client) * 1000.0 / units);
  }
  void Describe() const {
    if (m_own)
      std::printf("  server process %s, wineserver %s; CPUs: client %s, server %s, wineserver %s\n",
                  m_server.empty() ? "not found" : m_server.c_str(),
                  m_wineserver.empty() ? "not found" : m_wineserver.c_str(),
                  CpusOf(m_client).c_str(), CpusOf(m_server).c_str(), CpusOf(m_wineserver).c_str());
    else
      std::printf("  CPUs: %s\n", CpusOf(m_client).c_str());
  }

 private:
  bool m_own;
  // Not "self": the wineserver opens files for its clients, so that would be its own.
  std::string m_client, m_server, m_wineserver;
};

// 10 groups of 10,000 items, added by the program's batched add; returns the first add's
// milliseconds.
double AddGroups(COpcServer& opc, const std::vector<std::wstring>& ids) {
  double firstMs = 0;
  for (int g = 0; g < 10; ++g) {
    const OPCHANDLE handle = static_cast<OPCHANDLE>(g + 1);
    if (const HRESULT hr = opc.AddGroup(handle, L"G" + std::to_wstring(g + 1)); FAILED(hr)) {
      std::printf("  AddGroup failed 0x%08lx\n", static_cast<unsigned long>(hr));
      break;
    }
    std::vector<OpcItemRequest> requests(10000);
    for (int i = 0; i < 10000; ++i) requests[i].strItemId = ids[g * 10000 + i];
    std::vector<OpcItemOutcome> outcomes;
    size_t added = 0;
    const double ms = TimedMs([&] { added = opc.AddItems(handle, requests, outcomes); });
    if (g == 0) firstMs = ms;
    if (added != requests.size())
      std::printf("  group %d: only %zu of %zu items added\n", g + 1, added, requests.size());
  }
  return firstMs;
}

// Connects and disconnects as the program does, a few times; each connect's milliseconds.
// The private variant starts a process every time; the shared one only when none runs.
void Connects(const wchar_t* progId, const char* label) {
  HWND wnd =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  std::printf("  connect, %s (%ls):", label, progId);
  for (int i = 0; i < 4; ++i) {
    COpcServer opc;
    opc.Initialize(wnd);
    BOOL connected = FALSE;
    const double ms = TimedMs([&] { connected = opc.Connect(progId, L""); });
    std::printf(connected ? " %.1f" : " failed", ms);
    opc.Disconnect();
    Pump();
  }
  std::printf(" ms\n");
  DestroyWindow(wnd);
}

void Run(const wchar_t* progId, const char* label) {
  std::string load = ReadSmall("Z:\\proc\\loadavg");
  if (!load.empty() && load.back() == '\n') load.pop_back();
  std::printf("%s (%ls), load average %s\n", label, progId, load.c_str());
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(progId, &clsid))) {
    std::printf("  not registered\n");
    return;
  }
  HWND wnd =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  COpcServer opc;
  opc.Initialize(wnd);
  // As the program connects: create, the shutdown advise, the status check's thread.
  BOOL connected = FALSE;
  const double connectMs = TimedMs([&] { connected = opc.Connect(progId, L""); });
  TComPtr<IPloverSimControl> control;
  TComPtr<IPloverSimProcess> proc;
  IOPCServer* server = opc.m_pServer.Get();
  if (!connected || FAILED(control.QueryFrom(server)) || FAILED(proc.QueryFrom(server))) {
    std::printf(connected ? "  no test hooks (is PloverPS.dll registered?)\n"
                          : "  connect failed\n");
    opc.Disconnect();
    DestroyWindow(wnd);
    return;
  }
  std::printf("  connect: %.1f ms\n", connectMs);
  DWORD pid = 0;
  proc->GetServerProcessId(&pid);
  const bool own = pid != GetCurrentProcessId();
  const Processes processes(own);
  processes.Describe();
  control->SetDeterministic(TRUE);

  if (Stage(0)) {
    // What one call costs: a call that does nothing but answer.
    TComPtr<IOPCBrowseServerAddressSpace> browse;
    browse.QueryFrom(server);
    OPCNAMESPACETYPE type;
    std::printf("  one call and its answer: %.1f us\n", TimedMs([&] {
                  for (int i = 0; i < 1000; ++i) browse->QueryOrganization(&type);
                }));
  }

  if (Stage(1)) {
    // As the program builds it: the root's children, then the branches a user opens.
    COpcBrowser browser;
    FakeTree tree;
    browser.Attach(server);
    browser.SetBrowseRootName(progId);
    const double topMs = TimedMs([&] { browser.BuildBrowseTop(&tree); });
    std::printf("  browse to a usable tree: %.1f ms, %zu nodes; with the connect %.1f ms\n", topMs,
                tree.m_nodes.size(), connectMs + topMs);
    auto open = [&](std::initializer_list<std::wstring> path, const char* label) {
      FakeTree::Node* node = tree.Find(path);
      std::printf("  opening %s: %.1f ms\n", label, TimedMs([&] { browser.ListBranch(node); }));
      return node;
    };
    open({progId, L"Bulk"}, "Bulk (400 branches)");
    FakeTree::Node* area = open({progId, L"Bulk", L"Area007"}, "Bulk.Area007 (250 leaves)");
    size_t ids = 0;
    const double idsMs = TimedMs([&] {
      for (FakeTree::Node* leaf : area ? area->children : std::vector<FakeTree::Node*>())
        ids += !browser.GetBrowseItemId(leaf->data).empty();
    });
    std::printf("  item IDs of its %zu leaves: %.1f ms\n", ids, idsMs);
    open({progId, L"Many"}, "Many (5,000 leaves)");
    browser.Attach(nullptr);
  }
  if (Stage(1) && !own) {
    // Every node with its item ID, as the whole build makes it (too slow across processes).
    COpcBrowser browser;
    FakeTree tree;
    browser.Attach(server);
    browser.SetBrowseRootName(progId);
    const double ms = TimedMs([&] { browser.BuildBrowseTree(&tree); });
    std::printf("  whole tree: %.1f ms, %zu nodes\n", ms, tree.m_nodes.size());
    browser.Attach(nullptr);
  }

  std::vector<std::wstring> ids;
  for (int area = 1; area <= 400; ++area)
    for (int tag = 1; tag <= 250; ++tag) {
      wchar_t id[48];
      swprintf(id, 48, L"Bulk.Area%03d.Tag%03d", area, tag);
      ids.push_back(id);
    }
  StoreCounter counter;
  opc.m_groupManager.SetItemObserver(&counter);
  opc.SetGroupUpdateRate(1000);
  opc.SetGroupDeadband(0.0f);

  // 10 groups of 10,000 items; without a data object the program takes the DA 2.0 callback.
  auto subscribe = [&](bool da2) {
    // One by one: removing all groups at once also lets go of the server, as at a disconnect.
    for (OPCHANDLE g = 1; g <= 10; ++g) opc.RemoveGroup(g, TRUE);
    control->SetNoDataObject(da2);
    const double addMs = AddGroups(opc, ids);
    Pump();
    return addMs;
  };
  // Ten updates of every group, up to 1,000,000 values, in the given stream form (0: this
  // build's value layout; 4: the 32-bit layout of 16-byte value slots).
  auto measure = [&](const char* what, DWORD streamForm) {
    control->SetStreamForm(streamForm, FALSE);
    control->Flush();
    Pump();
    counter.values = 0;
    const Cpu cpu0 = processes.Read();
    const double ms = TimedMs([&] {
      control->AdvanceTime(10000);
      control->Flush();
    });
    std::printf("  %s: %zu values into the item records in %.1f ms = %.0f values/s\n", what,
                counter.values, ms, counter.values / (ms / 1000.0));
    processes.Print(cpu0, static_cast<double>(counter.values), "value");
    Pump();
  };
  if (Stage(2) || Stage(3)) {
    const double addMs = subscribe(true);
    if (Stage(2))
      std::printf("  AddItems of 10,000 items, the program's batched add: %.1f ms\n", addMs);
    if (Stage(3)) measure("DA 2.0 callbacks", 0);
  }
  if (Stage(4)) {
    subscribe(false);
    measure("DA 1.0 streams", 0);
    measure("DA 1.0 streams, 16-byte value slots", 4);
  }
  if (Stage(4) && own) {
    // The bare transport: a block to the server and the same block back to the sink, which
    // reads only its header. No stream of items can cross faster than these bytes.
    const COpcGroup* group = opc.GetGroup(1);
    std::vector<BYTE> block(1 << 20);
    const Cpu cpu0 = processes.Read();
    const double ms = TimedMs([&] {
      for (int i = 0; group && i < 20; ++i)
        control->PushStream(group->m_hServer, 0, block.data(), static_cast<DWORD>(block.size()));
      control->Flush();
    });
    std::printf("  transport: 20 MB there and back in %.1f ms = %.1f MB/s each way\n", ms,
                20.0 / (ms / 1000.0));
    processes.Print(cpu0, 40.0, "MB carried");
    Pump();
  }
  opc.m_groupManager.SetItemObserver(nullptr);
  proc.Release();
  control.Release();
  opc.Disconnect();
  Pump();
  DestroyWindow(wnd);
}

}  // namespace

int main(int argc, char** argv) {
  // Stages by name (calls, browse, add, da2, da1) and "local" for the own-process server only.
  static const char* const kStages[] = {"calls", "browse", "add", "da2", "da1", "connect"};
  bool localOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "local")) localOnly = true;
    for (int s = 0; s < 6; ++s)
      if (!std::strcmp(argv[i], kStages[s])) g_only = g_stage[s] = true;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // The program's connect sets the process's security; a box would wait for a person.
  SetOpcMessageBox(NoBox);
  if (Stage(5)) {
    std::printf("executable server\n");
    // The first connect to the shared server starts it, unless one still runs.
    Connects(PLOVER_SIM_LOCAL_PROGID, "shared: then running");
    Connects(PLOVER_SIM_LOCAL_PRIVATE_PROGID, "private: a process each");
  }
  if (g_only && !std::any_of(g_stage, g_stage + 5, [](bool b) { return b; })) {
    CoUninitialize();
    return 0;
  }
  if (!localOnly) Run(PLOVER_SIM_LARGE_PROGID, "in this process");
  Run(PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID, "own process");
  CoUninitialize();
  return 0;
}
