// plover-cli.exe as a process, its output through pipes: exit codes, UTF-8 output and
// Chinese arguments, as scripts and batch files meet them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "CliText.h"

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

}  // namespace

TEST(CliExe, ExitCodesAndChineseThroughPipesAndFiles) {
  // Chinese on the command line in, UTF-8 out, whatever the console's code page.
  ExeResult r = RunExe(L"read Plover.SimServer.1 Names.说明 \"Names.压力 Pressure\" --csv");
  EXPECT_EQ(r.rc, 0u) << r.err;
  EXPECT_EQ(r.out.rfind("item,value,type,quality,qualityCode,time\r\nNames.说明,模拟服务器,STRING,"
                        "good,192,",
                        0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("\r\nNames.压力 Pressure,"), std::string::npos) << r.out;

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
  EXPECT_EQ(line.find_first_not_of(' ', 19), line.rfind("1.0 2.0")) << line;
  EXPECT_EQ(line.size() - 7, line.rfind("1.0 2.0")) << line;
}
