// Builds the browse tree of "Plover.SimServer.Large.1" (100,000 bulk items plus the
// standard content) a few times and prints the median: into memory, and into a real
// tree-view up to its first paint, eagerly and through the port. Figures only.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <commctrl.h>

#include "BenchClock.h"
#include "FakeUiPorts.h"
#include "OpcBrowser.h"
#include "OpcTreePort.h"
#include "SimControl.h"

namespace {

void Print(const char* what, std::vector<double> ms, size_t nodes, size_t ids) {
  std::sort(ms.begin(), ms.end());
  std::printf("  %s: nodes %zu, item IDs %zu, runs %zu\n", what, nodes, ids, ms.size());
  std::printf("    median %.1f ms, min %.1f ms, max %.1f ms\n", ms[ms.size() / 2], ms.front(),
              ms.back());
}

// The yardstick: every node goes into the control as it is built (how the port worked
// before it kept its own node model), one insert message per node.
class CEagerTreePort : public IOpcTree {
 public:
  explicit CEagerTreePort(HWND hTree) : m_hTree(hTree) {}
  void DeleteAllItems() override {
    SendMessageW(m_hTree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    m_texts.clear();
  }
  OpcTreeNode InsertItem(const std::wstring& text, OpcTreeNode parent, int32_t data) override {
    TVINSERTSTRUCTW tvi = {};
    tvi.hParent = parent ? static_cast<HTREEITEM>(parent) : TVI_ROOT;
    tvi.hInsertAfter = TVI_LAST;
    tvi.item.mask = TVIF_TEXT | TVIF_PARAM;
    tvi.item.pszText = const_cast<LPWSTR>(text.c_str());
    tvi.item.lParam = data;
    auto h = reinterpret_cast<HTREEITEM>(
        SendMessageW(m_hTree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tvi)));
    if (h) m_texts[h] = text;
    return h;
  }
  void SetItemData(OpcTreeNode, int32_t) override {}
  OpcTreeNode GetParentItem(OpcTreeNode node) override {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(m_hTree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(node)));
  }
  std::wstring GetItemText(OpcTreeNode node) override { return m_texts[node]; }
  void SelectCaret(OpcTreeNode node) override {
    SendMessageW(m_hTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
  }
  void Expand(OpcTreeNode node) override {
    SendMessageW(m_hTree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(node));
  }

 private:
  HWND m_hTree;
  std::map<OpcTreeNode, std::wstring> m_texts;
};

// The same build into a real tree-view control, as the program does it, then one paint.
template <class Port>
void RunTreeView(COpcBrowser& browser, int runs, const char* what) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  HWND hTree = CreateWindowExW(0, WC_TREEVIEWW, L"",
                               WS_OVERLAPPEDWINDOW | WS_VISIBLE | TVS_HASLINES | TVS_HASBUTTONS, 0,
                               0, 300, 400, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hTree) {
    std::printf("  tree-view control: not created, skipped\n");
    return;
  }
  Port port(hTree);
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    double t0 = NowMs();
    browser.BuildBrowseTree(&port);
    InvalidateRect(hTree, nullptr, TRUE);
    UpdateWindow(hTree);
    ms.push_back(NowMs() - t0);
  }
  size_t nodes = static_cast<size_t>(SendMessageW(hTree, TVM_GETCOUNT, 0, 0));
  Print(what, ms, nodes, browser.m_itemIds.size());
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
    double t0 = NowMs();
    browser.BuildBrowseTree(&tree);
    ms.push_back(NowMs() - t0);
    nodes = tree.m_nodes.size();
  }
  std::printf("browse_bench: %ls, hierarchical build\n", PLOVER_SIM_LARGE_PROGID);
  Print("in-memory tree", ms, nodes, browser.m_itemIds.size());
  RunTreeView<CEagerTreePort>(browser, runs, "real tree-view, every node inserted (before)");
  RunTreeView<COpcTreePort>(browser, runs, "real tree-view, branches filled when opened");
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
