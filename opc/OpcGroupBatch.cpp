// Many items of one group at once, for the branch add, the workspace restore and the console
// client alike: a few AddItems calls per batch instead of one per item and requested type,
// the first values read in one call per batch, and batched reads and writes.
#include "OpcGroupManager.h"

#include <oleauto.h>

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "OpcServerWatch.h"
#include "OpcText.h"

namespace {

// Codes no other requested type can mend: the item is not there to be had.
bool NoTypeHelps(HRESULT hr) {
  return hr == OPC_E_UNKNOWNITEMID || hr == OPC_E_INVALIDITEMID || hr == OPC_E_UNKNOWNPATH;
}

// One request on its way through the requested types.
struct Attempt {
  size_t index;  // into the requests
  std::unique_ptr<COpcItem> record;
  size_t nextType = 0;
  HRESULT error = S_OK;  // the code to report if no type is taken
  bool open = true;
  bool added = false;

  void Fail(HRESULT hr, bool last) {
    // A refusal of the type alone says less than any other code.
    if (error == S_OK || error == OPC_E_BADTYPE) error = hr;
    ++nextType;
    if (last) open = false;
  }
};

}  // namespace

size_t COpcGroupManager::AddItems(OPCHANDLE handle, const std::vector<OpcItemRequest>& requests,
                                  std::vector<OpcItemOutcome>& outcomes,
                                  const OpcAddProgress& progress) {
  outcomes.assign(requests.size(), OpcItemOutcome{});
  COpcGroup* group = GetGroup(handle);
  if (!group || !m_pServer) return 0;
  const uint32_t serial = group->m_nSerial;

  // An ID listed twice is added once, as a second double-click would not add it again.
  std::vector<size_t> pending;
  pending.reserve(requests.size());
  {
    std::unordered_set<std::wstring> seen;
    for (size_t i = 0; i < requests.size(); ++i) {
      if (seen.insert(requests[i].strItemId).second)
        pending.push_back(i);
      else
        outcomes[i].hr = S_FALSE;
    }
  }
  size_t done = requests.size() - pending.size();
  for (size_t start = 0; start < pending.size(); start += kAddBatchSize) {
    const size_t end = std::min(pending.size(), start + kAddBatchSize);
    std::vector<size_t> batch(pending.begin() + static_cast<ptrdiff_t>(start),
                              pending.begin() + static_cast<ptrdiff_t>(end));
    AddBatch(group, requests, batch, outcomes);
    done += batch.size();
    if (m_pWatch && m_pWatch->Vanished()) break;
    const bool goOn = !progress || progress(done, requests.size());
    // Messages may have run meanwhile: the group, or the whole connection, may be gone.
    COpcGroup* now = GetGroup(handle);
    if (!now || now->m_nSerial != serial) {
      // Its records went with it.
      for (OpcItemOutcome& o : outcomes) {
        if (o.hr == S_OK) o.hr = E_ABORT;
        o.pItem = nullptr;
      }
      return 0;
    }
    if (!goOn) break;
  }
  return static_cast<size_t>(std::count_if(outcomes.begin(), outcomes.end(),
                                           [](const OpcItemOutcome& o) { return o.hr == S_OK; }));
}

void COpcGroupManager::AddBatch(COpcGroup* group, const std::vector<OpcItemRequest>& requests,
                                const std::vector<size_t>& batch,
                                std::vector<OpcItemOutcome>& outcomes) {
  TComPtr<IOPCItemMgt> mgt;
  HRESULT hr = mgt.QueryFrom(group->m_pGroup.Get());
  if (SUCCEEDED(hr) && !mgt) hr = E_NOINTERFACE;
  if (FAILED(hr)) {
    for (size_t i : batch) outcomes[i].hr = hr;
    return;
  }

  std::vector<Attempt> attempts;
  attempts.reserve(batch.size());
  for (size_t i : batch) {
    // Already in the group: skipped, as the double-click skips it.
    if (group->m_itemsByName.count(requests[i].strItemId)) {
      outcomes[i].hr = S_FALSE;
      continue;
    }
    auto record = std::make_unique<COpcItem>(requests[i].strItemId);
    record->m_hClient = m_itemTable.Add(record.get());
    if (!record->m_hClient) {  // table full
      outcomes[i].hr = E_OUTOFMEMORY;
      continue;
    }
    attempts.push_back({i, std::move(record)});
  }

  const std::span<const VARTYPE> types = RequestedTypes();
  std::vector<Attempt*> open;
  std::vector<OPCITEMDEF> defs;
  std::vector<OPCHANDLE> undo;  // added in a type the list cannot show: taken back
  for (;;) {
    open.clear();
    for (Attempt& a : attempts)
      if (a.open) open.push_back(&a);
    if (open.empty()) break;
    // Each item asks for its own next type, so one call serves every type of the round.
    defs.assign(open.size(), OPCITEMDEF{});
    for (size_t k = 0; k < open.size(); ++k) {
      const OpcItemRequest& r = requests[open[k]->index];
      OPCITEMDEF& def = defs[k];
      def.szAccessPath = const_cast<LPWSTR>(r.strAccessPath.c_str());
      def.szItemID = const_cast<LPWSTR>(open[k]->record->m_strItemId.c_str());
      def.bActive = r.bActive;
      def.hClient = open[k]->record->m_hClient;
      def.vtRequestedDataType = r.bTryTypes ? types[open[k]->nextType] : r.vtRequested;
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    hr = Checked(mgt->AddItems(static_cast<DWORD>(open.size()), defs.data(), &results, &errors));
    const bool gone = m_pWatch && m_pWatch->Vanished();
    for (size_t k = 0; k < open.size(); ++k) {
      Attempt& a = *open[k];
      const bool last = gone || !requests[a.index].bTryTypes || a.nextType + 1 >= types.size();
      HRESULT itemHr = FAILED(hr) ? hr : errors ? errors[k] : E_FAIL;
      // Success without a result names no server handle.
      if (SUCCEEDED(itemHr) && !results) itemHr = E_FAIL;
      if (results) ::CoTaskMemFree(results[k].pBlob);
      if (SUCCEEDED(itemHr)) {
        a.record->m_hServer = results[k].hServer;
        a.record->m_vtCanonical = results[k].vtCanonicalDataType;
        // Its own type has no text here (a VARIANT array, a type we do not know): the next
        // requested type, as the single add does.
        if (!last && types[a.nextType] == VT_EMPTY && defs[k].vtRequestedDataType == VT_EMPTY &&
            !HasValueText(results[k].vtCanonicalDataType)) {
          undo.push_back(results[k].hServer);
          a.Fail(OPC_E_BADTYPE, false);
          continue;
        }
        a.open = false;
        a.added = true;
      } else {
        a.Fail(itemHr, last || NoTypeHelps(itemHr));
      }
    }
    ::CoTaskMemFree(results);
    ::CoTaskMemFree(errors);
    if (!undo.empty()) {
      HRESULT* removed = nullptr;
      mgt->RemoveItems(static_cast<DWORD>(undo.size()), undo.data(), &removed);
      ::CoTaskMemFree(removed);
      undo.clear();
    }
  }

  std::vector<COpcItem*> added;
  added.reserve(attempts.size());
  for (Attempt& a : attempts) {
    if (!a.added) {
      m_itemTable.Remove(a.record->m_hClient);
      outcomes[a.index].hr = a.error;
      continue;
    }
    COpcItem* record = a.record.release();
    const OpcItemRequest& r = requests[a.index];
    // What was asked for, as the single add keeps it (a saved workspace writes it back).
    record->m_strAccessPath = r.strAccessPath;
    record->m_vtRequested = r.bTryTypes ? VARTYPE{VT_EMPTY} : r.vtRequested;
    record->m_bActive = r.bActive;
    group->m_items.push_back(record);
    group->m_itemsByName.emplace(record->m_strItemId, record);
    outcomes[a.index] = {record, S_OK};
    added.push_back(record);
  }
  // The first values, as the single add reads them, but in one call for the batch.
  if (!added.empty() && !(m_pWatch && m_pWatch->Vanished())) {
    std::vector<HRESULT> errors;
    ReadItemsOf(group, added, OPC_DS_CACHE, errors);
  }
}

namespace {
// The server handles of records the group holds; others are marked in errors.
std::vector<OPCHANDLE> ServerHandles(const COpcGroup* group, const std::vector<COpcItem*>& items,
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

HRESULT COpcGroupManager::ReadItems(const std::vector<COpcItem*>& items, OPCDATASOURCE source,
                                    std::vector<HRESULT>& errors) {
  return ReadItemsOf(m_pCurrent, items, source, errors);
}

HRESULT COpcGroupManager::ReadItemsOf(COpcGroup* group, const std::vector<COpcItem*>& items,
                                      OPCDATASOURCE source, std::vector<HRESULT>& errors) {
  errors.assign(items.size(), E_FAIL);
  TComPtr<IOPCSyncIO> io;
  if (!group || !group->QueryIo(io)) return E_NOINTERFACE;
  std::vector<size_t> where;
  std::vector<OPCHANDLE> handles = ServerHandles(group, items, errors, where);
  if (handles.empty()) return S_OK;
  OPCITEMSTATE* states = nullptr;
  HRESULT* itemErrors = nullptr;
  HRESULT hr = Checked(
      io->Read(source, static_cast<DWORD>(handles.size()), handles.data(), &states, &itemErrors));
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

HRESULT COpcGroupManager::WriteItems(const std::vector<COpcItem*>& items,
                                     std::vector<VARIANT>& values, bool async,
                                     std::vector<HRESULT>& errors) {
  errors.assign(items.size(), E_FAIL);
  COpcGroup* group = m_pCurrent;
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
  Checked(hr);
  for (size_t k = 0; k < where.size(); ++k)
    errors[where[k]] = FAILED(hr) ? hr : itemErrors ? itemErrors[k] : E_FAIL;
  ::CoTaskMemFree(itemErrors);
  return hr;
}
