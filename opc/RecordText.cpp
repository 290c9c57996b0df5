#include "RecordText.h"

#include <cstdio>

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
  return out;
}

bool FromUtf8(const std::string& bytes, std::wstring& text) {
  text.clear();
  size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (bytes.size() == skip) return true;
  const char* p = bytes.data() + skip;
  const int len = static_cast<int>(bytes.size() - skip);
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, p, len, nullptr, 0);
  if (n <= 0) return false;
  text.resize(static_cast<size_t>(n));
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, p, len, text.data(), n);
  return true;
}

std::wstring CsvField(const std::wstring& field) {
  if (field.find_first_of(L",\"\r\n") == std::wstring::npos) return field;
  std::wstring out = L"\"";
  for (wchar_t c : field) {
    if (c == L'"') out += L'"';
    out += c;
  }
  return out + L"\"";
}

std::wstring JsonString(const std::wstring& text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) {
    switch (c) {
      case L'"':
        out += L"\\\"";
        break;
      case L'\\':
        out += L"\\\\";
        break;
      case L'\n':
        out += L"\\n";
        break;
      case L'\r':
        out += L"\\r";
        break;
      case L'\t':
        out += L"\\t";
        break;
      default:
        if (c < 0x20) {
          wchar_t esc[8];
          std::swprintf(esc, 8, L"\\u%04x", static_cast<unsigned>(c));
          out += esc;
        } else {
          out += c;
        }
    }
  }
  return out + L"\"";
}

std::wstring IsoTime(const FILETIME& ft) {
  if (ft.dwHighDateTime == 0) return {};
  SYSTEMTIME st;
  if (!::FileTimeToSystemTime(&ft, &st)) return {};
  wchar_t text[32];
  std::swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", st.wYear, st.wMonth, st.wDay,
                st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
  return text;
}

std::wstring QualityText(WORD quality) {
  // The sub-status names of the OPC DA standard.
  static const struct {
    WORD status;
    const wchar_t* text;
  } kStatus[] = {{0x04, L"bad: config error"},      {0x08, L"bad: not connected"},
                 {0x0C, L"bad: device failure"},    {0x10, L"bad: sensor failure"},
                 {0x14, L"bad: last known"},        {0x18, L"bad: comm failure"},
                 {0x1C, L"bad: out of service"},    {0x20, L"bad: waiting for initial data"},
                 {0x44, L"uncertain: last usable"}, {0x50, L"uncertain: sensor calibration"},
                 {0x54, L"uncertain: EU exceeded"}, {0x58, L"uncertain: sub-normal"},
                 {0xD8, L"good: local override"}};
  const WORD status = quality & 0xFC;
  for (const auto& s : kStatus)
    if (s.status == status) return s.text;
  switch (quality & 0xC0) {
    case 0xC0:
      return L"good";
    case 0x40:
      return L"uncertain";
    case 0x00:
      return L"bad";
    default:
      return L"unknown";  // 0x80 is no status the standard defines
  }
}

size_t DisplayWidth(const std::wstring& text) {
  size_t width = 0;
  for (wchar_t c : text) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6);
    width += wide ? 2 : 1;
  }
  return width;
}
