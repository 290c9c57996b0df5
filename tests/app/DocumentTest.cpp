// The document's life: new, open, save, save as, the recent-file list and exit.
#include "AppFixture.h"

namespace {

using DocumentTest = AppFixture;

TEST_F(DocumentTest, SaveWritesTheWorkspaceRenamesAndNeverAsksOnExit) {
  ASSERT_TRUE(Start());
  std::wstring path = TempDir() + L"\\station.plv";
  WriteFileText(path, "old contents that must go");
  m_runner.nextFile = path;

  Command(ID_FILE_SAVE);  // untitled: asks for a name first
  ASSERT_EQ(1u, m_runner.fileDialogs.size());
  EXPECT_FALSE(m_runner.fileDialogs[0]) << "a save dialog, not an open dialog";
  // Disconnected: the format's first line and the browse options, nothing of the old file.
  const std::string saved = ReadFileBytes(path);
  EXPECT_EQ(0u, saved.find("plover-workspace 1\n")) << saved;
  EXPECT_NE(std::string::npos, saved.find("\nbrowse-filter *\n")) << saved;
  EXPECT_EQ(std::string::npos, saved.find("old contents")) << saved;
  EXPECT_EQ(L"station.plv - Plover CLIENT 2.0", Frame()->GetWindowText());

  // Saving again reuses the name without asking.
  WriteFileText(path, "x");
  Command(ID_FILE_SAVE);
  EXPECT_EQ(1u, m_runner.fileDialogs.size());
  EXPECT_EQ(saved, ReadFileBytes(path));
  EXPECT_FALSE(Frame()->GetActiveDocument()->IsModified());

  HWND hFrame = Frame()->m_hWnd;
  ::SendMessageW(hFrame, WM_CLOSE, 0, 0);
  EXPECT_FALSE(::IsWindow(hFrame));
  EXPECT_TRUE(m_runner.boxes.empty()) << "closing never asks to save";
  MSG msg;
  EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
      << "closing ends the loop";
}

TEST_F(DocumentTest, CancelledSaveDialogWritesNothing) {
  ASSERT_TRUE(Start());
  m_runner.nextFile.clear();
  Command(ID_FILE_SAVE_AS);
  EXPECT_EQ(1u, m_runner.fileDialogs.size());
  EXPECT_EQ(L"Larkspur - Plover CLIENT 2.0", Frame()->GetWindowText());
  EXPECT_EQ(0, m_app->GetRecentFileList()->GetSize());
}

TEST_F(DocumentTest, SaveAsFillsRecentFileMenuAndProfile) {
  ASSERT_TRUE(Start());
  std::wstring dir = TempDir();
  std::wstring a = dir + L"\\first.plv", b = dir + L"\\second & more.plv";
  m_runner.nextFile = a;
  Command(ID_FILE_SAVE_AS);
  m_runner.nextFile = b;
  Command(ID_FILE_SAVE_AS);
  m_runner.nextFile = a;
  Command(ID_FILE_SAVE_AS);  // an existing entry moves to the top

  HMENU hFile = OpenPopup(0);
  int pos = -1;
  for (int i = 0; i < ::GetMenuItemCount(hFile); ++i)
    if (::GetMenuItemID(hFile, i) == ID_FILE_MRU_FILE1) pos = i;
  ASSERT_GE(pos, 0);
  EXPECT_EQ(ID_FILE_MRU_FILE2, ::GetMenuItemID(hFile, pos + 1));
  EXPECT_EQ(0u, ::GetMenuItemID(hFile, pos + 2)) << "then the separator before Exit";
  EXPECT_EQ(L"&1 " + a, ReadMenuString(hFile, pos));
  EXPECT_EQ(L"&2 " + dir + L"\\second && more.plv", ReadMenuString(hFile, pos + 1));
  EXPECT_FALSE(::GetMenuState(hFile, ID_FILE_MRU_FILE1, MF_BYCOMMAND) & MF_GRAYED);

  // The list lives under the profile key named after the application title.
  HKEY hKey = nullptr;
  ASSERT_EQ(
      ERROR_SUCCESS,
      ::RegOpenKeyExW(HKEY_CURRENT_USER,
                      L"Software\\Local AppWizard-Generated Applications\\Plover\\Recent File List",
                      0, KEY_READ, &hKey));
  wchar_t value[MAX_PATH] = {};
  DWORD cb = sizeof(value) - sizeof(wchar_t);
  EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(hKey, L"File1", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(value), &cb));
  ::RegCloseKey(hKey);
  EXPECT_EQ(a, value);

  // A later start reads it back, and choosing an entry opens that file as the document.
  Stop();
  ASSERT_TRUE(Start());
  EXPECT_EQ(2, m_app->GetRecentFileList()->GetSize());
  Command(ID_FILE_MRU_FILE2);
  EXPECT_EQ(L"second & more.plv - Plover CLIENT 2.0", Frame()->GetWindowText());
}

TEST_F(DocumentTest, RecentListKeepsFourAndDropsFilesThatCannotBeOpened) {
  ASSERT_TRUE(Start());
  std::wstring dir = TempDir();
  for (int i = 0; i < 5; ++i) {
    m_runner.nextFile = dir + L"\\f" + std::to_wstring(i) + L".plv";
    Command(ID_FILE_SAVE_AS);
  }
  CRecentFileList* pList = m_app->GetRecentFileList();
  ASSERT_EQ(4, pList->GetSize());
  EXPECT_EQ(dir + L"\\f4.plv", (*pList)[0]);
  EXPECT_EQ(dir + L"\\f1.plv", (*pList)[3]);

  ::DeleteFileW((dir + L"\\f3.plv").c_str());
  Command(ID_FILE_MRU_FILE2);
  EXPECT_EQ(1u, m_runner.boxes.size()) << "the framework reports the failed open";
  EXPECT_EQ(L"Plover", m_runner.boxes.at(0).caption);
  EXPECT_EQ(3, pList->GetSize());
  EXPECT_EQ(L"f4.plv - Plover CLIENT 2.0", Frame()->GetWindowText()) << "the document stays";
}

TEST_F(DocumentTest, FileNewAndOpenKeepTheOneDocumentAndRenameIt) {
  ASSERT_TRUE(Start());
  CDocument* pDoc = Frame()->GetActiveDocument();
  // What earlier versions saved: an empty file opens with nothing to restore.
  std::wstring path = TempDir() + L"\\plant.plv";
  WriteFileText(path, "");

  m_runner.nextFile = path;
  Command(ID_FILE_OPEN);
  EXPECT_TRUE(m_runner.fileDialogs.at(0)) << "an open dialog";
  EXPECT_EQ(pDoc, Frame()->GetActiveDocument());
  EXPECT_EQ(L"plant.plv - Plover CLIENT 2.0", Frame()->GetWindowText());
  EXPECT_EQ(0, FileSize(path)) << "opening does not touch the file";

  Command(ID_FILE_NEW);
  EXPECT_EQ(pDoc, Frame()->GetActiveDocument());
  EXPECT_EQ(L"Larkspur - Plover CLIENT 2.0", Frame()->GetWindowText());
  EXPECT_TRUE(m_runner.boxes.empty());
}

TEST_F(DocumentTest, CommandLineFileIsOpenedAsTheDocument) {
  std::wstring path = TempDir() + L"\\line.plv";
  WriteFileText(path, "plover-workspace 1\n");
  ASSERT_TRUE(Start(L"\"" + path + L"\""));
  EXPECT_EQ(L"line.plv - Plover CLIENT 2.0", Frame()->GetWindowText());
  EXPECT_EQ(19, FileSize(path));
  EXPECT_TRUE(m_runner.boxes.empty());
}

// The box is the main window's, never the splash's (whose end would take the box with it),
// and once it is answered the program runs as it would without a file.
TEST_F(DocumentTest, CommandLineFileThatCannotBeOpenedIsReportedAndTheProgramOpens) {
  std::wstring path = TempDir() + L"\\missing.plv";
  m_bKeepSplash = TRUE;
  ASSERT_TRUE(Start(L"\"" + path + L"\""));
  ASSERT_NE(nullptr, Frame());
  EXPECT_TRUE(::IsWindowVisible(Frame()->m_hWnd));
  EXPECT_EQ(L"Larkspur - Plover CLIENT 2.0", Frame()->GetWindowText());
  ASSERT_EQ(1u, m_runner.boxes.size());
  EXPECT_EQ(L"无法打开文档 " + path + L"。", m_runner.boxes[0].text);
  EXPECT_EQ(L"Plover", m_runner.boxes[0].caption);
  // The splash is up all through start-up (its timer needs the message loop).
  EXPECT_EQ(Frame()->m_hWnd, m_runner.boxes[0].owner);
  EXPECT_EQ(0, m_app->GetRecentFileList()->GetSize());
}

TEST_F(DocumentTest, ExitCommandClosesWithoutQuestions) {
  ASSERT_TRUE(Start());
  HWND hFrame = Frame()->m_hWnd;
  Command(ID_APP_EXIT);
  Pump();
  EXPECT_FALSE(::IsWindow(hFrame));
  EXPECT_EQ(nullptr, m_app->m_pMainWnd);
  EXPECT_TRUE(m_runner.boxes.empty());
}

}  // namespace
