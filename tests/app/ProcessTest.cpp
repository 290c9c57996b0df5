// Plover.exe as a separate process: what happens before the application object exists can
// only be seen from outside.
#include "AppFixture.h"

namespace {

struct FindWindowData {
  DWORD pid;
  HWND hWnd;
};

BOOL CALLBACK MatchMainWindow(HWND h, LPARAM l) {
  auto* d = reinterpret_cast<FindWindowData*>(l);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(h, &owner);
  wchar_t title[128] = {};
  ::GetWindowTextW(h, title, 128);
  if (owner == d->pid && ::IsWindowVisible(h) &&
      wcscmp(title, L"Larkspur - Plover CLIENT 2.0") == 0) {
    d->hWnd = h;
    return FALSE;
  }
  return TRUE;
}

HWND FindMainWindow(DWORD pid) {
  FindWindowData data{pid, nullptr};
  ::EnumWindows(MatchMainWindow, reinterpret_cast<LPARAM>(&data));
  return data.hWnd;
}

class ProcessTest : public AppFixture {
 protected:
  // Starts Plover.exe in dir, waits for its main window; returns it (nullptr on timeout).
  HWND Launch(const std::wstring& dir) {
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Plover.exe";
    std::wstring cmd = L"\"" + path + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    if (!::CreateProcessW(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          dir.c_str(), &si, &m_pi))
      return nullptr;
    for (int i = 0; i < 300; ++i) {
      if (HWND h = FindMainWindow(m_pi.dwProcessId)) return h;
      if (::WaitForSingleObject(m_pi.hProcess, 50) == WAIT_OBJECT_0) break;
    }
    return nullptr;
  }
  // Closes the window and returns the exit code.
  DWORD CloseAndWait(HWND hWnd) {
    ::PostMessageW(hWnd, WM_CLOSE, 0, 0);
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(m_pi.hProcess, 20000) == WAIT_OBJECT_0)
      ::GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
  }
  void TearDown() override {
    if (m_pi.hProcess) {
      if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
        ::TerminateProcess(m_pi.hProcess, 1);
      ::CloseHandle(m_pi.hProcess);
      ::CloseHandle(m_pi.hThread);
    }
    AppFixture::TearDown();
  }
  PROCESS_INFORMATION m_pi{};
};

TEST_F(ProcessTest, LogFileIsEmptiedAtStartAndProgramExitsCleanly) {
  std::wstring dir = TempDir();
  std::wstring log = dir + L"\\plover.log";
  WriteFileText(log, "left over from last time");
  HWND hMain = Launch(dir);
  ASSERT_NE(nullptr, hMain);
  EXPECT_EQ(0, FileSize(log));
  EXPECT_TRUE(::IsZoomed(hMain));
  EXPECT_EQ(0u, CloseAndWait(hMain));
  EXPECT_EQ(0, FileSize(log));
}

TEST_F(ProcessTest, UnwritableLogFileDoesNotStopTheProgram) {
  std::wstring dir = TempDir();
  ::CreateDirectoryW((dir + L"\\plover.log").c_str(), nullptr);  // fopen cannot open a directory
  HWND hMain = Launch(dir);
  ASSERT_NE(nullptr, hMain);
  EXPECT_EQ(0u, CloseAndWait(hMain));
}

}  // namespace
