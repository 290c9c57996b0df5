// The browser's exact calls, against a scripted server of our own.
#include <gtest/gtest.h>

#include <map>

#include "FakeUiPorts.h"
#include "OpcBrowser.h"
#include "ScriptedBrowse.h"

namespace {

using Calls = std::vector<std::wstring>;

class ScriptedBrowser : public testing::Test {
 protected:
  void Attach() {
    ScriptServer server(&browse);
    ASSERT_EQ(S_OK, browser.Attach(&server));
  }
  void Build(const std::wstring& root = L"Srv") {
    Attach();
    browser.SetBrowseRootName(root);
    browser.BuildBrowseTree(&tree);
    browser.Detach();
  }
  // Every string handed out was freed exactly once, and no enumerator is left.
  void ExpectAllReleased() const {
    std::map<void*, size_t> handed;
    for (void* p : log.handedOut) ++handed[p];
    size_t wrong = 0;
    for (auto& [p, n] : handed)
      if (frees.FreeCount(p) != n) ++wrong;
    EXPECT_EQ(0u, wrong) << "of " << log.handedOut.size() << " strings handed out";
    EXPECT_EQ(0, log.enumsLive);
    EXPECT_EQ(1u, browse.m_ref) << "the browser keeps no reference after Detach";
  }
  FakeTree::Node* Root() const { return tree.m_top.empty() ? nullptr : tree.m_top[0]; }

  ScriptLog log;
  ScriptBrowse browse{&log};
  COpcBrowser browser;
  FakeTree tree;
  TaskMemWatch frees;
};

std::vector<std::wstring> Numbered(const wchar_t* prefix, int count) {
  std::vector<std::wstring> names;
  for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_wstring(i));
  return names;
}

TEST_F(ScriptedBrowser, FlatSpaceFetchesInBatchesOf2000AndFreesEveryName) {
  browse.m_organization = OPC_NS_FLAT;
  browse.m_flatNames = Numbered(L"Tag.", 4500);
  browser.SetBrowseFilter(L"Tag*");
  browser.SetBrowseDataType(VT_R8);
  browser.SetBrowseAccessRights(0x81);  // widened with its sign
  Build();

  EXPECT_EQ((Calls{L"BROWSE:3:Tag*:5:4294967169@"}), log.Only(L"BROWSE"));
  EXPECT_EQ((Calls{L"NEXT:2000>2000", L"NEXT:2000>2000", L"NEXT:2000>500"}), log.Only(L"NEXT"));
  EXPECT_EQ((Calls{L"UP"}), log.Only(L"UP")) << "a flat space refuses the first step up";
  EXPECT_TRUE(log.Only(L"ID:").empty()) << "a flat space's names are the item IDs";

  FakeTree::Node* root = Root();
  ASSERT_NE(nullptr, root);
  ASSERT_EQ(1u, tree.m_top.size());
  EXPECT_EQ(L"Srv", root->text);
  EXPECT_EQ(-1, root->data);
  EXPECT_EQ(root, tree.m_caret);
  EXPECT_TRUE(root->expanded);
  ASSERT_EQ(4500u, root->children.size());
  for (int i : {0, 1999, 2000, 4499}) {
    FakeTree::Node* leaf = root->children[static_cast<size_t>(i)];
    EXPECT_EQ(L"Tag." + std::to_wstring(i), leaf->text);
    EXPECT_EQ(i, leaf->data);
    EXPECT_EQ(leaf->text, browser.GetBrowseItemId(leaf->data));
  }
  EXPECT_EQ(L"", browser.GetBrowseItemId(4500)) << "past the end";
  EXPECT_EQ(L"", browser.GetBrowseItemId(-1)) << "a branch's data";
  ExpectAllReleased();
}

TEST_F(ScriptedBrowser, HierarchicalWalkReturnsToTheRootBeforeEveryNode) {
  browse.AddLeaf(L"", L"AtRoot");
  browse.AddLeaf(L"A", L"a1");
  browse.AddLeaf(L"A", L"a2");
  browse.AddLeaf(L"A/B", L"b1");
  browse.AddBranch(L"C");
  Build();

  // One climb and descent per node (the climb ends where the server refuses), then the
  // node's leaves and its first batch of branches are listed before anything is inserted.
  const Calls expected = {L"ORG", L"UP", L"BROWSE:2:*:0:3@", L"NEXT:2000>1", L"BROWSE:1:*:0:0@",
                          L"NEXT:2000>2", L"ID:AtRoot@",
                          // A: leaves, then branches
                          L"UP", L"DOWN:A", L"BROWSE:2:*:0:3@A", L"NEXT:2000>2",
                          L"BROWSE:1:*:0:0@A", L"NEXT:2000>1", L"ID:a1@A", L"ID:a2@A",
                          // A/B, from inside A's branch enumeration
                          L"UP", L"UP", L"DOWN:A", L"DOWN:B", L"BROWSE:2:*:0:3@A/B", L"NEXT:2000>1",
                          L"BROWSE:1:*:0:0@A/B", L"ID:b1@A/B",
                          // C: nothing below it (S_FALSE stops both lists before any Next)
                          L"UP", L"UP", L"UP", L"DOWN:C", L"BROWSE:2:*:0:3@C", L"BROWSE:1:*:0:0@C"};
  EXPECT_EQ(expected, log.calls);

  FakeTree::Node* root = Root();
  ASSERT_NE(nullptr, root);
  EXPECT_EQ((Calls{L"AtRoot", L"A", L"C"}), FakeTree::Texts(root)) << "the root's leaf first";
  EXPECT_EQ(L"AtRoot", browser.GetBrowseItemId(root->children[0]->data));
  EXPECT_EQ((Calls{L"a1", L"a2", L"B"}), FakeTree::Texts(tree.Find({L"Srv", L"A"})));
  FakeTree::Node* b1 = tree.Find({L"Srv", L"A", L"B", L"b1"});
  ASSERT_NE(nullptr, b1);
  EXPECT_EQ(L"A.B.b1", browser.GetBrowseItemId(b1->data));
  EXPECT_EQ(-1, tree.Find({L"Srv", L"A", L"B"})->data);
  EXPECT_EQ(L"A.a2", browser.GetBrowseItemId(tree.Find({L"Srv", L"A", L"a2"})->data));
  EXPECT_EQ(4u, browser.m_itemIds.size());
  ExpectAllReleased();
}

TEST_F(ScriptedBrowser, FailuresBelowTheTopLevelLeaveThatPartEmpty) {
  browse.AddLeaf(L"A", L"a1");
  browse.AddLeaf(L"A", L"a2");
  browse.AddLeaf(L"A/B", L"b1");
  browse.AddLeaf(L"C", L"c1");
  browse.AddLeaf(L"C/D", L"d1");
  browse.AddLeaf(L"E/F", L"f1");
  browse.m_failIds = {L"a2"};
  // The top level takes any success code; below it only S_OK counts.
  browse.SetBrowseResult(OPC_BRANCH, L"", S_FALSE);
  browse.SetBrowseResult(OPC_LEAF, L"C", S_FALSE);
  browse.SetBrowseResult(OPC_BRANCH, L"A", E_FAIL);
  browse.SetNullEnum(OPC_BRANCH, L"E");  // "success" without an enumerator
  Build();

  EXPECT_EQ((Calls{L"A", L"C", L"E"}), FakeTree::Texts(Root()));
  EXPECT_EQ((Calls{L"a1", L"a2"}), FakeTree::Texts(tree.Find({L"Srv", L"A"})));
  EXPECT_EQ((Calls{L"D"}), FakeTree::Texts(tree.Find({L"Srv", L"C"})));
  EXPECT_TRUE(FakeTree::Texts(tree.Find({L"Srv", L"E"})).empty());
  FakeTree::Node* a2 = tree.Find({L"Srv", L"A", L"a2"});
  ASSERT_NE(nullptr, a2);
  EXPECT_EQ(L"", browser.GetBrowseItemId(a2->data)) << "GetItemID failed";
  EXPECT_EQ(1, a2->data) << "the leaf still takes its index";
  EXPECT_EQ(L"C.D.d1", browser.GetBrowseItemId(tree.Find({L"Srv", L"C", L"D", L"d1"})->data));
  ExpectAllReleased();
}

TEST_F(ScriptedBrowser, BranchNamedLikeTheRootIsEnteredAndDepthIsCapped) {
  browse.AddLeaf(L"A", L"x");
  browse.AddLeaf(L"A/Plant", L"y");
  browse.AddLeaf(L"A/Plant/Z", L"z");
  // Forty levels, a leaf on each: deeper than the cap.
  std::wstring path;
  for (int level = 1; level <= 40; ++level) {
    path += (level > 1 ? L"/D" : L"D") + std::to_wstring(level);
    browse.AddLeaf(path, L"v");
  }
  Build(L"Plant");

  // The root is known by identity: a branch sharing its text is descended into.
  EXPECT_EQ((Calls{L"x", L"Plant"}), FakeTree::Texts(tree.Find({L"Plant", L"A"})));
  EXPECT_EQ((Calls{L"y", L"Z"}), FakeTree::Texts(tree.Find({L"Plant", L"A", L"Plant"})));
  FakeTree::Node* z = tree.Find({L"Plant", L"A", L"Plant", L"Z", L"z"});
  ASSERT_NE(nullptr, z);
  EXPECT_EQ(L"A.Plant.Z.z", browser.GetBrowseItemId(z->data));
  // Branches at the cap get their leaves but no sub-branches.
  EXPECT_EQ(COpcBrowser::kMaxTreeDepth + 1, FakeTree::Depth(Root()));
  EXPECT_TRUE(tree.m_status.empty());
  ExpectAllReleased();
}

TEST_F(ScriptedBrowser, FaultyEnumeratorsCannotLoopOrOverrun) {
  browse.m_organization = OPC_NS_FLAT;
  browse.m_enumFault = ScriptEnum::Fault::OkWithNothing;  // S_OK with no names, for ever
  Build();
  EXPECT_EQ(1u, log.Only(L"NEXT").size());
  EXPECT_TRUE(Root()->children.empty());

  log.calls.clear();
  browse.m_flatNames = Numbered(L"N", 4500);
  browse.m_enumFault = ScriptEnum::Fault::OverReport;  // claims 7 names more than it gave
  Build();
  EXPECT_EQ((Calls{L"NEXT:2000>2007", L"NEXT:2000>2007", L"NEXT:2000>507"}), log.Only(L"NEXT"));
  ASSERT_EQ(4500u, Root()->children.size());
  EXPECT_EQ(L"N4499", Root()->children.back()->text);
  ExpectAllReleased();
}

TEST_F(ScriptedBrowser, AttachQueriesOnceAndDetachReleases) {
  ScriptServer server(&browse);
  ScriptServer without(nullptr);
  ASSERT_EQ(S_OK, browser.Attach(&server));
  EXPECT_TRUE(browser.CanBrowse());
  EXPECT_EQ(2u, browse.m_ref);
  ASSERT_EQ(S_OK, browser.Attach(&server));
  EXPECT_EQ(2u, browse.m_ref) << "the previous reference is released first";
  EXPECT_EQ(E_NOINTERFACE, browser.Attach(&without));
  EXPECT_FALSE(browser.CanBrowse());
  EXPECT_EQ(1u, browse.m_ref);
  EXPECT_EQ(E_POINTER, browser.Attach(nullptr));
  EXPECT_FALSE(browser.CanBrowse());
  ASSERT_EQ(S_OK, browser.Attach(&server));
  browser.Detach();
  EXPECT_FALSE(browser.CanBrowse());
  EXPECT_EQ(1u, browse.m_ref);
  EXPECT_EQ(1u, server.m_ref);
}

TEST_F(ScriptedBrowser, RebuildReplacesTreeAndIndexes) {
  browse.AddLeaf(L"A", L"a1");
  Build();
  ASSERT_EQ(1u, browser.m_itemIds.size());

  // Without the browse interface the tree and the old indexes are gone, nothing is added.
  browser.BuildBrowseTree(&tree);
  EXPECT_TRUE(tree.m_nodes.empty());
  EXPECT_EQ(L"", browser.GetBrowseItemId(0));

  // Neither organization: an empty tree.
  log.calls.clear();
  browse.m_organization = static_cast<OPCNAMESPACETYPE>(7);
  Build();
  EXPECT_TRUE(tree.m_nodes.empty());
  EXPECT_TRUE(log.Only(L"BROWSE").empty());

  // No tree: nothing is touched, not even the stored IDs.
  browse.m_organization = OPC_NS_HIERARCHIAL;
  Build();
  int deletes = tree.m_deleteAllCalls;
  Attach();
  browser.BuildBrowseTree(nullptr);
  EXPECT_EQ(1u, browser.m_itemIds.size());
  EXPECT_EQ(deletes, tree.m_deleteAllCalls);
  browser.Detach();

  // A node the tree refuses does not reappear at the top level with A's children.
  tree.m_refuse = 2;  // the branch A
  Build();
  EXPECT_EQ(1u, tree.m_top.size());
  EXPECT_TRUE(Root()->children.empty());
  ExpectAllReleased();
}

// Built as it is opened: one level at a time, each new branch asked whether it has anything
// to open (up to kMaxProbes a level), item IDs on first use from the leaf's own branch, and
// the build's filters for every later listing.
TEST_F(ScriptedBrowser, OpenedTreeListsALevelAtATimeAndAsksItemIdsOnUse) {
  browse.AddLeaf(L"", L"AtRoot");
  browse.AddLeaf(L"A", L"a1");
  browse.AddLeaf(L"A", L"a2");
  browse.AddLeaf(L"A/B", L"b1");
  browse.AddBranch(L"C");
  browse.AddLeaf(L"D/E", L"e1");
  for (const std::wstring& s : Numbered(L"S", static_cast<int>(COpcBrowser::kMaxProbes) + 1))
    browse.AddBranch(L"Big/" + s);
  Attach();
  browser.SetBrowseRootName(L"Srv");
  browser.BuildBrowseTop(&tree);

  // The root's own lists, then one step down and back for each new branch; no item ID yet.
  const Calls top = {L"ORG",
                     L"UP",
                     L"BROWSE:2:*:0:3@",
                     L"NEXT:2000>1",
                     L"BROWSE:1:*:0:0@",
                     L"NEXT:2000>4",
                     L"DOWN:A",
                     L"BROWSE:1:*:0:0@A",
                     L"UP",
                     L"DOWN:C",
                     L"BROWSE:1:*:0:0@C",
                     L"BROWSE:2:*:0:3@C",
                     L"UP",
                     L"DOWN:D",
                     L"BROWSE:1:*:0:0@D",
                     L"UP",
                     L"DOWN:Big",
                     L"BROWSE:1:*:0:0@Big",
                     L"UP"};
  EXPECT_EQ(top, log.calls);
  FakeTree::Node* root = Root();
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(root, tree.m_caret);
  EXPECT_TRUE(root->expanded);
  EXPECT_EQ((Calls{L"AtRoot", L"A", L"C", L"D", L"Big"}), FakeTree::Texts(root));
  EXPECT_EQ(6u, tree.m_nodes.size()) << "nothing below the top level";
  for (auto [name, openable] : std::vector<std::pair<const wchar_t*, bool>>{
           {L"AtRoot", false}, {L"A", true}, {L"C", false}, {L"D", true}, {L"Big", true}})
    EXPECT_EQ(openable, tree.Find({L"Srv", name})->expandable) << testing::PrintToString(name);

  // A leaf's ID from where the browse position already is, once.
  log.calls.clear();
  const int atRoot = tree.Find({L"Srv", L"AtRoot"})->data;
  EXPECT_EQ(L"AtRoot", browser.GetBrowseItemId(atRoot));
  EXPECT_EQ(L"AtRoot", browser.GetBrowseItemId(atRoot));
  EXPECT_EQ((Calls{L"ID:AtRoot@"}), log.calls);

  // Opening A lists it once (later filters do not count); a1 and a2 need no move.
  browser.SetBrowseFilter(L"x*");
  log.calls.clear();
  FakeTree::Node* a = tree.Find({L"Srv", L"A"});
  EXPECT_TRUE(browser.ListBranch(a));
  EXPECT_FALSE(browser.ListBranch(a)) << "listed already";
  EXPECT_FALSE(browser.ListBranch(tree.Find({L"Srv", L"C"}))) << "nothing to open";
  EXPECT_EQ((Calls{L"a1", L"a2", L"B"}), FakeTree::Texts(a));
  EXPECT_TRUE(tree.Find({L"Srv", L"A", L"B"})->expandable);
  EXPECT_EQ(L"A.a2", browser.GetBrowseItemId(tree.Find({L"Srv", L"A", L"a2"})->data));
  EXPECT_EQ(L"A.a1", browser.GetBrowseItemId(tree.Find({L"Srv", L"A", L"a1"})->data));
  const Calls opened = {
      L"UP",          L"DOWN:A", L"BROWSE:2:*:0:3@A",   L"NEXT:2000>2",        L"BROWSE:1:*:0:0@A",
      L"NEXT:2000>1", L"DOWN:B", L"BROWSE:1:*:0:0@A/B", L"BROWSE:2:*:0:3@A/B", L"UP",
      L"ID:a2@A",     L"ID:a1@A"};
  EXPECT_EQ(opened, log.calls);

  // A level larger than the probe limit: every branch openable, none entered.
  log.calls.clear();
  FakeTree::Node* big = tree.Find({L"Srv", L"Big"});
  EXPECT_TRUE(browser.ListBranch(big));
  ASSERT_EQ(COpcBrowser::kMaxProbes + 1, big->children.size());
  for (FakeTree::Node* s : big->children) EXPECT_TRUE(s->expandable);
  EXPECT_EQ(1u, log.Only(L"DOWN").size()) << "only into Big itself";
  EXPECT_TRUE(browser.ListBranch(big->children[5]));
  EXPECT_TRUE(big->children[5]->children.empty());

  // A subtree add lists everything left below a node, in the order it was found, with the
  // build's filters; the IDs still wait for their use.
  log.calls.clear();
  browser.ListSubtree(a);
  browser.ListSubtree(tree.Find({L"Srv", L"D"}));
  EXPECT_EQ((Calls{L"b1"}), FakeTree::Texts(tree.Find({L"Srv", L"A", L"B"})));
  EXPECT_EQ((Calls{L"e1"}), FakeTree::Texts(tree.Find({L"Srv", L"D", L"E"})));
  EXPECT_TRUE(log.Only(L"ID:").empty());
  for (const std::wstring& call : log.Only(L"BROWSE:2"))
    EXPECT_NE(std::wstring::npos, call.find(L":*:"));
  log.calls.clear();
  EXPECT_EQ(L"D.E.e1", browser.GetBrowseItemId(tree.Find({L"Srv", L"D", L"E", L"e1"})->data));
  EXPECT_EQ(L"A.B.b1", browser.GetBrowseItemId(tree.Find({L"Srv", L"A", L"B", L"b1"})->data));
  EXPECT_EQ((Calls{L"ID:e1@D/E", L"UP", L"UP", L"UP", L"DOWN:A", L"DOWN:B", L"ID:b1@A/B"}),
            log.calls);

  // Without the server nothing more is listed and an ID still to come stays empty.
  browser.BuildBrowseTop(&tree);
  browser.Detach();
  browser.ListBranch(tree.Find({L"Srv", L"A"}));
  EXPECT_TRUE(tree.Find({L"Srv", L"A"})->children.empty());
  EXPECT_EQ(L"", browser.GetBrowseItemId(tree.Find({L"Srv", L"AtRoot"})->data));
  ExpectAllReleased();
}

}  // namespace
