#pragma once

#include <windows.h>

#include <string>

namespace plover::sim {

// English text for an OPC result code or, failing that, the system's text or, where the
// system has none, the server's own text for a platform code it returns. Returns false when
// no one knows the code.
bool LookupErrorText(HRESULT code, std::wstring* text);

// The texts exist in English only: the locales that ask for them.
bool AnswersInLocale(LCID lcid);

}  // namespace plover::sim
