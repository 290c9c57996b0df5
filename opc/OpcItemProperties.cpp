#include "OpcItemProperties.h"

#include <oleauto.h>

#include <cmath>

#include "ComPtr.h"
#include "OpcText.h"

namespace {

// Types the value text shows as they are; others go through the platform's conversion.
bool ShownAsIs(VARTYPE vt) {
  switch (vt & ~VT_ARRAY) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_BSTR:
    case VT_BOOL:
      return true;
    default:
      return vt == VT_EMPTY;
  }
}

std::wstring PropertyText(VARIANT& value) {
  if (value.vt == VT_DATE) {
    // A time stamp reads like the list's time column (the standard's DATE is UTC).
    SYSTEMTIME st;
    FILETIME ft;
    if (::VariantTimeToSystemTime(value.date, &st) && ::SystemTimeToFileTime(&st, &ft))
      return FormatLocalTime(ft);
    return {};
  }
  if (value.vt == VT_EMPTY) return {};
  if (!ShownAsIs(value.vt) && FAILED(::VariantChangeType(&value, &value, 0, VT_BSTR))) return {};
  return GetValueText(value, OPC_QUALITY_GOOD);
}

// A DATE (days since 30 Dec 1899; before it, the fraction still counts forwards) to a
// FILETIME to the millisecond: the platform's conversion drops the milliseconds.
FILETIME DateToFileTime(DATE date) {
  const double whole = date < 0 ? std::ceil(date) : std::floor(date);
  const double ms = whole * 86400000.0 + std::fabs(date - whole) * 86400000.0;
  // 30 Dec 1899 in 100-ns ticks since 1601.
  constexpr LONGLONG kDateZero = 94353120000000000LL;
  ULARGE_INTEGER t;
  t.QuadPart = static_cast<ULONGLONG>(kDateZero + std::llround(ms) * 10000LL);
  return {t.LowPart, t.HighPart};
}

void KeepRaw(VARIANT& value, OpcPropertyRow& row) {
  row.vt = value.vt;
  VARIANT number;
  ::VariantInit(&number);
  if (value.vt == VT_DATE) {
    row.time = DateToFileTime(value.date);
  } else if (!(value.vt & VT_ARRAY) && value.vt != VT_BSTR && value.vt != VT_R4 &&
             value.vt != VT_R8 && value.vt != VT_EMPTY &&
             SUCCEEDED(::VariantChangeType(&number, &value, 0, VT_I8))) {
    row.number = number.llVal;
  }
  ::VariantClear(&number);
}

OpcPropertyRow MakeRow(DWORD id, const wchar_t* description, HRESULT error, VARIANT& value) {
  OpcPropertyRow row;
  row.id = id;
  row.name = L"(" + std::to_wstring(id) + L") " + (description ? description : L"");
  if (SUCCEEDED(error)) {
    KeepRaw(value, row);
    row.value = PropertyText(value);
  }
  return row;
}

// Every property with its value in one call.
HRESULT ListByBrowse(IOPCBrowse* browse, const std::wstring& itemId,
                     std::vector<OpcPropertyRow>& rows) {
  LPWSTR id = const_cast<LPWSTR>(itemId.c_str());
  OPCITEMPROPERTIES* items = nullptr;
  // No IDs: every property. The array pointer still travels as a reference, never NULL.
  DWORD none = 0;
  HRESULT hr = browse->GetProperties(1, &id, TRUE, 0, &none, &items);
  if (FAILED(hr)) return hr;
  if (!items) return E_FAIL;
  OPCITEMPROPERTIES& item = items[0];
  // The item's own failure (an unknown ID) stands for the call's.
  if (FAILED(item.hrErrorID)) hr = item.hrErrorID;
  for (DWORD i = 0; item.pItemProperties && i < item.dwNumProperties; ++i) {
    OPCITEMPROPERTY& p = item.pItemProperties[i];
    if (SUCCEEDED(hr))
      rows.push_back(MakeRow(p.dwPropertyID, p.szDescription, p.hrErrorID, p.vValue));
    ::CoTaskMemFree(p.szItemID);
    ::CoTaskMemFree(p.szDescription);
    ::VariantClear(&p.vValue);
  }
  ::CoTaskMemFree(item.pItemProperties);
  ::CoTaskMemFree(items);
  if (FAILED(hr)) rows.clear();
  return hr;
}

}  // namespace

HRESULT ListItemProperties(IOPCServer* server, const std::wstring& itemId,
                           std::vector<OpcPropertyRow>& rows, bool useDa3) {
  rows.clear();
  TComPtr<IOPCBrowse> browse;
  if (useDa3 && SUCCEEDED(browse.QueryFrom(server)) && browse) {
    HRESULT hr = ListByBrowse(browse.Get(), itemId, rows);
    if (hr != E_NOTIMPL) return hr;
  } else {
    browse.Detach();  // a failed query hands back nothing we may release
  }
  TComPtr<IOPCItemProperties> props;
  HRESULT hr = props.QueryFrom(server);
  if (FAILED(hr)) return hr;
  if (!props) return E_NOINTERFACE;
  LPWSTR id = const_cast<LPWSTR>(itemId.c_str());
  DWORD count = 0;
  DWORD* ids = nullptr;
  LPWSTR* descriptions = nullptr;
  VARTYPE* types = nullptr;
  hr = props->QueryAvailableProperties(id, &count, &ids, &descriptions, &types);
  VARIANT* values = nullptr;
  HRESULT* errors = nullptr;
  if (SUCCEEDED(hr) && count && ids && descriptions) {
    hr = props->GetItemProperties(id, count, ids, &values, &errors);
    if (SUCCEEDED(hr) && values && errors) {
      for (DWORD i = 0; i < count; ++i)
        rows.push_back(MakeRow(ids[i], descriptions[i], errors[i], values[i]));
    }
  }
  // Everything returned is ours to free: strings inside arrays first, values cleared.
  for (DWORD i = 0; descriptions && i < count; ++i) ::CoTaskMemFree(descriptions[i]);
  for (DWORD i = 0; values && i < count; ++i) ::VariantClear(&values[i]);
  ::CoTaskMemFree(ids);
  ::CoTaskMemFree(descriptions);
  ::CoTaskMemFree(types);
  ::CoTaskMemFree(values);
  ::CoTaskMemFree(errors);
  return hr;
}
