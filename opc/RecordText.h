// Text forms of recorded values (the console client's output, the window's recordings):
// UTF-8, CSV fields, JSON strings, ISO 8601 times and quality names. No COM, no windows.
#pragma once
#include <windows.h>

#include <string>

std::string ToUtf8(const std::wstring& text);
// false when bytes are not valid UTF-8; a leading byte-order mark is dropped.
bool FromUtf8(const std::string& bytes, std::wstring& text);

// RFC 4180: quoted when it holds a comma, a quote or a line break; quotes doubled.
std::wstring CsvField(const std::wstring& field);
// A JSON string literal, quotes included.
std::wstring JsonString(const std::wstring& text);

// "2026-12-07T17:21:37.123Z"; empty for a time whose high 32 bits are zero (no time).
std::wstring IsoTime(const FILETIME& ft);
// "good", "uncertain", "bad", with the sub-status after a colon ("bad: comm failure").
std::wstring QualityText(WORD quality);
// Columns a text takes in a console: East Asian wide characters take two.
size_t DisplayWidth(const std::wstring& text);
