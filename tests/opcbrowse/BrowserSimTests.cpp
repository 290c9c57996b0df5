// Trees built from the simulation servers, reached through the registry as the program
// reaches any server.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "FakeUiPorts.h"
#include "OpcBrowser.h"
#include "ServerProcess.h"
#include "SimControl.h"
#include "SimProcess.h"
#include "SimServer.h"

namespace {

using Texts = std::vector<std::wstring>;

DWORD g_clock = 0;
DWORD WINAPI JumpingClock() {
  return g_clock += 1000;
}

bool Has(const Texts& texts, const std::wstring& t) {
  return std::find(texts.begin(), texts.end(), t) != texts.end();
}

class SimBrowser : public testing::Test {
 protected:
  void Connect(const wchar_t* progId) {
    m_progId = progId;
    ASSERT_EQ(S_OK, CreateSimServer(progId, server)) << "is PloverSim.dll registered?";
    ASSERT_EQ(S_OK, control.QueryFrom(server.Get()));
    // These are the 2.0 browse's own rules; Da3BrowseTests compares the two.
    browser.m_bUseDa3 = false;
  }
  void Build() {
    browser.SetBrowseRootName(m_progId);
    browser.BuildBrowseTree(&tree);
  }
  FakeTree::Node* Root() const { return tree.m_top.empty() ? nullptr : tree.m_top[0]; }
  LONG LiveEnumerators() {
    PloverSimLiveCounts counts{};
    EXPECT_EQ(S_OK, control->GetLiveCounts(&counts));
    return counts.enumerators;
  }
  // Every leaf of the tree with the item ID its position spells ("." between levels).
  std::vector<std::pair<const FakeTree::Node*, std::wstring>> Leaves() const {
    std::vector<std::pair<const FakeTree::Node*, std::wstring>> out;
    std::function<void(const FakeTree::Node*, const std::wstring&)> walk =
        [&](const FakeTree::Node* n, const std::wstring& path) {
          for (const FakeTree::Node* c : n->children) {
            std::wstring id = path.empty() ? c->text : path + L"." + c->text;
            if (c->data >= 0) out.emplace_back(c, id);
            walk(c, id);
          }
        };
    if (Root()) walk(Root(), L"");
    return out;
  }

  std::wstring m_progId;
  TComPtr<IOPCServer> server;
  TComPtr<IPloverSimControl> control;
  COpcBrowser browser;
  FakeTree tree;
};

TEST_F(SimBrowser, HierarchicalTreeHoldsTheServersBranchesAndFullItemIds) {
  Connect(PLOVER_SIM_PROGID);
  ASSERT_EQ(S_OK, browser.Attach(server.Get()));
  ASSERT_TRUE(browser.CanBrowse());
  Build();

  FakeTree::Node* root = Root();
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(1u, tree.m_top.size());
  EXPECT_EQ(PLOVER_SIM_PROGID, root->text);
  EXPECT_EQ(-1, root->data);
  EXPECT_EQ(root, tree.m_caret);
  EXPECT_TRUE(root->expanded);
  Texts top = FakeTree::Texts(root);
  for (const wchar_t* b :
       {L"Signals", L"Types", L"Arrays", L"Access", L"Quality", L"EU", L"Deep", L"Many", L"Names"})
    EXPECT_TRUE(Has(top, b)) << testing::PrintToString(std::wstring(b));
  // The root lists its leaves, then its branches, like every other node.
  ASSERT_FALSE(top.empty());
  EXPECT_EQ(L"Heartbeat", top[0]) << "a leaf at the root comes first";
  EXPECT_EQ(L"Heartbeat", browser.GetBrowseItemId(root->children[0]->data));
  // A branch named like the root node is entered like any other.
  FakeTree::Node* named = tree.Find({PLOVER_SIM_PROGID, PLOVER_SIM_PROGID});
  ASSERT_NE(nullptr, named);
  EXPECT_EQ(Texts{L"Value"}, FakeTree::Texts(named));
  EXPECT_EQ(L"Plover.SimServer.1.Value", browser.GetBrowseItemId(named->children[0]->data));
  EXPECT_TRUE(tree.m_status.empty()) << "a complete tree says nothing";

  Texts names = FakeTree::Texts(tree.Find({PLOVER_SIM_PROGID, L"Names"}));
  for (const wchar_t* n : {L"Name With Spaces", L"温度", L"压力 Pressure", L"说明", L"中文 分支"})
    EXPECT_TRUE(Has(names, n)) << testing::PrintToString(std::wstring(n));
  EXPECT_EQ(Texts{L"状态"},
            FakeTree::Texts(tree.Find({PLOVER_SIM_PROGID, L"Names", L"中文 分支"})));
  EXPECT_EQ(5000u, tree.Find({PLOVER_SIM_PROGID, L"Many"})->children.size());

  // Every leaf's data is its own index, and the ID stored there is the one its path spells.
  auto leaves = Leaves();
  ASSERT_EQ(browser.m_itemIds.size(), leaves.size());
  std::vector<bool> seen(leaves.size());
  size_t wrong = 0;
  for (auto& [leaf, id] : leaves) {
    ASSERT_LT(static_cast<size_t>(leaf->data), seen.size());
    EXPECT_FALSE(seen[static_cast<size_t>(leaf->data)]);
    seen[static_cast<size_t>(leaf->data)] = true;
    if (browser.GetBrowseItemId(leaf->data) != id) ++wrong;
  }
  EXPECT_EQ(0u, wrong);
  FakeTree::Node* temp = tree.Find({PLOVER_SIM_PROGID, L"Names", L"温度"});
  ASSERT_NE(nullptr, temp);
  EXPECT_EQ(L"Names.温度", browser.GetBrowseItemId(temp->data));
  EXPECT_EQ(-1, tree.Find({PLOVER_SIM_PROGID, L"Names", L"中文 分支"})->data);
  EXPECT_EQ(0, LiveEnumerators());
}

TEST_F(SimBrowser, DeepNestingIsClimbedFromAnyDepth) {
  Connect(PLOVER_SIM_PROGID);
  ASSERT_EQ(S_OK, browser.Attach(server.Get()));
  Build();
  // Thirty levels below "Deep", each with its Value; the climb back to the root goes on
  // until the server refuses, so the deepest branch is listed as well as the first.
  FakeTree::Node* n = tree.Find({PLOVER_SIM_PROGID, L"Deep"});
  std::wstring id = L"Deep";
  for (int level = 1; level <= 30 && n; ++level) {
    FakeTree::Node* next = nullptr;
    for (FakeTree::Node* c : n->children)
      if (c->text == L"Level" + std::to_wstring(level)) next = c;
    ASSERT_NE(nullptr, next) << "Level" << level;
    n = next;
    id += L".Level" + std::to_wstring(level);
    ASSERT_FALSE(n->children.empty()) << "Level" << level;
    EXPECT_EQ(L"Value", n->children[0]->text);
    EXPECT_EQ(id + L".Value", browser.GetBrowseItemId(n->children[0]->data));
  }
  ASSERT_NE(nullptr, n);
  EXPECT_EQ(Texts{L"Value"}, FakeTree::Texts(n));
}

// A faulty server answers ChangeBrowsePosition with a success code without moving: every
// branch then lists the root again. Such a branch gets no children, and a build that runs
// out of its budgets keeps what it built; either way the user is told once.
TEST_F(SimBrowser, RepeatingListingsAndBudgetsEndTheBuild) {
  Connect(PLOVER_SIM_PROGID);
  ASSERT_EQ(S_OK, browser.Attach(server.Get()));
  // A fresh server object is at its root, where it then stays.
  ASSERT_EQ(S_OK, control->FailMethod(L"IOPCBrowseServerAddressSpace::ChangeBrowsePosition",
                                      S_FALSE, TRUE));
  Build();
  FakeTree::Node* root = Root();
  ASSERT_NE(nullptr, root);
  Texts top = FakeTree::Texts(root);
  EXPECT_TRUE(Has(top, L"Heartbeat"));
  EXPECT_TRUE(Has(top, L"Signals"));
  for (const FakeTree::Node* c : root->children) {
    EXPECT_TRUE(c->children.empty()) << testing::PrintToString(c->text);
  }
  EXPECT_EQ(1 + top.size(), tree.m_nodes.size());
  EXPECT_EQ(Texts{COpcBrowser::kIncompleteText}, tree.m_status);
  EXPECT_EQ(0, LiveEnumerators());

  // The time budget: a clock that jumps a second per reading stops the build after about
  // thirty nodes listed, with the root and the nodes so far kept.
  ASSERT_EQ(S_OK, control->ClearFailures());
  tree.m_status.clear();
  Build();
  const size_t complete = tree.m_nodes.size();
  EXPECT_TRUE(tree.m_status.empty());
  g_clock = 0;
  browser.m_tick = JumpingClock;
  tree.m_status.clear();
  Build();
  EXPECT_GT(tree.m_nodes.size(), 1u);
  EXPECT_LT(tree.m_nodes.size(), complete / 2);
  EXPECT_TRUE(Root()->expanded);
  EXPECT_EQ(Texts{COpcBrowser::kIncompleteText}, tree.m_status);
  EXPECT_EQ(0, LiveEnumerators());
  browser.m_tick = ::GetTickCount;
  tree.m_status.clear();
  Build();
  EXPECT_EQ(complete, tree.m_nodes.size()) << "the next build starts a new budget";
  EXPECT_TRUE(tree.m_status.empty());
}

TEST_F(SimBrowser, FiltersApplyToLeavesAtTheNextBuild) {
  Connect(PLOVER_SIM_PROGID);
  ASSERT_EQ(S_OK, browser.Attach(server.Get()));
  Build();
  size_t all = browser.m_itemIds.size();

  browser.SetBrowseFilter(L"R*");
  EXPECT_EQ(all, browser.m_itemIds.size()) << "a filter alone does not rebuild";
  Build();
  EXPECT_EQ((Texts{L"Random", L"RandomReal", L"Ramp"}),
            FakeTree::Texts(tree.Find({PLOVER_SIM_PROGID, L"Signals"})));
  EXPECT_TRUE(Has(FakeTree::Texts(tree.Find({PLOVER_SIM_PROGID, L"Names"})), L"中文 分支"))
      << "branches are listed whatever the name filter";
  EXPECT_LT(browser.m_itemIds.size(), all);

  browser.SetBrowseFilter(L"*");
  browser.SetBrowseDataType(VT_BOOL);
  Build();
  EXPECT_EQ(Texts{L"Boolean"}, FakeTree::Texts(tree.Find({PLOVER_SIM_PROGID, L"Types"})));
  EXPECT_EQ(Texts{L"Square"}, FakeTree::Texts(tree.Find({PLOVER_SIM_PROGID, L"Signals"})));

  browser.SetBrowseDataType(VT_EMPTY);
  browser.SetBrowseAccessRights(OPC_WRITEABLE);
  Build();
  EXPECT_EQ((Texts{L"WriteOnly", L"ReadWrite"}),
            FakeTree::Texts(tree.Find({PLOVER_SIM_PROGID, L"Access"})));
  browser.SetBrowseAccessRights(OPC_READABLE);
  Build();
  EXPECT_EQ((Texts{L"ReadOnly", L"ReadWrite"}),
            FakeTree::Texts(tree.Find({PLOVER_SIM_PROGID, L"Access"})));
  EXPECT_EQ(0, LiveEnumerators());
}

TEST_F(SimBrowser, FlatServerListsItemIdsUnderTheRoot) {
  Connect(PLOVER_SIM_FLAT_PROGID);
  ASSERT_EQ(S_OK, browser.Attach(server.Get()));
  Build();
  FakeTree::Node* root = Root();
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(PLOVER_SIM_FLAT_PROGID, root->text);
  Texts ids = FakeTree::Texts(root);
  for (const wchar_t* id :
       {L"Heartbeat", L"Signals.Ramp", L"Names.中文 分支.状态", L"Many.Item5000",
        L"Deep.Level1.Level2.Level3.Level4.Level5.Level6.Level7.Level8.Level9."
        L"Level10.Level11.Level12.Level13.Level14.Level15.Level16.Level17.Level18.Level19."
        L"Level20.Level21.Level22.Level23.Level24.Level25.Level26.Level27.Level28.Level29."
        L"Level30.Value"})
    EXPECT_TRUE(Has(ids, id)) << testing::PrintToString(std::wstring(id));
  size_t wrong = 0;
  for (size_t i = 0; i < root->children.size(); ++i) {
    const FakeTree::Node* leaf = root->children[i];
    if (leaf->data != static_cast<int32_t>(i) || !leaf->children.empty() ||
        browser.GetBrowseItemId(leaf->data) != leaf->text)
      ++wrong;
  }
  EXPECT_EQ(0u, wrong);
  EXPECT_EQ(root->children.size(), browser.m_itemIds.size());
  EXPECT_EQ(0, LiveEnumerators());
}

TEST_F(SimBrowser, ServerWithoutBrowsingGetsNoTree) {
  Connect(PLOVER_SIM_PROGID);
  ASSERT_EQ(S_OK, browser.Attach(server.Get()));
  Build();
  ASSERT_FALSE(tree.m_nodes.empty());

  TComPtr<IOPCServer> plain;
  ASSERT_EQ(S_OK, CreateSimServer(PLOVER_SIM_NOBROWSE_PROGID, plain));
  EXPECT_TRUE(FAILED(browser.Attach(plain.Get())));
  EXPECT_FALSE(browser.CanBrowse());
  Build();
  EXPECT_TRUE(tree.m_nodes.empty());
  EXPECT_TRUE(browser.m_itemIds.empty());
}

// The tree built as it is opened, from the server in this process and from the executable
// server through the proxy/stub, against the whole build from this process: opened all the
// way down it holds the same nodes in the same order with the same item IDs, and every
// branch showed it could open exactly when it had children. Filters are those of the build.
class OpenedTree : public testing::TestWithParam<const wchar_t*> {};

TEST_P(OpenedTree, OpenedAllTheWayItEqualsTheWholeBuild) {
  struct Filters {
    const wchar_t* name;
    VARTYPE vt;
    BYTE access;
  };
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(GetParam(), &clsid)) << "is the server registered?";
  TComPtr<IOPCServer> subject, reference;
  ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IOPCServer, subject.PutVoid()));
  ServerProcessWatch serverProcess;
  serverProcess.Watch(subject.Get());
  ASSERT_EQ(S_OK, CreateSimServer(PLOVER_SIM_PROGID, reference));
  for (const Filters& f : {Filters{L"*", VT_EMPTY, OPC_READABLE | OPC_WRITEABLE},
                           Filters{L"S*", VT_I2, OPC_WRITEABLE}}) {
    SCOPED_TRACE(testing::PrintToString(f.name));
    COpcBrowser whole, opened;
    FakeTree wholeTree, openedTree;
    for (auto [browser, server] : {std::pair{&whole, reference.Get()}, {&opened, subject.Get()}}) {
      ASSERT_EQ(S_OK, browser->Attach(server));
      browser->SetBrowseRootName(L"Root");
      browser->SetBrowseFilter(f.name);
      browser->SetBrowseDataType(f.vt);
      browser->SetBrowseAccessRights(f.access);
    }
    whole.BuildBrowseTree(&wholeTree);
    opened.BuildBrowseTop(&openedTree);
    ASSERT_EQ(1u, openedTree.m_top.size());
    for (const FakeTree::Node* n : openedTree.m_top[0]->children)
      EXPECT_TRUE(n->children.empty()) << "only the top level at first";
    opened.SetBrowseFilter(L"no such name");  // counts from the next build on

    size_t compared = 0, manyLeaves = 0, idsCompared = 0;
    std::function<void(const FakeTree::Node*, FakeTree::Node*, const std::wstring&)> walk =
        [&](const FakeTree::Node* w, FakeTree::Node* o, const std::wstring& path) {
          ++compared;
          ASSERT_EQ(w->text, o->text) << path;
          ASSERT_EQ(w->data >= 0, o->data >= 0) << path;
          if (w->data >= 0) {
            // Each ID is a call across processes: of Many's 5,000 leaves, a few.
            if (path.rfind(L"/Many/", 0) == 0 && ++manyLeaves % 1000 != 1) return;
            ++idsCompared;
            ASSERT_EQ(whole.GetBrowseItemId(w->data), opened.GetBrowseItemId(o->data)) << path;
            return;
          }
          if (w != wholeTree.m_top[0]) {
            EXPECT_EQ(!w->children.empty(), o->expandable) << path << " shows it can open";
          }
          if (o->expandable) opened.ListBranch(o);
          ASSERT_EQ(FakeTree::Texts(w), FakeTree::Texts(o)) << path;
          for (size_t i = 0; i < w->children.size(); ++i)
            walk(w->children[i], o->children[i], path + L"/" + o->children[i]->text);
        };
    walk(wholeTree.m_top[0], openedTree.m_top[0], L"");
    EXPECT_EQ(wholeTree.m_nodes.size(), compared);
    EXPECT_GT(idsCompared, f.vt == VT_EMPTY ? 50u : 0u);
    FakeTree::Node* leaf = openedTree.Find({L"Root", L"Names", L"中文 分支", L"状态"});
    if (f.vt == VT_EMPTY) {
      EXPECT_EQ(L"Names.中文 分支.状态", leaf ? opened.GetBrowseItemId(leaf->data) : L"")
          << "a string from the other process arrives whole";
    }
  }
  subject.Release();
  serverProcess.ExpectEnded();
}

INSTANTIATE_TEST_SUITE_P(Servers, OpenedTree,
                         testing::Values(PLOVER_SIM_PROGID, PLOVER_SIM_LOCAL_PRIVATE_PROGID),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                           return std::string(info.index == 0 ? "InProcess" : "OwnProcess");
                         });

}  // namespace
