// Saving and opening a workspace of 10,000 items in two groups, in the real program (frame,
// views, client core) against "Plover.SimServer.Large.1":
//  1. the file's text alone: written from memory, read and checked;
//  2. File Open end to end: disconnect, connect (with its browse tree), groups, items, rows;
//     the connect alone is timed too, so the items' share shows;
//  3. File Save end to end: the live workspace taken from the client core, written through
//     a temporary file and renamed.
// Prints medians; asserts nothing.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "BenchClock.h"
#include "BrowseView.h"
#include "MainFrm.h"
#include "BulkWorkspace.h"
#include "PloverApp.h"
#include "PloverDoc.h"
#include "PloverView.h"
#include "SimControl.h"
#include "Workspace.h"
#include "WorkspaceFile.h"

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const bool quick = GetEnvironmentVariableW(L"PLOVER_BENCH_QUICK", nullptr, 0) > 0;
  const int runs = quick ? 1 : 5;

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"plover_workspace_bench.plover";
  const std::wstring saved = std::wstring(temp) + L"plover_workspace_bench_saved.plover";

  std::string text;
  workspace::Error err;
  std::vector<double> write, read;
  const workspace::Workspace ws = BulkWorkspace(PLOVER_SIM_LARGE_PROGID, 2, 5000);
  for (int r = 0; r < 21; ++r) {
    double t0 = NowMs();
    workspace::Write(ws, text, err);
    double t1 = NowMs();
    workspace::Workspace back;
    workspace::Read(text.data(), text.size(), back, err);
    read.push_back(NowMs() - t1);
    write.push_back(t1 - t0);
  }
  WriteFileReplacing(path, text);
  std::printf("workspace_bench: 10,000 items in 2 groups on %ls, file %zu bytes\n",
              PLOVER_SIM_LARGE_PROGID, text.size());
  std::printf("  text written from memory:  median %.2f ms\n", Median(write));
  std::printf("  text read and checked:     median %.2f ms\n", Median(read));

  auto app = std::make_unique<CPloverApp>();
  if (!app->InitInstance()) return 1;
  auto* frame = dynamic_cast<CMainFrame*>(app->m_pMainWnd);
  Pump();
  CBrowseView* view = frame->GetBrowseView();
  HWND list = frame->GetItemView()->m_hWnd;

  std::vector<double> connect, open, save;
  for (int r = 0; r < runs; ++r) {
    double t0 = NowMs();
    frame->ConnectServer(PLOVER_SIM_LARGE_PROGID, L"");
    connect.push_back(NowMs() - t0);
    if (!view->m_server.IsConnected()) {
      std::printf("cannot connect to %ls (is PloverSim.dll registered?)\n",
                  PLOVER_SIM_LARGE_PROGID);
      return 1;
    }
    frame->DisconnectServer();

    t0 = NowMs();
    app->OpenDocumentFile(path.c_str());
    Pump();  // the list draws the added rows once
    open.push_back(NowMs() - t0);
    const long rows = long(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (rows != 10000) std::printf("  (run %d: %ld rows, not 10,000)\n", r + 1, rows);

    auto* doc = dynamic_cast<CPloverDoc*>(frame->GetActiveDocument());
    t0 = NowMs();
    doc->OnSaveDocument(saved);
    save.push_back(NowMs() - t0);
    frame->DisconnectServer();
    Pump();
  }
  std::printf("  connect alone (with its browse tree):          median %.0f ms\n", Median(connect));
  std::printf("  File Open end to end (connect, groups, items): median %.0f ms\n", Median(open));
  std::printf("  so the 10,000 items and their rows:            about %.0f ms\n",
              Median(open) - Median(connect));
  std::printf("  File Save end to end:                          median %.1f ms\n", Median(save));
  std::string back;
  ReadWorkspaceFile(saved, back);
  std::printf("  saved file %s the opened one\n",
              back == text ? "is identical to" : "differs from");
  DeleteFileW(path.c_str());
  DeleteFileW(saved.c_str());
  return 0;
}
