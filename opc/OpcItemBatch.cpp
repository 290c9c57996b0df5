#include "OpcItemBatch.h"

#include <oleauto.h>

#include <unordered_set>

#include "OpcServerWatch.h"

namespace {
template <class T>
bool QueryIo(COpcGroup* group, TComPtr<T>& io) {
  return group && io.QueryFrom(group->m_pGroup.Get()) == S_OK && io;
}

HRESULT Checked(const COpcGroupManager& manager, HRESULT hr) {
  return manager.m_pWatch ? manager.m_pWatch->Check(hr) : hr;
}

// The handles of records the current group holds; others are marked in errors.
std::vector<OPCHANDLE> ServerHandles(COpcGroup* group, const std::vector<COpcItem*>& items,
                                     std::vector<HRESULT>& errors, std::vector<size_t>& where) {
  std::vector<OPCHANDLE> handles;
  for (size_t i = 0; i < items.size(); ++i) {
    if (!group->Holds(items[i])) {
      errors[i] = OPC_E_INVALIDHANDLE;
      continue;
    }
    handles.push_back(items[i]->m_hServer);
    where.push_back(i);
  }
  return handles;
}
}  // namespace

HRESULT AddItemBatch(COpcGroupManager& manager, const std::vector<std::wstring>& ids,
                     VARTYPE requested, std::vector<OpcAddResult>& results) {
  results.assign(ids.size(), OpcAddResult{});
  COpcGroup* group = manager.GetCurrentGroup();
  TComPtr<IOPCItemMgt> mgt;
  if (!group || FAILED(mgt.QueryFrom(group->m_pGroup.Get())) || !mgt) return E_FAIL;

  std::vector<OPCITEMDEF> defs;
  std::vector<size_t> where;
  std::unordered_set<std::wstring> seen;
  std::vector<std::unique_ptr<COpcItem>> records;
  for (size_t i = 0; i < ids.size(); ++i) {
    if (group->m_itemsByName.count(ids[i]) || !seen.insert(ids[i]).second) {
      results[i].error = OPC_E_DUPLICATENAME;
      continue;
    }
    auto item = std::make_unique<COpcItem>(ids[i]);
    item->m_hClient = manager.m_itemTable.Add(item.get());
    if (!item->m_hClient) {
      results[i].error = E_OUTOFMEMORY;  // table full
      continue;
    }
    OPCITEMDEF def = {};
    def.szAccessPath = const_cast<LPWSTR>(manager.m_strAccessPath.c_str());
    def.szItemID = const_cast<LPWSTR>(item->m_strItemId.c_str());
    def.bActive = TRUE;
    def.hClient = item->m_hClient;
    def.vtRequestedDataType = requested;
    defs.push_back(def);
    where.push_back(i);
    records.push_back(std::move(item));
  }
  HRESULT hr = S_OK;
  OPCITEMRESULT* added = nullptr;
  HRESULT* errors = nullptr;
  if (!defs.empty())
    hr = Checked(manager,
                 mgt->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &added, &errors));
  for (size_t k = 0; k < records.size(); ++k) {
    OpcAddResult& r = results[where[k]];
    // Success without both arrays names no server handle.
    r.error = FAILED(hr) ? hr : (errors && added) ? errors[k] : E_FAIL;
    if (added && SUCCEEDED(hr)) ::CoTaskMemFree(added[k].pBlob);
    if (FAILED(r.error)) {
      manager.m_itemTable.Remove(records[k]->m_hClient);
      continue;
    }
    COpcItem* record = records[k].release();
    record->m_hServer = added[k].hServer;
    r.item = record;
    r.canonical = added[k].vtCanonicalDataType;
    r.accessRights = added[k].dwAccessRights;
    group->m_items.push_back(record);
    group->m_itemsByName.emplace(record->m_strItemId, record);
  }
  ::CoTaskMemFree(added);
  ::CoTaskMemFree(errors);
  return hr;
}

HRESULT ReadItemBatch(COpcGroupManager& manager, const std::vector<COpcItem*>& items,
                      OPCDATASOURCE source, std::vector<HRESULT>& errors) {
  errors.assign(items.size(), E_FAIL);
  COpcGroup* group = manager.GetCurrentGroup();
  TComPtr<IOPCSyncIO> io;
  if (!QueryIo(group, io)) return E_NOINTERFACE;
  std::vector<size_t> where;
  std::vector<OPCHANDLE> handles = ServerHandles(group, items, errors, where);
  if (handles.empty()) return S_OK;
  OPCITEMSTATE* states = nullptr;
  HRESULT* itemErrors = nullptr;
  HRESULT hr = Checked(manager, io->Read(source, static_cast<DWORD>(handles.size()), handles.data(),
                                         &states, &itemErrors));
  for (size_t k = 0; k < where.size(); ++k) {
    HRESULT& e = errors[where[k]];
    e = FAILED(hr) ? hr : (states && itemErrors) ? itemErrors[k] : E_FAIL;
    if (!states) continue;
    // A failed entry's state is not a value.
    if (SUCCEEDED(e)) {
      COpcItem* item = items[where[k]];
      ::VariantClear(&item->m_value);
      item->m_value = states[k].vDataValue;  // the record takes the server's copy
      ::VariantInit(&states[k].vDataValue);
      item->m_wQuality = states[k].wQuality;
      item->m_ftTimeStamp = states[k].ftTimeStamp;
    }
    ::VariantClear(&states[k].vDataValue);
  }
  ::CoTaskMemFree(states);
  ::CoTaskMemFree(itemErrors);
  return hr;
}

HRESULT WriteItemBatch(COpcGroupManager& manager, const std::vector<COpcItem*>& items,
                       std::vector<VARIANT>& values, bool async, std::vector<HRESULT>& errors) {
  errors.assign(items.size(), E_FAIL);
  COpcGroup* group = manager.GetCurrentGroup();
  if (!group || values.size() != items.size()) return E_INVALIDARG;
  const bool async2 = async && group->m_dwCallbackCookie != 0 && group->m_dwDataConnection == 0;
  TComPtr<IOPCSyncIO> syncIo;
  TComPtr<IOPCAsyncIO> asyncIo;
  TComPtr<IOPCAsyncIO2> asyncIo2;
  if (async2  ? !QueryIo(group, asyncIo2)
      : async ? !QueryIo(group, asyncIo)
              : !QueryIo(group, syncIo))
    return E_NOINTERFACE;
  std::vector<size_t> where;
  std::vector<OPCHANDLE> handles = ServerHandles(group, items, errors, where);
  if (handles.empty()) return S_OK;
  std::vector<VARIANT> sent;
  for (size_t i : where) sent.push_back(values[i]);  // shallow: the caller's values stay owned
  const DWORD count = static_cast<DWORD>(handles.size());
  HRESULT* itemErrors = nullptr;
  DWORD transaction = 0;
  HRESULT hr;
  if (async2) {
    hr = asyncIo2->Write(count, handles.data(), sent.data(), 1, &transaction, &itemErrors);
  } else if (async) {
    hr = asyncIo->Write(group->m_dwWriteConnection, count, handles.data(), sent.data(),
                        &transaction, &itemErrors);
  } else {
    hr = syncIo->Write(count, handles.data(), sent.data(), &itemErrors);
  }
  Checked(manager, hr);
  for (size_t k = 0; k < where.size(); ++k)
    errors[where[k]] = FAILED(hr) ? hr : itemErrors ? itemErrors[k] : E_FAIL;
  ::CoTaskMemFree(itemErrors);
  return hr;
}

HRESULT ConvertWriteText(const std::wstring& text, VARTYPE vt, VARIANT* out) {
  ::VariantInit(out);
  out->vt = VT_BSTR;
  out->bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!out->bstrVal) return E_OUTOFMEMORY;
  if (vt == VT_BSTR) return S_OK;
  HRESULT hr = ::VariantChangeType(out, out, 0, vt);
  if (FAILED(hr)) ::VariantClear(out);
  return hr;
}
