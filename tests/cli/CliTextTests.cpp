// The console client's text forms, without a server.
#include <gtest/gtest.h>

#include "CliArgs.h"
#include "CliOutput.h"
#include "CliText.h"
#include "CliWatchLines.h"
#include "OpcText.h"

TEST(CliText, TimesQualitiesAndEscapes) {
  SYSTEMTIME st = {2026, 12, 1, 7, 17, 21, 37, 123};
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  EXPECT_EQ(IsoTime(ft), L"2026-12-07T17:21:37.123Z");
  EXPECT_EQ(IsoTime(FILETIME{12345, 0}), L"");  // no time

  const struct {
    WORD quality;
    const wchar_t* text;
  } qualities[] = {{0xC0, L"good"},
                   {0xD8, L"good: local override"},
                   {0xC1, L"good"},
                   {0x40, L"uncertain"},
                   {0x56, L"uncertain: EU exceeded"},
                   {0x00, L"bad"},
                   {0x18, L"bad: comm failure"},
                   {0x1C, L"bad: out of service"},
                   {0x80, L"unknown"}};
  for (const auto& q : qualities) EXPECT_EQ(QualityText(q.quality), q.text) << q.quality;

  EXPECT_EQ(CsvField(L"plain 值"), L"plain 值");
  EXPECT_EQ(CsvField(L"a,b"), L"\"a,b\"");
  EXPECT_EQ(CsvField(L"say \"hi\""), L"\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField(L"two\nlines"), L"\"two\nlines\"");
  EXPECT_EQ(JsonString(L"a\"b\\c\n\x01温"), L"\"a\\\"b\\\\c\\n\\u0001温\"");

  std::wstring text;
  EXPECT_TRUE(FromUtf8("\xEF\xBB\xBF温度", text));  // the byte-order mark is dropped
  EXPECT_EQ(text, L"温度");
  EXPECT_FALSE(FromUtf8("ok\xFF\xFE", text));
  EXPECT_FALSE(FromUtf8("\xE6\xB8", text));  // a character cut short
  EXPECT_EQ(ToUtf8(L"温度"), "温度");
  EXPECT_EQ(DisplayWidth(L"Names.说明"), 10u);

  // A write's result: a clamped value is no plain "OK", an error is its text.
  EXPECT_EQ(WriteResultText(S_OK, L""), L"OK");
  EXPECT_EQ(WriteResultText(0x0004000E, L"clamped text"), L"OK, clamped");
  EXPECT_EQ(WriteResultText(S_FALSE, L"partly"), L"OK: partly");
  EXPECT_EQ(WriteResultText(static_cast<HRESULT>(0xC0040006), L"no rights"), L"no rights");
}

TEST(CliText, RecordsInThreeForms) {
  const std::vector<CliColumn> columns = {
      {L"ITEM", L"item"}, {L"VALUE", L"value"}, {L"CODE", L"code", true, true}};
  const std::vector<std::vector<std::wstring>> rows = {{L"温度", L"1, 2", L"192"},
                                                       {L"A.Long.Name", L"x\"y", L""}};
  const struct {
    CliFormat format;
    const char* expected;
  } cases[] = {
      // Columns: the machine-only column is left out, the last column is not padded, and
      // a Chinese character takes two places.
      {CliFormat::kColumns, "ITEM         VALUE\n温度         1, 2\nA.Long.Name  x\"y\n"},
      {CliFormat::kCsv, "item,value,code\n温度,\"1, 2\",192\nA.Long.Name,\"x\"\"y\",\n"},
      {CliFormat::kJson,
       "{\"item\":\"温度\",\"value\":\"1, 2\",\"code\":192}\n"
       "{\"item\":\"A.Long.Name\",\"value\":\"x\\\"y\",\"code\":\"\"}\n"},
  };
  for (const auto& c : cases) {
    CStringWriter out;
    CRecordWriter records(out, c.format, columns);
    for (const auto& row : rows) records.Row(row);
    records.Finish();
    EXPECT_EQ(out.m_text, c.expected) << static_cast<int>(c.format);
  }
  CStringWriter empty;
  CRecordWriter none(empty, CliFormat::kCsv, columns);
  none.Finish();
  EXPECT_EQ(empty.m_text, "item,value,code\n");  // a header even without rows
}

// The watch's own line writer must give the record writer's lines in every form and for
// every kind of value: IDs and texts that need quotes, escapes or UTF-8, wide characters in
// columns, all qualities, exponent forms, arrays, times that change or repeat, and a handle
// slot that a new record takes over.
TEST(CliText, WatchLinesAreTheRecordWritersLines) {
  const std::vector<size_t> widths = {14, 12, 6, 9, 0, 24};
  std::string json;
  for (CliFormat format : {CliFormat::kCsv, CliFormat::kJson, CliFormat::kColumns}) {
    SCOPED_TRACE(static_cast<int>(format));
    COpcItem items[5];
    const wchar_t* ids[] = {L"Names.温度", L"A,\"quoted\"\\ id", L"Plain.Tag", L"Plain.Other", L""};
    for (int i = 0; i < 5; ++i) {
      items[i].m_strItemId = ids[i];
      items[i].m_hClient = static_cast<OPCHANDLE>((1u << 22) | i);
    }
    items[4].m_hClient = 0;  // a record the core never numbered
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I2, 0, 2);
    static_cast<SHORT*>(psa->pvData)[0] = 7;
    static_cast<SHORT*>(psa->pvData)[1] = -8;
    const FILETIME t1 = {0x12345678, 0x01DB0000}, t2 = {0x22345678, 0x01DB0000};
    auto setR8 = [](COpcItem& it, double d) {
      VariantClear(&it.m_value), it.m_value.vt = VT_R8, it.m_value.dblVal = d;
    };
    auto setStr = [](COpcItem& it, const wchar_t* s) {
      VariantClear(&it.m_value), it.m_value.vt = VT_BSTR, it.m_value.bstrVal = SysAllocString(s);
    };
    CStringWriter fastOut, recordOut;
    CRecordWriter records(recordOut, format, ItemValueColumns());
    records.Stream(widths);
    {
      CWatchLines fast(fastOut, format, widths);
      fast.Header();
      auto row = [&](COpcItem& it, WORD quality, const FILETIME& t) {
        it.m_wQuality = quality;
        it.m_ftTimeStamp = t;
        fast.Row(it);
        records.Row(ItemValueFields(it));
      };
      setR8(items[0], 12.5);
      row(items[0], 0xC0, t1);
      setStr(items[1], L"a, \"b\"\n温\t");
      row(items[1], 0xC0, t1);
      setR8(items[2], 1234567.0);  // exponent form
      row(items[2], 0x40, t1);
      setR8(items[2], -0.000123);
      row(items[2], 0x40, t2);
      items[3].m_value.vt = VT_ARRAY | VT_I2;
      items[3].m_value.parray = psa;
      row(items[3], 0xC0, t2);
      row(items[3], 0x18, t2);  // bad: comm failure
      VariantClear(&items[4].m_value);
      items[4].m_value.vt = VT_BOOL, items[4].m_value.boolVal = VARIANT_TRUE;
      row(items[4], 0xD8, t2);
      row(items[0], 0xC0, t2);  // a known ID again
      // The slot of item 0 now holds another record (a new generation): its own ID.
      items[2].m_hClient = (2u << 22) | 0;
      row(items[2], 0xC0, t1);
      items[4].m_strItemId = L"Renamed";
      row(items[4], 0x00, FILETIME{0, 0});
      setStr(items[2], L"长的中文值");  // wider than its column
      row(items[2], 0xC0, t1);
    }
    records.Finish();
    EXPECT_EQ(fastOut.m_text, recordOut.m_text);
    if (format == CliFormat::kJson) json = fastOut.m_text;
  }
  EXPECT_NE(json.find("{\"item\":\"Plain.Tag\",\"value\":\"-0.000123\",\"type\":\"DOUBLE\","
                      "\"quality\":\"good\",\"qualityCode\":192,\"time\":\"20"),
            std::string::npos)
      << json;
}
