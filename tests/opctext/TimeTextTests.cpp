#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "OpcText.h"

namespace {

// The UTC time stamp of a local wall-clock time in this machine's time zone.
FILETIME FromLocal(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
  SYSTEMTIME utc;
  FILETIME ft = {};
  EXPECT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
  EXPECT_TRUE(SystemTimeToFileTime(&utc, &ft));
  return ft;
}

FILETIME FromTicks(ULONGLONG ticks) {
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

TEST(TimeText, LocalPatternWithoutLeadingZeros) {
  EXPECT_EQ(L"3/4/05 5:06:07", FormatLocalTime(FromLocal(2005, 3, 4, 5, 6, 7)));
  EXPECT_EQ(L"12/25/19 23:59:00", FormatLocalTime(FromLocal(2019, 12, 25, 23, 59, 0)));
  EXPECT_EQ(L"1/1/00 0:00:00", FormatLocalTime(FromLocal(2100, 1, 1, 0, 0, 0)));
  // Outside the C runtime's 1970..2037 range the system still converts.
  EXPECT_EQ(L"7/9/65 10:11:12", FormatLocalTime(FromLocal(1965, 7, 9, 10, 11, 12)));
}

TEST(TimeText, AgreesWithTheSystemLocalConversion) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  // Now, and a winter and a summer instant (daylight saving differs between them).
  for (FILETIME ft : {now, FromTicks(133170048000000000ULL), FromTicks(133327296000000000ULL)}) {
    SYSTEMTIME utc, local;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &utc));
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    std::wstring text = FormatLocalTime(ft);
    int m, d, y, h, mi, s;
    ASSERT_EQ(6, swscanf(text.c_str(), L"%d/%d/%d %d:%d:%d", &m, &d, &y, &h, &mi, &s)) << text;
    EXPECT_EQ(local.wMonth, m);
    EXPECT_EQ(local.wDay, d);
    EXPECT_EQ(local.wYear % 100, y);
    EXPECT_EQ(local.wHour, h);
    EXPECT_EQ(local.wMinute, mi);
    EXPECT_EQ(local.wSecond, s);
  }
}

TEST(TimeText, NoTextWithoutARepresentableTime) {
  EXPECT_EQ(L"", FormatLocalTime({12345, 0}));  // high part zero: no time at all
  EXPECT_EQ(L"", FormatLocalTime({0, 0x80000000}));
  EXPECT_EQ(L"", FormatLocalTime({0xFFFFFFFF, 0xFFFFFFFF}));
  EXPECT_NE(L"",
            FormatLocalTime({0, 0x01000000}));  // only the high part decides, not the whole value
}
