// Text forms of the console client; those it shares with the window's recordings are the
// client core's (RecordText.h).
#pragma once
#include <windows.h>

#include <string>

#include "RecordText.h"

// The result column of a write: "OK", "OK, clamped" (OPC_S_CLAMP: the server took a value
// nearer its range instead), "OK: text" for another success code, else the error's text.
std::wstring WriteResultText(HRESULT code, const std::wstring& errorText);
// Without trailing spaces and line breaks.
std::wstring TrimRight(std::wstring text);
