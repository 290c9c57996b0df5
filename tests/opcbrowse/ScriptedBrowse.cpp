#include "ScriptedBrowse.h"

#include <cwchar>

namespace {

LPWSTR Hand(ScriptLog* log, const std::wstring& s) {
  auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
  if (p) {
    wmemcpy(p, s.c_str(), s.size() + 1);
    log->handedOut.push_back(p);
  }
  return p;
}

std::wstring Parent(const std::wstring& path) {
  size_t slash = path.rfind(L'/');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring Child(const std::wstring& path, const std::wstring& name) {
  return path.empty() ? name : path + L"/" + name;
}

}  // namespace

std::vector<std::wstring> ScriptLog::Only(const std::wstring& prefix) const {
  std::vector<std::wstring> out;
  for (const std::wstring& c : calls)
    if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
  return out;
}

ScriptEnum::ScriptEnum(ScriptLog* log, std::vector<std::wstring> names, Fault fault)
    : m_log(log), m_names(std::move(names)), m_fault(fault) {
  ++m_log->enumsMade;
  ++m_log->enumsLive;
}

ScriptEnum::~ScriptEnum() {
  --m_log->enumsLive;
}

HRESULT ScriptEnum::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_IEnumString) {
    *ppv = static_cast<IEnumString*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG ScriptEnum::Release() {
  ULONG n = --m_ref;
  if (n == 0) delete this;
  return n;
}

HRESULT ScriptEnum::Next(ULONG celt, LPOLESTR* names, ULONG* fetched) {
  ULONG n = 0;
  while (n < celt && m_next < m_names.size()) names[n++] = Hand(m_log, m_names[m_next++]);
  ++m_calls;
  HRESULT hr = n == celt ? S_OK : S_FALSE;
  ULONG reported = n;
  if (m_fault == Fault::OkWithNothing && n == 0) {
    hr = S_OK;                              // claims more may follow, for ever
    if (m_calls > 10) return E_UNEXPECTED;  // a client that keeps asking is stopped here
  }
  if (m_fault == Fault::OverReport && n > 0) reported = n + 7;
  if (fetched) *fetched = reported;
  m_log->calls.push_back(L"NEXT:" + std::to_wstring(celt) + L">" + std::to_wstring(reported));
  return hr;
}

void ScriptBrowse::AddBranch(const std::wstring& path) {
  if (path.empty() || m_branches.count(path)) return;
  std::wstring parent = Parent(path);
  AddBranch(parent);
  m_branches[parent].branches.push_back(path.substr(parent.empty() ? 0 : parent.size() + 1));
  m_branches[path];
}

void ScriptBrowse::AddLeaf(const std::wstring& path, const std::wstring& name) {
  AddBranch(path);
  m_branches[path].leaves.push_back(name);
}

const ScriptBrowse::Branch* ScriptBrowse::At(const std::wstring& path) const {
  auto it = m_branches.find(path);
  return it == m_branches.end() ? nullptr : &it->second;
}

HRESULT ScriptBrowse::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == __uuidof(IOPCBrowseServerAddressSpace)) {
    *ppv = static_cast<IOPCBrowseServerAddressSpace*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT ScriptBrowse::QueryOrganization(OPCNAMESPACETYPE* type) {
  m_log->calls.push_back(L"ORG");
  *type = m_organization;
  return S_OK;
}

HRESULT ScriptBrowse::ChangeBrowsePosition(OPCBROWSEDIRECTION dir, LPCWSTR name) {
  if (dir == OPC_BROWSE_UP) {
    m_log->calls.push_back(L"UP");
    if (m_organization == OPC_NS_FLAT || m_position.empty()) return E_FAIL;
    m_position = Parent(m_position);
    return S_OK;
  }
  if (dir == OPC_BROWSE_DOWN) {
    m_log->calls.push_back(std::wstring(L"DOWN:") + (name ? name : L"(null)"));
    if (m_organization == OPC_NS_FLAT || !name || !*name) return E_FAIL;
    std::wstring child = Child(m_position, name);
    if (!At(child)) return E_INVALIDARG;
    m_position = child;
    return S_OK;
  }
  return E_INVALIDARG;
}

HRESULT ScriptBrowse::BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE vt, DWORD access,
                                       IEnumString** ppEnum) {
  *ppEnum = nullptr;
  wchar_t args[64];
  swprintf(args, 64, L"%d:%ls:%u:%lu@", static_cast<int>(type), filter ? filter : L"(null)",
           static_cast<unsigned>(vt), static_cast<unsigned long>(access));
  m_log->calls.push_back(L"BROWSE:" + std::wstring(args) + m_position);
  std::vector<std::wstring> names;
  const Branch* here = At(m_position);
  if (type == OPC_FLAT)
    names = m_flatNames;
  else if (here)
    names = type == OPC_BRANCH ? here->branches : here->leaves;
  HRESULT hr = names.empty() ? S_FALSE : S_OK;
  std::wstring key = Key(type, m_position);
  if (auto it = m_results.find(key); it != m_results.end()) hr = it->second;
  if (FAILED(hr) || m_nullEnums.count(key)) return hr;
  *ppEnum = new ScriptEnum(m_log, std::move(names), m_enumFault);
  return hr;
}

HRESULT ScriptBrowse::GetItemID(LPWSTR name, LPWSTR* id) {
  m_log->calls.push_back(std::wstring(L"ID:") + name + L"@" + m_position);
  *id = nullptr;
  if (m_failIds.count(name)) return E_FAIL;
  std::wstring full = Child(m_position, name);
  for (wchar_t& c : full)
    if (c == L'/') c = L'.';
  *id = Hand(m_log, full);
  return S_OK;
}

HRESULT ScriptServer::QueryInterface(REFIID riid, void** ppv) {
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == __uuidof(IOPCServer)) {
    *ppv = static_cast<IOPCServer*>(this);
    AddRef();
    return S_OK;
  }
  if (riid == __uuidof(IOPCBrowseServerAddressSpace) && m_browse)
    return m_browse->QueryInterface(riid, ppv);
  return E_NOINTERFACE;
}
