// Walks a server's item address space and writes it into a tree: one root, branches with
// data -1, leaves with their index into m_itemIds. Through the DA 3.0 IOPCBrowse where the
// server offers it (a level per call, item IDs included), else through the 2.0
// IOPCBrowseServerAddressSpace; the tree is the same either way.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "ComPtr.h"
#include "OpcBrowseLevel.h"
#include "OpcUiPorts.h"
#include "opcda.h"

class COpcBrowser {
 public:
  // Names are fetched this many at a time.
  static constexpr ULONG kBatchSize = 2000;
  // Anything deeper is taken for a naming cycle a repeat check cannot see (a branch that
  // lists a child of its own name), which would otherwise recurse until the stack runs
  // out. Branches at this depth get their leaves but no sub-branches.
  static constexpr int kMaxTreeDepth = 32;
  // Whole-build budgets, so a faulty or enormous server cannot hang the program: nodes far
  // above the 100,000-item server's 105,478, and a time budget like server discovery's but
  // three times as long, since that server's build into a real tree-view control takes
  // 3 to 8 s on a busy machine. What was built stays, and the tree says it is incomplete.
  static constexpr size_t kMaxNodes = 1000000;
  static constexpr DWORD kBuildBudgetMs = 30000;
  // Built-in text of the note (the program shows it in the user's language).
  static inline const wchar_t* const kIncompleteText = OpcBuiltInText(OpcUiText::BrowseIncomplete);

  COpcBrowser() = default;
  COpcBrowser(const COpcBrowser&) = delete;
  COpcBrowser& operator=(const COpcBrowser&) = delete;

  // Releases any previous browse interfaces and queries the server for both; a failed
  // query leaves none of that kind. Returns S_OK when either is there, else the 2.0
  // query's result (E_POINTER without a server).
  HRESULT Attach(IOPCServer* pServer);
  void Detach() {
    m_pBrowse.Release();
    m_pBrowse3.Release();
  }
  BOOL CanBrowse() const { return m_pBrowse || m_pBrowse3 ? TRUE : FALSE; }
  // Whether the last build went through IOPCBrowse.
  bool BuiltWithDa3() const { return m_bDa3; }

  void SetBrowseRootName(const std::wstring& name) { m_strRootName = name; }
  void SetBrowseFilter(const std::wstring& filter) { m_strFilter = filter; }
  const std::wstring& GetBrowseFilter() const { return m_strFilter; }
  void SetBrowseDataType(VARTYPE vt) { m_vtFilter = vt; }
  VARTYPE GetBrowseDataType() const { return m_vtFilter; }
  void SetBrowseAccessRights(BYTE rights) { m_bAccessFilter = rights; }
  BYTE GetBrowseAccessRights() const { return m_bAccessFilter; }

  // Remembers the tree and rebuilds it from the server; filters apply from here on.
  void BuildBrowseTree(IOpcTree* pTree);
  // The same tree, built as it is opened: the root's children now, every other branch's
  // when ListBranch is called for it (the tree marks such a branch expandable). A leaf's
  // item ID is asked for when it is first used. Across a process boundary every call costs
  // about a millisecond, and the whole walk of a large server takes minutes. The filters of
  // this build stay in force for its later listings.
  void BuildBrowseTop(IOpcTree* pTree);
  // Lists a branch of the last BuildBrowseTop that was not listed yet; false otherwise.
  bool ListBranch(OpcTreeNode node);
  // Lists every branch not listed yet at and below node.
  void ListSubtree(OpcTreeNode node);
  // The same, from the server's flat listing whatever its organisation: every fully
  // qualified item ID under the root, without walking branches.
  void BuildFlatTree(IOpcTree* pTree);
  // The item ID stored for a leaf's data value; empty for an index that names no entry.
  // A leaf listed by BuildBrowseTop gets it from the server here, once.
  std::wstring GetBrowseItemId(int index);

  // What a position lists (its leaves and its first batch of branches), to see a branch
  // that repeats the position it was entered from: a server that answers success without
  // moving does that at every level.
  struct Listing {
    uint64_t hash = 0;
    size_t count = 0;
    bool operator==(const Listing& o) const { return hash == o.hash && count == o.count; }
  };

  // The steps of a build, in the order BuildBrowseTree uses them.
  HRESULT MoveToRoot();
  HRESULT MoveToNode(OpcTreeNode node);
  void FillFlat();
  void FillHierarchical();
  // The node's leaves, then its branches (each filled before the next); `from` is the
  // listing of its parent's position, none for the root.
  void FillChildren(OpcTreeNode node, int depth, const Listing* from);
  // Branches listed by BuildBrowseTop and not opened yet: whether each may have children
  // is asked of the server when a level holds at most this many; larger levels mark all.
  static constexpr size_t kMaxProbes = 32;
  std::wstring GetFullItemId(LPWSTR name);

  // The millisecond clock of the time budget; tests drive their own.
  DWORD(WINAPI* m_tick)() = ::GetTickCount;

  TComPtr<IOPCBrowseServerAddressSpace> m_pBrowse;
  TComPtr<IOPCBrowse> m_pBrowse3;
  // Builds use IOPCBrowse when offered; off, they take the 2.0 browse (comparisons).
  bool m_bUseDa3 = true;
  // Elements asked for per IOPCBrowse call; 0 leaves the page size to the server.
  DWORD m_nPageSize = 0;
  // Upward steps when the depth of the browse position is unknown (at the start of a
  // build); otherwise the climb stops at the server's refusal, at most that depth + 1.
  int m_nMaxUpSteps = kMaxTreeDepth + 1;
  std::wstring m_strRootName = L"Root";
  IOpcTree* m_pTree = nullptr;
  int m_nOrganization = OPC_NS_HIERARCHIAL;
  std::wstring m_strFilter = L"*";
  VARTYPE m_vtFilter = VT_EMPTY;
  BYTE m_bAccessFilter = OPC_READABLE | OPC_WRITEABLE;
  std::vector<std::wstring> m_itemIds;
  // Per entry of m_itemIds: the leaf's branch while its item ID is still to be asked for
  // (the entry then holds the leaf's name), otherwise nullptr.
  std::vector<OpcTreeNode> m_idPending;

 private:
  // The access filter as the server gets it: the 8-bit value widened with its sign.
  DWORD AccessRightsArgument() const;
  OpcTreeNode InsertRoot();
  // Inserts a node under parent with the given data; nullptr if the tree refused it or a
  // budget ran out.
  OpcTreeNode InsertNode(const std::wstring& text, OpcTreeNode parent, int32_t data);
  bool OverBudget();
  void StartBudget();
  void Build(IOpcTree* pTree, bool flat);
  // The browse position at node, from where it is if known.
  HRESULT MoveTo(OpcTreeNode node);
  // Whether the branch just entered lists anything (below the root only S_OK counts).
  bool Probe(const std::wstring& name);
  void ListPending(OpcTreeNode node);
  // The DA 3.0 build: one level's leaves (filters applied) and branches, in the server's
  // order; fails as Browse did on the first page.
  HRESULT ListLevel3(const std::wstring& where, std::vector<OpcBrowseElement>& leaves,
                     std::vector<OpcBrowseElement>& branches);
  void Fill3Hierarchical();
  // Returns the level's result; E_NOTIMPL has the 2.0 browse list the node instead.
  HRESULT Fill3Children(OpcTreeNode node, int depth);
  void Fill3Flat(const std::wstring& where, OpcTreeNode root, int depth);
  // Whether the branch lists anything under the filters of this build.
  bool Probe3(const std::wstring& itemId);

  // A branch listed but not opened: its depth and its parent position's listing.
  struct Unlisted {
    int depth;
    Listing from;
    size_t order;  // listed in the order they were found
  };
  bool m_bLazy = false;     // branches are listed when opened
  bool m_bLazyIds = false;  // item IDs are asked for when used
  bool m_bDa3 = false;      // this build goes through IOPCBrowse
  // The item ID of every branch the DA 3.0 build may still list ("" for the root).
  std::unordered_map<OpcTreeNode, std::wstring> m_branchIds;
  std::unordered_map<OpcTreeNode, Unlisted> m_unlisted;
  // The filters of the last build, for its later listings.
  std::wstring m_buildFilter = L"*";
  VARTYPE m_buildVt = VT_EMPTY;
  BYTE m_buildAccess = OPC_READABLE | OPC_WRITEABLE;
  OpcTreeNode m_atNode = nullptr;  // the node of the browse position; nullptr unknown

  OpcTreeNode m_hRoot = nullptr;  // the root is known by identity, never by its text
  int m_nPositionDepth = -1;      // levels below the root of the browse position; -1 unknown
  size_t m_nNodes = 0;
  DWORD m_dwStart = 0;
  bool m_bStopped = false;     // a budget ran out: nothing more is listed
  bool m_bIncomplete = false;  // a budget or a repeating branch cut the build short
};
