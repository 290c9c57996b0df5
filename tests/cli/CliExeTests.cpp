// plover-cli.exe as a process, its output through pipes: exit codes, UTF-8 output and
// Chinese arguments, as scripts and batch files meet them.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>

#include "CliTestSupport.h"
#include "CliText.h"
#include "SimProcess.h"

namespace {

struct ExeResult {
  DWORD rc = 0xFFFFFFFF;
  std::string out, err;
};

std::wstring CliPath() {
  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p = path;
  return p.substr(0, p.find_last_of(L"\\/") + 1) + L"plover-cli.exe";
}

// Drains a pipe on a thread of its own, so a full pipe never blocks the child.
DWORD WINAPI Drain(void* param) {
  auto* pipe = static_cast<std::pair<HANDLE, std::string*>*>(param);
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(pipe->first, buffer, sizeof(buffer), &got, nullptr) && got)
    pipe->second->append(buffer, got);
  return 0;
}

ExeResult RunExe(const std::wstring& arguments) {
  ExeResult result;
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE outRead, outWrite, errRead, errWrite;
  EXPECT_TRUE(::CreatePipe(&outRead, &outWrite, &sa, 0));
  EXPECT_TRUE(::CreatePipe(&errRead, &errWrite, &sa, 0));
  ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = outWrite;
  si.hStdError = errWrite;
  PROCESS_INFORMATION pi = {};
  std::wstring line = L"\"" + CliPath() + L"\" " + arguments;
  const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
  ::CloseHandle(outWrite);
  ::CloseHandle(errWrite);
  EXPECT_TRUE(started) << "plover-cli.exe did not start: " << ::GetLastError();
  std::pair<HANDLE, std::string*> outPipe{outRead, &result.out}, errPipe{errRead, &result.err};
  HANDLE threads[2] = {::CreateThread(nullptr, 0, Drain, &outPipe, 0, nullptr),
                       ::CreateThread(nullptr, 0, Drain, &errPipe, 0, nullptr)};
  if (started) {
    // Generous: a first Wine process start on a busy machine is slow.
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 120000), WAIT_OBJECT_0)
        << "plover-cli.exe did not end";
    ::GetExitCodeProcess(pi.hProcess, &result.rc);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
  }
  ::WaitForMultipleObjects(2, threads, TRUE, 120000);
  for (HANDLE h : threads) ::CloseHandle(h);
  ::CloseHandle(outRead);
  ::CloseHandle(errRead);
  return result;
}

// plover-cli.exe running on its own console (no window), its output drained meanwhile.
class RunningCli {
 public:
  explicit RunningCli(const std::wstring& arguments) {
    ::InitializeCriticalSection(&m_lock);
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE outWrite, errWrite;
    EXPECT_TRUE(::CreatePipe(&m_pipes[0].read, &outWrite, &sa, 0));
    EXPECT_TRUE(::CreatePipe(&m_pipes[1].read, &errWrite, &sa, 0));
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    std::wstring line = L"\"" + CliPath() + L"\" " + arguments;
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &si, &pi))
        << ::GetLastError();
    ::CloseHandle(outWrite);
    ::CloseHandle(errWrite);
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;
    if (pi.hThread) ::CloseHandle(pi.hThread);
    for (Pipe& p : m_pipes) {
      p.owner = this;
      ::SetHandleInformation(p.read, HANDLE_FLAG_INHERIT, 0);
      p.thread = ::CreateThread(nullptr, 0, Drain, &p, 0, nullptr);
    }
  }
  ~RunningCli() {
    if (m_process) {
      ::TerminateProcess(m_process, 1);
      ::CloseHandle(m_process);
    }
    for (Pipe& p : m_pipes) {
      ::WaitForSingleObject(p.thread, 30000);
      ::CloseHandle(p.thread);
      ::CloseHandle(p.read);
    }
    ::DeleteCriticalSection(&m_lock);
  }
  DWORD Pid() const { return m_pid; }
  std::string Out() { return Text(0); }
  std::string Err() { return Text(1); }
  // Waits (up to limitMs) until the process has ended or until() holds.
  bool WaitFor(const std::function<bool()>& until, DWORD limitMs = 120000) {
    const ULONGLONG end = ::GetTickCount64() + limitMs;
    while (!until()) {
      if (::GetTickCount64() >= end || ::WaitForSingleObject(m_process, 20) == WAIT_OBJECT_0)
        return until();
    }
    return true;
  }
  // The exit code once ended (within limitMs), else 0xFFFFFFFF; all it wrote is read then.
  DWORD ExitCode(DWORD limitMs = 120000) {
    DWORD rc = 0xFFFFFFFF;
    if (::WaitForSingleObject(m_process, limitMs) != WAIT_OBJECT_0) return rc;
    ::GetExitCodeProcess(m_process, &rc);
    HANDLE threads[2] = {m_pipes[0].thread, m_pipes[1].thread};
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForMultipleObjects(2, threads, TRUE, 30000))
        << "the output pipes stay open after the end";
    return rc;
  }
  // The executable server this process started, 0 while there is none.
  DWORD ServerPid() const {
    DWORD pid = 0;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e = {};
    e.dwSize = sizeof(e);
    for (BOOL more = ::Process32FirstW(snap, &e); more && !pid; more = ::Process32NextW(snap, &e))
      if (e.th32ParentProcessID == m_pid && ::lstrcmpiW(e.szExeFile, L"PloverSimLocal.exe") == 0)
        pid = e.th32ProcessID;
    ::CloseHandle(snap);
    return pid;
  }

 private:
  struct Pipe {
    RunningCli* owner = nullptr;
    HANDLE read = nullptr, thread = nullptr;
    std::string text;
  };
  static DWORD WINAPI Drain(void* param) {
    auto* p = static_cast<Pipe*>(param);
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(p->read, buffer, sizeof(buffer), &got, nullptr) && got) {
      ::EnterCriticalSection(&p->owner->m_lock);
      p->text.append(buffer, got);
      ::LeaveCriticalSection(&p->owner->m_lock);
    }
    return 0;
  }
  std::string Text(int i) {
    ::EnterCriticalSection(&m_lock);
    std::string t = m_pipes[i].text;
    ::LeaveCriticalSection(&m_lock);
    return t;
  }

  CRITICAL_SECTION m_lock;
  Pipe m_pipes[2];
  HANDLE m_process = nullptr;
  DWORD m_pid = 0;
};

// A real Ctrl+C on the console of that process, as a user's key press makes it: this
// process joins that console for the moment and ignores the event itself.
// Wine delivers CTRL_C_EVENT so; CTRL_BREAK_EVENT it refuses (ERROR_INVALID_HANDLE).
bool SendCtrlC(DWORD pid) {
  const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  HANDLE std[3];
  for (int i = 0; i < 3; ++i) std[i] = ::GetStdHandle(kinds[i]);
  ::FreeConsole();
  BOOL sent = FALSE;
  if (::AttachConsole(pid)) {
    ::SetConsoleCtrlHandler(nullptr, TRUE);
    sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    ::FreeConsole();
    // Still ignored here: the event may reach this process after it has left the console.
  }
  // This process's own output goes where it went before.
  for (int i = 0; i < 3; ++i) ::SetStdHandle(kinds[i], std[i]);
  return sent != FALSE;
}

using ProcessFn = LONG(WINAPI*)(HANDLE);
ProcessFn NtProcessFn(const char* name) {
  return reinterpret_cast<ProcessFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

}  // namespace

// A watch on the executable server: a real Ctrl+C ends it cleanly (the server, let go of
// every group and reference, ends by itself); a server killed or held still ends it with
// exit code 3 and says why, and a watch's own end never waits for a server held still.
TEST(CliExe, WatchEndsOnCtrlCAndOnALostOrSilentServer) {
  const ProcessFn suspend = NtProcessFn("NtSuspendProcess");
  const ProcessFn resume = NtProcessFn("NtResumeProcess");
  ASSERT_TRUE(suspend && resume);
  enum Fate { kCtrlC, kKilled, kHeld, kHeldThenCtrlC };
  for (Fate fate : {kCtrlC, kKilled, kHeld, kHeldThenCtrlC}) {
    SCOPED_TRACE(fate);
    RunningCli cli(L"watch " PLOVER_SIM_LOCAL_PRIVATE_PROGID L" Signals.Counter --rate 100");
    // Watching: the header and a first value are out, so the console handler is in place.
    DWORD server = 0;
    ASSERT_TRUE(cli.WaitFor([&] {
      server = server ? server : cli.ServerPid();
      return server && Lines(cli.Out()).size() >= 2;
    })) << cli.Err();
    HANDLE process =
        ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_SUSPEND_RESUME, FALSE, server);
    ASSERT_NE(nullptr, process);
    if (fate == kKilled) ::TerminateProcess(process, 9);
    if (fate == kHeld || fate == kHeldThenCtrlC) {
      ASSERT_EQ(0, suspend(process));
    }
    if (fate == kCtrlC || fate == kHeldThenCtrlC) {
      ASSERT_TRUE(SendCtrlC(cli.Pid()));
    }
    // Generous, yet shorter than a watch that would wait for the held server for ever.
    const DWORD rc = cli.ExitCode(60000);
    if (fate == kHeld || fate == kHeldThenCtrlC) resume(process);
    const std::string err = cli.Err();
    if (fate == kCtrlC) {
      EXPECT_EQ(0u, rc) << err;
      EXPECT_EQ("", err);
      EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process, 60000))
          << "the server still holds what the watch left at it";
    } else {
      EXPECT_EQ(3u, rc) << err;
      EXPECT_NE(std::string::npos, err.find("plover-cli: the server has gone: ")) << err;
      if (fate != kKilled) {
        EXPECT_NE(std::string::npos, err.find("stopped answering: no reply within 5 s")) << err;
      }
    }
    ::TerminateProcess(process, 1);
    ::CloseHandle(process);
  }
}

// With --reconnect a killed server is a record of bad quality per item and a pause: the
// watch connects to a new server process and goes on until Ctrl+C, which ends it well.
TEST(CliExe, WatchWithReconnectGoesOnAcrossAKilledServer) {
  RunningCli cli(L"watch " PLOVER_SIM_LOCAL_PRIVATE_PROGID
                 L" Signals.Counter Types.Long --rate 100 --csv --reconnect");
  DWORD first = 0;
  ASSERT_TRUE(cli.WaitFor([&] {
    first = first ? first : cli.ServerPid();
    return first && Lines(cli.Out()).size() >= 3;
  })) << cli.Err();
  HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, first);
  ASSERT_NE(nullptr, process);
  ASSERT_TRUE(::TerminateProcess(process, 9));
  ::WaitForSingleObject(process, 30000);
  ::CloseHandle(process);
  // Both items marked lost, then values from a server process of its own.
  size_t lost = 0;
  ASSERT_TRUE(cli.WaitFor([&] {
    const std::vector<std::string> lines = Lines(cli.Out());
    lost = 0;
    size_t after = 0;
    for (const std::string& line : lines) {
      if (line.find("bad: comm failure") != std::string::npos)
        ++lost;
      else if (lost == 2)
        ++after;
    }
    const DWORD next = cli.ServerPid();
    return lost == 2 && after >= 2 && next && next != first;
  })) << cli.Out()
      << cli.Err();
  ASSERT_TRUE(SendCtrlC(cli.Pid()));
  EXPECT_EQ(0u, cli.ExitCode(60000)) << cli.Err();
  EXPECT_NE(std::string::npos, cli.Err().find("plover-cli: the server has gone")) << cli.Err();
  EXPECT_EQ(2u, lost);
}

TEST(CliExe, ExitCodesAndChineseThroughPipesAndFiles) {
  // Chinese on the command line in, UTF-8 out, whatever the console's code page.
  ExeResult r = RunExe(L"read Plover.SimServer.1 Names.说明 \"Names.压力 Pressure\" --csv");
  EXPECT_EQ(r.rc, 0u) << r.err;
  EXPECT_EQ(r.out.rfind("item,value,type,quality,qualityCode,time\nNames.说明,模拟服务器,STRING,"
                        "good,192,",
                        0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("\nNames.压力 Pressure,"), std::string::npos) << r.out;

  // --out writes the records to a UTF-8 file; standard output stays empty.
  wchar_t dir[MAX_PATH];
  ::GetTempPathW(MAX_PATH, dir);
  const std::wstring file =
      std::wstring(dir) + L"plover-cli-输出-" + std::to_wstring(::GetCurrentProcessId()) + L".json";
  r = RunExe(L"write Plover.SimServer.1 Types.String=温度计 --json --out \"" + file + L"\"");
  EXPECT_EQ(r.rc, 0u) << r.err;
  EXPECT_EQ(r.out, "");
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char bytes[512] = {};
  DWORD got = 0;
  ::ReadFile(h, bytes, sizeof(bytes) - 1, &got, nullptr);
  ::CloseHandle(h);
  ::DeleteFileW(file.c_str());
  EXPECT_EQ(std::string(bytes, got),
            "{\"item\":\"Types.String\",\"value\":\"温度计\",\"result\":\"OK\",\"code\":"
            "\"0x00000000\"}\n");

  const struct {
    const wchar_t* arguments;
    DWORD rc;
    const char* err;
  } codes[] = {
      {L"read Plover.SimServer.1 Types.Short No.Such", 1, "No.Such: "},
      {L"read Plover.SimServer.1", 2, "missing item"},
      {L"frobnicate", 2, "unknown command 'frobnicate'"},
      {L"status No.Such.Server.1", 3, "cannot connect to 'No.Such.Server.1'"},
  };
  for (const auto& c : codes) {
    r = RunExe(c.arguments);
    EXPECT_EQ(r.rc, c.rc) << ToUtf8(c.arguments) << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << ToUtf8(c.arguments) << "\n" << r.err;
  }
  r = RunExe(L"servers");
  EXPECT_EQ(r.rc, 0u);
  // The column is as wide as the longest ProgID registered here.
  const size_t at = r.out.find("\nPlover.SimServer.1 ");
  ASSERT_NE(at, std::string::npos) << r.out;
  const std::string line = r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1);
  EXPECT_EQ(line.find_first_not_of(' ', 19), line.rfind("1.0 2.0 3.0")) << line;
  EXPECT_EQ(line.size() - 11, line.rfind("1.0 2.0 3.0")) << line;
}
