// A scripted IOPCBrowseServerAddressSpace and IEnumString of our own, to check the exact
// calls the browser makes, including answers the simulation server never gives. Every
// name handed out is recorded, and a malloc spy records every CoTaskMemFree.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "TaskMemWatch.h"
#include "opcda.h"

// What the fakes did, shared by the browse object and its enumerators.
struct ScriptLog {
  std::vector<std::wstring> calls;  // "UP", "DOWN:A", "BROWSE:2:*:0:3@A/B", "NEXT:2000>500"
  std::vector<void*> handedOut;     // every string given to the client
  int enumsMade = 0;
  int enumsLive = 0;
  // Calls of one kind only, in order ("NEXT", "BROWSE", ...).
  std::vector<std::wstring> Only(const std::wstring& prefix) const;
};

class ScriptEnum final : public IEnumString {
 public:
  enum class Fault { None, OkWithNothing, OverReport };
  ScriptEnum(ScriptLog* log, std::vector<std::wstring> names, Fault fault);
  ~ScriptEnum();
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_ref; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR* names, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumString**) override { return E_NOTIMPL; }

 private:
  ULONG m_ref = 1;
  ScriptLog* m_log;
  std::vector<std::wstring> m_names;
  size_t m_next = 0;
  Fault m_fault;
  int m_calls = 0;
};

// Branch paths use "/" ("" is the root); item IDs join them with ".".
class ScriptBrowse : public IOPCBrowseServerAddressSpace {
 public:
  explicit ScriptBrowse(ScriptLog* log) : m_log(log) {}
  virtual ~ScriptBrowse() = default;

  void AddBranch(const std::wstring& path);  // creates missing ancestors too
  void AddLeaf(const std::wstring& path, const std::wstring& name);
  // Forces the answer of BrowseOPCItemIDs(type) at a position (the names still come).
  void SetBrowseResult(OPCBROWSETYPE type, const std::wstring& path, HRESULT hr) {
    m_results[Key(type, path)] = hr;
  }
  void SetNullEnum(OPCBROWSETYPE type, const std::wstring& path) {
    m_nullEnums.insert(Key(type, path));
  }

  OPCNAMESPACETYPE m_organization = OPC_NS_HIERARCHIAL;
  std::vector<std::wstring> m_flatNames;  // the flat space (OPC_FLAT)
  std::set<std::wstring> m_failIds;       // GetItemID fails for these leaf names
  ScriptEnum::Fault m_enumFault = ScriptEnum::Fault::None;
  std::wstring m_position;
  ULONG m_ref = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_ref; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_ref; }  // lives on the test's stack
  HRESULT STDMETHODCALLTYPE QueryOrganization(OPCNAMESPACETYPE* type) override;
  HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCBROWSEDIRECTION dir, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE vt,
                                             DWORD access, IEnumString** ppEnum) override;
  HRESULT STDMETHODCALLTYPE GetItemID(LPWSTR name, LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE BrowseAccessPaths(LPCWSTR, IEnumString**) override { return E_NOTIMPL; }

 private:
  struct Branch {
    std::vector<std::wstring> branches, leaves;
  };
  static std::wstring Key(OPCBROWSETYPE type, const std::wstring& path) {
    return std::to_wstring(type) + L"@" + path;
  }
  const Branch* At(const std::wstring& path) const;

  ScriptLog* m_log;
  std::map<std::wstring, Branch> m_branches{{L"", Branch{}}};
  std::map<std::wstring, HRESULT> m_results;
  std::set<std::wstring> m_nullEnums;
};

// An IOPCServer that hands out a browse object (or none) through QueryInterface.
class ScriptServer : public IOPCServer {
 public:
  explicit ScriptServer(IOPCBrowseServerAddressSpace* browse) : m_browse(browse) {}
  virtual ~ScriptServer() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_ref; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_ref; }
  HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR, BOOL, DWORD, OPCHANDLE, LONG*, FLOAT*, DWORD,
                                     OPCHANDLE*, DWORD*, REFIID, IUnknown**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT, LCID, LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR, REFIID, IUnknown**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE, REFIID, IUnknown**) override {
    return E_NOTIMPL;
  }
  IOPCBrowseServerAddressSpace* m_browse;
  ULONG m_ref = 1;
};
