#include "CliText.h"

std::wstring TrimRight(std::wstring text) {
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n' ||
                           text.back() == L'\t'))
    text.pop_back();
  return text;
}

std::wstring WriteResultText(HRESULT code, const std::wstring& errorText) {
  constexpr HRESULT kClamped = 0x0004000E;  // OPC_S_CLAMP
  if (code == S_OK) return L"OK";
  if (code == kClamped) return L"OK, clamped";
  return SUCCEEDED(code) ? L"OK: " + errorText : errorText;
}
