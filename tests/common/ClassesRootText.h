// A string value under HKEY_CLASSES_ROOT as this process's registry view has it.
#pragma once
#include <windows.h>

#include <string>

// value nullptr: the key's default value. `missing` when the key or value is absent or no
// string.
inline std::wstring ClassesRootText(const std::wstring& path, const wchar_t* value = nullptr,
                                    const wchar_t* missing = L"<missing>") {
  wchar_t buffer[512] = {};
  DWORD size = sizeof(buffer);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS)
    return missing;
  return buffer;
}
