#include "AppFixture.h"

#include <shellapi.h>

#include "StartupSplash.h"

void AppFixture::SetUp() {
  SetModalRunner(&m_runner);
  // HKCU is redirected for this process to a key of its own.
  m_strProfileKey = L"Software\\PloverTests\\" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                    std::to_wstring(::GetTickCount());
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, m_strProfileKey.c_str(), 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &m_hProfileRoot, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(HKEY_CURRENT_USER, m_hProfileRoot));
}

void AppFixture::TearDown() {
  Stop();
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  if (m_hProfileRoot) {
    ::RegCloseKey(m_hProfileRoot);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, m_strProfileKey.c_str());
  }
  SetModalRunner(nullptr);
  for (const std::wstring& dir : m_tempDirs) {
    std::wstring from = dir + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
  }
}

BOOL AppFixture::Start(const std::wstring& cmdLine) {
  m_app = std::make_unique<CPloverApp>();
  m_app->m_strCmdLine = cmdLine;
  BOOL bOk = m_app->InitInstance();
  if (!m_bKeepSplash) HideStartupSplash();
  Pump();
  return bOk;
}

void AppFixture::Stop() {
  if (!m_app) return;
  if (m_app->m_pMainWnd && m_app->m_pMainWnd->m_hWnd) {
    ::SendMessageW(m_app->m_pMainWnd->m_hWnd, WM_CLOSE, 0, 0);
    Pump();
  }
  m_app->ExitInstance();
  m_app.reset();
  // Drop the WM_QUIT the closing frame posted, so the next start is not affected.
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

void AppFixture::Pump(DWORD ms) {
  DWORD start = ::GetTickCount();
  do {
    if (m_app) {
      m_app->PumpWaitingMessages();
    } else {
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
    if (ms) ::Sleep(10);
  } while (::GetTickCount() - start < ms);
}

bool AppFixture::PumpUntil(const std::function<bool()>& cond, const char* what, DWORD capMs) {
  for (DWORD start = ::GetTickCount(); !cond();) {
    if (::GetTickCount() - start > capMs) {
      ADD_FAILURE() << "still waiting after " << capMs << " ms for: " << what;
      return false;
    }
    Pump();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

CMainFrame* AppFixture::Frame() const {
  return m_app ? dynamic_cast<CMainFrame*>(m_app->m_pMainWnd) : nullptr;
}

void AppFixture::Command(UINT id) {
  ::SendMessageW(Frame()->m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0);
  Pump();
}

HMENU AppFixture::OpenPopup(int nPos) {
  HMENU hPopup = ::GetSubMenu(::GetMenu(Frame()->m_hWnd), nPos);
  ::SendMessageW(Frame()->m_hWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hPopup),
                 MAKELPARAM(nPos, FALSE));
  return hPopup;
}

std::wstring AppFixture::TempDir() {
  wchar_t base[MAX_PATH];
  ::GetTempPathW(MAX_PATH, base);
  std::wstring dir = std::wstring(base) + L"plover_app_" +
                     std::to_wstring(::GetCurrentProcessId()) + L"_" +
                     std::to_wstring(m_tempDirs.size());
  ::CreateDirectoryW(dir.c_str(), nullptr);
  m_tempDirs.push_back(dir);
  return dir;
}

std::wstring ReadMenuString(HMENU hMenu, UINT nPos) {
  wchar_t buf[256] = {};
  ::GetMenuStringW(hMenu, nPos, buf, 256, MF_BYPOSITION);
  return buf;
}

LONGLONG FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  char buf[65536];
  DWORD n = 0;
  while (::ReadFile(h, buf, sizeof(buf), &n, nullptr) && n > 0) bytes.append(buf, n);
  ::CloseHandle(h);
  return bytes;
}

void WriteFileText(const std::wstring& path, const char* text) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  DWORD n = 0;
  ::WriteFile(h, text, static_cast<DWORD>(strlen(text)), &n, nullptr);
  ::CloseHandle(h);
}
