// Readable texts for failed calls: the system's message first, then the OPC server's.
#pragma once
#include <windows.h>

#include <string>

#include "opcda.h"

// prefix, a space and the best description of code (a Win32 error or an HRESULT). server
// is asked only when the system has no text; nullptr while not connected.
std::wstring GetErrorText(const std::wstring& prefix, DWORD code, IOPCServer* server);

// Shows GetErrorText in an OK message box captioned with the application title.
void ReportError(const std::wstring& prefix, DWORD code, IOPCServer* server);
