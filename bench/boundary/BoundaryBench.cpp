// Runs against "Plover.SimServer.Large.1" (in this process) and
// "Plover.SimServer.Local.Large.1" (its own process, every call through the proxy/stub):
//   connect and browse the 100,000-item address space into an in-memory tree,
//   AddItems of 10,000 items in one call,
//   10 groups of 10,000 items all changing, through DA 2.0 callbacks and DA 1.0 streams:
//   values per second and CPU time per value in each process.
// The server's clock is driven (deterministic mode), so the figures are of transport and
// decoding, not of waiting for timers. Figures only; nothing is asserted.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FakeUiPorts.h"
#include "OpcBrowser.h"
#include "OpcStream.h"
#include "SimControl.h"
#include "SimProcess.h"
#include "opcda.h"

namespace {

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
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

// Counts values and keeps the last one per item, as the item records would.
class CountingSink : public IOPCDataCallback, public IAdviseSink {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IOPCDataCallback)
      *ppv = static_cast<IOPCDataCallback*>(this);
    else if (riid == IID_IAdviseSink)
      *ppv = static_cast<IAdviseSink*>(this);
    else
      return *ppv = nullptr, E_NOINTERFACE;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count,
                                         OPCHANDLE* h, VARIANT* v, WORD* q, FILETIME* t,
                                         HRESULT*) override {
    for (DWORD i = 0; i < count; ++i) Keep(h[i], v[i], q[i], t[i]);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                           VARIANT*, WORD*, FILETIME*, HRESULT*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*,
                                            HRESULT*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
  // DA 1.0: the block is walked with the program's own stream reader.
  void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM* medium) override {
    if (!medium || medium->tymed != TYMED_HGLOBAL) return;
    const auto* p = static_cast<const uint8_t*>(GlobalLock(medium->hGlobal));
    if (!p) return;
    const SIZE_T size = GlobalSize(medium->hGlobal);
    bytes += size;
    if (size >= sizeof(OPCGROUPHEADER)) {
      const auto* g = reinterpret_cast<const OPCGROUPHEADER*>(p);
      const auto* items = reinterpret_cast<const OPCITEMHEADER1*>(p + sizeof(OPCGROUPHEADER));
      for (DWORD i = 0;
           i < g->dwItemCount && sizeof(OPCGROUPHEADER) + (i + 1) * sizeof(OPCITEMHEADER1) <= size;
           ++i) {
        VARIANT v;
        VariantInit(&v);
        if (items[i].dwValueOffset + 16 <= size) {
          v.vt = *reinterpret_cast<const VARTYPE*>(p + items[i].dwValueOffset);
          std::memcpy(&v.llVal, p + items[i].dwValueOffset + 8, 8);
          if (v.vt == VT_BSTR || (v.vt & VT_ARRAY)) v.vt = VT_EMPTY;
        }
        Keep(items[i].hClient, v, items[i].wQuality, items[i].ftTimeStampItem);
      }
    }
    GlobalUnlock(medium->hGlobal);
  }
  void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {}
  void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
  void STDMETHODCALLTYPE OnSave() override {}
  void STDMETHODCALLTYPE OnClose() override {}

  void Keep(OPCHANDLE h, const VARIANT& v, WORD q, FILETIME t) {
    ++values;
    if (h < last.size()) {
      VariantCopy(&last[h].value, const_cast<VARIANT*>(&v));
      last[h].quality = q;
      last[h].time = t;
    }
  }
  struct Record {
    VARIANT value{};
    WORD quality = 0;
    FILETIME time{};
  };
  std::vector<Record> last = std::vector<Record>(100001);
  size_t values = 0;
  size_t bytes = 0;  // of the DA 1.0 blocks
};

template <class I>
I* Get(IUnknown* from) {
  I* p = nullptr;
  from->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&p));
  return p;
}

// Which stages run: every one, or those named on the command line.
bool g_only = false;
bool g_stage[5] = {};  // calls, browse, add, da2, da1
bool Stage(int i) {
  return !g_only || g_stage[i];
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
  double t0 = Now();
  IOPCServer* server = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IOPCServer,
                                reinterpret_cast<void**>(&server));
  double t1 = Now();
  if (FAILED(hr)) {
    std::printf("  create failed 0x%08lx\n", static_cast<unsigned long>(hr));
    return;
  }
  std::printf("  create: %.1f ms\n", t1 - t0);
  IPloverSimControl* control = Get<IPloverSimControl>(server);
  IPloverSimProcess* proc = Get<IPloverSimProcess>(server);
  DWORD pid = 0;
  proc->GetServerProcessId(&pid);
  const bool own = pid != GetCurrentProcessId();
  const std::string serverUnix = own ? FindUnixProcess("PloverSimLocal.exe") : std::string();
  const std::string wineserverUnix = own ? FindUnixProcess("wineserver") : std::string();
  // Not "self": the wineserver opens files for its clients, so that would be its own.
  const std::string clientUnix = FindUnixProcess("boundary_bench.exe");
  if (own)
    std::printf("  server process %s, wineserver %s\n",
                serverUnix.empty() ? "not found" : serverUnix.c_str(),
                wineserverUnix.empty() ? "not found" : wineserverUnix.c_str());
  control->SetDeterministic(TRUE);

  if (Stage(0)) {
    // What one call costs: a call that does nothing but answer.
    IOPCBrowseServerAddressSpace* browse = Get<IOPCBrowseServerAddressSpace>(server);
    OPCNAMESPACETYPE type;
    t0 = Now();
    for (int i = 0; i < 1000; ++i) browse->QueryOrganization(&type);
    t1 = Now();
    std::printf("  one call and its answer: %.1f us\n", (t1 - t0));
    browse->Release();
  }

  if (Stage(1)) {
    // As the program builds it: the root's children, then the branches a user opens.
    COpcBrowser browser;
    FakeTree tree;
    browser.Attach(server);
    browser.SetBrowseRootName(progId);
    t0 = Now();
    browser.BuildBrowseTop(&tree);
    t1 = Now();
    std::printf("  browse to a usable tree: %.1f ms, %zu nodes\n", t1 - t0, tree.m_nodes.size());
    FakeTree::Node* bulk = tree.Find({progId, L"Bulk"});
    t0 = Now();
    browser.ListBranch(bulk);
    t1 = Now();
    std::printf("  opening Bulk (400 branches): %.1f ms\n", t1 - t0);
    FakeTree::Node* area = tree.Find({progId, L"Bulk", L"Area007"});
    t0 = Now();
    browser.ListBranch(area);
    t1 = Now();
    std::printf("  opening Bulk.Area007 (250 leaves): %.1f ms\n", t1 - t0);
    t0 = Now();
    size_t ids = 0;
    for (FakeTree::Node* leaf : area ? area->children : std::vector<FakeTree::Node*>())
      ids += !browser.GetBrowseItemId(leaf->data).empty();
    t1 = Now();
    std::printf("  item IDs of its %zu leaves: %.1f ms\n", ids, t1 - t0);
    FakeTree::Node* many = tree.Find({progId, L"Many"});
    t0 = Now();
    browser.ListBranch(many);
    t1 = Now();
    std::printf("  opening Many (5,000 leaves): %.1f ms\n", t1 - t0);
    browser.Attach(nullptr);
  }
  if (Stage(1) && !own) {
    // Every node with its item ID, as the whole build makes it (too slow across processes).
    COpcBrowser browser;
    FakeTree tree;
    browser.Attach(server);
    browser.SetBrowseRootName(progId);
    t0 = Now();
    browser.BuildBrowseTree(&tree);
    t1 = Now();
    std::printf("  whole tree: %.1f ms, %zu nodes\n", t1 - t0, tree.m_nodes.size());
    browser.Attach(nullptr);
  }

  CountingSink sink;
  std::vector<IOPCItemMgt*> groups;
  std::vector<OPCHANDLE> serverHandles;
  std::vector<std::wstring> ids;
  for (int area = 1; area <= 400; ++area)
    for (int tag = 1; tag <= 250; ++tag) {
      wchar_t id[48];
      swprintf(id, 48, L"Bulk.Area%03d.Tag%03d", area, tag);
      ids.push_back(id);
    }
  double addMs = 0;
  const int groupCount = Stage(2) || Stage(3) || Stage(4) ? 10 : 0;
  for (int g = 0; g < groupCount; ++g) {
    OPCHANDLE hServer = 0;
    DWORD revised = 0;
    IOPCItemMgt* mgt = nullptr;
    float deadband = 0;
    server->AddGroup(L"", TRUE, 1000, g + 1, nullptr, &deadband, 0x409, &hServer, &revised,
                     IID_IOPCItemMgt, reinterpret_cast<IUnknown**>(&mgt));
    if (!mgt) break;
    serverHandles.push_back(hServer);
    std::vector<OPCITEMDEF> defs(10000);
    for (int i = 0; i < 10000; ++i) {
      defs[i] = {};
      defs[i].szAccessPath = const_cast<LPWSTR>(L"");
      defs[i].szItemID = const_cast<LPWSTR>(ids[g * 10000 + i].c_str());
      defs[i].bActive = TRUE;
      defs[i].hClient = static_cast<OPCHANDLE>(g * 10000 + i + 1);
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    t0 = Now();
    mgt->AddItems(10000, defs.data(), &results, &errors);
    addMs = g == 0 ? Now() - t0 : addMs;
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    groups.push_back(mgt);
  }
  if (Stage(2)) std::printf("  AddItems of 10,000 items (first group): %.1f ms\n", addMs);

  // DA 2.0 callbacks; DA 1.0 streams in this build's value layout; and in the 32-bit layout
  // of 16-byte value slots, fewer bytes for the same values.
  for (int path = 0; path < 3; ++path) {
    if (!Stage(path == 0 ? 3 : 4)) continue;
    control->SetStreamForm(path == 2 ? 4 : 0, FALSE);
    std::vector<DWORD> cookies;
    std::vector<IConnectionPoint*> points;
    CLIPFORMAT cf = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"OPCSTMFORMATDATATIME"));
    for (IOPCItemMgt* mgt : groups) {
      DWORD cookie = 0;
      if (path == 0) {
        IConnectionPointContainer* cpc = Get<IConnectionPointContainer>(mgt);
        IConnectionPoint* cp = nullptr;
        cpc->FindConnectionPoint(IID_IOPCDataCallback, &cp);
        cpc->Release();
        cp->Advise(static_cast<IOPCDataCallback*>(&sink), &cookie);
        points.push_back(cp);
      } else {
        IDataObject* data = Get<IDataObject>(mgt);
        FORMATETC fe = {cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        data->DAdvise(&fe, 0, static_cast<IAdviseSink*>(&sink), &cookie);
        data->Release();
      }
      cookies.push_back(cookie);
    }
    control->Flush();
    sink.values = sink.bytes = 0;
    const double clientCpu0 = UnixCpuMs(clientUnix);
    const double serverCpu0 = own ? UnixCpuMs(serverUnix) : 0;
    const double wineserverCpu0 = own ? UnixCpuMs(wineserverUnix) : 0;
    t0 = Now();
    // Ten updates of every group: up to 1,000,000 values.
    control->AdvanceTime(10000);
    control->Flush();
    t1 = Now();
    const double clientCpu = UnixCpuMs(clientUnix) - clientCpu0;
    const double serverCpu = own ? UnixCpuMs(serverUnix) - serverCpu0 : 0;
    const double wineserverCpu = own ? UnixCpuMs(wineserverUnix) - wineserverCpu0 : 0;
    const double perS = sink.values / ((t1 - t0) / 1000.0);
    const double n = sink.values ? static_cast<double>(sink.values) : 1.0;
    static const char* const kPaths[] = {"DA 2.0 callbacks", "DA 1.0 streams",
                                         "DA 1.0 streams, 16-byte value slots"};
    std::printf("  %s: %zu values in %.1f ms = %.0f values/s", kPaths[path], sink.values, t1 - t0,
                perS);
    if (sink.bytes) std::printf(", %.1f bytes a value", static_cast<double>(sink.bytes) / n);
    std::printf("\n");
    if (own)
      std::printf("    CPU per value: client %.2f us, server %.2f us, wineserver %.2f us\n",
                  clientCpu * 1000.0 / n, serverCpu * 1000.0 / n, wineserverCpu * 1000.0 / n);
    else
      std::printf("    CPU per value: %.2f us (one process)\n", clientCpu * 1000.0 / n);
    if (path == 1 && own && !serverHandles.empty()) {
      // The bare transport: a block to the server and the same block back to the sink.
      std::vector<BYTE> block(1 << 20);
      t0 = Now();
      for (int i = 0; i < 20; ++i)
        control->PushStream(serverHandles[0], 0, block.data(), static_cast<DWORD>(block.size()));
      control->Flush();
      t1 = Now();
      std::printf("  transport: 20 MB there and back in %.1f ms = %.1f MB/s each way\n", t1 - t0,
                  20.0 / ((t1 - t0) / 1000.0));
    }
    for (size_t i = 0; i < groups.size(); ++i) {
      if (path == 0) {
        points[i]->Unadvise(cookies[i]);
        points[i]->Release();
      } else {
        IDataObject* data = Get<IDataObject>(groups[i]);
        data->DUnadvise(cookies[i]);
        data->Release();
      }
    }
  }
  for (IOPCItemMgt* mgt : groups) mgt->Release();
  proc->Release();
  control->Release();
  server->Release();
}

}  // namespace

int main(int argc, char** argv) {
  // Stages by name (calls, browse, add, da2, da1) and "local" for the own-process server only.
  static const char* const kStages[] = {"calls", "browse", "add", "da2", "da1"};
  bool localOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "local")) localOnly = true;
    for (int s = 0; s < 5; ++s)
      if (!std::strcmp(argv[i], kStages[s])) g_only = g_stage[s] = true;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                       RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
  if (!localOnly) Run(PLOVER_SIM_LARGE_PROGID, "in this process");
  Run(PLOVER_SIM_LOCAL_LARGE_PROGID, "own process");
  CoUninitialize();
  return 0;
}
