#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "OpcNumberText.h"
#include "OpcText.h"
#include "opcda.h"

namespace {

// A VARIANT that clears itself.
struct Value {
  VARIANT v;
  Value() { VariantInit(&v); }
  ~Value() { VariantClear(&v); }
};

// A one-dimensional array value of vt holding the raw elements given.
template <class T>
void MakeArray(Value& out, VARTYPE vt, const std::vector<T>& elements, LONG lower = 0) {
  SAFEARRAY* psa = SafeArrayCreateVector(vt, lower, static_cast<ULONG>(elements.size()));
  ASSERT_NE(nullptr, psa);
  for (size_t i = 0; i < elements.size(); ++i) {
    LONG index = lower + static_cast<LONG>(i);
    // SafeArrayPutElement takes a BSTR itself (and copies it), anything else by address.
    void* element;
    if constexpr (std::is_same_v<T, BSTR>)
      element = elements[i];
    else
      element = const_cast<T*>(&elements[i]);
    ASSERT_EQ(S_OK, SafeArrayPutElement(psa, &index, element));
  }
  out.v.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
  out.v.parray = psa;
}

}  // namespace

TEST(ValueText, ScalarsAndQualities) {
  Value i2, i4, r4, r8, big, str, nullStr, on, on1, off, empty, byte;
  i2.v.vt = VT_I2, i2.v.iVal = -3;
  i4.v.vt = VT_I4, i4.v.lVal = -2147483647 - 1;
  r4.v.vt = VT_R4, r4.v.fltVal = 0.1f;  // widened: 0.100000001..., six digits give 0.1
  r8.v.vt = VT_R8, r8.v.dblVal = 12.5;
  big.v.vt = VT_R8, big.v.dblVal = 1234567.0;
  str.v.vt = VT_BSTR, str.v.bstrVal = SysAllocString(L"温度 ok");
  nullStr.v.vt = VT_BSTR;
  on.v.vt = VT_BOOL, on.v.boolVal = VARIANT_TRUE;
  on1.v.vt = VT_BOOL, on1.v.boolVal = 1;
  off.v.vt = VT_BOOL, off.v.boolVal = VARIANT_FALSE;
  byte.v.vt = VT_UI1, byte.v.bVal = 7;
  const struct {
    const VARIANT& value;
    WORD quality;
    const wchar_t* text;
  } cases[] = {
      {i2.v, 0x40, L"-3 (uncertain)"},
      {i4.v, 0xC0, L"-2147483648"},
      {r4.v, 0xC0, L"0.1"},
      {r8.v, 0xC0, L"12.5"},
      {big.v, 0xC0, L"1.23457e+06"},
      {str.v, 0xC0, L"温度 ok"},
      {nullStr.v, 0xC0, L""},
      {nullStr.v, 0x58, L" (uncertain)"},
      {on.v, 0xC0, L"On"},
      {on1.v, 0xC0, L"On"},
      {off.v, 0xC0, L"Off"},
      {empty.v, 0xC0, L"?"},
      {byte.v, 0xC0, L"7"},
      // Only the two major bits count: 0x80 is no defined status and adds nothing; the
      // sub-status and limit bits are ignored.
      {r8.v, 0x80, L"12.5"},
      {r8.v, 0xD8, L"12.5"},
      {r8.v, 0xC3, L"12.5"},
      {r8.v, 0x00, L"Bad"},
      {str.v, 0x1C, L"Bad"},
      {empty.v, 0x00, L"Bad"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.text, GetValueText(c.value, c.quality))
        << "vt " << c.value.vt << " quality " << c.quality;
}

TEST(ValueText, ArraysOfTheSixTypes) {
  Value i2, i4, r4, r8, b, s;
  MakeArray<SHORT>(i2, VT_I2, {1, -2, 3});
  MakeArray<LONG>(i4, VT_I4, {1, 2, 3}, 5);  // the lower bound need not be 0
  MakeArray<FLOAT>(r4, VT_R4, {0.1f, 2.5f});
  MakeArray<DOUBLE>(r8, VT_R8, {-1.5});
  MakeArray<VARIANT_BOOL>(b, VT_BOOL, {VARIANT_TRUE, VARIANT_FALSE, 1});
  BSTR strings[] = {SysAllocString(L""), SysAllocString(L"b"), SysAllocString(L""),
                    SysAllocString(L"d")};
  MakeArray<BSTR>(s, VT_BSTR, std::vector<BSTR>(std::begin(strings), std::end(strings)));
  for (BSTR x : strings) SysFreeString(x);

  EXPECT_EQ(L"1, -2, 3", GetValueText(i2.v, 0xC0));
  EXPECT_EQ(L"1, 2, 3", GetValueText(i4.v, 0xC0));
  EXPECT_EQ(L"0.1, 2.5", GetValueText(r4.v, 0xC0));
  EXPECT_EQ(L"-1.5 (uncertain)", GetValueText(r8.v, 0x40));
  EXPECT_EQ(L"On, Off, On", GetValueText(b.v, 0xC0));
  // Empty strings are quoted, so that every element reads back from the text.
  EXPECT_EQ(L"\"\", b, \"\", d", GetValueText(s.v, 0xC0));
  EXPECT_EQ(L"Bad", GetValueText(s.v, 0x00));
  // The array itself is left as it was.
  EXPECT_EQ(L"1, -2, 3", GetValueText(i2.v, 0xC0));
}

// Numbers are made without printf, so they are checked against the runtime's own "%d" and
// "%g": rounding ties, the edges of fixed notation, signs, floats, and random values. Every
// fixed-notation value must take the short way, and the watch's ASCII text of a scalar must
// be the list's text in every quality.
TEST(ValueText, NumbersReadAsTheRuntimesPrintfAndTheAsciiTextAgrees) {
  auto printed = [](const wchar_t* format, auto value) {
    wchar_t text[64];
    const int n = std::swprintf(text, 64, format, value);
    return std::wstring(text, n > 0 ? n : 0);
  };
  auto exact = [](double x) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", x);
    return std::string(text);
  };
  auto check = [&](double x) {
    const std::wstring expected = printed(L"%g", x);
    char fast[kNumberTextMax];
    const size_t n = FormatShortG(x, fast);
    const bool fixed = std::isfinite(x) && expected.find(L'e') == std::wstring::npos;
    if (n != 0 || fixed) {
      if (std::wstring(fast, fast + n) != expected) {
        ADD_FAILURE() << "%g of " << exact(x) << " is \"" << std::string(fast, n) << "\"";
        return false;
      }
    }
    Value r8;
    r8.v.vt = VT_R8, r8.v.dblVal = x;
    if (GetValueText(r8.v, 0xC0) != expected) {
      ADD_FAILURE() << "value text of " << exact(x);
      return false;
    }
    return true;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const double table[] = {0.0,
                          -0.0,
                          1.0,
                          -1.0,
                          0.5,
                          2.5,
                          12345.25,
                          12345.35,
                          123456.5,
                          123457.5,
                          1234565,
                          999999.4,
                          999999.5,
                          1e6,
                          -999999.5,
                          0.0001,
                          1e-5,
                          9.9999949e-5,
                          9.999995e-5,
                          0.000123456,
                          0.00012345650000000001,
                          100000,
                          99999.95,
                          0.1,
                          1.0 / 3,
                          -2.0 / 3,
                          5e-324,
                          1e300,
                          inf,
                          -inf,
                          std::numeric_limits<double>::quiet_NaN(),
                          65535.0 / 65536};
  for (double x : table) check(x);
  for (float f : {0.1f, -3.14159f, 1e-5f, 999999.5f, 16777216.0f, 0.0001f}) check(f);
  std::mt19937_64 random(20);
  std::uniform_real_distribution<double> exponent(-7, 8);
  int failures = 0;
  for (int i = 0; i < 100000 && failures < 10; ++i) {
    uint64_t bits = random();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    double nice = std::pow(10.0, exponent(random)) * ((bits & 1) ? -1 : 1);
    // Exact halves and quarters are where rounding ties live.
    double tie = static_cast<double>(static_cast<int64_t>(bits % 4000000) - 2000000) /
                 static_cast<double>(uint64_t{1} << (bits >> 60));
    for (double x : {any, nice, tie, static_cast<double>(static_cast<float>(nice))})
      if (!check(x)) ++failures;
  }
  for (int64_t i : {int64_t{0}, int64_t{-1}, int64_t{32767}, int64_t{-32768}, int64_t{2147483647},
                    int64_t{-2147483647 - 1}, int64_t{1000}}) {
    char text[kNumberTextMax];
    EXPECT_EQ(printed(L"%lld", static_cast<long long>(i)),
              std::wstring(text, text + FormatInteger(i, text)));
  }

  Value i2, i4, r4, r8, big, on, off, str, empty;
  i2.v.vt = VT_I2, i2.v.iVal = -32768;
  i4.v.vt = VT_I4, i4.v.lVal = 2147483647;
  r4.v.vt = VT_R4, r4.v.fltVal = -0.25f;
  r8.v.vt = VT_R8, r8.v.dblVal = 0.000123456;
  big.v.vt = VT_R8, big.v.dblVal = 1234567.0;
  on.v.vt = VT_BOOL, on.v.boolVal = VARIANT_TRUE;
  off.v.vt = VT_BOOL, off.v.boolVal = VARIANT_FALSE;
  str.v.vt = VT_BSTR, str.v.bstrVal = SysAllocString(L"12");
  for (WORD quality : {0xC0, 0x40, 0x58, 0x80, 0x00, 0x1C}) {
    for (const Value* v : {&i2, &i4, &r4, &r8, &on, &off}) {
      char text[kScalarValueTextMax];
      const size_t n = GetScalarValueText(v->v, quality, text);
      EXPECT_EQ(GetValueText(v->v, quality), std::wstring(text, text + n))
          << "vt " << v->v.vt << " quality " << quality;
    }
    // Strings and exponent forms are left to GetValueText, except as "Bad".
    for (const Value* v : {&big, &str, &empty}) {
      char text[kScalarValueTextMax];
      const size_t n = GetScalarValueText(v->v, quality, text);
      EXPECT_EQ((quality & 0xC0) == 0 ? "Bad" : "", std::string(text, n)) << "vt " << v->v.vt;
    }
  }
}

TEST(ValueText, ArraysWithoutText) {
  Value variants, none, nullArray, twoDims, wrongTag, byRef;
  MakeArray<BYTE>(variants, VT_UI1, {1, 2});
  variants.v.vt = VT_ARRAY | VT_VARIANT;  // no text for its elements (nor their size)
  MakeArray<LONG>(none, VT_I4, {});       // upper bound below the lower bound
  nullArray.v.vt = VT_ARRAY | VT_I4;
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  twoDims.v.vt = VT_ARRAY | VT_I4;
  twoDims.v.parray = SafeArrayCreate(VT_I4, 2, bounds);
  // A tag that promises doubles on an array of shorts must not read past the elements.
  MakeArray<SHORT>(wrongTag, VT_I2, {1, 2});
  wrongTag.v.vt = VT_ARRAY | VT_R8;
  LONG unused = 0;
  byRef.v.vt = VT_ARRAY | VT_BYREF | VT_I4;
  byRef.v.byref = &unused;

  for (const Value* v : {&variants, &none, &nullArray, &twoDims, &wrongTag, &byRef})
    EXPECT_EQ(L"", GetValueText(v->v, 0xC0)) << "vt " << v->v.vt;
  EXPECT_EQ(L" (uncertain)", GetValueText(nullArray.v, 0x40));
  byRef.v.vt = VT_EMPTY;  // not ours to clear
}

TEST(TypeText, NamesAndTheirInverse) {
  const VARTYPE named[] = {VT_I2, VT_I4, VT_R4, VT_R8, VT_BSTR, VT_BOOL};
  for (VARTYPE vt : named) EXPECT_EQ(vt, ParseTypeName(GetTypeName(vt))) << vt;
  EXPECT_EQ(L"SHORT", GetTypeName(VT_I2));
  EXPECT_EQ(L"BOOL", GetTypeName(VT_BOOL));
  EXPECT_EQ(L"ARRAY", GetTypeName(VT_ARRAY | VT_I4));
  EXPECT_EQ(L"ARRAY", GetTypeName(VT_ARRAY | VT_UI1));
  EXPECT_EQ(L"UNKOWN", GetTypeName(VT_EMPTY));
  EXPECT_EQ(L"BYTE", GetTypeName(VT_UI1));
  EXPECT_EQ(L"UNKOWN", GetTypeName(VT_BYREF | VT_I4));

  EXPECT_EQ(VT_R4, ParseTypeName(L"FLOAT"));
  EXPECT_EQ(VT_BSTR, ParseTypeName(L"STRING"));
  for (const wchar_t* other : {L"UNKNOWN", L"UNKOWN", L"ARRAY", L"bool", L"INT ", L""})
    EXPECT_EQ(VT_EMPTY, ParseTypeName(other)) << other;
}

// The simulation suite sees the common texts through real attributes; these are the rest.
TEST(TypeText, AttributeTexts) {
  EXPECT_EQ(L"Unknown Access Rights", GetAccessRightsText(0));
  EXPECT_EQ(L"Writeable", GetAccessRightsText(OPC_WRITEABLE));
  EXPECT_EQ(L"Unknown Access Rights", GetAccessRightsText(7));
  EXPECT_EQ(L"Byte", GetAttributeTypeText(VT_UI1));
  EXPECT_EQ(L"Array of Booleans", GetAttributeTypeText(VT_ARRAY | VT_BOOL));
  EXPECT_EQ(L"Array of Unknowns", GetAttributeTypeText(VT_ARRAY | VT_VARIANT));
  EXPECT_EQ(L"Enumerated", GetEuTypeText(OPC_ENUMERATED));
  EXPECT_EQ(L"Unknown", GetEuTypeText(3));
}
