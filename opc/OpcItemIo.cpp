#include "OpcItemIo.h"

#include "ComPtr.h"

namespace {

std::vector<LPCWSTR> IdPointers(const std::vector<std::wstring>& ids) {
  std::vector<LPCWSTR> out;
  out.reserve(ids.size());
  for (const std::wstring& id : ids) out.push_back(id.c_str());
  return out;
}

// The whole-number value of a property, or VT_EMPTY.
VARTYPE TypeOf(const VARIANT& v) {
  VARIANT n;
  ::VariantInit(&n);
  VARTYPE vt = VT_EMPTY;
  if (!(v.vt & VT_ARRAY) && v.vt != VT_EMPTY &&
      SUCCEEDED(::VariantChangeType(&n, const_cast<VARIANT*>(&v), 0, VT_I4)))
    vt = static_cast<VARTYPE>(n.lVal);
  ::VariantClear(&n);
  return vt;
}

}  // namespace

HRESULT ReadByItemIo(IOPCServer* server, const std::vector<std::wstring>& ids, DWORD maxAge,
                     std::vector<std::unique_ptr<COpcItem>>& records,
                     std::vector<HRESULT>& errors) {
  records.clear();
  errors.assign(ids.size(), E_FAIL);
  TComPtr<IOPCItemIO> io;
  if (FAILED(io.QueryFrom(server)) || !io) {
    io.Detach();
    return E_NOINTERFACE;
  }
  records.resize(ids.size());
  if (ids.empty()) return S_OK;
  const DWORD count = static_cast<DWORD>(ids.size());
  std::vector<LPCWSTR> names = IdPointers(ids);
  std::vector<DWORD> ages(ids.size(), maxAge);
  VARIANT* values = nullptr;
  WORD* qualities = nullptr;
  FILETIME* times = nullptr;
  HRESULT* results = nullptr;
  HRESULT hr = io->Read(count, names.data(), ages.data(), &values, &qualities, &times, &results);
  if (SUCCEEDED(hr) && values && qualities && times && results) {
    for (DWORD i = 0; i < count; ++i) {
      errors[i] = results[i];
      if (FAILED(results[i])) continue;
      auto record = std::make_unique<COpcItem>(ids[i]);
      ::VariantCopy(&record->m_value, &values[i]);
      record->m_vtCanonical = values[i].vt;
      record->m_wQuality = qualities[i];
      record->m_ftTimeStamp = times[i];
      records[i] = std::move(record);
    }
  } else if (SUCCEEDED(hr)) {
    hr = E_POINTER;  // a success without its arrays reads nothing
  }
  if (FAILED(hr)) errors.assign(ids.size(), hr);
  for (DWORD i = 0; values && i < count; ++i) ::VariantClear(&values[i]);
  ::CoTaskMemFree(values);
  ::CoTaskMemFree(qualities);
  ::CoTaskMemFree(times);
  ::CoTaskMemFree(results);
  return hr;
}

HRESULT WriteVqtByItemIo(IOPCServer* server, const std::vector<std::wstring>& ids,
                         const std::vector<OpcVqt>& vqts, std::vector<HRESULT>& errors) {
  errors.assign(ids.size(), E_FAIL);
  if (vqts.size() != ids.size()) return E_INVALIDARG;
  TComPtr<IOPCItemIO> io;
  if (FAILED(io.QueryFrom(server)) || !io) {
    io.Detach();
    return E_NOINTERFACE;
  }
  if (ids.empty()) return S_OK;
  std::vector<LPCWSTR> names = IdPointers(ids);
  std::vector<OPCITEMVQT> items(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    OPCITEMVQT& v = items[i];
    v = OPCITEMVQT{};
    v.vDataValue = vqts[i].value;  // a shallow copy: only read by the call
    v.bQualitySpecified = vqts[i].withQuality;
    v.wQuality = vqts[i].quality;
    v.bTimeStampSpecified = vqts[i].withTime;
    v.ftTimeStamp = vqts[i].time;
  }
  HRESULT* results = nullptr;
  HRESULT hr = io->WriteVQT(static_cast<DWORD>(ids.size()), names.data(), items.data(), &results);
  if (SUCCEEDED(hr) && results)
    errors.assign(results, results + ids.size());
  else
    errors.assign(ids.size(), SUCCEEDED(hr) ? E_POINTER : hr);
  ::CoTaskMemFree(results);
  return SUCCEEDED(hr) && !results ? E_POINTER : hr;
}

HRESULT ReadCanonicalTypes(IOPCServer* server, const std::vector<std::wstring>& ids,
                           std::vector<VARTYPE>& types, std::vector<HRESULT>& errors) {
  types.assign(ids.size(), VT_EMPTY);
  errors.assign(ids.size(), E_FAIL);
  if (ids.empty()) return S_OK;
  DWORD typeId = OPC_PROPERTY_DATATYPE;
  TComPtr<IOPCBrowse> browse;
  if (SUCCEEDED(browse.QueryFrom(server)) && browse) {
    std::vector<LPWSTR> names;
    for (const std::wstring& id : ids) names.push_back(const_cast<LPWSTR>(id.c_str()));
    OPCITEMPROPERTIES* items = nullptr;
    HRESULT hr = browse->GetProperties(static_cast<DWORD>(ids.size()), names.data(), TRUE, 1,
                                       &typeId, &items);
    if (hr != E_NOTIMPL) {
      for (size_t i = 0; items && i < ids.size(); ++i) {
        OPCITEMPROPERTIES& item = items[i];
        errors[i] = item.hrErrorID;
        for (DWORD p = 0; item.pItemProperties && p < item.dwNumProperties; ++p) {
          OPCITEMPROPERTY& prop = item.pItemProperties[p];
          if (prop.dwPropertyID == OPC_PROPERTY_DATATYPE && SUCCEEDED(prop.hrErrorID)) {
            types[i] = TypeOf(prop.vValue);
            errors[i] = S_OK;
          } else if (prop.dwPropertyID == OPC_PROPERTY_DATATYPE) {
            errors[i] = prop.hrErrorID;
          }
          ::CoTaskMemFree(prop.szItemID);
          ::CoTaskMemFree(prop.szDescription);
          ::VariantClear(&prop.vValue);
        }
        ::CoTaskMemFree(item.pItemProperties);
      }
      ::CoTaskMemFree(items);
      if (FAILED(hr) || !items) errors.assign(ids.size(), FAILED(hr) ? hr : E_POINTER);
      return hr;
    }
  } else {
    browse.Detach();
  }
  TComPtr<IOPCItemProperties> props;
  if (FAILED(props.QueryFrom(server)) || !props) {
    props.Detach();
    errors.assign(ids.size(), E_NOINTERFACE);
    return E_NOINTERFACE;
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    VARIANT* values = nullptr;
    HRESULT* results = nullptr;
    HRESULT hr =
        props->GetItemProperties(const_cast<LPWSTR>(ids[i].c_str()), 1, &typeId, &values, &results);
    errors[i] = FAILED(hr) ? hr : results ? results[0] : E_POINTER;
    if (SUCCEEDED(errors[i]) && values) types[i] = TypeOf(values[0]);
    if (values) ::VariantClear(&values[0]);
    ::CoTaskMemFree(values);
    ::CoTaskMemFree(results);
  }
  return S_OK;
}
