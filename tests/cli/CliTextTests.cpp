// The console client's text forms, without a server.
#include <gtest/gtest.h>

#include "CliArgs.h"
#include "CliOutput.h"
#include "CliText.h"

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
      {CliFormat::kCsv, "item,value,code\r\n温度,\"1, 2\",192\r\nA.Long.Name,\"x\"\"y\",\r\n"},
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
  EXPECT_EQ(empty.m_text, "item,value,code\r\n");  // a header even without rows
}
