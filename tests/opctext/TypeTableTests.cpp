// Every type a server may send, both ways: its names, the text of its values at both ends
// of its range, the write conversion of that text back to the same value, one beyond each
// end refused, and arrays of each in the list's comma-separated text.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "OpcText.h"

namespace {

struct Value {
  VARIANT v;
  Value() { VariantInit(&v); }
  ~Value() { VariantClear(&v); }
};

std::string Narrow(const std::wstring& w) {
  return std::string(w.begin(), w.end());
}

}  // namespace

TEST(TypeTable, EveryTypeNamedShownAndWrittenBackWithinItsRange) {
  const struct {
    VARTYPE vt;
    const wchar_t* name;
    const wchar_t* attribute;  // of an array: "Array of " and the plural
    const wchar_t* low;
    const wchar_t* high;
    std::vector<const wchar_t*> beyond;  // refused as out of range
  } types[] = {
      {VT_I1, L"CHAR", L"Char", L"-128", L"127", {L"-129", L"128"}},
      {VT_UI1, L"BYTE", L"Byte", L"0", L"255", {L"-1", L"256"}},
      {VT_I2, L"SHORT", L"Short", L"-32768", L"32767", {L"-32769", L"40000"}},
      {VT_UI2, L"WORD", L"Word", L"0", L"65535", {L"-1", L"65536"}},
      {VT_I4, L"INT", L"Long", L"-2147483648", L"2147483647", {L"-2147483649", L"2147483648"}},
      {VT_UI4, L"DWORD", L"DWord", L"0", L"4294967295", {L"-1", L"4294967296"}},
      {VT_INT, L"INTEGER", L"Integer", L"-2147483648", L"2147483647", {L"2147483648"}},
      {VT_UINT, L"UINT", L"UInteger", L"0", L"4294967295", {L"-1", L"4294967296"}},
      {VT_I8,
       L"LLONG",
       L"LongLong",
       L"-9223372036854775808",
       L"9223372036854775807",
       {L"-9223372036854775809", L"9223372036854775808", L"1e19"}},
      {VT_UI8,
       L"ULLONG",
       L"ULongLong",
       L"0",
       L"18446744073709551615",
       {L"-1", L"18446744073709551616", L"99999999999999999999"}},
      {VT_R4, L"FLOAT", L"Float", L"-3.40282e+38", L"0.1", {L"3.5e+38", L"-1e39"}},
      {VT_R8, L"DOUBLE", L"Double", L"-1.79769e+308", L"2.5e-300", {}},
      {VT_CY,
       L"CURRENCY",
       L"Currency",
       L"-922337203685477.5808",
       L"922337203685477.5807",
       {L"922337203685477.5808", L"-922337203685477.5809"}},
      {VT_DATE, L"DATE", L"Date", L"1/1/30 0:00:00", L"12/31/29 23:59:59", {}},
      {VT_ERROR, L"ERROR", L"Error", L"0x00000000", L"0x80004005", {}},
      {VT_DECIMAL, L"DECIMAL", L"Decimal", L"-79228162514264337593543950335", L"0.0001", {}},
      {VT_BOOL, L"BOOL", L"Boolean", L"Off", L"On", {}},
      {VT_BSTR, L"STRING", L"String", L"", L"温度, \"x\"", {}},
  };
  for (const auto& t : types) {
    SCOPED_TRACE(Narrow(t.name));
    EXPECT_EQ(t.name, GetTypeName(t.vt));
    EXPECT_EQ(t.vt, ParseTypeName(t.name));
    EXPECT_EQ(L"ARRAY", GetTypeName(VT_ARRAY | t.vt));
    EXPECT_TRUE(HasValueText(t.vt));
    EXPECT_EQ(t.attribute, GetAttributeTypeText(t.vt));
    const std::wstring a = t.attribute;
    EXPECT_EQ(L"Array of " + (a.back() == L'y' ? a.substr(0, a.size() - 1) + L"ie" : a) + L"s",
              GetAttributeTypeText(VT_ARRAY | t.vt));

    for (const wchar_t* text : {t.low, t.high}) {
      Value v;
      ASSERT_EQ(S_OK, ConvertWriteText(text, t.vt, &v.v)) << Narrow(text);
      EXPECT_EQ(t.vt, v.v.vt);
      EXPECT_EQ(text, GetValueText(v.v, 0xC0));
      EXPECT_EQ(std::wstring(text) + L" (uncertain)", GetValueText(v.v, 0x40));
      EXPECT_EQ(L"Bad", GetValueText(v.v, 0x00));
    }
    for (const wchar_t* text : t.beyond) {
      Value v;
      EXPECT_EQ(DISP_E_OVERFLOW, ConvertWriteText(text, t.vt, &v.v)) << Narrow(text);
      EXPECT_EQ(VT_EMPTY, v.v.vt);
    }
    if (t.vt != VT_BSTR) {
      Value v;
      EXPECT_TRUE(FAILED(ConvertWriteText(L"12 apples", t.vt, &v.v)));
    }

    // The array's text is what writes it back; one element beyond writes nothing.
    const std::wstring list =
        t.vt == VT_BSTR ? L"\"\", \"温度, \"\"x\"\"\"" : std::wstring(t.low) + L", " + t.high;
    Value arr;
    ASSERT_EQ(S_OK, ConvertWriteText(list, VT_ARRAY | t.vt, &arr.v)) << Narrow(list);
    EXPECT_EQ(VT_ARRAY | t.vt, arr.v.vt);
    EXPECT_EQ(list, GetValueText(arr.v, 0xC0));
    for (const wchar_t* text : t.beyond) {
      Value v;
      EXPECT_EQ(DISP_E_OVERFLOW,
                ConvertWriteText(std::wstring(t.low) + L"," + text, VT_ARRAY | t.vt, &v.v));
      EXPECT_EQ(VT_EMPTY, v.v.vt);
    }
  }

  // The list's words and forms read back, spaces around elements ignored; broken quoting,
  // an empty array and types without text.
  const struct {
    const wchar_t* text;
    VARTYPE vt;
    HRESULT hr;
    const wchar_t* shown;
  } forms[] = {
      {L" off ", VT_BOOL, S_OK, L"Off"},
      {L"1e3", VT_UI2, S_OK, L"1000"},
      {L"2.5", VT_I8, S_OK, L"2"},  // halves to even, as the platform rounds
      {L"-0", VT_UI1, S_OK, L"0"},
      {L"-1.5", VT_CY, S_OK, L"-1.5000"},
      {L".25", VT_CY, S_OK, L"0.2500"},
      {L"7/4/26 9:05", VT_DATE, S_OK, L"7/4/26 9:05:00"},
      {L"", VT_I4, DISP_E_TYPEMISMATCH, nullptr},
      {L"", VT_ARRAY | VT_I4, S_OK, L""},
      {L" 1 ,2,  3 ", VT_ARRAY | VT_UI8, S_OK, L"1, 2, 3"},
      {L"\"a\" , b", VT_ARRAY | VT_BSTR, S_OK, L"a, b"},
      {L"\"a", VT_ARRAY | VT_BSTR, DISP_E_TYPEMISMATCH, nullptr},
      {L"\"a\"b", VT_ARRAY | VT_BSTR, DISP_E_TYPEMISMATCH, nullptr},
      {L"1,,2", VT_ARRAY | VT_I2, DISP_E_TYPEMISMATCH, nullptr},
      {L"1", VT_ARRAY | VT_VARIANT, DISP_E_TYPEMISMATCH, nullptr},
  };
  for (const auto& f : forms) {
    Value v;
    EXPECT_EQ(f.hr, ConvertWriteText(f.text, f.vt, &v.v)) << Narrow(f.text) << " vt " << f.vt;
    if (f.shown) {
      EXPECT_EQ(f.vt, v.v.vt);
      EXPECT_EQ(f.shown, GetValueText(v.v, 0xC0)) << Narrow(f.text);
    } else {
      EXPECT_EQ(VT_EMPTY, v.v.vt);
    }
  }
  Value empty;
  EXPECT_EQ(L"?", GetValueText(empty.v, 0xC0));
  EXPECT_EQ(L"UNKOWN", GetTypeName(VT_EMPTY));
  EXPECT_EQ(L"UNKOWN", GetTypeName(VT_VARIANT));
  EXPECT_EQ(L"Unknown", GetAttributeTypeText(VT_VARIANT));
}
