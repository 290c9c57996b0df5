#include "OpcDiscovery.h"

namespace {

// Registry key names are at most 255 characters.
constexpr DWORD kNameChars = 256;

// The wait cursor for as long as the object lives.
class CWaitCursor {
 public:
  CWaitCursor() : m_hPrevious(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
  ~CWaitCursor() { ::SetCursor(m_hPrevious); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

 private:
  HCURSOR m_hPrevious;
};

// A server is a key with a readable sub-key "OPC". A default value longer than the buffer
// still proves the sub-key is there.
bool HasOpcSubKey(HKEY hRoot, const wchar_t* name) {
  HKEY hKey = nullptr;
  if (::RegOpenKeyW(hRoot, name, &hKey) != ERROR_SUCCESS) return false;
  wchar_t value[kNameChars];
  LONG cb = sizeof(value);
  LONG rc = ::RegQueryValueW(hKey, L"OPC", value, &cb);
  ::RegCloseKey(hKey);
  return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
}

}  // namespace

int EnumerateServers(const std::wstring& node, std::vector<std::wstring>& names,
                     OpcTickSource tick) {
  HKEY hRoot = HKEY_CLASSES_ROOT;
  HKEY hRemote = nullptr;
  if (!node.empty()) {
    if (::RegConnectRegistryW(node.c_str(), HKEY_CLASSES_ROOT, &hRemote) != ERROR_SUCCESS) {
      names.clear();
      return 0;
    }
    hRoot = hRemote;
  }
  const DWORD start = tick();
  names.clear();
  int examined = 0;
  for (;;) {
    wchar_t name[kNameChars];
    if (::RegEnumKeyW(hRoot, static_cast<DWORD>(examined), name, kNameChars) != ERROR_SUCCESS)
      break;
    if (HasOpcSubKey(hRoot, name)) names.emplace_back(name);
    ++examined;
    // Unsigned difference: correct across the 49.7-day wrap of the tick count.
    if (tick() - start > kServerEnumBudgetMs) break;
  }
  if (hRemote) ::RegCloseKey(hRemote);
  return examined;
}

int FillServerList(IOpcServerList* list, const std::wstring& node, std::vector<std::wstring>& names,
                   OpcTickSource tick) {
  if (!list) return 0;
  list->ResetContent();
  CWaitCursor wait;
  int examined = EnumerateServers(node, names, tick);
  for (const std::wstring& name : names) list->AddString(name);
  if (list->GetCount() > 0) list->SetCurSel(0);
  return examined;
}
