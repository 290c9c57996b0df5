#include "ErrorText.h"

#include <olectl.h>

#include <iterator>

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
    {0xC0040203, L"The property ID is not valid for the item."},
    {0xC0040400, L"No deadband has been set for the item."},
    {0xC0040401, L"The item does not support deadband."},
    {0xC0040402, L"The server does not buffer values that change faster than the update rate."},
    {0xC0040403, L"The continuation point is not valid."},
    {0x00040404, L"Not every buffered value could be kept: some changes were lost."},
    {0xC0040405, L"No sampling rate has been set for the item."},
    {0xC0040406, L"Writing the quality or the time stamp is not supported."},
    // The system's text for 1 is a Win32 error's, which says nothing about an HRESULT.
    {static_cast<DWORD>(S_FALSE),
     L"The operation succeeded, but not completely or not for every item."},
};

// Codes this server returns for which Wine's message table has no text. DllRegisterServer's
// SELFREG_E_CLASS has the same value as CONNECT_E_ADVISELIMIT: the text is the connection's,
// which a client of a server object meets.
const Entry kPlatformTexts[] = {
    {static_cast<DWORD>(E_NOINTERFACE), L"No such interface supported."},
    {static_cast<DWORD>(E_POINTER), L"Invalid pointer."},
    {static_cast<DWORD>(E_NOTIMPL), L"Not implemented."},
    {static_cast<DWORD>(E_FAIL), L"Unspecified error."},
    {static_cast<DWORD>(E_UNEXPECTED), L"Catastrophic failure."},
    {static_cast<DWORD>(E_INVALIDARG), L"One or more arguments are invalid."},
    {static_cast<DWORD>(E_OUTOFMEMORY),
     L"Not enough memory is available to complete the operation."},
    {static_cast<DWORD>(CONNECT_E_NOCONNECTION), L"The connection does not exist."},
    {static_cast<DWORD>(CONNECT_E_ADVISELIMIT),
     L"The connection point has reached its limit of connections."},
    {static_cast<DWORD>(CONNECT_E_CANNOTCONNECT),
     L"The client's object does not support the connection point's interface."},
    {static_cast<DWORD>(OLE_E_NOCONNECTION), L"There is no connection for this connection ID."},
    {static_cast<DWORD>(DV_E_FORMATETC), L"Invalid FORMATETC structure."},
    {static_cast<DWORD>(DISP_E_OVERFLOW), L"Out of present range."},
    {static_cast<DWORD>(DISP_E_TYPEMISMATCH), L"Type mismatch."},
    {static_cast<DWORD>(RPC_E_DISCONNECTED),
     L"The object invoked has disconnected from its clients."},
    {static_cast<DWORD>(CLASS_E_NOAGGREGATION), L"Class does not support aggregation."},
    {static_cast<DWORD>(CLASS_E_CLASSNOTAVAILABLE),
     L"The class factory cannot supply the requested class."},
};

const wchar_t* Find(const Entry* begin, const Entry* end, HRESULT code) {
  for (const Entry* e = begin; e != end; ++e)
    if (e->code == static_cast<DWORD>(code)) return e->text;
  return nullptr;
}

}  // namespace

bool AnswersInLocale(LCID lcid) {
  // Neutral and the two default locales mean "whatever the server speaks", here English.
  return lcid == LOCALE_NEUTRAL || lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_SYSTEM_DEFAULT ||
         lcid == 0x0409;
}

bool LookupErrorText(HRESULT code, std::wstring* text) {
  if (const wchar_t* own = Find(std::begin(kOpcTexts), std::end(kOpcTexts), code)) {
    *text = own;
    return true;
  }
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (n != 0 && buffer)
    text->assign(buffer, n);
  else
    text->clear();
  if (buffer) LocalFree(buffer);
  while (!text->empty() && (text->back() == L'\n' || text->back() == L'\r' || text->back() == L' '))
    text->pop_back();
  if (!text->empty()) return true;
  // The system has no text (Wine lacks many COM codes): the server's own English one.
  if (const wchar_t* own = Find(std::begin(kPlatformTexts), std::end(kPlatformTexts), code)) {
    *text = own;
    return true;
  }
  return false;
}

}  // namespace plover::sim
