// IOPCItemProperties of the server object: the fixed properties 1 to 8 of every item and
// those of 100 to 108 an item has (units and high/low EU of analog items, a description of
// every item, contact labels of switches).
#include "SimGroup.h"
#include "SimServer.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace plover::sim {

namespace {

struct PropertyDef {
  DWORD id;
  const wchar_t* description;  // the OPC standard's own texts
  VARTYPE vt;
};

std::vector<PropertyDef> PropertiesOf(const ItemDef& def) {
  VARTYPE euInfo = def.euType == kEuAnalog       ? VARTYPE(VT_ARRAY | VT_R8)
                   : def.euType == kEuEnumerated ? VARTYPE(VT_ARRAY | VT_BSTR)
                                                 : VARTYPE(VT_EMPTY);
  std::vector<PropertyDef> list = {
      {OPC_PROPERTY_DATATYPE, L"Item Canonical DataType", VT_I2},
      {OPC_PROPERTY_VALUE, L"Item Value", def.type},
      {OPC_PROPERTY_QUALITY, L"Item Quality", VT_I2},
      {OPC_PROPERTY_TIMESTAMP, L"Item Timestamp", VT_DATE},
      {OPC_PROPERTY_ACCESS_RIGHTS, L"Item Access Rights", VT_I4},
      {OPC_PROPERTY_SCAN_RATE, L"Server Scan Rate", VT_R4},
      {OPC_PROPERTY_EU_TYPE, L"Item EU Type", VT_I4},
      {OPC_PROPERTY_EU_INFO, L"Item EU Info", euInfo},
  };
  if (def.euType == kEuAnalog) list.push_back({OPC_PROPERTY_EU_UNITS, L"EU Units", VT_BSTR});
  list.push_back({OPC_PROPERTY_DESCRIPTION, L"Item Description", VT_BSTR});
  if (def.euType == kEuAnalog) {
    list.push_back({OPC_PROPERTY_HIGH_EU, L"High EU", VT_R8});
    list.push_back({OPC_PROPERTY_LOW_EU, L"Low EU", VT_R8});
  }
  if (def.type == VT_BOOL) {
    list.push_back({OPC_PROPERTY_CLOSE_LABEL, L"Contact Close Label", VT_BSTR});
    list.push_back({OPC_PROPERTY_OPEN_LABEL, L"Contact Open Label", VT_BSTR});
  }
  return list;
}

const PropertyDef* FindProperty(const std::vector<PropertyDef>& list, DWORD id) {
  for (const PropertyDef& p : list)
    if (p.id == id) return &p;
  return nullptr;
}

std::wstring Units(const ItemDef& def) {
  static const struct {
    const wchar_t* id;
    const wchar_t* units;
  } kUnits[] = {{L"Signals.Sine", L"mV"},
                {L"Signals.Triangle", L"rpm"},
                {L"EU.Analog", L"DEGC"},
                {L"Names.温度", L"°C"},
                {L"Names.Motor 1.Speed rpm", L"rpm"}};
  for (const auto& u : kUnits)
    if (def.id == u.id) return u.units;
  return L"%";
}

std::wstring Description(const ItemDef& def) {
  static const wchar_t* const kSignals[] = {L"Static value",          L"Simulated random value",
                                            L"Simulated ramp",        L"Simulated sine wave",
                                            L"Simulated square wave", L"Simulated triangle wave"};
  std::wstring text = kSignals[static_cast<int>(def.signal)];
  if (def.type & VT_ARRAY) text += L" array";
  return text + L" " + def.id;
}

// UTC file time to an OLE date, as precisely as the double holds it (about a microsecond
// today). Not through SystemTimeToVariantTime: Wine's drops the milliseconds.
DATE FileTimeToDate(const FILETIME& ft) {
  constexpr int64_t kTicksPerDay = 864000000000;     // 100 ns units
  constexpr int64_t kEpoch = 109205 * kTicksPerDay;  // 1601-01-01 to 1899-12-30
  const int64_t t = int64_t((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) - kEpoch;
  // Whole days and the time of day apart, so the fraction keeps its precision.
  const double days = double(t / kTicksPerDay) + double(t % kTicksPerDay) / double(kTicksPerDay);
  if (days >= 0) return days;
  // Before the epoch the whole days count down while the time of day still counts up.
  const double whole = std::floor(days);
  return whole - (days - whole);
}

void SetString(VARIANT* v, const std::wstring& s) {
  v->vt = VT_BSTR;
  v->bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  if (!v->bstrVal) v->vt = VT_EMPTY;
}

}  // namespace

HRESULT SimServer::PropertyItem(LPCWSTR itemId, uint32_t* index) const {
  if (!itemId) return E_INVALIDARG;
  if (!IsWellFormedItemId(itemId)) return OPC_E_INVALIDITEMID;
  int found = m_space.FindItem(itemId);
  if (found < 0) return OPC_E_UNKNOWNITEMID;
  *index = static_cast<uint32_t>(found);
  return S_OK;
}

HRESULT SimServer::PropertyValue(uint32_t index, const ItemState& state, DWORD id,
                                 VARIANT* out) const {
  const ItemDef& def = m_space.Item(index);
  const std::vector<PropertyDef> list = PropertiesOf(def);
  VARIANT& v = *out;
  HRESULT error = S_OK;
  if (!FindProperty(list, id)) {
    error = OPC_E_INVALID_PID;
  } else if ((id == OPC_PROPERTY_VALUE || id == OPC_PROPERTY_QUALITY ||
              id == OPC_PROPERTY_TIMESTAMP) &&
             !(def.access & kReadable)) {
    error = OPC_E_BADRIGHTS;
  } else {
    switch (id) {
      case OPC_PROPERTY_DATATYPE:
        v.vt = VT_I2;
        v.iVal = static_cast<SHORT>(def.type);
        break;
      case OPC_PROPERTY_VALUE:
        error = CopyVariant(&v, &state.value.v);
        break;
      case OPC_PROPERTY_QUALITY:
        v.vt = VT_I2;
        v.iVal = static_cast<SHORT>(state.quality);
        break;
      case OPC_PROPERTY_TIMESTAMP:
        // The same time stamp a read of the item gives.
        v.vt = VT_DATE;
        v.date = FileTimeToDate(StampOf(state));
        break;
      case OPC_PROPERTY_ACCESS_RIGHTS:
        v.vt = VT_I4;
        v.lVal = static_cast<LONG>(def.access);
        break;
      case OPC_PROPERTY_SCAN_RATE:
        v.vt = VT_R4;
        v.fltVal = static_cast<float>(ReviseRate(0));
        break;
      case OPC_PROPERTY_EU_TYPE:
        v.vt = VT_I4;
        v.lVal = static_cast<LONG>(def.euType);
        break;
      case OPC_PROPERTY_EU_INFO: {
        Variant info = EuInfo(def);
        error = CopyVariant(&v, &info.v);
        break;
      }
      case OPC_PROPERTY_EU_UNITS:
        SetString(&v, Units(def));
        break;
      case OPC_PROPERTY_DESCRIPTION:
        SetString(&v, Description(def));
        break;
      case OPC_PROPERTY_HIGH_EU:
      case OPC_PROPERTY_LOW_EU:
        v.vt = VT_R8;
        v.dblVal = id == OPC_PROPERTY_HIGH_EU ? def.euHigh : def.euLow;
        break;
      case OPC_PROPERTY_CLOSE_LABEL:
        SetString(&v, L"On");
        break;
      case OPC_PROPERTY_OPEN_LABEL:
        SetString(&v, L"Off");
        break;
    }
  }
  return error;
}

std::vector<DWORD> SimServer::PropertyIds(uint32_t index) const {
  std::vector<DWORD> ids;
  for (const PropertyDef& p : PropertiesOf(m_space.Item(index))) ids.push_back(p.id);
  return ids;
}

void ClearItemProperties(OPCITEMPROPERTIES* p) {
  for (DWORD i = 0; p->pItemProperties && i < p->dwNumProperties; ++i) {
    OPCITEMPROPERTY& e = p->pItemProperties[i];
    CoTaskMemFree(e.szItemID);
    CoTaskMemFree(e.szDescription);
    VariantClear(&e.vValue);
  }
  CoTaskMemFree(p->pItemProperties);
  p->pItemProperties = nullptr;
  p->dwNumProperties = 0;
}

bool SimServer::FillProperties(uint32_t index, const DWORD* ids, DWORD count, bool values,
                               OPCITEMPROPERTIES* out) {
  const std::vector<PropertyDef> list = PropertiesOf(m_space.Item(index));
  std::vector<DWORD> all;
  if (!ids) {
    all = PropertyIds(index);
    ids = all.data();
    count = static_cast<DWORD>(all.size());
  }
  out->hrErrorID = S_OK;
  out->dwNumProperties = 0;
  out->pItemProperties = nullptr;
  if (count == 0) return true;
  auto* entries = CoTaskArray<OPCITEMPROPERTY>(count);
  if (!entries) return false;
  out->pItemProperties = entries;
  out->dwNumProperties = count;
  // Value, quality and time as from the device, once for the item; only when asked for.
  const ItemState* state = values ? &m_sim.Sample(index, NowMs()) : nullptr;
  for (DWORD i = 0; i < count; ++i) {
    OPCITEMPROPERTY& e = entries[i];
    e.dwPropertyID = ids[i];
    VariantInit(&e.vValue);
    const PropertyDef* def = FindProperty(list, ids[i]);
    if (!def) {
      e.hrErrorID = OPC_E_INVALID_PID;
    } else {
      e.vtDataType = def->vt;
      e.szDescription = CoTaskString(def->description);
      if (!e.szDescription) {
        ClearItemProperties(out);
        return false;
      }
      // No property here is an item of its own: szItemID stays null.
      e.hrErrorID = state ? PropertyValue(index, *state, ids[i], &e.vValue) : S_OK;
    }
    if (FAILED(e.hrErrorID)) out->hrErrorID = S_FALSE;
  }
  return true;
}

HRESULT STDMETHODCALLTYPE SimServer::QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount,
                                                              DWORD** ppPropertyIDs,
                                                              LPWSTR** ppDescriptions,
                                                              VARTYPE** ppvtDataTypes) {
  if (pdwCount) *pdwCount = 0;
  if (ppPropertyIDs) *ppPropertyIDs = nullptr;
  if (ppDescriptions) *ppDescriptions = nullptr;
  if (ppvtDataTypes) *ppvtDataTypes = nullptr;
  if (HRESULT hr = Injected(L"IOPCItemProperties::QueryAvailableProperties"); hr != S_OK) return hr;
  if (!pdwCount || !ppPropertyIDs || !ppDescriptions || !ppvtDataTypes) return E_INVALIDARG;
  uint32_t index = 0;
  if (HRESULT hr = PropertyItem(szItemID, &index); FAILED(hr)) return hr;
  const std::vector<PropertyDef> list = PropertiesOf(m_space.Item(index));
  const size_t n = list.size();
  auto* ids = CoTaskArray<DWORD>(n);
  auto* texts = CoTaskArray<LPWSTR>(n);
  auto* types = CoTaskArray<VARTYPE>(n);
  bool ok = ids && texts && types;
  for (size_t i = 0; ok && i < n; ++i) {
    ids[i] = list[i].id;
    types[i] = list[i].vt;
    ok = (texts[i] = CoTaskString(list[i].description)) != nullptr;
  }
  if (!ok) {
    for (size_t i = 0; texts && i < n; ++i) CoTaskMemFree(texts[i]);
    CoTaskMemFree(ids);
    CoTaskMemFree(texts);
    CoTaskMemFree(types);
    return E_OUTOFMEMORY;
  }
  *pdwCount = static_cast<DWORD>(n);
  *ppPropertyIDs = ids;
  *ppDescriptions = texts;
  *ppvtDataTypes = types;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::GetItemProperties(LPWSTR szItemID, DWORD dwCount,
                                                       DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                                       HRESULT** ppErrors) {
  if (ppvData) *ppvData = nullptr;
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = Injected(L"IOPCItemProperties::GetItemProperties"); hr != S_OK) return hr;
  if (dwCount == 0 || !pdwPropertyIDs || !ppvData || !ppErrors) return E_INVALIDARG;
  uint32_t index = 0;
  if (HRESULT hr = PropertyItem(szItemID, &index); FAILED(hr)) return hr;
  auto* values = CoTaskArray<VARIANT>(dwCount);
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!values || !errors) {
    CoTaskMemFree(values);
    CoTaskMemFree(errors);
    return E_OUTOFMEMORY;
  }
  // Value, quality and time are read as from the device, once for all three.
  const ItemState& state = m_sim.Sample(index, NowMs());
  bool anyFailed = false;
  for (DWORD i = 0; i < dwCount; ++i) {
    VariantInit(&values[i]);
    errors[i] = PropertyValue(index, state, pdwPropertyIDs[i], &values[i]);
    anyFailed = anyFailed || FAILED(errors[i]);
  }
  *ppvData = values;
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::LookupItemIDs(LPWSTR szItemID, DWORD dwCount,
                                                   DWORD* pdwPropertyIDs, LPWSTR** ppszNewItemIDs,
                                                   HRESULT** ppErrors) {
  if (ppszNewItemIDs) *ppszNewItemIDs = nullptr;
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = Injected(L"IOPCItemProperties::LookupItemIDs"); hr != S_OK) return hr;
  if (dwCount == 0 || !pdwPropertyIDs || !ppszNewItemIDs || !ppErrors) return E_INVALIDARG;
  uint32_t index = 0;
  if (HRESULT hr = PropertyItem(szItemID, &index); FAILED(hr)) return hr;
  auto* ids = CoTaskArray<LPWSTR>(dwCount);
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!ids || !errors) {
    CoTaskMemFree(ids);
    CoTaskMemFree(errors);
    return E_OUTOFMEMORY;
  }
  // No property here has an item of its own.
  for (DWORD i = 0; i < dwCount; ++i) errors[i] = OPC_E_INVALID_PID;
  *ppszNewItemIDs = ids;
  *ppErrors = errors;
  return S_FALSE;
}

}  // namespace plover::sim
