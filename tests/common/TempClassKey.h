// A top-level key of HKEY_CLASSES_ROOT (inside the test prefix) for the life of the object,
// named after the process so suites running side by side do not meet. Wine does not show
// HKEY_CURRENT_USER\Software\Classes there, so the keys go to the root itself.
#pragma once
#include <windows.h>

#include <string>

class TempClassKey {
 public:
  explicit TempClassKey(const std::wstring& base)
      : m_name(base + L"." + std::to_wstring(GetCurrentProcessId())) {
    if (RegCreateKeyW(HKEY_CLASSES_ROOT, m_name.c_str(), &m_hKey) != ERROR_SUCCESS)
      m_hKey = nullptr;
  }
  ~TempClassKey() {
    if (m_hKey) RegCloseKey(m_hKey);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, m_name.c_str());
  }
  TempClassKey(const TempClassKey&) = delete;
  TempClassKey& operator=(const TempClassKey&) = delete;

  bool Created() const { return m_hKey != nullptr; }
  const std::wstring& Name() const { return m_name; }
  // The default value of a sub-key (created if needed), e.g. "CLSID" or "OPC".
  bool SetSubKeyDefault(const wchar_t* subKey, const std::wstring& value) {
    return RegSetValueW(m_hKey, subKey, REG_SZ, value.c_str(), 0) == ERROR_SUCCESS;
  }
  // A named value of the key itself.
  bool SetValue(const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
  }

 private:
  std::wstring m_name;
  HKEY m_hKey = nullptr;
};
