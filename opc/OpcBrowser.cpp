#include "OpcBrowser.h"

#include <algorithm>
#include <memory>

namespace {

// Hands every name of the enumerator to handle(LPWSTR), kBatchSize at a time, while Next
// answers exactly S_OK; every name is freed after use. The caller releases the enumerator.
template <class Handler>
void ForEachName(IEnumString* pEnum, Handler&& handle) {
  if (!pEnum) return;  // a "success" without an enumerator lists nothing
  // On the heap: the fill recurses once per tree level with one batch alive on each.
  auto names = std::make_unique<LPOLESTR[]>(COpcBrowser::kBatchSize);
  HRESULT hr;
  do {
    for (ULONG i = 0; i < COpcBrowser::kBatchSize; ++i) names[i] = nullptr;
    ULONG fetched = 0;
    hr = pEnum->Next(COpcBrowser::kBatchSize, names.get(), &fetched);
    // The array holds kBatchSize entries whatever count a faulty server reports.
    if (fetched > COpcBrowser::kBatchSize) fetched = COpcBrowser::kBatchSize;
    for (ULONG i = 0; i < fetched; ++i) {
      if (!names[i]) continue;
      handle(names[i]);
      ::CoTaskMemFree(names[i]);
    }
    // S_OK with nothing fetched would ask again for ever.
    if (fetched == 0) break;
  } while (hr == S_OK);
}

}  // namespace

HRESULT COpcBrowser::Attach(IOPCServer* pServer) {
  m_atNode = nullptr;
  m_nPositionDepth = -1;
  HRESULT hr = m_pBrowse.QueryFrom(pServer);
  // A failed query hands back nothing we may release.
  if (FAILED(hr)) m_pBrowse.Detach();
  if (FAILED(m_pBrowse3.QueryFrom(pServer))) m_pBrowse3.Detach();
  return m_pBrowse3 && !m_pBrowse ? S_OK : hr;
}

void COpcBrowser::BuildBrowseTree(IOpcTree* pTree) {
  m_bLazy = m_bLazyIds = false;
  Build(pTree, false);
}

void COpcBrowser::BuildBrowseTop(IOpcTree* pTree) {
  m_bLazy = m_bLazyIds = true;
  Build(pTree, false);
}

void COpcBrowser::BuildFlatTree(IOpcTree* pTree) {
  m_bLazy = m_bLazyIds = false;
  Build(pTree, true);
}

void COpcBrowser::StartBudget() {
  m_dwStart = m_tick();
  m_bStopped = false;
}

void COpcBrowser::Build(IOpcTree* pTree, bool flat) {
  m_pTree = pTree;
  if (!m_pTree) return;
  m_pTree->DeleteAllItems();
  m_itemIds.clear();
  m_idPending.clear();
  m_unlisted.clear();
  m_branchIds.clear();
  m_bDa3 = m_pBrowse3 && m_bUseDa3;
  m_buildFilter = m_strFilter;
  m_buildVt = m_vtFilter;
  m_buildAccess = m_bAccessFilter;
  if (m_pBrowse) {
    OPCNAMESPACETYPE type = static_cast<OPCNAMESPACETYPE>(m_nOrganization);
    if (SUCCEEDED(m_pBrowse->QueryOrganization(&type))) m_nOrganization = type;
  } else {
    m_nOrganization = OPC_NS_HIERARCHIAL;  // IOPCBrowse has levels whatever the server is
  }
  m_hRoot = nullptr;
  m_nPositionDepth = -1;
  m_atNode = nullptr;
  m_nNodes = 0;
  StartBudget();
  m_bIncomplete = false;
  if (flat || m_nOrganization == OPC_NS_FLAT) {
    // The 2.0 flat listing is one call; walking every level is for servers without it.
    if (m_pBrowse) {
      m_bDa3 = false;
      FillFlat();
    } else if (m_bDa3) {
      if (OpcTreeNode root = InsertRoot()) {
        Fill3Flat(L"", root, 0);
        m_pTree->SelectCaret(root);
        m_pTree->Expand(root);
      }
    }
  } else if (m_bDa3) {
    Fill3Hierarchical();
  } else if (m_nOrganization == OPC_NS_HIERARCHIAL) {
    FillHierarchical();
  }
  if (m_bIncomplete) m_pTree->ShowStatusText(OpcUiString(OpcUiText::BrowseIncomplete));
}

bool COpcBrowser::ListBranch(OpcTreeNode node) {
  if (!m_pTree || m_unlisted.find(node) == m_unlisted.end()) return false;
  StartBudget();
  const bool wasIncomplete = m_bIncomplete;
  ListPending(node);
  if (m_bIncomplete && !wasIncomplete)
    m_pTree->ShowStatusText(OpcUiString(OpcUiText::BrowseIncomplete));
  return true;
}

void COpcBrowser::ListPending(OpcTreeNode node) {
  auto it = m_unlisted.find(node);
  // Out of time: it stays to be listed later.
  if (it == m_unlisted.end() || OverBudget()) return;
  const Unlisted at = it->second;
  m_unlisted.erase(it);
  if (m_bDa3)
    Fill3Children(node, at.depth);
  else
    FillChildren(node, at.depth, &at.from);
}

void COpcBrowser::ListSubtree(OpcTreeNode node) {
  if (!m_pTree || m_unlisted.empty()) return;
  StartBudget();
  const bool wasIncomplete = m_bIncomplete;
  // Listed all the way down at once, as the whole build does; the item IDs still wait.
  m_bLazy = false;
  std::vector<std::pair<size_t, OpcTreeNode>> below;
  for (const auto& [pending, at] : m_unlisted) {
    for (OpcTreeNode up = pending; up; up = m_pTree->GetParentItem(up)) {
      if (up != node) continue;
      below.emplace_back(at.order, pending);
      break;
    }
  }
  std::sort(below.begin(), below.end());
  for (const auto& [order, pending] : below) ListPending(pending);
  m_bLazy = true;
  if (m_bIncomplete && !wasIncomplete)
    m_pTree->ShowStatusText(OpcUiString(OpcUiText::BrowseIncomplete));
}

std::wstring COpcBrowser::GetBrowseItemId(int index) {
  if (index < 0 || static_cast<size_t>(index) >= m_itemIds.size()) return std::wstring();
  const size_t i = static_cast<size_t>(index);
  if (i < m_idPending.size() && m_idPending[i]) {
    OpcTreeNode branch = m_idPending[i];
    m_idPending[i] = nullptr;
    // GetItemID answers for the current position: the leaf's branch. A failure stores an
    // empty ID, as in the whole build.
    m_itemIds[i] = SUCCEEDED(MoveTo(branch)) ? GetFullItemId(m_itemIds[i].data()) : std::wstring();
  }
  return m_itemIds[i];
}

HRESULT COpcBrowser::MoveTo(OpcTreeNode node) {
  if (m_atNode && m_atNode == node) return S_OK;
  MoveToRoot();
  HRESULT hr = MoveToNode(node);
  m_atNode = SUCCEEDED(hr) ? node : nullptr;
  return hr;
}

HRESULT COpcBrowser::MoveToRoot() {
  m_atNode = nullptr;
  // Until the server refuses; a server that never does is taken at its word after as
  // many steps as the position can be deep.
  const int steps = m_nPositionDepth < 0 ? m_nMaxUpSteps : m_nPositionDepth + 1;
  HRESULT hr = S_OK;
  for (int step = 0; step < steps && SUCCEEDED(hr); ++step)
    hr = m_pBrowse ? m_pBrowse->ChangeBrowsePosition(OPC_BROWSE_UP, L"") : E_FAIL;
  m_nPositionDepth = 0;
  return hr;
}

HRESULT COpcBrowser::MoveToNode(OpcTreeNode node) {
  m_atNode = nullptr;
  if (!m_pTree) return E_FAIL;
  if (!node || node == m_hRoot) return S_OK;
  HRESULT hr = MoveToNode(m_pTree->GetParentItem(node));
  if (FAILED(hr)) return hr;
  std::wstring text = m_pTree->GetItemText(node);
  hr = m_pBrowse ? m_pBrowse->ChangeBrowsePosition(OPC_BROWSE_DOWN, text.c_str()) : E_FAIL;
  if (SUCCEEDED(hr)) ++m_nPositionDepth;
  return hr;
}

void COpcBrowser::FillFlat() {
  if (!m_pBrowse) return;
  OpcTreeNode root = InsertRoot();
  if (!root) return;
  MoveToRoot();
  TComPtr<IEnumString> pEnum;
  HRESULT hr = m_pBrowse->BrowseOPCItemIDs(OPC_FLAT, m_buildFilter.c_str(), m_buildVt,
                                           AccessRightsArgument(), pEnum.Put());
  if (SUCCEEDED(hr)) {
    ForEachName(pEnum.Get(), [&](LPWSTR name) {
      if (m_bStopped) return;
      m_itemIds.emplace_back(name);
      m_idPending.push_back(nullptr);
      InsertNode(name, root, static_cast<int32_t>(m_itemIds.size() - 1));
    });
  }
  pEnum.Release();
  m_pTree->SelectCaret(root);
  m_pTree->Expand(root);
}

void COpcBrowser::FillHierarchical() {
  if (!m_pBrowse) return;
  OpcTreeNode root = InsertRoot();
  if (!root) return;
  m_hRoot = root;
  // The root's children are listed like every other node's: its leaves, then its branches.
  FillChildren(root, 0, nullptr);
  m_pTree->SelectCaret(root);
  m_pTree->Expand(root);
}

namespace {

// FNV-1a over the names, each with its terminator, so ("ab", "c") differs from ("a", "bc").
void HashName(COpcBrowser::Listing& l, const wchar_t* name) {
  for (const wchar_t* p = name;; ++p) {
    l.hash = (l.hash ^ static_cast<uint16_t>(*p)) * 1099511628211ull;
    if (!*p) break;
  }
  ++l.count;
}

}  // namespace

void COpcBrowser::FillChildren(OpcTreeNode node, int depth, const Listing* from) {
  if (OverBudget()) return;
  if (FAILED(MoveTo(node)) || !m_pBrowse) return;
  // Both lists are read before anything is inserted: a branch that lists exactly what its
  // parent's position lists has not been entered, and gets no children.
  Listing here{14695981039346656037ull, 0};
  std::vector<std::wstring> leaves;
  TComPtr<IEnumString> pLeaves;
  HRESULT hr = m_pBrowse->BrowseOPCItemIDs(OPC_LEAF, m_buildFilter.c_str(), m_buildVt,
                                           AccessRightsArgument(), pLeaves.Put());
  if (hr == S_OK) ForEachName(pLeaves.Get(), [&](LPWSTR name) { leaves.emplace_back(name); });
  pLeaves.Release();
  for (const std::wstring& leaf : leaves) HashName(here, leaf.c_str());
  here.hash ^= 0x5a5a;  // leaves and branches apart

  // The top level takes any success code of the branch listing; below it only S_OK counts.
  TComPtr<IEnumString> pBranches;
  hr = depth < kMaxTreeDepth
           ? m_pBrowse->BrowseOPCItemIDs(OPC_BRANCH, L"*", VT_EMPTY, 0, pBranches.Put())
           : S_FALSE;
  const bool listBranches = (node == m_hRoot ? SUCCEEDED(hr) : hr == S_OK) && pBranches;
  std::unique_ptr<LPOLESTR[]> batch;
  ULONG fetched = 0;
  HRESULT next = S_FALSE;
  if (listBranches) {
    batch = std::make_unique<LPOLESTR[]>(kBatchSize);
    for (ULONG i = 0; i < kBatchSize; ++i) batch[i] = nullptr;
    next = pBranches->Next(kBatchSize, batch.get(), &fetched);
    if (fetched > kBatchSize) fetched = kBatchSize;
    for (ULONG i = 0; i < fetched; ++i)
      if (batch[i]) HashName(here, batch[i]);
  }
  const bool repeats = from && here.count && here == *from;
  if (repeats) m_bIncomplete = true;

  // GetItemID answers for the current position, still the node's.
  if (!repeats) {
    for (std::wstring& leaf : leaves) {
      if (m_bStopped) break;
      // Built as it is opened: the name now, the item ID when the leaf is used.
      m_itemIds.push_back(m_bLazyIds ? leaf : GetFullItemId(leaf.data()));
      m_idPending.push_back(m_bLazyIds ? node : nullptr);
      InsertNode(leaf, node, static_cast<int32_t>(m_itemIds.size() - 1));
    }
  }
  // The enumerator does not depend on the browse position, so recursing inside the loop
  // (which moves it) is safe.
  std::vector<std::pair<OpcTreeNode, std::wstring>> unopened;
  auto branch = [&](LPWSTR name) {
    if (repeats || m_bStopped) return;
    OpcTreeNode child = InsertNode(name, node, -1);
    if (!child) return;
    if (!m_bLazy) {
      FillChildren(child, depth + 1, &here);
    } else if (depth + 1 <= kMaxTreeDepth) {
      m_unlisted[child] = Unlisted{depth + 1, here, m_nNodes};
      unopened.emplace_back(child, name);
    }
  };
  for (ULONG i = 0; i < fetched; ++i) {
    if (!batch[i]) continue;
    branch(batch[i]);
    ::CoTaskMemFree(batch[i]);
  }
  batch.reset();
  if (listBranches && fetched && next == S_OK && !repeats) ForEachName(pBranches.Get(), branch);
  pBranches.Release();
  if (unopened.empty()) return;
  // Whether each new branch has anything to open, from its own position; a level too
  // large to ask shows every branch openable until it is opened.
  const bool probe = unopened.size() <= kMaxProbes;
  for (const auto& [child, name] : unopened) {
    if (!probe || m_bStopped) {
      m_pTree->MarkExpandable(child);
    } else if (Probe(name)) {
      m_pTree->MarkExpandable(child);
    } else {
      m_unlisted.erase(child);
    }
  }
}

bool COpcBrowser::Probe(const std::wstring& name) {
  const OpcTreeNode from = m_atNode;
  if (!from || !m_pBrowse) return true;  // not known here: opening it will tell
  if (FAILED(m_pBrowse->ChangeBrowsePosition(OPC_BROWSE_DOWN, name.c_str()))) return false;
  ++m_nPositionDepth;
  m_atNode = nullptr;
  bool any = false;
  {
    TComPtr<IEnumString> pEnum;
    any = m_pBrowse->BrowseOPCItemIDs(OPC_BRANCH, L"*", VT_EMPTY, 0, pEnum.Put()) == S_OK && pEnum;
  }
  if (!any) {
    TComPtr<IEnumString> pEnum;
    any = m_pBrowse->BrowseOPCItemIDs(OPC_LEAF, m_buildFilter.c_str(), m_buildVt,
                                      AccessRightsArgument(), pEnum.Put()) == S_OK &&
          pEnum;
  }
  if (SUCCEEDED(m_pBrowse->ChangeBrowsePosition(OPC_BROWSE_UP, L""))) {
    --m_nPositionDepth;
    m_atNode = from;
  }
  return any;
}

std::wstring COpcBrowser::GetFullItemId(LPWSTR name) {
  LPWSTR id = nullptr;
  std::wstring result;
  HRESULT hr = m_pBrowse ? m_pBrowse->GetItemID(name, &id) : E_FAIL;
  if (SUCCEEDED(hr) && id) result = id;
  // After a failure the out pointer is not ours to free.
  if (SUCCEEDED(hr)) ::CoTaskMemFree(id);
  return result;
}

DWORD COpcBrowser::AccessRightsArgument() const {
  return static_cast<DWORD>(static_cast<LONG>(static_cast<signed char>(m_buildAccess)));
}

OpcTreeNode COpcBrowser::InsertRoot() {
  return InsertNode(m_strRootName, nullptr, -1);
}

OpcTreeNode COpcBrowser::InsertNode(const std::wstring& text, OpcTreeNode parent, int32_t data) {
  // A refused insert (nullptr) must not turn into a node at the top level: the callers
  // fill no children under it.
  if ((m_nNodes & 1023) == 1023 && OverBudget()) return nullptr;
  if (m_bStopped) return nullptr;
  if (++m_nNodes > kMaxNodes) {
    m_bStopped = m_bIncomplete = true;
    return nullptr;
  }
  return m_pTree->InsertItem(text, parent, data);
}

bool COpcBrowser::OverBudget() {
  if (!m_bStopped && m_tick() - m_dwStart > kBuildBudgetMs) m_bStopped = m_bIncomplete = true;
  return m_bStopped;
}

HRESULT COpcBrowser::ListLevel3(const std::wstring& where, std::vector<OpcBrowseElement>& leaves,
                                std::vector<OpcBrowseElement>& branches) {
  leaves.clear();
  branches.clear();
  const DWORD access = AccessRightsArgument();
  OpcLevelRequest request;
  request.itemId = where;
  request.maxElements = m_nPageSize;
  request.maxTotal = kMaxNodes;
  request.typeAndRights = m_buildVt != VT_EMPTY || access != 0;
  // The name filter is for items only, as in the 2.0 browse: with one, items and branches
  // are two calls; without, one call brings both.
  const bool named = !m_buildFilter.empty() && m_buildFilter != L"*";
  std::vector<OpcBrowseElement> all, more;
  request.filter = named ? OPC_BROWSE_FILTER_ITEMS : OPC_BROWSE_FILTER_ALL;
  request.nameFilter = named ? m_buildFilter : std::wstring();
  HRESULT hr = BrowseLevel(m_pBrowse3.Get(), request, all);
  if (FAILED(hr)) return hr;
  if (hr != S_OK) m_bIncomplete = true;
  if (named) {
    request.filter = OPC_BROWSE_FILTER_BRANCHES;
    request.nameFilter.clear();
    request.typeAndRights = false;
    HRESULT branchHr = BrowseLevel(m_pBrowse3.Get(), request, more);
    if (branchHr != S_OK) m_bIncomplete = true;
  }
  for (OpcBrowseElement& e : all) {
    // An item without an ID is a hint, nothing to add.
    if (e.isItem && !e.itemId.empty() && PassesItemFilters(e, m_buildVt, access))
      leaves.push_back(e);
    if (!named && (e.hasChildren || !e.isItem)) branches.push_back(std::move(e));
  }
  for (OpcBrowseElement& e : more)
    if (e.hasChildren || !e.isItem) branches.push_back(std::move(e));
  return hr;
}

void COpcBrowser::Fill3Hierarchical() {
  OpcTreeNode root = InsertRoot();
  if (!root) return;
  m_hRoot = root;
  m_branchIds[root] = std::wstring();
  Fill3Children(root, 0);
  m_pTree->SelectCaret(root);
  m_pTree->Expand(root);
}

HRESULT COpcBrowser::Fill3Children(OpcTreeNode node, int depth) {
  auto found = m_branchIds.find(node);
  if (OverBudget() || found == m_branchIds.end()) return S_OK;
  const std::wstring where = found->second;
  std::vector<OpcBrowseElement> leaves, branches;
  HRESULT hr = ListLevel3(where, leaves, branches);
  if (hr == E_NOTIMPL && m_pBrowse) {
    // The server has IOPCBrowse but not its Browse: the 2.0 browse serves from here on.
    m_bDa3 = false;
    m_pBrowse3.Release();
    FillChildren(node, depth, nullptr);
    return hr;
  }
  if (FAILED(hr)) return hr;
  for (const OpcBrowseElement& leaf : leaves) {
    if (m_bStopped) break;
    m_itemIds.push_back(leaf.itemId);
    m_idPending.push_back(nullptr);
    InsertNode(leaf.name, node, static_cast<int32_t>(m_itemIds.size() - 1));
  }
  // The deepest level gets its leaves but no branches, as in the 2.0 build.
  if (depth >= kMaxTreeDepth) return hr;
  // The has-children flag ignores the filters: under narrowing ones a small level's
  // branches are looked into, as the 2.0 build does, so none shows openable but empty.
  const bool narrowed = (!m_buildFilter.empty() && m_buildFilter != L"*") ||
                        m_buildVt != VT_EMPTY ||
                        (m_buildAccess != 0 && m_buildAccess != (OPC_READABLE | OPC_WRITEABLE));
  const bool probe = m_bLazy && narrowed && branches.size() <= kMaxProbes;
  for (const OpcBrowseElement& b : branches) {
    if (m_bStopped) break;
    OpcTreeNode child = InsertNode(b.name, node, -1);
    if (!child || !b.hasChildren || b.itemId.empty()) continue;
    // A branch naming its own level would list it again for ever.
    if (b.itemId == where) {
      m_bIncomplete = true;
      continue;
    }
    m_branchIds[child] = b.itemId;
    if (!m_bLazy) {
      Fill3Children(child, depth + 1);
    } else if (probe && !Probe3(b.itemId)) {
      m_branchIds.erase(child);
    } else {
      m_unlisted[child] = Unlisted{depth + 1, Listing{}, m_nNodes};
      m_pTree->MarkExpandable(child);
    }
  }
  return hr;
}

bool COpcBrowser::Probe3(const std::wstring& itemId) {
  const bool wasIncomplete = m_bIncomplete;
  std::vector<OpcBrowseElement> leaves, branches;
  const bool any =
      SUCCEEDED(ListLevel3(itemId, leaves, branches)) && (!leaves.empty() || !branches.empty());
  m_bIncomplete = wasIncomplete;  // a look, not a listing
  return any;
}

void COpcBrowser::Fill3Flat(const std::wstring& where, OpcTreeNode root, int depth) {
  if (OverBudget()) return;
  std::vector<OpcBrowseElement> leaves, branches;
  if (FAILED(ListLevel3(where, leaves, branches))) return;
  // Every item under its full ID, a branch's items before those of its sub-branches.
  for (const OpcBrowseElement& leaf : leaves) {
    if (m_bStopped) return;
    m_itemIds.push_back(leaf.itemId);
    m_idPending.push_back(nullptr);
    InsertNode(leaf.itemId, root, static_cast<int32_t>(m_itemIds.size() - 1));
  }
  if (depth >= kMaxTreeDepth) return;
  for (const OpcBrowseElement& b : branches)
    if (b.hasChildren && !b.itemId.empty() && b.itemId != where && !m_bStopped)
      Fill3Flat(b.itemId, root, depth + 1);
}
