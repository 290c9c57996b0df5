// The three registered clipboard formats of the OPC DA 1.0 data streams.
#pragma once
#include <windows.h>

class COpcStreamFormats {
 public:
  // Registers the formats (registering again returns the same numbers).
  COpcStreamFormats();

  static constexpr const wchar_t* kDataName = L"OPCSTMFORMATDATA";
  static constexpr const wchar_t* kDataTimeName = L"OPCSTMFORMATDATATIME";
  static constexpr const wchar_t* kWriteCompleteName = L"OPCSTMFORMATWRITECOMPLETE";

  UINT m_cfData;
  UINT m_cfDataTime;
  UINT m_cfWriteComplete;
};
