#include "OpcServerLayout.h"

#include <string>

using opcstream::Layout;

Layout LayoutOfExecutable(const uint8_t* head, size_t size, Layout fallback) {
  if (!head || size < 0x40 || head[0] != 'M' || head[1] != 'Z') return fallback;
  const uint32_t pe = opcstream::Read32(head + 0x3C);
  if (pe > size || size - pe < 6 || head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] ||
      head[pe + 3])
    return fallback;
  switch (opcstream::Read16(head + pe + 4)) {
    case 0x014C:  // i386
    case 0x01C4:  // ARM Thumb-2
      return Layout::k32;
    case 0x8664:  // x64
    case 0xAA64:  // ARM64
      return Layout::k64;
    default:
      return fallback;
  }
}

namespace {

// The default value of HKEY_CLASSES_ROOT\CLSID\{clsid}\<sub>; false when there is none.
bool ClassValue(REFCLSID clsid, const wchar_t* sub, std::wstring* value) {
  wchar_t text[64];
  if (!::StringFromGUID2(clsid, text, 64)) return false;
  const std::wstring path = std::wstring(L"CLSID\\") + text + L"\\" + sub;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  wchar_t data[MAX_PATH * 2] = {};
  DWORD bytes = sizeof(data) - sizeof(wchar_t);
  DWORD type = 0;
  const LONG r =
      ::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
  ::RegCloseKey(key);
  if (value) *value = r == ERROR_SUCCESS ? data : L"";
  return true;
}

// The program of a LocalServer32 command line: quoted, or up to the first blank.
std::wstring ProgramOf(const std::wstring& command) {
  if (!command.empty() && command[0] == L'"') {
    const size_t end = command.find(L'"', 1);
    return command.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
  }
  return command.substr(0, command.find(L' '));
}

}  // namespace

Layout ServerLayoutOf(REFCLSID clsid) {
  if (ClassValue(clsid, L"InprocServer32", nullptr)) return opcstream::kOwnLayout;
  std::wstring command;
  if (!ClassValue(clsid, L"LocalServer32", &command) || command.empty())
    return opcstream::kOwnLayout;
  const std::wstring program = ProgramOf(command);
  HANDLE file = ::CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return opcstream::kOwnLayout;
  uint8_t head[4096];
  DWORD read = 0;
  const BOOL ok = ::ReadFile(file, head, sizeof head, &read, nullptr);
  ::CloseHandle(file);
  return ok ? LayoutOfExecutable(head, read, opcstream::kOwnLayout) : opcstream::kOwnLayout;
}
