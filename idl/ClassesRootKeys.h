// Writing COM registration under HKEY_CLASSES_ROOT, shared by the binaries that register
// themselves (the simulation server, the proxy/stub) and read by the console client.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <string>

// "{xxxxxxxx-...}", as registry keys name classes and interfaces.
inline std::wstring GuidText(const GUID& g) {
  wchar_t text[40] = {};
  StringFromGUID2(g, text, 40);
  return text;
}

// Creates the key if need be and sets one string value (name nullptr: the default value).
inline LONG SetClassesRootValue(const std::wstring& path, const wchar_t* name,
                                const std::wstring& value) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc;
}
