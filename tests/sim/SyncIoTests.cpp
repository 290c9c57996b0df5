// IOPCSyncIO: reads from cache and device, writes with conversion and their errors.
#include "SimTestSupport.h"

// A DECIMAL from its parts: sign, the 96-bit magnitude (high 32, low 64 bits), scale.
VARIANT Decimal(bool negative, uint32_t hi, uint64_t lo, BYTE scale) {
  VARIANT v;
  VariantInit(&v);
  v.decVal.Hi32 = hi;
  v.decVal.Lo64 = lo;
  v.decVal.scale = scale;
  v.decVal.sign = negative ? DECIMAL_NEG : 0;
  v.vt = VT_DECIMAL;  // after the DECIMAL: its first word is where vt is
  return v;
}

class SimSyncIo : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    group = AddGroup(L"IO");
    ASSERT_TRUE(group);
  }
  OPCHANDLE Add(const wchar_t* id, VARTYPE vt = VT_EMPTY) {
    OPCHANDLE h = 0;
    EXPECT_EQ(S_OK, AddItem(group.Get(), id, vt, 1, &h))
        << testing::PrintToString(std::wstring(id));
    return h;
  }
  TComPtr<IOPCItemMgt> group;
};

TEST_F(SimSyncIo, ReadsConvertToTheRequestedType) {
  OPCHANDLE text = Add(L"Types.String");
  OPCHANDLE asReal = Add(L"Access.ReadOnly", VT_R4);
  OPCHANDLE asText = Add(L"Access.ReadOnly", VT_BSTR);
  OPCHANDLE array = Add(L"Arrays.Static.Short", VT_ARRAY | VT_R8);
  VARIANT v;
  WORD q = 0;
  FILETIME t{};
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_CACHE, text, &v, &q, &t));
  EXPECT_EQ(VT_BSTR, v.vt);
  EXPECT_STREQ(L"Hello", v.bstrVal);
  EXPECT_EQ(0xC0, q);
  EXPECT_NE(0u, t.dwHighDateTime);
  VariantClear(&v);
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, asReal, &v));
  EXPECT_EQ(VT_R4, v.vt);
  EXPECT_EQ(42.0f, v.fltVal);
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, asText, &v));
  EXPECT_STREQ(L"42", v.bstrVal);
  VariantClear(&v);
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, array, &v));
  EXPECT_EQ(VT_ARRAY | VT_R8, v.vt);
  VariantClear(&v);
}

TEST_F(SimSyncIo, ReadErrorsPerItem) {
  OPCHANDLE good = Add(L"Types.Double");
  OPCHANDLE writeOnly = Add(L"Access.WriteOnly");
  TComPtr<IOPCSyncIO> io = Query<IOPCSyncIO>(group.Get());
  OPCHANDLE handles[3] = {good, writeOnly, 999999};
  OPCITEMSTATE* states = nullptr;
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_FALSE, io->Read(OPC_DS_DEVICE, 3, handles, &states, &errors));
  EXPECT_EQ(S_OK, errors[0]);
  EXPECT_EQ(OPC_E_BADRIGHTS, errors[1]);
  EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[2]);
  EXPECT_EQ(VT_EMPTY, states[2].vDataValue.vt);
  for (int i = 0; i < 3; ++i) VariantClear(&states[i].vDataValue);
  CoTaskMemFree(states);
  CoTaskMemFree(errors);
  states = reinterpret_cast<OPCITEMSTATE*>(1);
  EXPECT_EQ(E_INVALIDARG, io->Read(static_cast<OPCDATASOURCE>(3), 1, handles, &states, &errors));
  EXPECT_EQ(nullptr, states);
  EXPECT_EQ(E_INVALIDARG, io->Read(OPC_DS_CACHE, 0, handles, &states, &errors));
  EXPECT_EQ(E_INVALIDARG, io->Read(OPC_DS_CACHE, 1, nullptr, &states, &errors));
  EXPECT_EQ(E_INVALIDARG, io->Read(OPC_DS_CACHE, 1, handles, nullptr, &errors));
}

TEST_F(SimSyncIo, CacheReadsOfInactiveItemsAreOutOfService) {
  OPCHANDLE h = Add(L"Types.Long");
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_OK, group->SetActiveState(1, &h, FALSE, &errors));
  CoTaskMemFree(errors);
  VARIANT v;
  WORD q = 0;
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_CACHE, h, &v, &q));
  EXPECT_EQ(0x1C, q);
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, h, &v, &q));
  EXPECT_EQ(0xC0, q) << "the device is always there";
}

TEST_F(SimSyncIo, QualitiesOfTheQualityBranch) {
  VARIANT v;
  WORD q = 0;
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, Add(L"Quality.Bad"), &v, &q));
  EXPECT_EQ(0x18, q);
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, Add(L"Quality.Uncertain"), &v, &q));
  EXPECT_EQ(0x54, q);
  // The cycling item walks through good, uncertain and bad over its period.
  OPCHANDLE cycling = Add(L"Quality.Cycling");
  bool seen[4] = {};
  for (int step = 0; step < 16; ++step) {
    ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, cycling, &v, &q));
    seen[q >> 6] = true;
    control->AdvanceTime(1000);
  }
  EXPECT_TRUE(seen[0]);
  EXPECT_TRUE(seen[1]);
  EXPECT_TRUE(seen[3]);
}

TEST_F(SimSyncIo, WritesConvertCheckRightsTypesAndRanges) {
  OPCHANDLE number = Add(L"Types.Short");
  OPCHANDLE readOnly = Add(L"Access.ReadOnly");
  OPCHANDLE analog = Add(L"EU.Analog");
  OPCHANDLE text = Add(L"Types.String");
  OPCHANDLE writeOnly = Add(L"Access.WriteOnly");
  VARIANT v = MakeVariant(L"1234");
  EXPECT_EQ(S_OK, WriteOne(group.Get(), number, v)) << "text converts to the canonical type";
  VariantClear(&v);
  VARIANT r;
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, number, &r));
  EXPECT_EQ(VT_I2, r.vt);
  EXPECT_EQ(1234, r.iVal);
  v = MakeVariant(L"twelve");
  EXPECT_EQ(OPC_E_BADTYPE, WriteOne(group.Get(), number, v));
  VariantClear(&v);
  EXPECT_EQ(OPC_E_RANGE, WriteOne(group.Get(), number, MakeVariant(70000.0)))
      << "does not fit a 16-bit integer";
  EXPECT_EQ(OPC_E_BADRIGHTS, WriteOne(group.Get(), readOnly, MakeVariant(1.0)));
  EXPECT_EQ(OPC_E_RANGE, WriteOne(group.Get(), analog, MakeVariant(100.5)))
      << "outside the EU range";
  EXPECT_EQ(S_OK, WriteOne(group.Get(), analog, MakeVariant(99.5)));
  EXPECT_EQ(S_OK, WriteOne(group.Get(), text, MakeVariant(3.5)));
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, text, &r));
  EXPECT_STREQ(L"3.5", r.bstrVal);
  VariantClear(&r);
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_EQ(OPC_E_BADTYPE, WriteOne(group.Get(), number, empty));
  EXPECT_EQ(S_OK, WriteOne(group.Get(), writeOnly, MakeVariant(5.0)));
  EXPECT_EQ(OPC_E_INVALIDHANDLE, WriteOne(group.Get(), 4242, MakeVariant(5.0)));
  TComPtr<IOPCSyncIO> io = Query<IOPCSyncIO>(group.Get());
  HRESULT* errors = reinterpret_cast<HRESULT*>(1);
  EXPECT_EQ(E_INVALIDARG, io->Write(1, &number, nullptr, &errors));
  EXPECT_EQ(nullptr, errors);
}

TEST_F(SimSyncIo, ArrayWritesKeepTheirElements) {
  OPCHANDLE h = Add(L"Arrays.Static.Float");
  SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 3);
  for (LONG i = 0; i < 3; ++i) {
    LONG x = (i + 1) * 10;
    SafeArrayPutElement(psa, &i, &x);
  }
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_I4;
  v.parray = psa;
  EXPECT_EQ(S_OK, WriteOne(group.Get(), h, v));
  VARIANT r;
  ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, h, &r));
  ASSERT_EQ(VT_ARRAY | VT_R4, r.vt);
  LONG ub = -1;
  SafeArrayGetUBound(r.parray, 1, &ub);
  EXPECT_EQ(2, ub);
  float x = 0;
  LONG i2 = 2;
  SafeArrayGetElement(r.parray, &i2, &x);
  EXPECT_EQ(30.0f, x);
  VariantClear(&r);
  EXPECT_EQ(OPC_E_BADTYPE, WriteOne(group.Get(), h, MakeVariant(1.0))) << "a scalar is no array";
  VariantClear(&v);
}

TEST_F(SimSyncIo, ValuesThatDoNotFitTheRequestedTypeReadAsBad) {
  OPCHANDLE wide = Add(L"Types.Long");
  OPCHANDLE narrow = Add(L"Types.Long", VT_I2);
  RecordingSink& sink = Sink();
  Advise(group.Get(), StreamFormats().dataTime, &sink);
  EXPECT_EQ(S_OK, WriteOne(group.Get(), wide, MakeVariant(100000.0)));
  VARIANT v;
  WORD q = 0;
  EXPECT_EQ(OPC_E_RANGE, ReadOne(group.Get(), OPC_DS_DEVICE, narrow, &v, &q));
  EXPECT_EQ(VT_EMPTY, v.vt);
  EXPECT_EQ(0x04, q) << "bad, configuration error";
  ASSERT_EQ(S_OK, control->AdvanceTime(1000));
  ASSERT_EQ(1u, sink.received.size());
  DecodedData d = sink.Data(0);
  ASSERT_EQ(2u, d.items.size());
  // Items come in the order they were added.
  EXPECT_EQ(VT_I4, d.items[0].value.vt);
  EXPECT_EQ(100000, d.items[0].value.lVal);
  EXPECT_EQ(VT_EMPTY, d.items[1].value.vt);
  EXPECT_EQ(0x04, d.items[1].quality);
  EXPECT_EQ(S_FALSE, d.status) << "not every value is good";
}

// Every integer type at both ends of its range, written in a foreign type, and one beyond
// each end refused: where the platform's conversion wraps same-width signed and unsigned
// values (an unsigned 16-bit 40000 into a SHORT), the server's own check holds. Read back
// as text, so 64-bit values are compared exactly.
TEST_F(SimSyncIo, IntegerWritesInForeignTypesAreRangeChecked) {
  auto typed = [](VARTYPE vt, int64_t bits) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = bits;  // the low bytes are the narrower types' values
    return v;
  };
  auto i8 = [&](int64_t x) { return typed(VT_I8, x); };
  auto u8 = [&](uint64_t x) { return typed(VT_UI8, static_cast<int64_t>(x)); };
  VARIANT maxDec = Decimal(false, UINT32_MAX, UINT64_MAX, 0), minDec = maxDec;
  minDec.decVal.sign = DECIMAL_NEG;
  VARIANT beyondDec = MakeVariant(L"79228162514264337593543950336");  // 2^96
  // A stored value a foreign request cannot take is refused on reading, not wrapped.
  VARIANT r;
  EXPECT_EQ(OPC_E_RANGE, ReadOne(group.Get(), OPC_DS_DEVICE, Add(L"Types.Word", VT_I2), &r));
  const struct {
    const wchar_t* id;
    VARIANT low, high, below, above;
    const wchar_t *lowText, *highText;
  } rows[] = {
      {L"Types.Char", i8(-128), i8(127), i8(-129), typed(VT_UI1, 128), L"-128", L"127"},
      {L"Types.Byte", i8(0), u8(255), typed(VT_I1, -1), i8(256), L"0", L"255"},
      {L"Types.Short", i8(-32768), i8(32767), i8(-32769), typed(VT_UI2, 40000), L"-32768",
       L"32767"},
      {L"Types.Word", i8(0), u8(65535), typed(VT_I2, -1), i8(65536), L"0", L"65535"},
      {L"Types.Long", i8(INT32_MIN), i8(INT32_MAX), i8(INT64_C(-2147483649)),
       typed(VT_UI4, 0x80000000u), L"-2147483648", L"2147483647"},
      {L"Types.DWord", i8(0), u8(UINT32_MAX), typed(VT_I4, -1), i8(INT64_C(4294967296)), L"0",
       L"4294967295"},
      {L"Types.Int", i8(INT32_MIN), i8(INT32_MAX), i8(INT64_C(-2147483649)),
       typed(VT_UINT, 0x80000000u), L"-2147483648", L"2147483647"},
      {L"Types.UInt", i8(0), u8(UINT32_MAX), typed(VT_INT, -1), i8(INT64_C(4294967296)), L"0",
       L"4294967295"},
      {L"Types.LongLong", i8(INT64_MIN), i8(INT64_MAX), MakeVariant(-1e19), u8(UINT64_C(1) << 63),
       L"-9223372036854775808", L"9223372036854775807"},
      {L"Types.ULongLong", i8(0), u8(UINT64_MAX), i8(-1), MakeVariant(2e19), L"0",
       L"18446744073709551615"},
      // A code is a 32-bit word: signed and unsigned readings both fit.
      {L"Types.Error", i8(INT32_MIN), u8(UINT32_MAX), i8(INT64_C(-2147483649)),
       i8(INT64_C(4294967296)), L"0x80000000", L"0xFFFFFFFF"},
      {L"Types.Decimal", minDec, maxDec, MakeVariant(-1e29), beyondDec,
       L"-79228162514264337593543950335", L"79228162514264337593543950335"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(row.id)));
    const OPCHANDLE h = Add(row.id), text = Add(row.id, VT_BSTR);
    for (const auto& [value, shown] : {std::pair{row.low, row.lowText}, {row.high, row.highText}}) {
      EXPECT_EQ(S_OK, WriteOne(group.Get(), h, value));
      ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, text, &r));
      EXPECT_STREQ(shown, r.bstrVal);
      VariantClear(&r);
    }
    for (const VARIANT& beyond : {row.below, row.above})
      EXPECT_EQ(OPC_E_RANGE, WriteOne(group.Get(), h, beyond)) << beyond.vt;
    ASSERT_EQ(S_OK, ReadOne(group.Get(), OPC_DS_DEVICE, text, &r));
    EXPECT_STREQ(row.highText, r.bstrVal) << "a refused write stores nothing";
    VariantClear(&r);
  }
  VariantClear(&beyondDec);
}

// Error codes and decimals read in foreign requested types: a code as the signed or the
// unsigned word the type asks for, a decimal rounded half to even into whole types (its
// 96 bits, not a double's 53), and what the requested type cannot hold as OPC_E_RANGE.
TEST_F(SimSyncIo, ErrorCodesAndDecimalsReadInForeignTypes) {
  auto code = [](uint32_t bits) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = static_cast<SCODE>(bits);
    return v;
  };
  const struct {
    const wchar_t* id;
    VARIANT value;
    VARTYPE requested;
    const wchar_t* text;  // the value read, as text; null: OPC_E_RANGE
  } rows[] = {
      {L"Types.Error", code(0x80004005), VT_I4, L"-2147467259"},
      {L"Types.Error", code(0x80004005), VT_UI4, L"2147500037"},
      {L"Types.Error", code(0x80004005), VT_I8, L"-2147467259"},
      {L"Types.Error", code(0x80004005), VT_I2, nullptr},
      {L"Types.Error", code(200), VT_UI1, L"200"},
      {L"Types.Error", code(0xC0040007), VT_BSTR, L"0xC0040007"},
      {L"Types.Error", MakeVariant(L"0x8000FFFF"), VT_UI4, L"2147549183"},
      {L"Types.Error", MakeVariant(3e9), VT_UI4, L"3000000000"},
      {L"Types.Decimal", Decimal(false, 0, 25, 1), VT_I4, L"2"},
      {L"Types.Decimal", Decimal(false, 0, 35, 1), VT_I4, L"4"},
      {L"Types.Decimal", Decimal(true, 0, 250001, 5), VT_I1, L"-3"},
      {L"Types.Decimal", Decimal(true, 0, 1285, 1), VT_I1, L"-128"},  // half to even
      {L"Types.Decimal", Decimal(true, 0, 12851, 2), VT_I1, nullptr},
      {L"Types.Decimal", Decimal(false, 0, 3000000000, 0), VT_I4, nullptr},
      {L"Types.Decimal", Decimal(false, 0, 3000000000, 0), VT_UI4, L"3000000000"},
      {L"Types.Decimal", Decimal(false, 0, UINT64_C(1) << 63, 0), VT_I8, nullptr},
      {L"Types.Decimal", Decimal(false, 0, UINT64_C(1) << 63, 0), VT_UI8, L"9223372036854775808"},
      {L"Types.Decimal", Decimal(false, 1, 0, 0), VT_UI8, nullptr},  // 2^64
      {L"Types.Decimal", Decimal(false, 1, 0, 1), VT_UI8, L"1844674407370955162"},
      {L"Types.Decimal", Decimal(true, 0, 1, 0), VT_UI4, nullptr},
      {L"Types.Decimal", Decimal(true, 0, 1, 0), VT_ERROR, L"0xFFFFFFFF"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << testing::PrintToString(std::wstring(row.id)) << " as " << row.requested
                 << " expected " << testing::PrintToString(row.text ? row.text : L"range"));
    ASSERT_EQ(S_OK, WriteOne(group.Get(), Add(row.id), row.value));
    VARIANT r;
    const HRESULT hr = ReadOne(group.Get(), OPC_DS_DEVICE, Add(row.id, row.requested), &r);
    if (!row.text) {
      EXPECT_EQ(OPC_E_RANGE, hr);
      continue;
    }
    ASSERT_EQ(S_OK, hr);
    EXPECT_EQ(row.requested, r.vt);
    // The platform has no text for an error code: the list's hex form.
    wchar_t got[32] = L"";
    VARIANT text;
    VariantInit(&text);
    if (r.vt == VT_ERROR)
      swprintf(got, 32, L"0x%08lX", static_cast<unsigned long>(static_cast<uint32_t>(r.scode)));
    else if (SUCCEEDED(VariantChangeType(&text, &r, 0, VT_BSTR)))
      wcsncpy(got, text.bstrVal, 31);
    VariantClear(&text);
    EXPECT_STREQ(row.text, got);
    VariantClear(&r);
  }
  for (const auto& row : rows) {
    VARIANT v = row.value;
    VariantClear(&v);
  }
}
