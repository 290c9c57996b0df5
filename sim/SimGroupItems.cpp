// IOPCItemMgt of a group.
#include "EnumItemAttributes.h"
#include "SimGroup.h"
#include "SimServer.h"

#include <new>

namespace plover::sim {

Variant EuInfo(const ItemDef& def) {
  Variant v;
  if (def.euType == kEuAnalog) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_R8, 0, 2);
    if (psa) {
      LONG i = 0;
      double lo = def.euLow, hi = def.euHigh;
      SafeArrayPutElement(psa, &i, &lo);
      i = 1;
      SafeArrayPutElement(psa, &i, &hi);
      v.v.vt = VT_ARRAY | VT_R8;
      v.v.parray = psa;
    }
  } else if (def.euType == kEuEnumerated) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(def.euStrings.size()));
    if (psa) {
      for (size_t n = 0; n < def.euStrings.size(); ++n) {
        LONG i = static_cast<LONG>(n);
        BSTR s = SysAllocString(def.euStrings[n].c_str());
        SafeArrayPutElement(psa, &i, s);
        SysFreeString(s);
      }
      v.v.vt = VT_ARRAY | VT_BSTR;
      v.v.parray = psa;
    }
  }
  return v;
}

HRESULT SimGroup::ValidateDef(const OPCITEMDEF& def, int* index) const {
  if (!IsWellFormedItemId(def.szItemID)) return OPC_E_INVALIDITEMID;
  *index = m_server->Space().FindItem(def.szItemID);
  if (*index < 0) return OPC_E_UNKNOWNITEMID;
  // The access path is only a hint; this server has one path to everything.
  const ItemDef& item = m_server->Space().Item(static_cast<uint32_t>(*index));
  if (!CanConvertType(item.type, def.vtRequestedDataType) ||
      m_server->Refuses(item.id, def.vtRequestedDataType))
    return OPC_E_BADTYPE;
  return S_OK;
}

void SimGroup::FillResult(const OPCITEMDEF&, int index, OPCITEMRESULT* result) const {
  const ItemDef& item = m_server->Space().Item(static_cast<uint32_t>(index));
  result->vtCanonicalDataType = item.type;
  result->dwAccessRights = item.access;
  result->dwBlobSize = 0;
  result->pBlob = nullptr;
}

// Shared frame of AddItems and ValidateItems: checks, result and error arrays, one
// validation per definition; fn runs for each definition that is valid.
template <class Fn>
static HRESULT ForEachDef(DWORD count, OPCITEMDEF* defs, OPCITEMRESULT** ppResults,
                          HRESULT** ppErrors, Fn fn) {
  if (count == 0 || !defs || !ppResults || !ppErrors) return E_INVALIDARG;
  auto* results = CoTaskArray<OPCITEMRESULT>(count);
  auto* errors = CoTaskArray<HRESULT>(count);
  if (!results || !errors) {
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return E_OUTOFMEMORY;
  }
  bool anyFailed = false;
  for (DWORD i = 0; i < count; ++i) {
    errors[i] = fn(defs[i], &results[i]);
    if (FAILED(errors[i])) anyFailed = true;
  }
  *ppResults = results;
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::AddItems(DWORD dwCount, OPCITEMDEF* pItemArray,
                                             OPCITEMRESULT** ppAddResults, HRESULT** ppErrors) {
  if (ppAddResults) *ppAddResults = nullptr;
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCItemMgt::AddItems"); hr != S_OK) return hr;
  return ForEachDef(dwCount, pItemArray, ppAddResults, ppErrors,
                    [this](const OPCITEMDEF& def, OPCITEMRESULT* result) {
                      int index = -1;
                      HRESULT hr = ValidateDef(def, &index);
                      if (FAILED(hr)) return hr;
                      GroupItem item;
                      item.hServer = ++m_lastItemHandle;
                      item.hClient = def.hClient;
                      item.index = static_cast<uint32_t>(index);
                      item.active = def.bActive != FALSE;
                      item.requested = def.vtRequestedDataType;
                      item.accessPath = def.szAccessPath ? def.szAccessPath : L"";
                      FillResult(def, index, result);
                      result->hServer = item.hServer;
                      m_items.emplace(item.hServer, std::move(item));
                      return hr;
                    });
}

HRESULT STDMETHODCALLTYPE SimGroup::ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL,
                                                  OPCITEMRESULT** ppValidationResults,
                                                  HRESULT** ppErrors) {
  if (ppValidationResults) *ppValidationResults = nullptr;
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCItemMgt::ValidateItems"); hr != S_OK) return hr;
  return ForEachDef(dwCount, pItemArray, ppValidationResults, ppErrors,
                    [this](const OPCITEMDEF& def, OPCITEMRESULT* result) {
                      int index = -1;
                      HRESULT hr = ValidateDef(def, &index);
                      if (SUCCEEDED(hr)) FillResult(def, index, result);
                      return hr;
                    });
}

// Shared frame of the handle-list methods: checks, error array, one call per handle.
template <class Fn>
static HRESULT ForEachHandle(DWORD count, OPCHANDLE* handles, HRESULT** ppErrors, Fn fn) {
  if (count == 0 || !handles || !ppErrors) return E_INVALIDARG;
  auto* errors = CoTaskArray<HRESULT>(count);
  if (!errors) return E_OUTOFMEMORY;
  bool anyFailed = false;
  for (DWORD i = 0; i < count; ++i) {
    errors[i] = fn(i, handles[i]);
    anyFailed = anyFailed || FAILED(errors[i]);
  }
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::RemoveItems(DWORD dwCount, OPCHANDLE* phServer,
                                                HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCItemMgt::RemoveItems"); hr != S_OK) return hr;
  return ForEachHandle(dwCount, phServer, ppErrors, [this](DWORD, OPCHANDLE h) {
    return m_items.erase(h) ? S_OK : OPC_E_INVALIDHANDLE;
  });
}

HRESULT STDMETHODCALLTYPE SimGroup::SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive,
                                                   HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCItemMgt::SetActiveState"); hr != S_OK) return hr;
  return ForEachHandle(dwCount, phServer, ppErrors, [this, bActive](DWORD, OPCHANDLE h) {
    GroupItem* item = FindItem(h);
    if (!item) return OPC_E_INVALIDHANDLE;
    bool active = bActive != FALSE;
    if (active && !item->active) item->sent = false;  // an activated item reports its value once
    item->active = active;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE SimGroup::SetClientHandles(DWORD dwCount, OPCHANDLE* phServer,
                                                     OPCHANDLE* phClient, HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCItemMgt::SetClientHandles"); hr != S_OK) return hr;
  if (!phClient) return E_INVALIDARG;
  return ForEachHandle(dwCount, phServer, ppErrors, [this, phClient](DWORD i, OPCHANDLE h) {
    GroupItem* item = FindItem(h);
    if (!item) return OPC_E_INVALIDHANDLE;
    item->hClient = phClient[i];
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE SimGroup::SetDatatypes(DWORD dwCount, OPCHANDLE* phServer,
                                                 VARTYPE* pRequestedDatatypes, HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCItemMgt::SetDatatypes"); hr != S_OK) return hr;
  if (!pRequestedDatatypes) return E_INVALIDARG;
  return ForEachHandle(dwCount, phServer, ppErrors,
                       [this, pRequestedDatatypes](DWORD i, OPCHANDLE h) {
                         GroupItem* item = FindItem(h);
                         if (!item) return OPC_E_INVALIDHANDLE;
                         const ItemDef& def = m_server->Space().Item(item->index);
                         VARTYPE vt = pRequestedDatatypes[i];
                         if (!CanConvertType(def.type, vt) || m_server->Refuses(def.id, vt))
                           return OPC_E_BADTYPE;
                         item->requested = vt;
                         item->cached = false;
                         item->sent = false;
                         return S_OK;
                       });
}

HRESULT STDMETHODCALLTYPE SimGroup::CreateEnumerator(REFIID riid, IUnknown** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCItemMgt::CreateEnumerator"); hr != S_OK) return hr;
  if (!ppUnk) return E_INVALIDARG;
  if (riid != IID_IEnumOPCItemAttributes && riid != IID_IUnknown) return E_NOINTERFACE;
  if (m_items.empty()) return S_FALSE;  // nothing to enumerate: no enumerator either
  std::vector<ItemAttributes> list;
  list.reserve(m_items.size());
  for (const auto& [h, item] : m_items) {
    const ItemDef& def = m_server->Space().Item(item.index);
    ItemAttributes a;
    a.accessPath = item.accessPath;
    a.itemId = def.id;
    a.active = item.active ? TRUE : FALSE;
    a.hClient = item.hClient;
    a.hServer = item.hServer;
    a.accessRights = def.access;
    a.requested = item.requested;
    a.canonical = def.type;
    a.euType = def.euType;
    a.euInfo = EuInfo(def);
    list.push_back(std::move(a));
  }
  auto* e = new (std::nothrow) EnumItemAttributes(std::move(list));
  if (!e) return E_OUTOFMEMORY;
  *ppUnk = static_cast<IEnumOPCItemAttributes*>(e);
  return S_OK;
}

}  // namespace plover::sim
