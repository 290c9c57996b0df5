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
  HWND Launch(const std::wstring& dir, const std::wstring& args = std::wstring()) {
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Plover.exe";
    std::wstring cmd = L"\"" + path + L"\"" + (args.empty() ? L"" : L" " + args);
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

// Shown windows of the process with that class name.
struct FindClassData {
  DWORD pid;
  const wchar_t* cls;
  HWND hWnd;
};

BOOL CALLBACK MatchClass(HWND h, LPARAM l) {
  auto* d = reinterpret_cast<FindClassData*>(l);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(h, &owner);
  wchar_t cls[64] = {};
  ::GetClassNameW(h, cls, 64);
  if (owner == d->pid && ::IsWindowVisible(h) && wcscmp(cls, d->cls) == 0) {
    d->hWnd = h;
    return FALSE;
  }
  return TRUE;
}

// The text of the box's control that names the file (a window procedure's calling convention,
// which a lambda does not have on 32-bit).
BOOL CALLBACK CopyFileNameText(HWND h, LPARAM l) {
  wchar_t buf[512] = {};
  ::GetWindowTextW(h, buf, 512);
  if (wcsstr(buf, L"nosuchfile.plover")) lstrcpynW(reinterpret_cast<wchar_t*>(l), buf, 512);
  return TRUE;
}

HWND FindShown(DWORD pid, const wchar_t* cls) {
  FindClassData data{pid, cls, nullptr};
  ::EnumWindows(MatchClass, reinterpret_cast<LPARAM>(&data));
  return data.hWnd;
}

// The box for a file that cannot be opened outlives the start-up splash (it used to be the
// splash's and went with it, and the program with the box); answered, the program runs on.
TEST_F(ProcessTest, MissingFileBoxStaysUntilAnsweredAndTheProgramThenRuns) {
  std::wstring dir = TempDir();
  HWND hMain = Launch(dir, L"\"" + dir + L"\\nosuchfile.plover\"");
  ASSERT_NE(nullptr, hMain);
  HWND hBox = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (hBox = FindShown(m_pi.dwProcessId, L"#32770")) != nullptr; },
                        "the box for the missing file"));
  wchar_t text[512] = {};
  ::EnumChildWindows(hBox, CopyFileNameText, reinterpret_cast<LPARAM>(text));
  EXPECT_NE(nullptr, wcsstr(text, L"无法打开文档")) << "the box names the file";
  // The splash ends by its own timer; the box must still be there afterwards.
  ASSERT_TRUE(PumpUntil([&] { return !FindShown(m_pi.dwProcessId, L"PloverStartupSplash"); },
                        "the splash to end"));
  EXPECT_TRUE(::IsWindow(hBox) && ::IsWindowVisible(hBox)) << "the box went with the splash";
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(m_pi.hProcess, 0)) << "the program is running";

  ::PostMessageW(hBox, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(hBox); }, "the box to close"));
  EXPECT_TRUE(::IsWindow(hMain));
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(m_pi.hProcess, 0)) << "answered, it runs on";
  EXPECT_EQ(0u, CloseAndWait(hMain));
}

TEST_F(ProcessTest, UnwritableLogFileDoesNotStopTheProgram) {
  std::wstring dir = TempDir();
  ::CreateDirectoryW((dir + L"\\plover.log").c_str(), nullptr);  // fopen cannot open a directory
  HWND hMain = Launch(dir);
  ASSERT_NE(nullptr, hMain);
  EXPECT_EQ(0u, CloseAndWait(hMain));
}

}  // namespace
