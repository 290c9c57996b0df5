#include "OpcErrorText.h"

#include <iterator>

#include "OpcUiPorts.h"

namespace {
// The locale the server is asked to answer in: the system default.
constexpr LCID kSystemDefaultLocale = 0x0800;
}  // namespace

std::wstring GetErrorText(const std::wstring& prefix, DWORD code, IOPCServer* server) {
  std::wstring text = prefix + L" ";
  wchar_t buffer[260];
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  if (n > 0) return text.append(buffer, n);  // as the system wrote it, line break included
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
