#include "OpcItemProperties.h"

#include <oleauto.h>

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

}  // namespace

HRESULT ListItemProperties(IOPCServer* server, const std::wstring& itemId,
                           std::vector<OpcPropertyRow>& rows) {
  rows.clear();
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
      for (DWORD i = 0; i < count; ++i) {
        OpcPropertyRow row;
        row.id = ids[i];
        row.name = L"(" + std::to_wstring(ids[i]) + L") " +
                   (descriptions[i] ? std::wstring(descriptions[i]) : std::wstring());
        if (SUCCEEDED(errors[i])) row.value = PropertyText(values[i]);
        rows.push_back(std::move(row));
      }
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
