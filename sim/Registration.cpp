#include "Registration.h"

#include "ClassesRootKeys.h"
#include "HiddenWindow.h"
#include "SimControl.h"
#include "SimProcess.h"
#include "opcda.h"

#include <comcat.h>
#include <olectl.h>
#include <string>

namespace plover::sim {

namespace {

const VariantInfo kVariants[] = {
    {SimVariant::Hierarchical, &CLSID_PloverSimServer, PLOVER_SIM_PROGID,
     L"Plover Simulation OPC DA Server"},
    {SimVariant::Flat, &CLSID_PloverSimServerFlat, PLOVER_SIM_FLAT_PROGID,
     L"Plover Simulation OPC DA Server (flat address space)"},
    {SimVariant::NoBrowse, &CLSID_PloverSimServerNoBrowse, PLOVER_SIM_NOBROWSE_PROGID,
     L"Plover Simulation OPC DA Server (no browsing)"},
    {SimVariant::Large, &CLSID_PloverSimServerLarge, PLOVER_SIM_LARGE_PROGID,
     L"Plover Simulation OPC DA Server (large address space)"},
};

const VariantInfo kLocalVariants[] = {
    {SimVariant::Hierarchical, &CLSID_PloverSimServerLocal, PLOVER_SIM_LOCAL_PROGID,
     L"Plover Simulation OPC DA Server (own process)"},
    {SimVariant::Large, &CLSID_PloverSimServerLocalLarge, PLOVER_SIM_LOCAL_LARGE_PROGID,
     L"Plover Simulation OPC DA Server (own process, large address space)"},
    {SimVariant::Hierarchical, &CLSID_PloverSimServerLocalPrivate, PLOVER_SIM_LOCAL_PRIVATE_PROGID,
     L"Plover Simulation OPC DA Server (a process for each client)", true},
    {SimVariant::Large, &CLSID_PloverSimServerLocalLargePrivate,
     PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID,
     L"Plover Simulation OPC DA Server (a process for each client, large address space)", true},
    {SimVariant::Da3Only, &CLSID_PloverSimServerLocalDa3Only, PLOVER_SIM_LOCAL_DA3ONLY_PROGID,
     L"Plover Simulation OPC DA Server (own process, OPC DA 3.0 browsing only)"},
};

// The server speaks OPC DA 1.0, 2.0 and 3.0 and says so in all three categories.
const struct {
  const GUID* catid;
  const wchar_t* text;
} kCategories[] = {{&CATID_OPCDAServer10, L"OPC Data Access Servers Version 1.0"},
                   {&CATID_OPCDAServer20, L"OPC Data Access Servers Version 2.0"},
                   {&CATID_OPCDAServer30, L"OPC Data Access Servers Version 3.0"}};

// The categories through the component categories manager where the system has one,
// else by writing their keys directly.
void RegisterCategories(const CLSID& clsid) {
  ICatRegister* cat = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICatRegister, reinterpret_cast<void**>(&cat));
  for (const auto& c : kCategories) {
    if (cat) {
      CATEGORYINFO info{};
      info.catid = *c.catid;
      info.lcid = 0x409;
      lstrcpynW(info.szDescription, c.text, 128);
      cat->RegisterCategories(1, &info);
      CATID id = *c.catid;
      if (SUCCEEDED(cat->RegisterClassImplCategories(clsid, 1, &id))) continue;
    }
    std::wstring catid = GuidText(*c.catid);
    SetClassesRootValue(L"Component Categories\\" + catid, L"409", c.text);
    SetClassesRootValue(L"CLSID\\" + GuidText(clsid) + L"\\Implemented Categories\\" + catid,
                        nullptr, L"");
  }
  if (SUCCEEDED(hr) && cat) cat->Release();
}

void UnregisterCategories(const CLSID& clsid) {
  ICatRegister* cat = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ICatRegister, reinterpret_cast<void**>(&cat)))) {
    for (const auto& c : kCategories) {
      CATID id = *c.catid;
      cat->UnRegisterClassImplCategories(clsid, 1, &id);
    }
    cat->Release();
  }
}

// threadingModel nullptr: none is written (an executable's apartment is its own).
template <size_t N>
HRESULT RegisterVariants(const VariantInfo (&variants)[N], const wchar_t* serverKey,
                         const std::wstring& command, const wchar_t* threadingModel) {
  // The category manager needs COM, which an executable's /RegServer has not started.
  HRESULT init = CoInitialize(nullptr);
  LONG rc = ERROR_SUCCESS;
  for (const VariantInfo& v : variants) {
    std::wstring clsid = GuidText(*v.clsid);
    std::wstring progId = v.progId;
    std::wstring clsKey = L"CLSID\\" + clsid;
    std::wstring server = clsKey + L"\\" + serverKey;
    LONG results[] = {
        SetClassesRootValue(progId, nullptr, v.description),
        SetClassesRootValue(progId + L"\\CLSID", nullptr, clsid),
        // Clients recognise OPC servers by this key and read its default value.
        SetClassesRootValue(progId + L"\\OPC", nullptr, v.description),
        SetClassesRootValue(clsKey, nullptr, v.description),
        SetClassesRootValue(clsKey + L"\\ProgID", nullptr, progId),
        SetClassesRootValue(server, nullptr,
                            v.privateProcess ? command + L" -" + kPrivateSwitch : command),
        threadingModel ? SetClassesRootValue(server, L"ThreadingModel", threadingModel)
                       : ERROR_SUCCESS,
    };
    for (LONG r : results)
      if (r != ERROR_SUCCESS) rc = r;
    RegisterCategories(*v.clsid);
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return rc == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

// This module's file, or empty when its path does not fit.
std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(ModuleInstance(), path, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::wstring() : std::wstring(path, n);
}

template <size_t N>
HRESULT UnregisterVariants(const VariantInfo (&variants)[N]) {
  HRESULT init = CoInitialize(nullptr);
  for (const VariantInfo& v : variants) {
    UnregisterCategories(*v.clsid);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, v.progId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(*v.clsid)).c_str());
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return S_OK;
}

}  // namespace

const VariantInfo* Variants(size_t* count) {
  *count = sizeof(kVariants) / sizeof(kVariants[0]);
  return kVariants;
}

HRESULT RegisterServers() {
  const std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  return RegisterVariants(kVariants, L"InprocServer32", path, L"Apartment");
}

HRESULT RegisterLocalServers() {
  const std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  // Quoted: COM appends its switches to the command line, and the path may hold blanks.
  return RegisterVariants(kLocalVariants, L"LocalServer32", L"\"" + path + L"\"", nullptr);
}

HRESULT UnregisterServers() {
  return UnregisterVariants(kVariants);
}

const VariantInfo* LocalVariants(size_t* count) {
  *count = sizeof(kLocalVariants) / sizeof(kLocalVariants[0]);
  return kLocalVariants;
}

HRESULT UnregisterLocalServers() {
  return UnregisterVariants(kLocalVariants);
}

}  // namespace plover::sim
