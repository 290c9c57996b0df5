// Builds the browse tree of "Plover.SimServer.Large.1" (100,000 bulk items plus the
// standard content) a few times and prints the median. Figures only; nothing is asserted.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <commctrl.h>

#include "FakeUiPorts.h"
#include "OpcBrowser.h"
#include "OpcTreePort.h"
#include "SimControl.h"

namespace {

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

void Print(const char* what, std::vector<double> ms, size_t nodes, size_t ids) {
  std::sort(ms.begin(), ms.end());
  std::printf("  %s: nodes %zu, item IDs %zu, runs %zu\n", what, nodes, ids, ms.size());
  std::printf("    median %.1f ms, min %.1f ms, max %.1f ms\n", ms[ms.size() / 2], ms.front(),
              ms.back());
}

// The same build into a real (hidden) tree-view control, as the program does it.
void RunTreeView(COpcBrowser& browser, int runs) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  HWND hTree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_OVERLAPPEDWINDOW | TVS_HASLINES, 0, 0, 300,
                               400, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hTree) {
    std::printf("  tree-view control: not created, skipped\n");
    return;
  }
  COpcTreePort port(hTree);
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    double t0 = Now();
    browser.BuildBrowseTree(&port);
    ms.push_back(Now() - t0);
  }
  size_t nodes = static_cast<size_t>(SendMessageW(hTree, TVM_GETCOUNT, 0, 0));
  Print("real tree-view control", ms, nodes, browser.m_itemIds.size());
  DestroyWindow(hTree);
}

int Run(int runs) {
  CLSID clsid;
  TComPtr<IOPCServer> server;
  if (FAILED(CLSIDFromProgID(PLOVER_SIM_LARGE_PROGID, &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IOPCServer),
                              server.PutVoid()))) {
    std::printf("cannot create %ls (is PloverSim.dll registered?)\n", PLOVER_SIM_LARGE_PROGID);
    return 1;
  }
  COpcBrowser browser;
  if (FAILED(browser.Attach(server.Get()))) {
    std::printf("no browse interface\n");
    return 1;
  }
  browser.SetBrowseRootName(PLOVER_SIM_LARGE_PROGID);
  std::vector<double> ms;
  size_t nodes = 0;
  for (int i = 0; i < runs; ++i) {
    FakeTree tree;
    double t0 = Now();
    browser.BuildBrowseTree(&tree);
    ms.push_back(Now() - t0);
    nodes = tree.m_nodes.size();
  }
  std::printf("browse_bench: %ls, hierarchical build\n", PLOVER_SIM_LARGE_PROGID);
  Print("in-memory tree", ms, nodes, browser.m_itemIds.size());
  RunTreeView(browser, runs);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  if (runs < 1) runs = 1;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int rc = Run(runs);
  CoUninitialize();
  return rc;
}
