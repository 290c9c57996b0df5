// The executable server as clients in several processes meet it: the shared variant serves
// them all from one process and one address space, with groups of their own, stays a while
// after the last leaves and lets go of clients that vanish; the private variant gives each
// client a process. Named *OwnProcess*: they run while no other test does, so no neighbour
// holds the shared process.
#include "SimTestSupport.h"
#include "SimProcess.h"

#include <string>

namespace {

// The helper client beside this test program.
std::wstring HelperPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p = path;
  return p.substr(0, p.find_last_of(L"\\/") + 1) + L"sim_client_helper.exe";
}

// The helper client in its own process, its standard output read from a pipe.
class Helper {
 public:
  explicit Helper(const std::wstring& args) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE write = nullptr;
    if (!CreatePipe(&m_read, &write, &sa, 0)) return;
    SetHandleInformation(m_read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = write;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring cmd = L"\"" + HelperPath() + L"\" " + args;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                       &pi)) {
      m_process = pi.hProcess;
      CloseHandle(pi.hThread);
    }
    CloseHandle(write);
  }
  ~Helper() {
    if (m_process) {
      TerminateProcess(m_process, 1);
      CloseHandle(m_process);
    }
    if (m_read) CloseHandle(m_read);
  }
  // The first line it prints, messages pumped meanwhile (the server may call this process).
  std::string Line() {
    std::string line;
    const ULONGLONG until = GetTickCount64() + 60000;
    while (GetTickCount64() < until && line.find('\n') == std::string::npos) {
      DWORD avail = 0;
      if (!PeekNamedPipe(m_read, nullptr, 0, nullptr, &avail, nullptr)) break;  // it ended
      if (avail == 0) {
        PumpFor(10);
        continue;
      }
      char buf[256];
      DWORD n = 0;
      if (!ReadFile(m_read, buf, avail < sizeof(buf) ? avail : sizeof(buf), &n, nullptr)) break;
      line.append(buf, n);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
  }
  DWORD ExitCode() {
    const ULONGLONG until = GetTickCount64() + 60000;
    while (m_process && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT &&
           GetTickCount64() < until)
      PumpFor(10);
    DWORD code = STILL_ACTIVE;
    if (m_process) GetExitCodeProcess(m_process, &code);
    return code;
  }
  void Kill() { TerminateProcess(m_process, 9); }

 private:
  HANDLE m_read = nullptr;
  HANDLE m_process = nullptr;
};

DWORD ServerPid(IUnknown* server) {
  DWORD pid = 0;
  TComPtr<IPloverSimProcess> process = Query<IPloverSimProcess>(server);
  if (process) process->GetServerProcessId(&pid);
  return pid;
}

TComPtr<IOPCServer> ConnectLocal(const wchar_t* progId) {
  TComPtr<IOPCServer> server;
  CLSID clsid;
  if (SUCCEEDED(CLSIDFromProgID(progId, &clsid)))
    CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.PutVoid());
  return server;
}

DWORD GroupCount(IOPCServer* server) {
  OPCSERVERSTATUS* st = nullptr;
  if (FAILED(server->GetStatus(&st))) return ~0u;
  const DWORD n = st->dwGroupCount;
  CoTaskMemFree(st->szVendorInfo);
  CoTaskMemFree(st);
  return n;
}

// Pumps until done() holds, for a generous while.
template <class F>
bool PumpUntil(F done, DWORD capMs = 30000) {
  const ULONGLONG until = GetTickCount64() + capMs;
  while (!done()) {
    if (GetTickCount64() > until) return false;
    PumpFor(20);
  }
  return true;
}

class SharedServer : public SimFixture {
 protected:
  void SetUp() override { ExpectLocalServerRegistered(PLOVER_SIM_LOCAL_PROGID); }
  // Reads Types.Short through a group of this client's own.
  long ReadShort(IOPCServer* on) {
    TComPtr<IOPCServer> keep = server;
    server = TComPtr<IOPCServer>(on);
    TComPtr<IOPCItemMgt> group = AddGroup(L"Reader");
    OPCHANDLE h = 0;
    VARIANT v;
    VariantInit(&v);
    long value = -1;
    if (AddItem(group.Get(), L"Types.Short", VT_I4, 1, &h) == S_OK &&
        ReadOne(group.Get(), OPC_DS_DEVICE, h, &v) == S_OK && v.vt == VT_I4)
      value = v.lVal;
    VariantClear(&v);
    group.Release();
    server = keep;
    return value;
  }
};

TEST_F(SharedServer, OwnProcess_ClientsShareOneProcessValuesAndHooksButNotGroups) {
  TComPtr<IOPCServer> first = ConnectLocal(PLOVER_SIM_LOCAL_PROGID);
  ASSERT_TRUE(first);
  const DWORD pid = ServerPid(first.Get());
  ASSERT_NE(0u, pid);
  ASSERT_NE(GetCurrentProcessId(), pid);
  m_serverProcess.Watch(first.Get());
  server = first;
  TComPtr<IOPCItemMgt> mine = AddGroup(L"Mine");
  server.Release();

  // Another process: the same server process, none of this client's groups, a group of the
  // same name of its own, and its write lands in the one address space.
  const long written = 1000 + static_cast<long>(GetTickCount64() % 20000);
  Helper helper(std::wstring(PLOVER_SIM_LOCAL_PROGID) + L" Types.Short " +
                std::to_wstring(written) + L" Mine");
  const std::string line = helper.Line();
  EXPECT_EQ("pid=" + std::to_string(pid) + " seen=80070057 added=00000000 wrote=00000000 " +
                "groups=1 advised=0",
            line);
  EXPECT_EQ(0u, helper.ExitCode());
  EXPECT_EQ(1u, GroupCount(first.Get())) << "only this client's own group";
  EXPECT_EQ(written, ReadShort(first.Get()));

  // Hooks are the process's: a failure set through one client's object meets the other's.
  TComPtr<IOPCServer> second = ConnectLocal(PLOVER_SIM_LOCAL_PROGID);
  ASSERT_TRUE(second);
  EXPECT_EQ(pid, ServerPid(second.Get()));
  TComPtr<IPloverSimControl> hooks = Query<IPloverSimControl>(first.Get());
  ASSERT_TRUE(hooks);
  ASSERT_EQ(S_OK, hooks->FailMethod(L"IOPCServer::GetStatus", E_ACCESSDENIED, FALSE));
  OPCSERVERSTATUS* st = nullptr;
  EXPECT_EQ(E_ACCESSDENIED, second->GetStatus(&st));
  EXPECT_EQ(0u, GroupCount(second.Get()));
  hooks.Release();

  // Every client gone: the process stays a while, so the next client still reads the value.
  mine.Release();
  first.Release();
  second.Release();
  TComPtr<IOPCServer> later = ConnectLocal(PLOVER_SIM_LOCAL_PROGID);
  ASSERT_TRUE(later);
  EXPECT_EQ(pid, ServerPid(later.Get()));
  EXPECT_EQ(written, ReadShort(later.Get()));
  later.Release();
  // ... and then ends by itself.
  m_serverProcess.ExpectEnded(40000);

  // The private variant: a process for each client, with hooks of its own.
  TComPtr<IOPCServer> a = ConnectLocal(PLOVER_SIM_LOCAL_PRIVATE_PROGID);
  TComPtr<IOPCServer> b = ConnectLocal(PLOVER_SIM_LOCAL_PRIVATE_PROGID);
  ASSERT_TRUE(a && b);
  ServerProcessWatch watchA, watchB;
  watchA.Watch(a.Get());
  watchB.Watch(b.Get());
  EXPECT_NE(0u, watchA.Pid());
  EXPECT_NE(watchA.Pid(), watchB.Pid());
  EXPECT_NE(pid, watchA.Pid());
  hooks = Query<IPloverSimControl>(a.Get());
  ASSERT_TRUE(hooks);
  ASSERT_EQ(S_OK, hooks->FailMethod(L"IOPCServer::GetStatus", E_ACCESSDENIED, TRUE));
  EXPECT_EQ(0u, GroupCount(b.Get()));
  hooks.Release();
  a.Release();
  b.Release();
  watchA.ExpectEnded();
  watchB.ExpectEnded();
}

TEST_F(SharedServer, OwnProcess_AClientThatVanishesIsLetGo) {
  TComPtr<IOPCServer> stays = ConnectLocal(PLOVER_SIM_LOCAL_PROGID);
  ASSERT_TRUE(stays);
  m_serverProcess.Watch(stays.Get());
  control = Query<IPloverSimControl>(stays.Get());
  ASSERT_TRUE(control);
  const PloverSimLiveCounts before = Counts();

  Helper helper(std::wstring(PLOVER_SIM_LOCAL_PROGID) + L" Signals.Ramp 0 Held hold");
  const std::string line = helper.Line();
  EXPECT_NE(std::string::npos, line.find(" added=00000000 ")) << line;
  EXPECT_NE(std::string::npos, line.find(" advised=1")) << line;
  PloverSimLiveCounts held = Counts();
  EXPECT_EQ(before.servers + 1, held.servers);
  EXPECT_EQ(before.groups + 1, held.groups);
  EXPECT_EQ(before.connections + 1, held.connections);

  // Killed: nobody tells the server, which finds out when it next calls the client.
  helper.Kill();
  EXPECT_TRUE(PumpUntil([&] {
    held = Counts();
    return held.servers == before.servers && held.groups == before.groups &&
           held.connections == before.connections;
  })) << "still "
      << held.servers << " servers, " << held.groups << " groups";
  control.Release();
  stays.Release();
  // Nothing of the vanished client keeps the process.
  m_serverProcess.ExpectEnded(40000);
}

}  // namespace
