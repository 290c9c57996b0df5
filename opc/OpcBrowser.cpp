#include "OpcBrowser.h"

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
  HRESULT hr = m_pBrowse.QueryFrom(pServer);
  // A failed query hands back nothing we may release.
  if (FAILED(hr)) m_pBrowse.Detach();
  return hr;
}

void COpcBrowser::BuildBrowseTree(IOpcTree* pTree) {
  m_pTree = pTree;
  if (!m_pTree) return;
  m_pTree->DeleteAllItems();
  m_itemIds.clear();
  if (m_pBrowse) {
    OPCNAMESPACETYPE type = static_cast<OPCNAMESPACETYPE>(m_nOrganization);
    if (SUCCEEDED(m_pBrowse->QueryOrganization(&type))) m_nOrganization = type;
  }
  m_nDepth = 0;
  if (m_nOrganization == OPC_NS_FLAT)
    FillFlat();
  else if (m_nOrganization == OPC_NS_HIERARCHIAL)
    FillHierarchical();
}

std::wstring COpcBrowser::GetBrowseItemId(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_itemIds.size()) return std::wstring();
  return m_itemIds[static_cast<size_t>(index)];
}

HRESULT COpcBrowser::MoveToRoot() {
  HRESULT hr = S_OK;
  for (int step = 0; step < m_nMaxUpSteps && SUCCEEDED(hr); ++step)
    hr = m_pBrowse ? m_pBrowse->ChangeBrowsePosition(OPC_BROWSE_UP, L"") : E_FAIL;
  return hr;
}

HRESULT COpcBrowser::MoveToNode(OpcTreeNode node) {
  if (!m_pTree) return E_FAIL;
  if (!node) return S_OK;
  HRESULT hr = MoveToNode(m_pTree->GetParentItem(node));
  if (FAILED(hr)) return hr;
  // The root is skipped by its text, so is any branch that happens to share it.
  std::wstring text = m_pTree->GetItemText(node);
  if (text == m_strRootName) return hr;
  return m_pBrowse ? m_pBrowse->ChangeBrowsePosition(OPC_BROWSE_DOWN, text.c_str()) : E_FAIL;
}

void COpcBrowser::FillFlat() {
  if (!m_pBrowse) return;
  OpcTreeNode root = InsertRoot();
  if (!root) return;
  MoveToRoot();
  TComPtr<IEnumString> pEnum;
  HRESULT hr = m_pBrowse->BrowseOPCItemIDs(OPC_FLAT, m_strFilter.c_str(), m_vtFilter,
                                           AccessRightsArgument(), pEnum.Put());
  if (SUCCEEDED(hr)) {
    ForEachName(pEnum.Get(), [&](LPWSTR name) {
      m_itemIds.emplace_back(name);
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
  MoveToRoot();
  TComPtr<IEnumString> pEnum;
  // Leaves sitting directly at the root are not listed: only branches at this level.
  HRESULT hr = m_pBrowse->BrowseOPCItemIDs(OPC_BRANCH, L"*", VT_EMPTY, 0, pEnum.Put());
  if (SUCCEEDED(hr)) {
    m_nDepth = 0;
    ForEachName(pEnum.Get(), [&](LPWSTR name) {
      OpcTreeNode branch = InsertNode(name, root, -1);
      if (branch) FillChildren(branch);
    });
  }
  pEnum.Release();
  m_pTree->SelectCaret(root);
  m_pTree->Expand(root);
}

void COpcBrowser::FillChildren(OpcTreeNode node) {
  ++m_nDepth;
  FillLeaves(node);
  if (m_nDepth < kMaxTreeDepth) FillBranches(node);
  --m_nDepth;
}

void COpcBrowser::FillLeaves(OpcTreeNode node) {
  MoveToRoot();
  if (FAILED(MoveToNode(node)) || !m_pBrowse) return;
  TComPtr<IEnumString> pEnum;
  HRESULT hr = m_pBrowse->BrowseOPCItemIDs(OPC_LEAF, m_strFilter.c_str(), m_vtFilter,
                                           AccessRightsArgument(), pEnum.Put());
  if (hr != S_OK) return;
  ForEachName(pEnum.Get(), [&](LPWSTR name) {
    m_itemIds.push_back(GetFullItemId(name));
    InsertNode(name, node, static_cast<int32_t>(m_itemIds.size() - 1));
  });
}

void COpcBrowser::FillBranches(OpcTreeNode node) {
  MoveToRoot();
  if (FAILED(MoveToNode(node)) || !m_pBrowse) return;
  TComPtr<IEnumString> pEnum;
  HRESULT hr = m_pBrowse->BrowseOPCItemIDs(OPC_BRANCH, L"*", VT_EMPTY, 0, pEnum.Put());
  if (hr != S_OK) return;
  // The enumerator does not depend on the browse position, so recursing inside the loop
  // (which moves it) is safe.
  ForEachName(pEnum.Get(), [&](LPWSTR name) {
    OpcTreeNode branch = InsertNode(name, node, -1);
    if (branch) FillChildren(branch);
  });
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
  return static_cast<DWORD>(static_cast<LONG>(static_cast<signed char>(m_bAccessFilter)));
}

OpcTreeNode COpcBrowser::InsertRoot() {
  return InsertNode(m_strRootName, nullptr, -1);
}

OpcTreeNode COpcBrowser::InsertNode(const std::wstring& text, OpcTreeNode parent, int32_t data) {
  // A refused insert (nullptr) must not turn into a node at the top level: the callers
  // fill no children under it.
  return m_pTree->InsertItem(text, parent, data);
}
