#pragma once

#include <windows.h>

#include <string>

namespace plover::sim {

// English text for an OPC result code or, failing that, the system's text.
// Returns false when neither knows the code.
bool LookupErrorText(HRESULT code, std::wstring* text);

}  // namespace plover::sim
