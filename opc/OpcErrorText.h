// Readable texts for failed calls: the system's message first, then the OPC server's.
#pragma once
#include <windows.h>

#include <string>

#include "opcda.h"

// prefix, a space and the best description of code (a Win32 error or an HRESULT). server
// is asked only when neither the system nor our own table has a text; nullptr while not
// connected.
std::wstring GetErrorText(const std::wstring& prefix, DWORD code, IOPCServer* server);

// The system's text for code, in English when the user's language has none, else ours for
// the RPC and COM codes a client meets and Wine has no text for; empty when neither knows
// it. No line break at the end.
std::wstring SystemErrorText(DWORD code);

// Shows GetErrorText in an OK message box captioned with the application title.
void ReportError(const std::wstring& prefix, DWORD code, IOPCServer* server);
