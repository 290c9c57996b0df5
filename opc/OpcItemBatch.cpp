#include "OpcItemBatch.h"

#include <oleauto.h>

#include "OpcServerWatch.h"

namespace {
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

size_t AddItemBatch(COpcGroupManager& manager, const std::vector<std::wstring>& ids,
                    VARTYPE requested, std::vector<OpcAddResult>& results) {
  results.assign(ids.size(), OpcAddResult{});
  COpcGroup* group = manager.GetCurrentGroup();
  if (!group) return 0;
  // The core's batched add, asked for one type only (no tries).
  std::vector<OpcItemRequest> requests(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    requests[i].strItemId = ids[i];
    requests[i].strAccessPath = manager.m_strAccessPath;
    requests[i].bTryTypes = false;
    requests[i].vtRequested = requested;
  }
  std::vector<OpcItemOutcome> outcomes;
  const size_t added = manager.AddItems(group->m_hClient, requests, outcomes);
  for (size_t i = 0; i < ids.size(); ++i) {
    OpcAddResult& r = results[i];
    // Skipped (already in the group, or listed before): a duplicate to the caller.
    r.error = outcomes[i].hr == S_FALSE ? OPC_E_DUPLICATENAME : outcomes[i].hr;
    r.item = outcomes[i].hr == S_OK ? outcomes[i].pItem : nullptr;
    if (r.item) r.canonical = r.item->m_vtCanonical;
  }
  return added;
}

HRESULT ReadItemBatch(COpcGroupManager& manager, const std::vector<COpcItem*>& items,
                      OPCDATASOURCE source, std::vector<HRESULT>& errors) {
  errors.assign(items.size(), E_FAIL);
  COpcGroup* group = manager.GetCurrentGroup();
  TComPtr<IOPCSyncIO> io;
  if (!group || !group->QueryIo(io)) return E_NOINTERFACE;
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
  const bool async2 = async && group->UsesCallback();
  TComPtr<IOPCSyncIO> syncIo;
  TComPtr<IOPCAsyncIO> asyncIo;
  TComPtr<IOPCAsyncIO2> asyncIo2;
  if (async2  ? !group->QueryIo(asyncIo2)
      : async ? !group->QueryIo(asyncIo)
              : !group->QueryIo(syncIo))
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
