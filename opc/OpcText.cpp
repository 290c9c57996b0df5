#include "OpcText.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "OpcNumberText.h"
#include "opcda.h"

namespace {

constexpr char kUncertain[] = " (uncertain)";

// One element of the six types that have a text, as the value or a safe array holds it.
union Element {
  SHORT i2;
  LONG i4;
  FLOAT r4;
  DOUBLE r8;
  BSTR bstr;
  VARIANT_BOOL b;
};

size_t ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I2:
    case VT_BOOL:
      return sizeof(SHORT);
    case VT_I4:
      return sizeof(LONG);
    case VT_R4:
      return sizeof(FLOAT);
    case VT_R8:
      return sizeof(DOUBLE);
    case VT_BSTR:
      return sizeof(BSTR);
    default:
      return 0;  // no text for this type
  }
}

std::wstring BstrText(BSTR s) {
  return s ? std::wstring(s, ::SysStringLen(s)) : std::wstring();
}

template <class T>
std::wstring Printf(const wchar_t* format, T value) {
  wchar_t buffer[64];
  int n = std::swprintf(buffer, std::size(buffer), format, value);
  return n > 0 ? std::wstring(buffer, n) : std::wstring();
}

std::wstring Widen(const char* text, size_t length) {
  return std::wstring(text, text + length);
}

// "%g", by the runtime only where the short way has no text.
std::wstring DoubleText(double value) {
  char text[kNumberTextMax];
  const size_t n = FormatShortG(value, text);
  return n ? Widen(text, n) : Printf(L"%g", value);
}

std::wstring ElementText(VARTYPE vt, const Element& e) {
  char text[kNumberTextMax];
  switch (vt) {
    case VT_I2:
      return Widen(text, FormatInteger(e.i2, text));
    case VT_I4:
      return Widen(text, FormatInteger(e.i4, text));
    case VT_R4:
      return DoubleText(static_cast<double>(e.r4));
    case VT_R8:
      return DoubleText(e.r8);
    case VT_BSTR:
      return BstrText(e.bstr);
    case VT_BOOL:
      return e.b ? L"On" : L"Off";
    default:
      return L"?";
  }
}

// Elements of dimension 1, one by one, joined by ", ". A value from a server may carry a
// tag that does not match its array; such an array gives an empty text rather than a copy
// of elements of the wrong size into our buffer.
std::wstring ArrayText(const VARIANT& value) {
  const VARTYPE vt = static_cast<VARTYPE>(value.vt & ~VT_ARRAY);
  const size_t size = ElementSize(vt);
  SAFEARRAY* psa = value.parray;
  if (size == 0 || !psa || ::SafeArrayGetDim(psa) != 1) return {};
  if (::SafeArrayGetElemsize(psa) != size) return {};
  if (vt == VT_BSTR && !(psa->fFeatures & FADF_BSTR)) return {};
  LONG lower = 0, upper = 0;
  if (FAILED(::SafeArrayGetLBound(psa, 1, &lower)) || FAILED(::SafeArrayGetUBound(psa, 1, &upper)))
    return {};
  std::wstring text;
  // A 64-bit counter, so an upper bound of LONG_MAX still ends the loop.
  for (LONGLONG i = lower; i <= upper; ++i) {
    LONG index = static_cast<LONG>(i);
    Element e{};
    if (FAILED(::SafeArrayGetElement(psa, &index, &e))) continue;
    if (!text.empty()) text += L", ";
    text += ElementText(vt, e);
    if (vt == VT_BSTR) ::SysFreeString(e.bstr);  // the array hands out a copy
  }
  return text;
}

}  // namespace

bool HasValueText(VARTYPE vt) {
  return ElementSize(static_cast<VARTYPE>(vt & VT_TYPEMASK)) != 0;
}

size_t GetScalarValueText(const VARIANT& value, WORD quality, char* out) {
  const WORD major = quality & OPC_QUALITY_MASK;
  size_t n = 0;
  if (major == OPC_QUALITY_BAD) {
    std::memcpy(out, "Bad", 3);
    return 3;
  }
  switch (value.vt) {
    case VT_I2:
      n = FormatInteger(value.iVal, out);
      break;
    case VT_I4:
      n = FormatInteger(value.lVal, out);
      break;
    case VT_R4:
      n = FormatShortG(static_cast<double>(value.fltVal), out);
      break;
    case VT_R8:
      n = FormatShortG(value.dblVal, out);
      break;
    case VT_BOOL:
      n = value.boolVal ? 2 : 3;
      std::memcpy(out, value.boolVal ? "On" : "Off", n);
      break;
    default:
      return 0;
  }
  if (n && major == OPC_QUALITY_UNCERTAIN) {
    std::memcpy(out + n, kUncertain, sizeof kUncertain - 1);
    n += sizeof kUncertain - 1;
  }
  return n;
}

std::wstring GetValueText(const VARIANT& value, WORD quality) {
  char fast[kScalarValueTextMax];
  if (const size_t n = GetScalarValueText(value, quality, fast)) return Widen(fast, n);
  const WORD major = quality & OPC_QUALITY_MASK;
  if (major == OPC_QUALITY_BAD) return L"Bad";
  std::wstring text;
  Element e{};
  switch (value.vt) {
    case VT_I2:
      e.i2 = value.iVal;
      break;
    case VT_I4:
      e.i4 = value.lVal;
      break;
    case VT_R4:
      e.r4 = value.fltVal;
      break;
    case VT_R8:
      e.r8 = value.dblVal;
      break;
    case VT_BSTR:
      e.bstr = value.bstrVal;
      break;
    case VT_BOOL:
      e.b = value.boolVal;
      break;
  }
  if (ElementSize(value.vt) != 0)
    text = ElementText(value.vt, e);
  else if (value.vt & VT_ARRAY)
    text = ArrayText(value);
  else
    text = L"?";
  if (major == OPC_QUALITY_UNCERTAIN) text += Widen(kUncertain, sizeof kUncertain - 1);
  return text;
}

std::wstring GetTypeName(VARTYPE vt) {
  switch (vt) {
    case VT_I2:
      return L"SHORT";
    case VT_I4:
      return L"INT";
    case VT_R4:
      return L"FLOAT";
    case VT_R8:
      return L"DOUBLE";
    case VT_BSTR:
      return L"STRING";
    case VT_BOOL:
      return L"BOOL";
    default:
      return (vt & VT_ARRAY) ? L"ARRAY" : L"UNKOWN";  // sic: the program's own spelling
  }
}

VARTYPE ParseTypeName(const std::wstring& name) {
  static const struct {
    const wchar_t* name;
    VARTYPE vt;
  } kNames[] = {{L"BOOL", VT_BOOL}, {L"SHORT", VT_I2},  {L"INT", VT_I4},
                {L"FLOAT", VT_R4},  {L"DOUBLE", VT_R8}, {L"STRING", VT_BSTR}};
  for (const auto& n : kNames)
    if (name == n.name) return n.vt;
  return VT_EMPTY;
}

std::wstring GetAccessRightsText(DWORD accessRights) {
  switch (accessRights) {
    case OPC_READABLE:
      return L"Readable";
    case OPC_WRITEABLE:
      return L"Writeable";
    case OPC_READABLE | OPC_WRITEABLE:
      return L"Readable and Writeable";
    default:
      return L"Unknown Access Rights";
  }
}

std::wstring GetAttributeTypeText(VARTYPE vt) {
  const wchar_t* name = L"Unknown";
  switch (vt & ~VT_ARRAY) {
    case VT_I2:
      name = L"Short";
      break;
    case VT_I4:
      name = L"Long";
      break;
    case VT_R4:
      name = L"Float";
      break;
    case VT_R8:
      name = L"Double";
      break;
    case VT_BSTR:
      name = L"String";
      break;
    case VT_BOOL:
      name = L"Boolean";
      break;
    case VT_UI1:
      name = L"Byte";
      break;
  }
  if (vt & VT_ARRAY) return std::wstring(L"Array of ") + name + L"s";
  return name;
}

std::wstring GetEuTypeText(DWORD euType) {
  switch (euType) {
    case OPC_NOENUM:
      return L"None";
    case OPC_ANALOG:
      return L"Analog";
    case OPC_ENUMERATED:
      return L"Enumerated";
    default:
      return L"Unknown";
  }
}

std::wstring FormatLocalTime(const FILETIME& ft) {
  if (ft.dwHighDateTime == 0) return {};
  SYSTEMTIME utc, local;
  if (!::FileTimeToSystemTime(&ft, &utc) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return {};
  wchar_t buffer[40];
  int n = std::swprintf(buffer, std::size(buffer), L"%d/%d/%02d %d:%02d:%02d", int(local.wMonth),
                        int(local.wDay), int(local.wYear % 100), int(local.wHour),
                        int(local.wMinute), int(local.wSecond));
  return n > 0 ? std::wstring(buffer, n) : std::wstring();
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
