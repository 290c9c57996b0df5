// Typed text to a value for writing: every type a server sends, with our own range checks
// (the platform's conversion wraps some same-width integers), and arrays from the list's
// comma-separated text.
#include <cmath>
#include <cstdint>
#include <cwctype>
#include <limits>
#include <vector>

#include "OpcText.h"

namespace {

std::wstring Trimmed(const std::wstring& text) {
  size_t b = 0, e = text.size();
  while (b < e && std::iswspace(text[b])) ++b;
  while (e > b && std::iswspace(text[e - 1])) --e;
  return text.substr(b, e - b);
}

// The list's array text back into its elements: ", " between them, a quoted element with
// "" for a quote inside. False for a quote left open or text after a closing quote.
bool SplitArrayText(const std::wstring& text, std::vector<std::wstring>& out) {
  if (Trimmed(text).empty()) return true;
  size_t i = 0;
  for (;;) {
    while (i < text.size() && std::iswspace(text[i])) ++i;
    std::wstring field;
    if (i < text.size() && text[i] == L'"') {
      for (++i;; ++i) {
        if (i >= text.size()) return false;
        if (text[i] == L'"') {
          if (i + 1 < text.size() && text[i + 1] == L'"') {
            field += L'"';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        field += text[i];
      }
      while (i < text.size() && std::iswspace(text[i])) ++i;
      if (i < text.size() && text[i] != L',') return false;
    } else {
      const size_t comma = text.find(L',', i);
      field = Trimmed(text.substr(i, comma == std::wstring::npos ? std::wstring::npos : comma - i));
      i = comma == std::wstring::npos ? text.size() : comma;
    }
    out.push_back(field);
    if (i >= text.size()) return true;
    ++i;  // the comma
  }
}

struct Range {
  int64_t min;
  uint64_t max;
};

bool IntegerRange(VARTYPE vt, Range& r) {
  switch (vt) {
    case VT_I1:
      r = {INT8_MIN, INT8_MAX};
      return true;
    case VT_UI1:
      r = {0, UINT8_MAX};
      return true;
    case VT_I2:
      r = {INT16_MIN, INT16_MAX};
      return true;
    case VT_UI2:
      r = {0, UINT16_MAX};
      return true;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
      r = {INT32_MIN, INT32_MAX};
      return true;
    case VT_UI4:
    case VT_UINT:
      r = {0, UINT32_MAX};
      return true;
    case VT_I8:
      r = {INT64_MIN, INT64_MAX};
      return true;
    case VT_UI8:
      r = {0, UINT64_MAX};
      return true;
    default:
      return false;
  }
}

// An optional sign and decimal digits, exactly; false for anything else. Sets overflow
// when the magnitude does not fit 64 bits.
bool ParseWhole(const std::wstring& s, bool& negative, uint64_t& magnitude, bool& overflow) {
  size_t i = 0;
  negative = false;
  overflow = false;
  magnitude = 0;
  if (i < s.size() && (s[i] == L'-' || s[i] == L'+')) negative = s[i++] == L'-';
  if (i == s.size()) return false;
  for (; i < s.size(); ++i) {
    if (s[i] < L'0' || s[i] > L'9') return false;
    const uint64_t digit = static_cast<uint64_t>(s[i] - L'0');
    if (magnitude > (UINT64_MAX - digit) / 10) overflow = true;
    magnitude = magnitude * 10 + digit;
  }
  return true;
}

void StoreInteger(VARTYPE vt, int64_t value, uint64_t unsignedValue, VARIANT* out) {
  out->vt = vt;
  switch (vt) {
    case VT_I1:
      out->cVal = static_cast<CHAR>(value);
      break;
    case VT_UI1:
      out->bVal = static_cast<BYTE>(unsignedValue);
      break;
    case VT_I2:
      out->iVal = static_cast<SHORT>(value);
      break;
    case VT_UI2:
      out->uiVal = static_cast<USHORT>(unsignedValue);
      break;
    case VT_I4:
    case VT_INT:
      out->lVal = static_cast<LONG>(value);
      break;
    case VT_ERROR:
      out->scode = static_cast<SCODE>(value);
      break;
    case VT_UI4:
    case VT_UINT:
      out->ulVal = static_cast<ULONG>(unsignedValue);
      break;
    case VT_I8:
      out->llVal = value;
      break;
    default:
      out->ullVal = unsignedValue;
      break;
  }
}

HRESULT TextAsDouble(const std::wstring& text, double* out) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!v.bstrVal) return E_OUTOFMEMORY;
  HRESULT hr = ::VariantChangeType(&v, &v, 0, VT_R8);
  if (SUCCEEDED(hr)) *out = v.dblVal;
  ::VariantClear(&v);
  return hr;
}

// Whole numbers exactly, 64 bits included; any other number text ("1e3", "2.5") through
// the platform's reading, rounded half to even as its own conversion does.
HRESULT ConvertInteger(const std::wstring& text, VARTYPE vt, const Range& r, VARIANT* out) {
  const std::wstring s = Trimmed(text);
  bool negative = false, overflow = false;
  uint64_t magnitude = 0;
  // An error code is read as the list shows it, in hex.
  if (vt == VT_ERROR && s.size() > 2 && s[0] == L'0' && (s[1] == L'x' || s[1] == L'X')) {
    if (s.size() > 10 || s.find_first_not_of(L"0123456789abcdefABCDEF", 2) != std::wstring::npos)
      return DISP_E_TYPEMISMATCH;
    StoreInteger(vt, static_cast<int32_t>(std::stoul(s.substr(2), nullptr, 16)), 0, out);
    return S_OK;
  }
  if (!ParseWhole(s, negative, magnitude, overflow)) {
    double d = 0;
    if (HRESULT hr = TextAsDouble(s, &d); FAILED(hr)) return hr;
    d = std::nearbyint(d);
    if (!std::isfinite(d) || d < static_cast<double>(r.min) ||
        d >= static_cast<double>(r.max) + 1.0)
      return DISP_E_OVERFLOW;
    negative = d < 0;
    magnitude = static_cast<uint64_t>(negative ? -d : d);
  }
  if (overflow) return DISP_E_OVERFLOW;
  if (negative && magnitude != 0) {
    if (r.min == 0 || magnitude > 0 - static_cast<uint64_t>(r.min)) return DISP_E_OVERFLOW;
    StoreInteger(vt, static_cast<int64_t>(0 - magnitude), 0, out);
    return S_OK;
  }
  if (magnitude > r.max) return DISP_E_OVERFLOW;
  StoreInteger(vt, static_cast<int64_t>(magnitude), magnitude, out);
  return S_OK;
}

// Four decimals read exactly, as the list shows them; other texts by the platform.
bool ParseCurrency(const std::wstring& text, LONGLONG* out, bool* overflow) {
  const std::wstring s = Trimmed(text);
  if (s.empty()) return false;
  const size_t dot = s.find(L'.');
  std::wstring whole = s.substr(0, dot), fraction;
  if (dot != std::wstring::npos) fraction = s.substr(dot + 1);
  if (fraction.size() > 4 || fraction.find_first_not_of(L"0123456789") != std::wstring::npos)
    return false;
  fraction.append(4 - fraction.size(), L'0');
  if (whole == L"-" || whole == L"+" || whole.empty()) whole += L"0";
  bool negative = false;
  uint64_t magnitude = 0;
  if (!ParseWhole(whole + fraction, negative, magnitude, *overflow)) return false;
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (magnitude > limit) *overflow = true;
  *out = negative ? static_cast<LONGLONG>(0 - magnitude) : static_cast<LONGLONG>(magnitude);
  return true;
}

// "M/d/yy H:mm:ss" as the list shows a date (two-digit years 30..99 are the 1900s), the
// time or its seconds may be left out.
bool ParseDate(const std::wstring& text, DATE* out) {
  int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0, used = 0;
  const std::wstring s = Trimmed(text);
  const int n = std::swscanf(s.c_str(), L"%d/%d/%d%n %d:%d%n:%d%n", &month, &day, &year, &used,
                             &hour, &minute, &used, &second, &used);
  if ((n != 3 && n != 5 && n != 6) || static_cast<size_t>(used) != s.size()) return false;
  if (year >= 0 && year < 100) year += year < 30 ? 2000 : 1900;
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(year), t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day), t.wHour = static_cast<WORD>(hour);
  t.wMinute = static_cast<WORD>(minute), t.wSecond = static_cast<WORD>(second);
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 ||
      year < 100 || year > 9999 || hour < 0 || minute < 0 || second < 0)
    return false;
  return ::SystemTimeToVariantTime(&t, out) != 0;
}

HRESULT PlatformConvert(const std::wstring& text, VARTYPE vt, VARIANT* out) {
  out->vt = VT_BSTR;
  out->bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!out->bstrVal) return E_OUTOFMEMORY;
  if (vt == VT_BSTR) return S_OK;
  HRESULT hr = ::VariantChangeType(out, out, 0, vt);
  if (FAILED(hr)) ::VariantClear(out);
  return hr;
}

HRESULT ConvertScalar(const std::wstring& text, VARTYPE vt, VARIANT* out) {
  ::VariantInit(out);
  Range range;
  if (IntegerRange(vt, range)) return ConvertInteger(text, vt, range, out);
  switch (vt) {
    case VT_BOOL: {
      // The list's own words, so a copied value writes back.
      const std::wstring s = Trimmed(text);
      if (_wcsicmp(s.c_str(), L"On") == 0 || _wcsicmp(s.c_str(), L"Off") == 0) {
        out->vt = VT_BOOL;
        out->boolVal = s.size() == 2 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
      }
      break;
    }
    case VT_R4: {
      double d = 0;
      if (HRESULT hr = TextAsDouble(text, &d); FAILED(hr)) return hr;
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
        return DISP_E_OVERFLOW;
      out->vt = VT_R4;
      out->fltVal = static_cast<float>(d);
      return S_OK;
    }
    case VT_CY: {
      bool overflow = false;
      LONGLONG cy = 0;
      if (ParseCurrency(text, &cy, &overflow)) {
        if (overflow) return DISP_E_OVERFLOW;
        out->vt = VT_CY;
        out->cyVal.int64 = cy;
        return S_OK;
      }
      break;
    }
    case VT_DATE: {
      DATE date = 0;
      if (ParseDate(text, &date)) {
        out->vt = VT_DATE;
        out->date = date;
        return S_OK;
      }
      break;
    }
    default:
      break;
  }
  return PlatformConvert(text, vt, out);
}

}  // namespace

HRESULT ConvertWriteText(const std::wstring& text, VARTYPE vt, VARIANT* out) {
  ::VariantInit(out);
  if (!(vt & VT_ARRAY)) return ConvertScalar(text, vt, out);
  const VARTYPE elem = vt & VT_TYPEMASK;
  if ((vt & ~(VT_ARRAY | VT_TYPEMASK)) || !HasValueText(elem)) return DISP_E_TYPEMISMATCH;
  std::vector<std::wstring> fields;
  if (!SplitArrayText(text, fields)) return DISP_E_TYPEMISMATCH;
  SAFEARRAY* psa = ::SafeArrayCreateVector(elem, 0, static_cast<ULONG>(fields.size()));
  if (!psa) return E_OUTOFMEMORY;
  for (size_t i = 0; i < fields.size(); ++i) {
    VARIANT e;
    HRESULT hr = ConvertScalar(fields[i], elem, &e);
    LONG index = static_cast<LONG>(i);
    if (SUCCEEDED(hr)) {
      void* data = elem == VT_BSTR      ? static_cast<void*>(e.bstrVal)
                   : elem == VT_DECIMAL ? static_cast<void*>(&e.decVal)
                                        : static_cast<void*>(&e.llVal);
      hr = ::SafeArrayPutElement(psa, &index, data);
      ::VariantClear(&e);
    }
    if (FAILED(hr)) {
      ::SafeArrayDestroy(psa);
      return hr;
    }
  }
  out->vt = vt;
  out->parray = psa;
  return S_OK;
}
