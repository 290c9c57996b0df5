// Items of the current group: add (trying the requested types in a fixed order),
// look-up, removal and activation.
#include "OpcGroupManager.h"

#include <map>
#include "OpcText.h"

const std::vector<VARTYPE>& RequestedItemTypes() {
  // The server's own type first: a LONG above 2^24 requested as VT_R4 comes back rounded,
  // a BOOL as -1. The others serve servers that refuse VT_EMPTY.
  static const std::vector<VARTYPE> order = {VT_EMPTY, VT_R4, VT_R8, VT_I2, VT_I4, VT_BOOL};
  return order;
}

std::span<const VARTYPE> COpcGroupManager::RequestedTypes() {
  return RequestedItemTypes();
}

COpcGroup* COpcGroupManager::OwnerOf(const COpcItem* item) const {
  if (!m_pCurrent || !item) return nullptr;
  if (m_pCurrent->Holds(item)) return m_pCurrent;
  // A row of another group: its own group, never the current one, which would apply the
  // item's server handle to a different item.
  for (auto& [key, group] : m_groupTable)
    if (group->Holds(item)) return group.get();
  return nullptr;
}

COpcItem* COpcGroupManager::AddItem(const std::wstring& itemId) {
  if (!m_pCurrent || m_pCurrent->m_itemsByName.count(itemId)) return nullptr;
  for (VARTYPE type : RequestedItemTypes()) {
    COpcItem* item = AddItemAs(itemId, type);
    if (!item) continue;
    // Its own type has no text here (a type we do not know): the fixed order shows it as a
    // number. Every type the OPC DA standard lets a server send is shown as it is.
    if (type == VT_EMPTY && !HasValueText(item->m_vtCanonical)) {
      RemoveItem(item);
      continue;
    }
    return item;
  }
  return nullptr;
}

COpcItem* COpcGroupManager::AddItemOfType(const std::wstring& itemId,
                                          const std::wstring& accessPath, VARTYPE type) {
  m_hrLastAddItem = E_FAIL;  // also for a name already in the group
  const std::wstring usual = m_strAccessPath;
  m_strAccessPath = accessPath;
  COpcItem* item = type == VT_EMPTY ? AddItem(itemId) : AddItemAs(itemId, type);
  if (item && type != VT_EMPTY) item->m_vtRequested = type;
  m_strAccessPath = usual;
  return item;
}

COpcItem* COpcGroupManager::AddItemAs(const std::wstring& itemId, VARTYPE type) {
  m_hrLastAddItem = E_FAIL;
  if (!m_pCurrent || m_pCurrent->m_itemsByName.count(itemId)) return nullptr;
  TComPtr<IOPCItemMgt> mgt;
  if (FAILED(mgt.QueryFrom(m_pCurrent->m_pGroup.Get())) || !mgt) return nullptr;

  auto item = std::make_unique<COpcItem>(itemId);
  item->m_hClient = m_itemTable.Add(item.get());
  if (!item->m_hClient) return nullptr;  // table full

  OPCITEMDEF def = {};
  def.szAccessPath = const_cast<LPWSTR>(m_strAccessPath.c_str());
  def.szItemID = const_cast<LPWSTR>(item->m_strItemId.c_str());
  def.bActive = TRUE;
  def.hClient = item->m_hClient;
  def.vtRequestedDataType = type;
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  HRESULT hr = Checked(mgt->AddItems(1, &def, &results, &errors));
  HRESULT itemHr = errors ? errors[0] : E_FAIL;
  if (SUCCEEDED(hr) && results) {
    item->m_hServer = results[0].hServer;
    item->m_vtCanonical = results[0].vtCanonicalDataType;
    ::CoTaskMemFree(results[0].pBlob);
  } else if (SUCCEEDED(hr)) {
    itemHr = E_FAIL;  // success without a result names no server handle
  }
  ::CoTaskMemFree(results);
  ::CoTaskMemFree(errors);
  if (FAILED(hr) || FAILED(itemHr)) {
    m_itemTable.Remove(item->m_hClient);
    m_hrLastAddItem = FAILED(hr) ? hr : itemHr;
    return nullptr;
  }
  m_hrLastAddItem = S_OK;
  item->m_strAccessPath = m_strAccessPath;

  COpcItem* record = item.release();
  m_pCurrent->m_items.push_back(record);
  m_pCurrent->m_itemsByName.emplace(record->m_strItemId, record);
  ReadCache(record);
  return record;
}

COpcItem* COpcGroupManager::FindItem(OPCHANDLE group, const std::wstring& itemId) const {
  COpcGroup* g = GetGroup(group);
  if (!g) return nullptr;
  auto it = g->m_itemsByName.find(itemId);
  return it == g->m_itemsByName.end() ? nullptr : it->second;
}

BOOL COpcGroupManager::RemoveItem(COpcItem* item) {
  COpcGroup* group = OwnerOf(item);
  if (!group) return FALSE;
  BOOL removed = FALSE;
  TComPtr<IOPCItemMgt> mgt;
  if (SUCCEEDED(mgt.QueryFrom(group->m_pGroup.Get())) && mgt) {
    HRESULT* errors = nullptr;
    OPCHANDLE h = item->m_hServer;
    if (SUCCEEDED(Checked(mgt->RemoveItems(1, &h, &errors)))) removed = TRUE;
    ::CoTaskMemFree(errors);
  }
  // Gone from the client whatever the server said.
  group->m_items.remove(item);
  group->m_itemsByName.erase(item->m_strItemId);
  DeleteItem(item);
  return removed;
}

HRESULT COpcGroupManager::SetItemActive(COpcItem* item, BOOL active) {
  std::vector<HRESULT> errors;
  return SetItemsActive({item}, active, errors);
}

HRESULT COpcGroupManager::SetItemsActive(const std::vector<COpcItem*>& items, BOOL active,
                                         std::vector<HRESULT>& errors) {
  errors.assign(items.size(), E_FAIL);
  // One call per group, whatever its size: the records by their group, in their order.
  std::map<COpcGroup*, std::vector<size_t>> byGroup;
  for (size_t i = 0; i < items.size(); ++i)
    if (COpcGroup* group = OwnerOf(items[i])) byGroup[group].push_back(i);
  if (byGroup.empty()) return E_FAIL;
  HRESULT result = S_OK;
  for (auto& [group, where] : byGroup) {
    TComPtr<IOPCItemMgt> mgt;
    HRESULT hr = mgt.QueryFrom(group->m_pGroup.Get());
    if (SUCCEEDED(hr) && !mgt) hr = E_NOINTERFACE;
    std::vector<OPCHANDLE> handles;
    HRESULT* itemErrors = nullptr;
    if (SUCCEEDED(hr)) {
      for (size_t i : where) handles.push_back(items[i]->m_hServer);
      hr = Checked(mgt->SetActiveState(static_cast<DWORD>(handles.size()), handles.data(), active,
                                       &itemErrors));
    }
    for (size_t k = 0; k < where.size(); ++k) {
      HRESULT& e = errors[where[k]];
      e = FAILED(hr) ? hr : itemErrors ? itemErrors[k] : E_FAIL;
      // The record follows the server, so a saved workspace brings the item back as it is.
      if (SUCCEEDED(e)) items[where[k]]->m_bActive = active;
    }
    ::CoTaskMemFree(itemErrors);
    if (result == S_OK || (SUCCEEDED(result) && FAILED(hr))) result = hr;
  }
  return result;
}
