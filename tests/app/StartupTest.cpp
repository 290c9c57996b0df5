// Process start-up: OLE failure, command-line switches, the stream formats and the log file.
#include <thread>

#include "AppFixture.h"
#include "LogFile.h"
#include "StartupSplash.h"
#include "OpcStreamFormats.h"
#include "resource.h"

namespace {

using StartupTest = AppFixture;

TEST_F(StartupTest, OleFailureShowsMessageAndNoWindow) {
  // A thread already in the multithreaded apartment cannot become an STA.
  BOOL bStarted = TRUE;
  HWND hMain = nullptr;
  std::thread t([&] {
    ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CPloverApp app;
    bStarted = app.InitInstance();
    hMain = app.m_pMainWnd ? app.m_pMainWnd->m_hWnd : nullptr;
    app.ExitInstance();
    ::CoUninitialize();
  });
  t.join();
  EXPECT_FALSE(bStarted);
  EXPECT_EQ(nullptr, hMain);
  ASSERT_EQ(1u, m_runner.boxes.size());
  EXPECT_EQ(L"AfxOleInit失败!", m_runner.boxes[0].text);
  EXPECT_EQ(L"Plover", m_runner.boxes[0].caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK), m_runner.boxes[0].type);
}

TEST_F(StartupTest, SplashIsOffOnlyForEmbeddingOrAutomation) {
  m_bKeepSplash = TRUE;
  ASSERT_TRUE(Start());
  EXPECT_TRUE(IsStartupSplashEnabled());
  EXPECT_NE(nullptr, CStartupSplash::GetCurrent());
  Stop();
  EXPECT_EQ(nullptr, CStartupSplash::GetCurrent()) << "gone with its owner";
  ASSERT_TRUE(Start(L"/Embedding"));
  EXPECT_FALSE(IsStartupSplashEnabled());
  EXPECT_EQ(nullptr, CStartupSplash::GetCurrent());
  EXPECT_EQ(L"Larkspur - Plover CLIENT 2.0", Frame()->GetWindowText()) << "still a new document";
  Stop();
  ASSERT_TRUE(Start(L"-Automation"));
  EXPECT_FALSE(IsStartupSplashEnabled());
  Stop();
  ASSERT_TRUE(Start(L"/dde"));
  EXPECT_TRUE(IsStartupSplashEnabled());
}

// A box shown while the splash is up belongs to the main window even when the splash was the
// last active popup: a box the splash owned would vanish with it after its 1.5 s.
TEST_F(StartupTest, BoxWhileTheSplashShowsBelongsToTheMainWindow) {
  m_bKeepSplash = TRUE;
  ASSERT_TRUE(Start());
  CStartupSplash* pSplash = CStartupSplash::GetCurrent();
  ASSERT_NE(nullptr, pSplash);
  ::SetForegroundWindow(pSplash->m_hWnd);
  ::SetActiveWindow(pSplash->m_hWnd);
  ASSERT_TRUE(PumpUntil([&] { return ::GetLastActivePopup(Frame()->m_hWnd) == pSplash->m_hWnd; },
                        "the splash to be the frame's last active popup"));
  AfxMessageBox(L"box", MB_OK);
  ASSERT_EQ(1u, m_runner.boxes.size());
  EXPECT_EQ(Frame()->m_hWnd, m_runner.boxes[0].owner);
}

TEST(CommandLineTest, StandardSwitchesAndFileName) {
  CCommandLineInfo plain;
  plain.ParseCommandLine(L"");
  EXPECT_EQ(CCommandLineInfo::FileNew, plain.m_nShellCommand);
  EXPECT_TRUE(plain.m_bShowSplash);

  CCommandLineInfo open;
  open.ParseCommandLine(L"\"C:\\a b\\c.plv\"");
  EXPECT_EQ(CCommandLineInfo::FileOpen, open.m_nShellCommand);
  EXPECT_EQ(L"C:\\a b\\c.plv", open.m_strFileName);

  CCommandLineInfo print;
  print.ParseCommandLine(L"/pt c.plv Printer Driver Port");
  EXPECT_EQ(CCommandLineInfo::FilePrintTo, print.m_nShellCommand);
  EXPECT_EQ(L"c.plv", print.m_strFileName);
  EXPECT_EQ(L"Printer", print.m_strPrinterName);
  EXPECT_EQ(L"Driver", print.m_strDriverName);
  EXPECT_EQ(L"Port", print.m_strPortName);

  CCommandLineInfo embedded;
  embedded.ParseCommandLine(L"-Embedding");
  EXPECT_TRUE(embedded.m_bRunEmbedded);
  EXPECT_FALSE(embedded.m_bShowSplash);
  EXPECT_EQ(CCommandLineInfo::FileNew, embedded.m_nShellCommand);
}

TEST(StreamFormatsTest, RegisteredWithTheirExactNames) {
  COpcStreamFormats formats;
  const std::pair<UINT, const wchar_t*> expected[] = {
      {formats.m_cfData, L"OPCSTMFORMATDATA"},
      {formats.m_cfDataTime, L"OPCSTMFORMATDATATIME"},
      {formats.m_cfWriteComplete, L"OPCSTMFORMATWRITECOMPLETE"}};
  for (const auto& [cf, name] : expected) {
    ASSERT_GE(cf, 0xC000u) << "registered formats live at 0xC000 and above";
    wchar_t buf[64] = {};
    ASSERT_GT(::GetClipboardFormatNameW(cf, buf, 64), 0);
    EXPECT_STREQ(name, buf);
  }
  EXPECT_NE(formats.m_cfData, formats.m_cfDataTime);
  EXPECT_NE(formats.m_cfDataTime, formats.m_cfWriteComplete);
  EXPECT_EQ(formats.m_cfData, COpcStreamFormats().m_cfData)
      << "the same number in every registration";
}

TEST(LogFileTest, OpensTruncatingAndFailsSilently) {
  wchar_t base[MAX_PATH];
  ::GetTempPathW(MAX_PATH, base);
  std::wstring dir = std::wstring(base) + L"plover_log_" + std::to_wstring(::GetCurrentProcessId());
  ::CreateDirectoryW(dir.c_str(), nullptr);
  std::wstring path = dir + L"\\plover.log";
  WriteFileText(path, "yesterday's log");
  {
    CLogFile log(path.c_str());
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(0, FileSize(path));
  }
  EXPECT_EQ(0, FileSize(path));
  ::DeleteFileW(path.c_str());
  // A name that cannot be a file (it is a directory): no file, no complaint.
  ::CreateDirectoryW(path.c_str(), nullptr);
  {
    CLogFile log(path.c_str());
    EXPECT_FALSE(log.IsOpen());
  }
  ::RemoveDirectoryW(path.c_str());
  ::RemoveDirectoryW(dir.c_str());
}

TEST(ResourcesTest, PicturesHaveTheSizesTheirUsersExpect) {
  struct Expected {
    UINT id;
    int cx, cy, bits;  // bits 0: any depth
  } pictures[] = {{IDR_MAINFRAME, 7 * 16, 16, 0},
                  {IDB_ABOUT, 107, 71, 8},
                  {IDB_BANNER_END, 799, 54, 8},
                  {IDB_BANNER, 799, 54, 8},
                  {IDB_SPLASH, 425, 283, 8}};
  for (const Expected& e : pictures) {
    HBITMAP hBmp =
        static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(e.id),
                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(nullptr, hBmp) << e.id;
    DIBSECTION ds{};
    ASSERT_EQ(static_cast<int>(sizeof(ds)), ::GetObjectW(hBmp, sizeof(ds), &ds)) << e.id;
    EXPECT_EQ(e.cx, ds.dsBm.bmWidth) << e.id;
    EXPECT_EQ(e.cy, ds.dsBm.bmHeight) << e.id;
    if (e.bits) {
      EXPECT_EQ(e.bits, ds.dsBm.bmBitsPixel) << e.id;
    }
    ::DeleteObject(hBmp);
  }
  for (UINT id : {IDR_MAINFRAME, IDR_PLOVERTYPE, IDI_LIGHT_RED, IDI_LIGHT_GREEN}) {
    HICON hIcon = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
    EXPECT_NE(nullptr, hIcon) << id;
    if (hIcon) ::DestroyIcon(hIcon);
  }
}

}  // namespace
