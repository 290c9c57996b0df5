#include "OpcErrorText.h"

#include <iterator>

#include "OpcUiPorts.h"

namespace {
// The locale the server is asked to answer in: the system default.
constexpr LCID kSystemDefaultLocale = 0x0800;

struct OwnText {
  DWORD code;
  const wchar_t* text;
};

// The RPC and COM codes a client meets in connecting, calling and losing a server, in
// Windows' own words: Wine's message table has none of them. OR_INVALID_OXID is here
// because Wine's table gives its number a text about pixel formats.
const OwnText kOwnTexts[] = {
    {0x80004002, L"No such interface supported."},
    {0x80004003, L"Invalid pointer."},
    {0x80004004, L"Operation aborted."},
    {0x8000FFFF, L"Catastrophic failure."},
    {0x80004028, L"Object server is stopping when OLE service contacts it."},
    {0x80010001, L"Call was rejected by callee."},
    {0x80010002, L"Call was canceled by the message filter."},
    {0x80010007,
     L"The callee (server [not server application]) is not available and disappeared; all "
     L"connections are invalid. The call may have executed."},
    {0x80010012,
     L"The callee (server [not server application]) is not available and disappeared; all "
     L"connections are invalid. The call did not execute."},
    {0x80010100, L"System call failed."},
    {0x80010105, L"The server threw an exception."},
    {0x80010106, L"Cannot change thread mode after it is set."},
    {0x80010108, L"The object invoked has disconnected from its clients."},
    {0x8001010A, L"The message filter indicated that the application is busy."},
    {0x8001010D,
     L"An outgoing call cannot be made since the application is dispatching an "
     L"input-synchronous call."},
    {0x8001010E,
     L"The application called an interface that was marshalled for a different thread."},
    {0x80010114, L"The requested object does not exist."},
    {0x80010119,
     L"Security must be initialized before any interfaces are marshalled or unmarshalled. It "
     L"cannot be changed once initialized."},
    {0x8001011B, L"Access is denied."},
    {0x8001011F, L"This operation returned because the timeout period expired."},
    {0x80040110, L"Class does not support aggregation (or class object is remote)."},
    {0x80040111, L"ClassFactory cannot supply requested class."},
    {0x80040154, L"Class not registered."},
    {0x80040200, L"The connection does not exist."},
    {0x80040201, L"The connection point has reached its limit of connections."},
    {0x80040202, L"The client's object does not support the connection point's interface."},
    {0x800401F0, L"CoInitialize has not been called."},
    {0x800401F3, L"Invalid class string."},
    {0x800401FD, L"Object is not connected to server."},
    {0x80070776, L"The object exporter specified was not found."},
    {0x80080005, L"Server execution failed."},
};

const wchar_t* OwnTextOf(DWORD code) {
  for (const OwnText& t : kOwnTexts)
    if (t.code == code) return t.text;
  return nullptr;
}

// The system's text as it wrote it (line break included); 0 when it has none.
DWORD SystemText(DWORD code, DWORD language, wchar_t* buffer, DWORD size) {
  if (code == 0x80070776) return 0;  // Wine's text for it is wrong
  return ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                          language, buffer, size, nullptr);
}

// The platform's text in the user's language or, lacking it, in English.
DWORD AnySystemText(DWORD code, wchar_t* buffer, DWORD size) {
  DWORD n = SystemText(code, 0, buffer, size);
  if (n == 0) n = SystemText(code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buffer, size);
  return n;
}
}  // namespace

std::wstring SystemErrorText(DWORD code) {
  wchar_t buffer[260];
  DWORD n = AnySystemText(code, buffer, static_cast<DWORD>(std::size(buffer)));
  while (n > 0 && (buffer[n - 1] == L'\n' || buffer[n - 1] == L'\r' || buffer[n - 1] == L' ')) --n;
  if (n > 0) return std::wstring(buffer, n);
  const wchar_t* own = OwnTextOf(code);
  return own ? own : std::wstring();
}

std::wstring GetErrorText(const std::wstring& prefix, DWORD code, IOPCServer* server) {
  std::wstring text = prefix + L" ";
  wchar_t buffer[260];
  DWORD n = AnySystemText(code, buffer, static_cast<DWORD>(std::size(buffer)));
  if (n > 0) return text.append(buffer, n);  // as the system wrote it, line break included
  if (const wchar_t* own = OwnTextOf(code)) return text + own;
  if (!server) return text + L"Unknown Error.";
  LPWSTR serverText = nullptr;
  if (FAILED(server->GetErrorString(static_cast<HRESULT>(code), kSystemDefaultLocale, &serverText)))
    return text + L"OPC Server failed GetErrorString.";
  if (serverText) text += serverText;
  ::CoTaskMemFree(serverText);
  return text;
}

void ReportError(const std::wstring& prefix, DWORD code, IOPCServer* server) {
  OpcMessageBox(OpcBoxOwner::None, GetErrorText(prefix, code, server), kOpcAppTitle, MB_OK);
}
