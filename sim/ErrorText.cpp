#include "ErrorText.h"

namespace plover::sim {

namespace {

struct Entry {
  DWORD code;
  const wchar_t* text;
};

const Entry kOpcTexts[] = {
    {0xC0040001, L"The value of the handle is invalid."},
    {0xC0040004,
     L"The server cannot convert the data between the requested data type and the canonical data "
     L"type."},
    {0xC0040005, L"The requested operation cannot be done on a public group."},
    {0xC0040006, L"The item's access rights do not allow the operation."},
    {0xC0040007, L"The item is no longer available in the server address space."},
    {0xC0040008, L"The item definition does not conform to the server's syntax."},
    {0xC0040009, L"The filter string is not valid."},
    {0xC004000A, L"The item's access path is not known to the server."},
    {0xC004000B, L"The value was out of range."},
    {0xC004000C, L"Duplicate name not allowed."},
    {0x0004000D,
     L"The server does not support the requested data rate but will use the closest available "
     L"rate."},
    {0x0004000E, L"A value passed to write was accepted but the output was clamped."},
    {0x0004000F,
     L"The operation cannot be completed because the object still has references that exist."},
    {0xC0040010, L"The server's configuration file is an invalid format."},
    {0xC0040011, L"The server could not locate the requested object."},
};

}  // namespace

bool LookupErrorText(HRESULT code, std::wstring* text) {
  for (const Entry& e : kOpcTexts) {
    if (e.code == static_cast<DWORD>(code)) {
      *text = e.text;
      return true;
    }
  }
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (n == 0 || !buffer) return false;
  text->assign(buffer, n);
  LocalFree(buffer);
  while (!text->empty() && (text->back() == L'\n' || text->back() == L'\r')) text->pop_back();
  return !text->empty();
}

}  // namespace plover::sim
