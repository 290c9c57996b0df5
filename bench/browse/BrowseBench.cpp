// Builds the browse tree of "Plover.SimServer.Large.1" (100,000 bulk items plus the
// standard content) a few times and prints the median. Figures only; nothing is asserted.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "FakeUiPorts.h"
#include "OpcBrowser.h"
#include "SimControl.h"

namespace {

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
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
  std::vector<double> sorted = ms;
  std::sort(sorted.begin(), sorted.end());
  std::printf("browse_bench: %ls, hierarchical build into an in-memory tree\n",
              PLOVER_SIM_LARGE_PROGID);
  std::printf("  nodes %zu, leaves (item IDs) %zu, runs %d\n", nodes, browser.m_itemIds.size(),
              runs);
  std::printf("  median %.1f ms, min %.1f ms, max %.1f ms\n", sorted[sorted.size() / 2],
              sorted.front(), sorted.back());
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
