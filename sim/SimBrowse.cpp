// IOPCBrowseServerAddressSpace of the server object.
#include "EnumString.h"
#include "SimServer.h"

#include <new>

namespace plover::sim {

namespace {

HRESULT HandOut(std::vector<std::wstring> names, IEnumString** pp) {
  bool any = !names.empty();
  auto* e = new (std::nothrow) EnumString(std::move(names));
  if (!e) return E_OUTOFMEMORY;
  *pp = e;
  return any ? S_OK : S_FALSE;
}

}  // namespace

HRESULT STDMETHODCALLTYPE SimServer::QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) {
  if (HRESULT hr = Injected(L"IOPCBrowseServerAddressSpace::QueryOrganization"); hr != S_OK)
    return hr;
  if (!pNameSpaceType) return E_INVALIDARG;
  *pNameSpaceType = IsFlat() ? OPC_NS_FLAT : OPC_NS_HIERARCHIAL;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection,
                                                          LPCWSTR szString) {
  if (HRESULT hr = Injected(L"IOPCBrowseServerAddressSpace::ChangeBrowsePosition"); hr != S_OK)
    return hr;
  if (IsFlat()) return E_FAIL;  // a flat space has no positions
  switch (dwBrowseDirection) {
    case OPC_BROWSE_UP: {
      int parent = m_space.BranchAt(m_browseBranch).parent;
      if (parent < 0) return E_FAIL;
      m_browseBranch = static_cast<uint32_t>(parent);
      return S_OK;
    }
    case OPC_BROWSE_DOWN: {
      if (!szString || !*szString) return E_INVALIDARG;
      int child = m_space.FindChildBranch(m_browseBranch, szString);
      if (child < 0) return E_INVALIDARG;
      m_browseBranch = static_cast<uint32_t>(child);
      return S_OK;
    }
    case OPC_BROWSE_TO: {
      int branch = m_space.FindBranch(szString ? szString : L"");
      if (branch < 0) return E_INVALIDARG;
      m_browseBranch = static_cast<uint32_t>(branch);
      return S_OK;
    }
    default:
      return E_INVALIDARG;
  }
}

HRESULT SimServer::BrowseFlat(uint32_t branch, LPCWSTR filter, VARTYPE vt, DWORD access,
                              std::vector<std::wstring>* names) const {
  // Depth first over the subtree, leaves of a branch before its sub-branches.
  std::vector<uint32_t> stack{branch};
  while (!stack.empty()) {
    const Branch& b = m_space.BranchAt(stack.back());
    stack.pop_back();
    for (uint32_t leaf : b.leaves) {
      const ItemDef& item = m_space.Item(leaf);
      if (MatchesItemFilters(item, vt, access) && MatchName(filter, item.id.c_str()))
        names->push_back(item.id);
    }
    for (auto it = b.branches.rbegin(); it != b.branches.rend(); ++it) stack.push_back(*it);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType,
                                                      LPCWSTR szFilterCriteria,
                                                      VARTYPE vtDataTypeFilter,
                                                      DWORD dwAccessRightsFilter,
                                                      IEnumString** ppIEnumString) {
  if (ppIEnumString) *ppIEnumString = nullptr;
  if (HRESULT hr = Injected(L"IOPCBrowseServerAddressSpace::BrowseOPCItemIDs"); hr != S_OK)
    return hr;
  if (!ppIEnumString) return E_INVALIDARG;
  std::vector<std::wstring> names;
  switch (dwBrowseFilterType) {
    case OPC_BRANCH:
      if (!IsFlat())
        for (uint32_t child : m_space.BranchAt(m_browseBranch).branches)
          if (MatchName(szFilterCriteria, m_space.BranchAt(child).name.c_str()))
            names.push_back(m_space.BranchAt(child).name);
      break;
    case OPC_LEAF:
      if (IsFlat()) {
        BrowseFlat(0, szFilterCriteria, vtDataTypeFilter, dwAccessRightsFilter, &names);
        break;
      }
      for (uint32_t leaf : m_space.BranchAt(m_browseBranch).leaves) {
        const ItemDef& item = m_space.Item(leaf);
        if (MatchesItemFilters(item, vtDataTypeFilter, dwAccessRightsFilter) &&
            MatchName(szFilterCriteria, item.name.c_str()))
          names.push_back(item.name);
      }
      break;
    case OPC_FLAT:
      BrowseFlat(IsFlat() ? 0 : m_browseBranch, szFilterCriteria, vtDataTypeFilter,
                 dwAccessRightsFilter, &names);
      break;
    default:
      return E_INVALIDARG;
  }
  return HandOut(std::move(names), ppIEnumString);
}

HRESULT STDMETHODCALLTYPE SimServer::GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) {
  if (szItemID) *szItemID = nullptr;
  if (HRESULT hr = Injected(L"IOPCBrowseServerAddressSpace::GetItemID"); hr != S_OK) return hr;
  if (!szItemDataID || !szItemID) return E_INVALIDARG;
  std::wstring name = szItemDataID;
  std::wstring id;
  if (IsFlat()) {
    if (m_space.FindItem(name) < 0) return E_INVALIDARG;
    id = name;
  } else {
    const Branch& here = m_space.BranchAt(m_browseBranch);
    std::wstring candidate = here.id.empty() ? name : here.id + L"." + name;
    if (name.empty())
      id = here.id;  // the current position itself
    else if (m_space.FindItem(candidate) >= 0 || m_space.FindBranch(candidate) >= 0)
      id = candidate;
    else
      return E_INVALIDARG;
  }
  *szItemID = CoTaskString(id);
  return *szItemID ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE SimServer::BrowseAccessPaths(LPCWSTR, IEnumString** ppIEnumString) {
  if (ppIEnumString) *ppIEnumString = nullptr;
  if (HRESULT hr = Injected(L"IOPCBrowseServerAddressSpace::BrowseAccessPaths"); hr != S_OK)
    return hr;
  return E_NOTIMPL;
}

}  // namespace plover::sim
