// The DA 3.0 browse (IOPCBrowse) against the 2.0 browse of the same address space: the same
// tree node for node, at any page size, with every filter, built whole or as it is opened;
// and servers that offer only one of the two.
#include <gtest/gtest.h>

#include <functional>

#include "FakeUiPorts.h"
#include "OpcBrowser.h"
#include "OpcItemIo.h"
#include "OpcItemProperties.h"
#include "ServerProcess.h"
#include "SimControl.h"
#include "SimProcess.h"
#include "SimServer.h"

namespace {

using Lines = std::vector<std::wstring>;

// The tree as lines: depth, text, the leaf's item ID ("-" for a branch), and with marks a
// "+" for a branch still to be opened.
Lines Dump(const FakeTree& tree, COpcBrowser& browser, bool marks) {
  Lines out;
  std::function<void(const FakeTree::Node*, int)> walk = [&](const FakeTree::Node* n, int d) {
    std::wstring line = std::to_wstring(d) + L" " + n->text + L" ";
    line += n->data >= 0 ? browser.GetBrowseItemId(n->data) : L"-";
    if (marks && n->expandable) line += L" +";
    out.push_back(line);
    for (const FakeTree::Node* c : n->children) walk(c, d + 1);
  };
  for (const FakeTree::Node* top : tree.m_top) walk(top, 0);
  return out;
}

// Where two dumps first differ, for a readable failure.
std::string FirstDifference(const Lines& a, const Lines& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i])
      return "line " + std::to_string(i) + ": " + testing::PrintToString(a[i]) + " vs " +
             testing::PrintToString(b[i]);
  return a.size() == b.size()
             ? ""
             : "lengths " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
}

// A server object that answers only the DA 1.0/2.0 interfaces of the one it wraps: a
// server without DA 3.0.
class CDa2Only : public IUnknown {
 public:
  explicit CDa2Only(IUnknown* inner) : m_inner(inner) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid == IID_IUnknown) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    if (riid == IID_IOPCServer || riid == IID_IOPCBrowseServerAddressSpace ||
        riid == IID_IOPCItemProperties)
      return m_inner->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

 private:
  TComPtr<IUnknown> m_inner;
};

struct Filter {
  const wchar_t* name;
  VARTYPE vt;
  BYTE access;
};
const Filter kFilters[] = {
    {L"*", VT_EMPTY, OPC_READABLE | OPC_WRITEABLE},
    {L"R*", VT_EMPTY, OPC_READABLE | OPC_WRITEABLE},
    {L"*", VT_BOOL, OPC_READABLE | OPC_WRITEABLE},
    {L"*", VT_EMPTY, OPC_WRITEABLE},
    {L"*", VT_EMPTY, OPC_READABLE},
    {L"温*", VT_EMPTY, 0},
    {L"*", VT_R8, OPC_WRITEABLE},
};

class Da3Browse : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, CreateSimServer(PLOVER_SIM_PROGID, server));
    for (COpcBrowser* b : {&two, &three}) {
      ASSERT_EQ(S_OK, b->Attach(server.Get()));
      b->SetBrowseRootName(L"Root");
    }
    two.m_bUseDa3 = false;
  }
  void SetFilter(const Filter& f) {
    for (COpcBrowser* b : {&two, &three}) {
      b->SetBrowseFilter(f.name);
      b->SetBrowseDataType(f.vt);
      b->SetBrowseAccessRights(f.access);
    }
  }
  void ExpectSameTree(const char* what) {
    const Lines a = Dump(tree2, two, false), b = Dump(tree3, three, false);
    EXPECT_EQ("", FirstDifference(a, b)) << what;
    EXPECT_FALSE(two.BuiltWithDa3());
    EXPECT_TRUE(three.BuiltWithDa3());
    EXPECT_TRUE(tree3.m_status.empty()) << what;
  }

  TComPtr<IOPCServer> server;
  COpcBrowser two, three;
  FakeTree tree2, tree3;
};

}  // namespace

TEST_F(Da3Browse, SameTreeAsThe20BrowseWithEveryFilterAndPageSize) {
  for (const Filter& f : kFilters) {
    SetFilter(f);
    two.BuildBrowseTree(&tree2);
    three.BuildBrowseTree(&tree3);
    ExpectSameTree(testing::PrintToString(std::wstring(f.name)).c_str());
    EXPECT_GT(tree3.m_nodes.size(), 12u);
  }
  // Page sizes around a level's length: one, exactly the level, one more, and a size that
  // splits the 5,000 leaves of Many unevenly.
  SetFilter(kFilters[0]);
  two.BuildBrowseTree(&tree2);
  std::vector<OpcBrowseElement> root;
  ASSERT_EQ(S_OK, BrowseLevel(three.m_pBrowse3.Get(), OpcLevelRequest{}, root));
  ASSERT_GT(root.size(), 5u);
  for (DWORD page : {DWORD{1}, static_cast<DWORD>(root.size()), static_cast<DWORD>(root.size() + 1),
                     DWORD{999}}) {
    three.m_nPageSize = page;
    three.BuildBrowseTree(&tree3);
    ExpectSameTree(("page " + std::to_string(page)).c_str());
  }
  // A level read in pages is the level read at once, in the same order.
  OpcLevelRequest paged;
  paged.maxElements = 1;
  std::vector<OpcBrowseElement> pages;
  ASSERT_EQ(S_OK, BrowseLevel(three.m_pBrowse3.Get(), paged, pages));
  ASSERT_EQ(root.size(), pages.size());
  for (size_t i = 0; i < root.size(); ++i) EXPECT_EQ(root[i].itemId, pages[i].itemId) << i;

  // A server whose Browse is not implemented gets the 2.0 browse, the same tree.
  TComPtr<IPloverSimControl> control;
  ASSERT_EQ(S_OK, control.QueryFrom(server.Get()));
  ASSERT_EQ(S_OK, control->FailMethod(L"IOPCBrowse::Browse", E_NOTIMPL, TRUE));
  three.m_nPageSize = 0;
  three.BuildBrowseTree(&tree3);
  EXPECT_FALSE(three.BuiltWithDa3());
  EXPECT_EQ("", FirstDifference(Dump(tree2, two, false), Dump(tree3, three, false)));
}

TEST_F(Da3Browse, OpenedLevelByLevelAsThe20BrowseWithoutAskingForItemIds) {
  two.BuildBrowseTop(&tree2);
  three.BuildBrowseTop(&tree3);
  EXPECT_EQ("", FirstDifference(Dump(tree2, two, true), Dump(tree3, three, true)));
  for (auto path : {std::initializer_list<std::wstring>{L"Root", L"Names"},
                    std::initializer_list<std::wstring>{L"Root", L"Deep"},
                    std::initializer_list<std::wstring>{L"Root", L"Many"}}) {
    EXPECT_TRUE(two.ListBranch(tree2.Find(path)));
    EXPECT_TRUE(three.ListBranch(tree3.Find(path)));
    EXPECT_FALSE(three.ListBranch(tree3.Find(path))) << "listed once";
    EXPECT_EQ("", FirstDifference(Dump(tree2, two, true), Dump(tree3, three, true)));
  }
  // Item IDs came with the elements: none waits for a call of its own.
  for (OpcTreeNode pending : three.m_idPending) EXPECT_EQ(nullptr, pending);
  two.ListSubtree(tree2.m_top[0]);
  three.ListSubtree(tree3.m_top[0]);
  const Lines opened = Dump(tree3, three, false);
  EXPECT_EQ("", FirstDifference(Dump(tree2, two, false), opened));
  // Opened all the way down, it is the tree built whole.
  FakeTree whole;
  three.BuildBrowseTree(&whole);
  EXPECT_EQ("", FirstDifference(Dump(whole, three, false), opened));
}

TEST_F(Da3Browse, ServersWithOnlyOneOfTheTwoBrowsesAndTheirProperties) {
  two.BuildBrowseTree(&tree2);
  const Lines reference = Dump(tree2, two, false);
  FakeTree flat2;
  two.BuildFlatTree(&flat2);
  const Lines flatReference = Dump(flat2, two, false);
  std::vector<OpcPropertyRow> rows2;
  ASSERT_EQ(S_OK, ListItemProperties(server.Get(), L"EU.Enumerated", rows2, false));

  // Without DA 3.0: the 2.0 browse, the 2.0 properties, no group-less read.
  CDa2Only old(server.Get());
  IOPCServer* oldServer = nullptr;
  ASSERT_EQ(S_OK, old.QueryInterface(IID_IOPCServer, reinterpret_cast<void**>(&oldServer)));
  COpcBrowser b;
  ASSERT_EQ(S_OK, b.Attach(reinterpret_cast<IOPCServer*>(&old)));
  EXPECT_FALSE(b.m_pBrowse3);
  b.SetBrowseRootName(L"Root");
  FakeTree t;
  b.BuildBrowseTree(&t);
  EXPECT_FALSE(b.BuiltWithDa3());
  EXPECT_EQ("", FirstDifference(reference, Dump(t, b, false)));
  std::vector<OpcPropertyRow> rows;
  EXPECT_EQ(S_OK, ListItemProperties(reinterpret_cast<IOPCServer*>(&old), L"EU.Enumerated", rows));
  EXPECT_EQ(rows2.size(), rows.size());
  std::vector<std::unique_ptr<COpcItem>> read;
  std::vector<HRESULT> errors;
  EXPECT_EQ(E_NOINTERFACE,
            ReadByItemIo(reinterpret_cast<IOPCServer*>(&old), {L"Types.Short"}, 0, read, errors));
  std::vector<VARTYPE> types;
  EXPECT_EQ(S_OK, ReadCanonicalTypes(reinterpret_cast<IOPCServer*>(&old),
                                     {L"Types.Short", L"No.Such"}, types, errors));
  EXPECT_EQ((std::vector<VARTYPE>{VT_I2, VT_EMPTY}), types);
  EXPECT_TRUE(FAILED(errors[1]));
  oldServer->Release();

  // The DA 3.0 properties in one call: the same rows as the 2.0 ones.
  ASSERT_EQ(S_OK, ListItemProperties(server.Get(), L"EU.Enumerated", rows, true));
  ASSERT_EQ(rows2.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows2[i].id, rows[i].id);
    EXPECT_EQ(rows2[i].name, rows[i].name);
    if (rows[i].id != OPC_PROPERTY_TIMESTAMP) {
      EXPECT_EQ(rows2[i].value, rows[i].value) << i;
    }
  }
  EXPECT_TRUE(FAILED(ListItemProperties(server.Get(), L"No.Such", rows, true)));
  EXPECT_TRUE(rows.empty());

  // A server that browses only through IOPCBrowse, in a process of its own.
  ExpectLocalServerRegistered(PLOVER_SIM_LOCAL_DA3ONLY_PROGID);
  if (HasFatalFailure()) return;
  ServerProcessWatch process;
  {
    TComPtr<IOPCServer> only;
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromProgID(PLOVER_SIM_LOCAL_DA3ONLY_PROGID, &clsid));
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                                     only.PutVoid()));
    process.Watch(only.Get());
    COpcBrowser c;
    ASSERT_EQ(S_OK, c.Attach(only.Get()));
    EXPECT_TRUE(c.CanBrowse());
    EXPECT_FALSE(c.m_pBrowse);
    c.SetBrowseRootName(L"Root");
    FakeTree onlyTree, onlyFlat;
    c.m_nPageSize = 7;  // continuation points across the process boundary
    c.BuildBrowseTree(&onlyTree);
    EXPECT_TRUE(c.BuiltWithDa3());
    EXPECT_EQ("", FirstDifference(reference, Dump(onlyTree, c, false)));
    c.BuildFlatTree(&onlyFlat);
    EXPECT_EQ("", FirstDifference(flatReference, Dump(onlyFlat, c, false)));
  }
  process.ExpectEnded();
}
