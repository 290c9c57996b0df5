// Drives the real application in-process: constructs CPloverApp, runs InitInstance, pumps
// messages and closes it again. Modal UI is answered by a recording runner, and the
// profile goes to a private registry key so parallel tests do not share a recent-file list.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MainFrm.h"
#include "ModalRunner.h"
#include "PloverApp.h"

struct RecordedMessageBox {
  std::wstring text;
  std::wstring caption;
  UINT type;
  HWND owner;
};

class RecordingRunner : public CModalRunner {
 public:
  int MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption,
                 UINT type) override {
    boxes.push_back({text, caption, type, owner});
    if (answers.empty()) return IDOK;
    const int answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
  INT_PTR RunDialog(CDialog& dlg, HWND) override {
    dialogs.push_back(dlg.m_nIDTemplate);
    return IDCANCEL;
  }
  // Answers the next file dialog with this path, or cancels when it is empty.
  BOOL GetFileName(OPENFILENAMEW& ofn, BOOL bOpen) override {
    fileDialogs.push_back(bOpen);
    // The filter's pairs, "name|pattern|...", and the extension a bare name gets.
    lastFilter.clear();
    for (const wchar_t* p = ofn.lpstrFilter; p && *p; p += lstrlenW(p) + 1)
      lastFilter += std::wstring(p) + L"|";
    lastDefExt = ofn.lpstrDefExt ? ofn.lpstrDefExt : L"";
    if (nextFile.empty() || nextFile.size() + 1 > ofn.nMaxFile) return FALSE;
    lstrcpyW(ofn.lpstrFile, nextFile.c_str());
    return TRUE;
  }
  // Cancels, or answers with printDC when one is set (the printing code then owns it).
  BOOL PrintDialog(PRINTDLGW& pd) override {
    ++printDialogs;
    if (!printDC) return FALSE;
    pd.hDC = printDC;
    printDC = nullptr;
    return TRUE;
  }

  std::vector<RecordedMessageBox> boxes;
  std::vector<UINT> dialogs;
  std::vector<BOOL> fileDialogs;
  std::wstring lastFilter, lastDefExt;
  std::vector<int> answers;  // the next boxes' answers, then IDOK
  std::wstring nextFile;
  int printDialogs = 0;
  HDC printDC = nullptr;
};

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the application with that command line; FALSE when InitInstance failed.
  BOOL Start(const std::wstring& cmdLine = std::wstring());
  // Closes the main window (if any) and ends the application.
  void Stop();
  // Handles waiting messages and one idle pass, repeatedly for at least ms milliseconds.
  void Pump(DWORD ms = 0);
  // Pumps until cond holds; fails the test naming what was awaited after a generous cap (a
  // busy machine may be slow, a fault never comes).
  bool PumpUntil(const std::function<bool()>& cond, const char* what, DWORD capMs = 30000);
  CMainFrame* Frame() const;
  // Sends a menu command the way a menu click does.
  void Command(UINT id);
  // Runs the frame's menu update on the top-level popup with this position.
  HMENU OpenPopup(int nPos);
  // A fresh directory under %TEMP% for this test.
  std::wstring TempDir();

  std::unique_ptr<CPloverApp> m_app;
  RecordingRunner m_runner;
  // Start() closes the start-up splash (it would swallow the first key or click) unless set.
  BOOL m_bKeepSplash = FALSE;
  HKEY m_hProfileRoot = nullptr;
  std::wstring m_strProfileKey;
  std::vector<std::wstring> m_tempDirs;
};

std::wstring ReadMenuString(HMENU hMenu, UINT nPos);
LONGLONG FileSize(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
void WriteFileText(const std::wstring& path, const char* text);
