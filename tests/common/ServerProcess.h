// The executable simulation server's process as a test sees it: registered where this
// process's COM looks, and gone once the test has let go of its objects (the shared variant's
// after its linger). Wine has no pinging that would clean up after a client, so a process that
// stays is a fault of ours, and it would also keep the test's output pipe open until ctest's
// time-out.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ClassesRootText.h"
#include "SimProcess.h"

// Fails at once with the reason when the executable server cannot be started from this
// process: its ProgID, LocalServer32 in this process's registry view, the file it names,
// and the proxy/stub of IOPCServer.
inline void ExpectLocalServerRegistered(const wchar_t* progId) {
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(progId, &clsid)) << "is PloverSimLocal.exe /RegServer run?";
  wchar_t clsidText[40] = {};
  StringFromGUID2(clsid, clsidText, 40);
  auto defaultOf = [](const std::wstring& key) { return ClassesRootText(key, nullptr, L""); };
  std::wstring exe = defaultOf(std::wstring(L"CLSID\\") + clsidText + L"\\LocalServer32");
  ASSERT_FALSE(exe.empty()) << "no LocalServer32 for the executable server in this view";
  if (exe.size() > 1 && exe.front() == L'"') exe = exe.substr(1, exe.find(L'"', 1) - 1);
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(exe.c_str()))
      << "LocalServer32 names a missing file";
  const std::wstring ps = defaultOf(
      L"Interface\\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}\\ProxyStubClsid32");  // IOPCServer
  ASSERT_FALSE(ps.empty()) << "no proxy/stub for IOPCServer in this view (regsvr32 PloverPS.dll)";
  const std::wstring dll = defaultOf(L"CLSID\\" + ps + L"\\InprocServer32");
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dll.c_str()))
      << "the proxy/stub class names a missing file";
}

class ServerProcessWatch {
 public:
  ServerProcessWatch() = default;
  ServerProcessWatch(const ServerProcessWatch&) = delete;
  ServerProcessWatch& operator=(const ServerProcessWatch&) = delete;
  ~ServerProcessWatch() { Forget(true); }

  // Takes hold of the process behind a test's first server object, when it is not this one.
  void Watch(IUnknown* server) {
    if (m_hProcess) return;
    IPloverSimProcess* process = nullptr;
    if (!server ||
        FAILED(server->QueryInterface(IID_IPloverSimProcess, reinterpret_cast<void**>(&process))))
      return;
    DWORD pid = 0;
    const HRESULT hr = process->GetServerProcessId(&pid);
    process->Release();
    if (FAILED(hr) || pid == GetCurrentProcessId()) return;
    m_hProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    m_pid = pid;
  }
  DWORD Pid() const { return m_pid; }

  // After the last release: the process must end by itself (it checks a few times a
  // second). Messages are dispatched meanwhile, should it still call back. A process that
  // stays is a test failure, and is ended here.
  void ExpectEnded(DWORD capMs = 30000) {
    if (!m_hProcess) return;
    const ULONGLONG until = GetTickCount64() + capMs;
    DWORD wait = WAIT_TIMEOUT;
    for (;;) {
      const ULONGLONG now = GetTickCount64();
      if (now >= until) break;
      // MWMO_INPUTAVAILABLE: a call the server made back into this apartment may already
      // be queued, seen but left by an earlier filtered PeekMessage; without it the wait
      // would not wake for it, and the server would wait for its answer until the cap.
      wait = MsgWaitForMultipleObjectsEx(1, &m_hProcess, static_cast<DWORD>(until - now),
                                         QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      if (wait != WAIT_OBJECT_0 + 1) break;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    EXPECT_EQ(WAIT_OBJECT_0, wait) << "the executable server (process " << m_pid
                                   << ") still runs after its last object was released";
    Forget(wait != WAIT_OBJECT_0);
  }

 private:
  void Forget(bool terminate) {
    if (!m_hProcess) return;
    if (terminate) TerminateProcess(m_hProcess, 1);
    CloseHandle(m_hProcess);
    m_hProcess = nullptr;
    m_pid = 0;
  }

  HANDLE m_hProcess = nullptr;
  DWORD m_pid = 0;
};
