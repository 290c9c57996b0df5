#include "OpcText.h"

#include <cstdio>
#include <cstring>
#include <cwctype>
#include <string>
#include <iterator>

#include "OpcNumberText.h"
#include "opcda.h"

namespace {

constexpr char kUncertain[] = " (uncertain)";

// One element of any type that has a text, as the value or a safe array holds it.
union Element {
  signed char i1;
  BYTE ui1;
  SHORT i2;
  USHORT ui2;
  LONG i4;
  ULONG ui4;
  LONGLONG i8;
  ULONGLONG ui8;
  FLOAT r4;
  DOUBLE r8;
  CY cy;
  DATE date;
  SCODE scode;
  BSTR bstr;
  VARIANT_BOOL b;
  DECIMAL dec;
};

size_t ElementSize(VARTYPE vt) {
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
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_DECIMAL:
      return sizeof(DECIMAL);
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

// Digits of a magnitude with scale of them after the point, all kept: what the device holds.
std::wstring ScaledText(bool negative, std::string digits, unsigned scale) {
  if (scale) {
    if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
    digits.insert(digits.size() - scale, 1, '.');
  }
  if (negative) digits.insert(0, 1, '-');
  return std::wstring(digits.begin(), digits.end());
}

std::wstring CurrencyText(LONGLONG value) {
  char text[kNumberTextMax];
  const uint64_t u = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return ScaledText(value < 0, std::string(text, FormatUnsigned(u, text)), 4);
}

// 96 bits of magnitude, divided by ten limb by limb.
std::wstring DecimalText(const DECIMAL& d) {
  uint32_t limbs[3] = {d.Hi32, static_cast<uint32_t>(d.Lo64 >> 32), static_cast<uint32_t>(d.Lo64)};
  char digits[32];  // 2^96 has 29 digits
  size_t first = sizeof digits;
  do {
    uint64_t rest = 0;
    for (uint32_t& limb : limbs) {
      const uint64_t part = (rest << 32) | limb;
      limb = static_cast<uint32_t>(part / 10);
      rest = part % 10;
    }
    digits[--first] = static_cast<char>('0' + rest);
  } while (limbs[0] || limbs[1] || limbs[2]);
  if (d.scale > 28) return L"?";
  return ScaledText((d.sign & DECIMAL_NEG) != 0,
                    std::string(digits + first, digits + sizeof digits), d.scale);
}

std::wstring TimeText(const SYSTEMTIME& t) {
  wchar_t buffer[40];
  int n =
      std::swprintf(buffer, std::size(buffer), L"%d/%d/%02d %d:%02d:%02d", int(t.wMonth),
                    int(t.wDay), int(t.wYear % 100), int(t.wHour), int(t.wMinute), int(t.wSecond));
  return n > 0 ? std::wstring(buffer, n) : std::wstring();
}

// A DATE has no zone: shown as it is, in the list's time form.
std::wstring DateText(DATE date) {
  SYSTEMTIME t;
  if (!::VariantTimeToSystemTime(date, &t)) return L"?";
  return TimeText(t);
}

// An array's string is quoted when reading it back would not give it unchanged.
std::wstring QuotedIfNeeded(const std::wstring& s) {
  const bool plain = !s.empty() && s.find_first_of(L",\"") == std::wstring::npos &&
                     !iswspace(s.front()) && !iswspace(s.back());
  if (plain) return s;
  std::wstring q = L"\"";
  for (wchar_t c : s) q += c == L'"' ? std::wstring(L"\"\"") : std::wstring(1, c);
  return q + L"\"";
}

std::wstring ElementText(VARTYPE vt, const Element& e) {
  char text[kNumberTextMax];
  switch (vt) {
    case VT_I1:
      return Widen(text, FormatInteger(e.i1, text));
    case VT_UI1:
      return Widen(text, FormatInteger(e.ui1, text));
    case VT_I2:
      return Widen(text, FormatInteger(e.i2, text));
    case VT_UI2:
      return Widen(text, FormatInteger(e.ui2, text));
    case VT_I4:
    case VT_INT:
      return Widen(text, FormatInteger(e.i4, text));
    case VT_UI4:
    case VT_UINT:
      return Widen(text, FormatInteger(e.ui4, text));
    case VT_I8:
      return Widen(text, FormatInteger(e.i8, text));
    case VT_UI8:
      return Widen(text, FormatUnsigned(e.ui8, text));
    case VT_R4:
      return DoubleText(static_cast<double>(e.r4));
    case VT_R8:
      return DoubleText(e.r8);
    case VT_CY:
      return CurrencyText(e.cy.int64);
    case VT_DATE:
      return DateText(e.date);
    case VT_ERROR:
      return Printf(L"0x%08lX", static_cast<unsigned long>(e.scode));
    case VT_DECIMAL:
      return DecimalText(e.dec);
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
    if (i != lower) text += L", ";
    text += vt == VT_BSTR ? QuotedIfNeeded(BstrText(e.bstr)) : ElementText(vt, e);
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
    case VT_I1:
      n = FormatInteger(static_cast<signed char>(value.cVal), out);
      break;
    case VT_UI1:
      n = FormatInteger(value.bVal, out);
      break;
    case VT_I2:
      n = FormatInteger(value.iVal, out);
      break;
    case VT_UI2:
      n = FormatInteger(value.uiVal, out);
      break;
    case VT_I4:
    case VT_INT:
      n = FormatInteger(value.lVal, out);
      break;
    case VT_UI4:
    case VT_UINT:
      n = FormatInteger(value.ulVal, out);
      break;
    case VT_I8:
      n = FormatInteger(value.llVal, out);
      break;
    case VT_UI8:
      n = FormatUnsigned(value.ullVal, out);
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
  if (value.vt == VT_DECIMAL)
    e.dec = value.decVal;  // the whole VARIANT, its tag in wReserved
  else if (const size_t size = ElementSize(value.vt))
    std::memcpy(&e, &value.llVal, size);
  if (ElementSize(value.vt) != 0)
    text = ElementText(value.vt, e);
  else if (value.vt & VT_ARRAY)
    text = ArrayText(value);
  else
    text = L"?";
  if (major == OPC_QUALITY_UNCERTAIN) text += Widen(kUncertain, sizeof kUncertain - 1);
  return text;
}

namespace {

// The list's type names: the six first (in the order ParseTypeName tries them), then the
// types servers send beyond them.
const struct {
  VARTYPE vt;
  const wchar_t* name;       // list and command line
  const wchar_t* attribute;  // attribute sheet
} kTypes[] = {
    {VT_BOOL, L"BOOL", L"Boolean"},    {VT_I2, L"SHORT", L"Short"},
    {VT_I4, L"INT", L"Long"},          {VT_R4, L"FLOAT", L"Float"},
    {VT_R8, L"DOUBLE", L"Double"},     {VT_BSTR, L"STRING", L"String"},
    {VT_I1, L"CHAR", L"Char"},         {VT_UI1, L"BYTE", L"Byte"},
    {VT_UI2, L"WORD", L"Word"},        {VT_UI4, L"DWORD", L"DWord"},
    {VT_I8, L"LLONG", L"LongLong"},    {VT_UI8, L"ULLONG", L"ULongLong"},
    {VT_INT, L"INTEGER", L"Integer"},  {VT_UINT, L"UINT", L"UInteger"},
    {VT_CY, L"CURRENCY", L"Currency"}, {VT_DATE, L"DATE", L"Date"},
    {VT_ERROR, L"ERROR", L"Error"},    {VT_DECIMAL, L"DECIMAL", L"Decimal"},
};

}  // namespace

std::wstring GetTypeName(VARTYPE vt) {
  for (const auto& t : kTypes)
    if (t.vt == vt) return t.name;
  return (vt & VT_ARRAY) ? L"ARRAY" : L"UNKOWN";  // sic: the program's own spelling
}

VARTYPE ParseTypeName(const std::wstring& name) {
  for (const auto& t : kTypes)
    if (name == t.name) return t.vt;
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
  std::wstring name = L"Unknown";
  for (const auto& t : kTypes)
    if (t.vt == (vt & ~VT_ARRAY)) name = t.attribute;
  if (!(vt & VT_ARRAY)) return name;
  if (name.back() == L'y') return L"Array of " + name.substr(0, name.size() - 1) + L"ies";
  return L"Array of " + name + L"s";
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
  return TimeText(local);
}
