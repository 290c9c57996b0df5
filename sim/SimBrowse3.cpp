// IOPCBrowse of the server object (OPC DA 3.0): a level of the address space per call, with
// item IDs, flags and properties, cut into pieces by continuation points.
//
// A continuation point is this object's key, the offset of the next element and a check of
// the call's arguments, all in hex: one fixed length, so a point never grows between calls
// (see the proxy note in idl/opcda.idl). Nothing is kept between calls; a point from another
// object or for other arguments is refused.
#include "SimGroup.h"
#include "SimServer.h"

#include <cstdio>
#include <cwchar>

namespace plover::sim {

namespace {

constexpr size_t kPointLength = 2 + 3 * 8;

uint32_t Mix(uint32_t h, const void* data, size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < bytes; ++i) h = (h ^ p[i]) * 16777619u;  // FNV-1a
  return h;
}

uint32_t MixText(uint32_t h, const wchar_t* s) {
  const size_t n = s ? wcslen(s) : 0;
  h = Mix(h, s ? s : L"", n * sizeof(wchar_t));
  return Mix(h, &n, sizeof n);
}

std::wstring MakePoint(uint32_t key, uint32_t offset, uint32_t check) {
  wchar_t buf[kPointLength + 1];
  swprintf(buf, kPointLength + 1, L"CP%08X%08X%08X", key, offset, check);
  return buf;
}

bool ParsePoint(const std::wstring& point, uint32_t key, uint32_t check, uint32_t* offset) {
  if (point.size() != kPointLength || point.compare(0, 2, L"CP") != 0) return false;
  uint32_t parts[3];
  for (int i = 0; i < 3; ++i) {
    const std::wstring hex = point.substr(2 + 8 * i, 8);
    wchar_t* end = nullptr;
    parts[i] = static_cast<uint32_t>(wcstoul(hex.c_str(), &end, 16));
    if (!end || *end) return false;
  }
  *offset = parts[1];
  return parts[0] == key && parts[2] == check;
}

void FreeElements(OPCBROWSEELEMENT* elements, size_t n) {
  for (size_t i = 0; elements && i < n; ++i) {
    CoTaskMemFree(elements[i].szName);
    CoTaskMemFree(elements[i].szItemID);
    ClearItemProperties(&elements[i].ItemProperties);
  }
  CoTaskMemFree(elements);
}

}  // namespace

HRESULT SimServer::BrowseChildren(const std::wstring& id, std::vector<BrowseElement>* out) const {
  if (IsFlat()) {
    // One level: every item under its full ID.
    if (!id.empty()) {
      if (m_space.FindItem(id) >= 0) return S_OK;
      return IsWellFormedItemId(id.c_str()) ? OPC_E_UNKNOWNITEMID : OPC_E_INVALIDITEMID;
    }
    for (uint32_t i = 0; i < m_space.Items().size(); ++i)
      out->push_back({m_space.Item(i).id, m_space.Item(i).id, OPC_BROWSE_ISITEM, int(i)});
    return S_OK;
  }
  const int branch = m_space.FindBranch(id);
  if (branch < 0) {
    if (m_space.FindItem(id) >= 0) return S_OK;  // an item has no children
    return IsWellFormedItemId(id.c_str()) ? OPC_E_UNKNOWNITEMID : OPC_E_INVALIDITEMID;
  }
  // Branches first, then items, each in the address space's order, as the 2.0 browse lists
  // them.
  const Branch& b = m_space.BranchAt(static_cast<uint32_t>(branch));
  for (uint32_t child : b.branches) {
    const Branch& c = m_space.BranchAt(child);
    const bool children = !c.branches.empty() || !c.leaves.empty();
    out->push_back({c.name, c.id, children ? DWORD(OPC_BROWSE_HASCHILDREN) : 0u, -1});
  }
  for (uint32_t leaf : b.leaves)
    out->push_back({m_space.Item(leaf).name, m_space.Item(leaf).id, OPC_BROWSE_ISITEM, int(leaf)});
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::Browse(LPWSTR szItemID, LPWSTR* pszContinuationPoint,
                                            DWORD dwMaxElementsReturned,
                                            OPCBROWSEFILTER dwBrowseFilter,
                                            LPWSTR szElementNameFilter, LPWSTR szVendorFilter,
                                            BOOL bReturnAllProperties, BOOL bReturnPropertyValues,
                                            DWORD dwPropertyCount, DWORD* pdwPropertyIDs,
                                            BOOL* pbMoreElements, DWORD* pdwCount,
                                            OPCBROWSEELEMENT** ppBrowseElements) {
  (void)szVendorFilter;  // no vendor filter here: every element passes
  if (pbMoreElements) *pbMoreElements = FALSE;
  if (pdwCount) *pdwCount = 0;
  if (ppBrowseElements) *ppBrowseElements = nullptr;
  // The point given is ours to free ([in, out]); a new one, or none, takes its place.
  std::wstring point;
  if (pszContinuationPoint) {
    if (*pszContinuationPoint) point = *pszContinuationPoint;
    CoTaskMemFree(*pszContinuationPoint);
    *pszContinuationPoint = nullptr;
  }
  if (HRESULT hr = Injected(L"IOPCBrowse::Browse"); hr != S_OK) return hr;
  if (!pszContinuationPoint || !pbMoreElements || !pdwCount || !ppBrowseElements ||
      (dwPropertyCount && !pdwPropertyIDs))
    return E_INVALIDARG;
  if (dwBrowseFilter < OPC_BROWSE_FILTER_ALL || dwBrowseFilter > OPC_BROWSE_FILTER_ITEMS)
    return E_INVALIDARG;
  std::vector<BrowseElement> all;
  if (HRESULT hr = BrowseChildren(szItemID ? szItemID : L"", &all); FAILED(hr)) return hr;
  std::vector<BrowseElement> list;
  for (BrowseElement& e : all) {
    const DWORD need = dwBrowseFilter == OPC_BROWSE_FILTER_BRANCHES ? OPC_BROWSE_HASCHILDREN
                       : dwBrowseFilter == OPC_BROWSE_FILTER_ITEMS  ? OPC_BROWSE_ISITEM
                                                                    : 0;
    if ((e.flags & need) == need && MatchName(szElementNameFilter, e.name.c_str()))
      list.push_back(std::move(e));
  }

  // Everything that shapes the list and its elements, but not the limit, which may change.
  const DWORD filter = dwBrowseFilter;
  uint32_t check = MixText(2166136261u, szItemID);
  check = MixText(check, szElementNameFilter);
  check = Mix(check, &filter, sizeof filter);
  const BOOL flags[2] = {bReturnAllProperties != FALSE, bReturnPropertyValues != FALSE};
  check = Mix(check, flags, sizeof flags);
  if (dwPropertyCount) check = Mix(check, pdwPropertyIDs, dwPropertyCount * sizeof(DWORD));
  uint32_t start = 0;
  if (!point.empty() && (!ParsePoint(point, m_pointKey, check, &start) || start > list.size()))
    return OPC_E_INVALIDCONTINUATIONPOINT;
  size_t end = list.size();
  if (dwMaxElementsReturned && end - start > dwMaxElementsReturned)
    end = start + dwMaxElementsReturned;

  const size_t n = end - start;
  auto* elements = CoTaskArray<OPCBROWSEELEMENT>(n);
  if (n && !elements) return E_OUTOFMEMORY;
  const bool withProperties = bReturnAllProperties || dwPropertyCount;
  bool anyFailed = false, ok = true;
  for (size_t i = 0; ok && i < n; ++i) {
    const BrowseElement& from = list[start + i];
    OPCBROWSEELEMENT& e = elements[i];
    e.szName = CoTaskString(from.name);
    e.szItemID = CoTaskString(from.id);
    e.dwFlagValue = from.flags;
    ok = e.szName && e.szItemID;
    // Branches are no items here: they have no properties.
    if (ok && from.item >= 0 && withProperties)
      ok = FillProperties(static_cast<uint32_t>(from.item),
                          bReturnAllProperties ? nullptr : pdwPropertyIDs, dwPropertyCount,
                          bReturnPropertyValues != FALSE, &e.ItemProperties);
    anyFailed = anyFailed || e.ItemProperties.hrErrorID != S_OK;
  }
  if (ok && end < list.size()) {
    *pszContinuationPoint = CoTaskString(MakePoint(m_pointKey, static_cast<uint32_t>(end), check));
    ok = *pszContinuationPoint != nullptr;
  }
  if (!ok) {
    FreeElements(elements, n);
    return E_OUTOFMEMORY;
  }
  // With a point to go on from, nothing more needs a new browse.
  *pbMoreElements = FALSE;
  *pdwCount = static_cast<DWORD>(n);
  *ppBrowseElements = elements;
  return anyFailed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::GetProperties(DWORD dwItemCount, LPWSTR* pszItemIDs,
                                                   BOOL bReturnPropertyValues,
                                                   DWORD dwPropertyCount, DWORD* pdwPropertyIDs,
                                                   OPCITEMPROPERTIES** ppItemProperties) {
  if (ppItemProperties) *ppItemProperties = nullptr;
  if (HRESULT hr = Injected(L"IOPCBrowse::GetProperties"); hr != S_OK) return hr;
  if (dwItemCount == 0 || !pszItemIDs || !ppItemProperties || (dwPropertyCount && !pdwPropertyIDs))
    return E_INVALIDARG;
  auto* items = CoTaskArray<OPCITEMPROPERTIES>(dwItemCount);
  if (!items) return E_OUTOFMEMORY;
  bool anyFailed = false;
  for (DWORD i = 0; i < dwItemCount; ++i) {
    uint32_t index = 0;
    HRESULT hr = PropertyItem(pszItemIDs[i], &index);
    if (hr == E_INVALIDARG) hr = OPC_E_INVALIDITEMID;  // a null ID
    if (SUCCEEDED(hr) &&
        !FillProperties(index, dwPropertyCount ? pdwPropertyIDs : nullptr, dwPropertyCount,
                        bReturnPropertyValues != FALSE, &items[i])) {
      for (DWORD j = 0; j <= i; ++j) ClearItemProperties(&items[j]);
      CoTaskMemFree(items);
      return E_OUTOFMEMORY;
    }
    if (FAILED(hr)) items[i].hrErrorID = hr;
    anyFailed = anyFailed || items[i].hrErrorID != S_OK;
  }
  *ppItemProperties = items;
  return anyFailed ? S_FALSE : S_OK;
}

}  // namespace plover::sim
