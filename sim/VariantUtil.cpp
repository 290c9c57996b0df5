#include "VariantUtil.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace plover::sim {

namespace {

// Number text in one fixed form, whatever the user's locale.
const LCID kConvertLcid = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

bool OneDimBounds(SAFEARRAY* psa, LONG* lower, ULONG* count) {
  if (!psa || SafeArrayGetDim(psa) != 1) return false;
  LONG lb = 0, ub = -1;
  if (FAILED(SafeArrayGetLBound(psa, 1, &lb)) || FAILED(SafeArrayGetUBound(psa, 1, &ub)))
    return false;
  *lower = lb;
  *count = ub < lb ? 0 : static_cast<ULONG>(ub - lb + 1);
  return true;
}

// An integer value as sign and magnitude; false for every other type.
bool IntegerOf(const VARIANT& v, bool* negative, uint64_t* magnitude) {
  int64_t s = 0;
  switch (v.vt) {
    case VT_I1:
      s = static_cast<signed char>(v.cVal);
      break;
    case VT_I2:
      s = v.iVal;
      break;
    case VT_I4:
    case VT_INT:
      s = v.lVal;
      break;
    case VT_I8:
      s = v.llVal;
      break;
    case VT_UI1:
      *negative = false, *magnitude = v.bVal;
      return true;
    case VT_UI2:
      *negative = false, *magnitude = v.uiVal;
      return true;
    case VT_UI4:
    case VT_UINT:
      *negative = false, *magnitude = v.ulVal;
      return true;
    case VT_UI8:
      *negative = false, *magnitude = v.ullVal;
      return true;
    default:
      return false;
  }
  *negative = s < 0;
  *magnitude = s < 0 ? 0 - static_cast<uint64_t>(s) : static_cast<uint64_t>(s);
  return true;
}

// Largest magnitudes of an integer type below and above zero; false for other types.
bool IntegerLimits(VARTYPE vt, uint64_t* below, uint64_t* above) {
  const int bytes = static_cast<int>(ScalarSize(vt));
  const bool isSigned = vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_INT || vt == VT_I8;
  const bool isUnsigned =
      vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UINT || vt == VT_UI8;
  if (!isSigned && !isUnsigned) return false;
  const int bits = bytes * 8 - (isSigned ? 1 : 0);
  *above = bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
  *below = isSigned ? *above + 1 : 0;
  return true;
}

bool IsUnsignedInteger(VARTYPE vt) {
  return vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UINT || vt == VT_UI8;
}

// The types an error code converts from and to, besides text.
bool IsNumberType(VARTYPE vt) {
  uint64_t below = 0, above = 0;
  return IntegerLimits(vt, &below, &above) || vt == VT_R4 || vt == VT_R8 || vt == VT_DECIMAL;
}

// A DECIMAL rounded to a whole number (half to even, as the platform rounds): its 96-bit
// magnitude divided by ten once per decimal place. False when the result needs more than
// 64 bits, or for a scale no DECIMAL may have.
bool DecimalWhole(const DECIMAL& d, bool* negative, uint64_t* magnitude) {
  if (d.scale > 28) return false;
  uint32_t limbs[3] = {d.Hi32, d.Mid32, d.Lo32};
  uint32_t last = 0;
  bool sticky = false;
  for (int i = 0; i < d.scale; ++i) {
    sticky = sticky || last != 0;
    uint64_t rest = 0;
    for (uint32_t& limb : limbs) {
      const uint64_t part = (rest << 32) | limb;
      limb = static_cast<uint32_t>(part / 10);
      rest = part % 10;
    }
    last = static_cast<uint32_t>(rest);
  }
  if (limbs[0]) return false;
  uint64_t whole = (uint64_t{limbs[1]} << 32) | limbs[2];
  if (last > 5 || (last == 5 && (sticky || (whole & 1)))) {
    if (whole == ~uint64_t{0}) return false;
    ++whole;
  }
  *negative = (d.sign & DECIMAL_NEG) != 0 && whole != 0;
  *magnitude = whole;
  return true;
}

HRESULT ConvertScalar(const VARIANT& in, VARTYPE target, VARIANT* out);

// An error code is a 32-bit word, not a number: the platform does not convert it. It
// takes any whole number that fits 32 bits signed or unsigned (0x80004005 as -2147467259
// or as 2147500037), gives signed types its signed reading and unsigned types the other,
// and text its hex form as the list shows it.
HRESULT ConvertError(const VARIANT& in, VARTYPE target, VARIANT* out) {
  VARIANT word;
  VariantInit(&word);
  if (in.vt == VT_ERROR) {
    if (target == VT_BSTR) {
      wchar_t text[16];
      swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(static_cast<uint32_t>(in.scode)));
      out->bstrVal = SysAllocString(text);
      if (!out->bstrVal) return E_OUTOFMEMORY;
      out->vt = VT_BSTR;
      return S_OK;
    }
    if (!IsNumberType(target)) return DISP_E_TYPEMISMATCH;
    word.vt = IsUnsignedInteger(target) ? VT_UI4 : VT_I4;
    word.lVal = in.scode;
    return ConvertScalar(word, target, out);
  }
  if (in.vt == VT_BSTR && in.bstrVal && in.bstrVal[0] == L'0' &&
      (in.bstrVal[1] == L'x' || in.bstrVal[1] == L'X')) {
    const wchar_t* hex = in.bstrVal + 2;
    const size_t n = wcslen(hex);
    if (n == 0 || n > 8 || wcsspn(hex, L"0123456789abcdefABCDEF") != n) return DISP_E_TYPEMISMATCH;
    out->vt = VT_ERROR;
    out->scode = static_cast<SCODE>(wcstoul(hex, nullptr, 16));
    return S_OK;
  }
  if (in.vt != VT_BSTR && !IsNumberType(in.vt)) return DISP_E_TYPEMISMATCH;
  HRESULT hr = ConvertScalar(in, VT_I8, &word);
  if (FAILED(hr)) return hr;
  if (word.llVal < INT32_MIN || word.llVal > int64_t{UINT32_MAX}) return DISP_E_OVERFLOW;
  out->vt = VT_ERROR;
  out->scode = static_cast<SCODE>(static_cast<uint32_t>(word.llVal));
  return S_OK;
}

// The platform's scalar conversion, with our own check between integer types: Wine's
// wraps same-width signed and unsigned values (40000 as an unsigned 16-bit into a SHORT
// becomes -25536) where Windows reports an overflow. A DECIMAL becomes a whole number
// through our own rounding first, so the same check covers it.
HRESULT ConvertScalar(const VARIANT& in, VARTYPE target, VARIANT* out) {
  if (target == in.vt) return CopyVariant(out, &in);
  if (in.vt == VT_ERROR || target == VT_ERROR) return ConvertError(in, target, out);
  bool negative = false;
  uint64_t magnitude = 0, below = 0, above = 0;
  if (in.vt == VT_DECIMAL && IntegerLimits(target, &below, &above)) {
    if (!DecimalWhole(in.decVal, &negative, &magnitude)) return DISP_E_OVERFLOW;
    VARIANT whole;
    VariantInit(&whole);
    if (negative) {
      if (magnitude > uint64_t{1} << 63) return DISP_E_OVERFLOW;
      whole.vt = VT_I8;
      whole.llVal = static_cast<int64_t>(0 - magnitude);
    } else {
      whole.vt = VT_UI8;
      whole.ullVal = magnitude;
    }
    return ConvertScalar(whole, target, out);
  }
  if (IntegerOf(in, &negative, &magnitude) && IntegerLimits(target, &below, &above) &&
      magnitude > (negative ? below : above))
    return DISP_E_OVERFLOW;
  return VariantChangeTypeEx(out, const_cast<VARIANT*>(&in), kConvertLcid, 0, target);
}

// Where an element of an array lives in a VARIANT of its type: a DECIMAL fills the whole
// VARIANT, every other fixed-size type starts at the value bytes.
void* ElementOf(VARIANT& v, VARTYPE elem) {
  if (elem == VT_BSTR) return v.bstrVal;
  if (elem == VT_DECIMAL) return &v.decVal;
  return &v.llVal;
}

HRESULT ConvertArray(const VARIANT& in, VARTYPE target, VARIANT* out) {
  VARTYPE fromElem = in.vt & VT_TYPEMASK;
  VARTYPE toElem = target & VT_TYPEMASK;
  if (!IsSupportedScalarType(fromElem) || !IsSupportedScalarType(toElem))
    return DISP_E_TYPEMISMATCH;
  LONG lower = 0;
  ULONG count = 0;
  SAFEARRAY* src = in.parray;
  if (!OneDimBounds(src, &lower, &count)) return DISP_E_TYPEMISMATCH;
  SAFEARRAY* dst = SafeArrayCreateVector(toElem, lower, count);
  if (!dst) return E_OUTOFMEMORY;
  HRESULT hr = S_OK;
  for (ULONG i = 0; i < count && SUCCEEDED(hr); ++i) {
    LONG index = lower + static_cast<LONG>(i);
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    // SafeArrayGetElement copies (BSTRs included), so a owns its content. A DECIMAL's
    // first word is where vt is: the type is set after it.
    hr = SafeArrayGetElement(
        src, &index, fromElem == VT_BSTR ? static_cast<void*>(&a.bstrVal) : ElementOf(a, fromElem));
    a.vt = fromElem;
    if (SUCCEEDED(hr)) hr = ConvertScalar(a, toElem, &b);
    if (SUCCEEDED(hr) && toElem == VT_DECIMAL) b.decVal.wReserved = 0;  // b.vt: nothing to free
    if (SUCCEEDED(hr)) hr = SafeArrayPutElement(dst, &index, ElementOf(b, toElem));
    VariantClear(&a);
    VariantClear(&b);
  }
  if (FAILED(hr)) {
    SafeArrayDestroy(dst);
    return hr;
  }
  out->vt = VT_ARRAY | toElem;
  out->parray = dst;
  return S_OK;
}

}  // namespace

size_t ScalarSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    case VT_DECIMAL:  // the whole VARIANT, its type word included
      return 16;
    default:
      return 0;
  }
}

bool IsSupportedScalarType(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_BOOL:
    case VT_ERROR:
    case VT_DECIMAL:
      return true;
    default:
      return false;
  }
}

bool CanConvertType(VARTYPE canonical, VARTYPE requested) {
  if (requested == VT_EMPTY || requested == canonical) return true;
  if ((canonical & ~VT_TYPEMASK) != (requested & ~VT_TYPEMASK))
    return false;  // scalar to array or the reverse, or byref and friends
  if ((requested & ~VT_TYPEMASK) != 0 && (requested & ~VT_TYPEMASK) != VT_ARRAY) return false;
  VARTYPE from = canonical & VT_TYPEMASK;
  VARTYPE to = requested & VT_TYPEMASK;
  if (!IsSupportedScalarType(from) || !IsSupportedScalarType(to)) return false;
  // An error code pairs only with whole numbers, reals and text (ConvertError).
  if (from == VT_ERROR && !IsNumberType(to) && to != VT_BSTR) return false;
  if (to == VT_ERROR && !IsNumberType(from)) return false;
  // Text converts to a number only when it happens to hold one: not a type we can promise.
  return from != VT_BSTR;
}

HRESULT ConvertValue(const VARIANT& in, VARTYPE target, VARIANT* out) {
  VariantClear(out);
  if (target == VT_EMPTY || target == in.vt) return CopyVariant(out, &in);
  bool inArray = (in.vt & VT_ARRAY) != 0;
  bool outArray = (target & VT_ARRAY) != 0;
  if (inArray != outArray) return DISP_E_TYPEMISMATCH;
  if (inArray) return ConvertArray(in, target, out);
  if (!IsSupportedScalarType(in.vt) || !IsSupportedScalarType(target)) return DISP_E_TYPEMISMATCH;
  return ConvertScalar(in, target, out);
}

namespace {
bool SameDecimal(const DECIMAL& a, const DECIMAL& b) {
  const auto* x = reinterpret_cast<const uint8_t*>(&a);
  const auto* y = reinterpret_cast<const uint8_t*>(&b);
  return std::memcmp(x + 2, y + 2, sizeof(DECIMAL) - 2) == 0;
}
}  // namespace

bool SameValue(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  if (a.vt == VT_EMPTY || a.vt == VT_NULL) return true;
  if (a.vt == VT_BSTR) {
    UINT la = SysStringByteLen(a.bstrVal), lb = SysStringByteLen(b.bstrVal);
    return la == lb && (la == 0 || std::memcmp(a.bstrVal, b.bstrVal, la) == 0);
  }
  if (a.vt & VT_ARRAY) {
    LONG la = 0, lb = 0;
    ULONG na = 0, nb = 0;
    if (!OneDimBounds(a.parray, &la, &na) || !OneDimBounds(b.parray, &lb, &nb)) return false;
    if (la != lb || na != nb) return false;
    VARTYPE elem = a.vt & VT_TYPEMASK;
    void* pa = nullptr;
    void* pb = nullptr;
    if (FAILED(SafeArrayAccessData(a.parray, &pa))) return false;
    if (FAILED(SafeArrayAccessData(b.parray, &pb))) {
      SafeArrayUnaccessData(a.parray);
      return false;
    }
    bool same = true;
    if (elem == VT_BSTR) {
      BSTR* sa = static_cast<BSTR*>(pa);
      BSTR* sb = static_cast<BSTR*>(pb);
      for (ULONG i = 0; i < na && same; ++i) {
        UINT x = SysStringByteLen(sa[i]), y = SysStringByteLen(sb[i]);
        same = x == y && (x == 0 || std::memcmp(sa[i], sb[i], x) == 0);
      }
    } else if (elem == VT_DECIMAL) {
      // Value bytes only: the reserved first word is whatever the writer left there.
      const DECIMAL* da = static_cast<const DECIMAL*>(pa);
      const DECIMAL* db = static_cast<const DECIMAL*>(pb);
      for (ULONG i = 0; i < na && same; ++i) same = SameDecimal(da[i], db[i]);
    } else {
      same = std::memcmp(pa, pb, static_cast<size_t>(na) * a.parray->cbElements) == 0;
    }
    SafeArrayUnaccessData(b.parray);
    SafeArrayUnaccessData(a.parray);
    return same;
  }
  if (a.vt == VT_DECIMAL) return SameDecimal(a.decVal, b.decVal);
  size_t n = ScalarSize(a.vt);
  if (n == 0) return false;
  return std::memcmp(&a.llVal, &b.llVal, n) == 0;
}

bool ValueAsDouble(const VARIANT& v, double* out) {
  if (v.vt & VT_ARRAY || v.vt == VT_BSTR || !IsSupportedScalarType(v.vt)) return false;
  VARIANT d;
  VariantInit(&d);
  if (FAILED(VariantChangeTypeEx(&d, const_cast<VARIANT*>(&v), kConvertLcid, 0, VT_R8)))
    return false;
  *out = d.dblVal;
  return true;
}

}  // namespace plover::sim
