#include "OpcDiscovery.h"

#include "opcda.h"

namespace {

// Registry key names are at most 255 characters.
constexpr DWORD kNameChars = 256;

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

// The classes root of another node. Current Windows refuses HKEY_CLASSES_ROOT through the
// remote registry service (only HKEY_LOCAL_MACHINE, HKEY_USERS and performance data), so
// the machine-wide classes under HKEY_LOCAL_MACHINE stand in when it does. *hConnected is
// the handle to close afterwards besides the result.
HKEY ConnectClassesRoot(const std::wstring& node, HKEY* hConnected) {
  HKEY hKey = nullptr;
  *hConnected = nullptr;
  if (::RegConnectRegistryW(node.c_str(), HKEY_CLASSES_ROOT, &hKey) == ERROR_SUCCESS) return hKey;
  HKEY hMachine = nullptr;
  if (::RegConnectRegistryW(node.c_str(), HKEY_LOCAL_MACHINE, &hMachine) != ERROR_SUCCESS)
    return nullptr;
  if (::RegOpenKeyExW(hMachine, L"SOFTWARE\\Classes", 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
    ::RegCloseKey(hMachine);
    return nullptr;
  }
  *hConnected = hMachine;
  return hKey;
}

}  // namespace

int EnumerateServers(const std::wstring& node, std::vector<std::wstring>& names,
                     OpcTickSource tick) {
  HKEY hRoot = HKEY_CLASSES_ROOT;
  HKEY hRemote = nullptr;
  HKEY hConnected = nullptr;
  if (!node.empty()) {
    hRemote = ConnectClassesRoot(node, &hConnected);
    if (!hRemote) {
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
  if (hConnected) ::RegCloseKey(hConnected);
  return examined;
}

int FillServerList(IOpcServerList* list, const std::wstring& node, std::vector<std::wstring>& names,
                   OpcTickSource tick) {
  if (!list) return 0;
  list->ResetContent();
  COpcBusyScope busy;
  int examined = EnumerateServers(node, names, tick);
  for (const std::wstring& name : names) list->AddString(name);
  if (list->GetCount() > 0) list->SetCurSel(0);
  return examined;
}

std::wstring ServerDaVersions(HKEY classes, const std::wstring& progId) {
  wchar_t clsid[64] = {};
  LONG cb = sizeof(clsid);
  if (progId.empty() ||
      ::RegQueryValueW(classes, (progId + L"\\CLSID").c_str(), clsid, &cb) != ERROR_SUCCESS)
    return {};
  const struct {
    const GUID* catid;
    const wchar_t* version;
  } kCats[] = {{&CATID_OPCDAServer10, L"1.0"},
               {&CATID_OPCDAServer20, L"2.0"},
               {&CATID_OPCDAServer30, L"3.0"}};
  std::wstring versions;
  for (const auto& c : kCats) {
    wchar_t catid[40] = {};
    ::StringFromGUID2(*c.catid, catid, 40);
    std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\Implemented Categories\\" + catid;
    HKEY h = nullptr;
    if (::RegOpenKeyExW(classes, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) continue;
    ::RegCloseKey(h);
    versions += (versions.empty() ? L"" : L" ") + std::wstring(c.version);
  }
  return versions;
}

std::wstring ServerDaVersions(const std::wstring& node, const std::wstring& progId) {
  if (node.empty()) return ServerDaVersions(HKEY_CLASSES_ROOT, progId);
  HKEY hConnected = nullptr;
  HKEY classes = ConnectClassesRoot(node, &hConnected);
  if (!classes) return {};
  std::wstring versions = ServerDaVersions(classes, progId);
  ::RegCloseKey(classes);
  if (hConnected) ::RegCloseKey(hConnected);
  return versions;
}
