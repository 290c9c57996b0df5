// The proxy/stub DLL registers itself like an installer of OPC components, except where a
// proxy/stub of another vendor already serves an interface. Runs against a private copy of
// HKEY_CLASSES_ROOT, so the prefix's real registration is never touched.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ClassesRootText.h"
#include "TempClassKey.h"

namespace {

const wchar_t kOurs[] = L"{6D3A1A8E-2B7C-4F5E-9A41-3C8E5217D06B}";
const wchar_t kForeign[] = L"{0B5E7A3C-1111-4222-8333-944455556666}";
const wchar_t kOpcServer[] = L"Interface\\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}";

// HKEY_CLASSES_ROOT of this process redirected to a scratch key for the object's life.
class PrivateClassesRoot {
 public:
  PrivateClassesRoot() : m_key(L"PloverPsTest") {
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, m_key.Name().c_str(), 0, KEY_ALL_ACCESS, &m_root) ==
        ERROR_SUCCESS)
      m_overridden = RegOverridePredefKey(HKEY_CLASSES_ROOT, m_root) == ERROR_SUCCESS;
  }
  ~PrivateClassesRoot() {
    if (m_overridden) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    if (m_root) RegCloseKey(m_root);
  }
  bool Active() const { return m_overridden; }

 private:
  TempClassKey m_key;
  HKEY m_root = nullptr;
  bool m_overridden = false;
};

TEST(ProxyRegistration, LeavesAForeignProxyAloneAndRegistersTheRest) {
  HMODULE ps = LoadLibraryW(L"PloverPS.dll");
  ASSERT_TRUE(ps) << "PloverPS.dll beside the tests";
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto reg =
      reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(ps, "DllRegisterServer")));
  auto unreg =
      reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(ps, "DllUnregisterServer")));
  ASSERT_TRUE(reg && unreg);
  {
    PrivateClassesRoot root;
    ASSERT_TRUE(root.Active());
    // Another vendor's proxy/stub for IOPCServer, as on a machine with the OPC core
    // components installed.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyW(HKEY_CLASSES_ROOT,
                            (std::wstring(kOpcServer) + L"\\ProxyStubClsid32").c_str(), &key));
    RegSetValueW(key, nullptr, REG_SZ, kForeign, 0);
    RegCloseKey(key);

    ASSERT_EQ(S_OK, reg());
    EXPECT_EQ(kForeign, ClassesRootText(std::wstring(kOpcServer) + L"\\ProxyStubClsid32"));
    const struct {
      const wchar_t* iid;
      const wchar_t* name;
      const wchar_t* methods;
    } ours[] = {
        {L"{39C13A52-011E-11D0-9675-0020AFD8ADB3}", L"IOPCSyncIO", L"5"},
        {L"{39C13A54-011E-11D0-9675-0020AFD8ADB3}", L"IOPCItemMgt", L"10"},
        {L"{39C13A70-011E-11D0-9675-0020AFD8ADB3}", L"IOPCDataCallback", L"7"},
        {L"{F31DFDE1-07B6-11D2-B2D8-0060083BA1FB}", L"IOPCShutdown", L"4"},
        {L"{F31DFDE2-07B6-11D2-B2D8-0060083BA1FB}", L"IOPCCommon", L"8"},
        // DA 3.0: the derived interfaces count their base's methods too.
        {L"{39227004-A18F-4B57-8B0A-5235670F4468}", L"IOPCBrowse", L"5"},
        {L"{85C0B427-2893-4CBC-BD78-E5FC5146F08F}", L"IOPCItemIO", L"5"},
        {L"{730F5F0F-55B1-4C81-9E18-FF8A0904E1FA}", L"IOPCSyncIO2", L"7"},
        {L"{0967B97B-36EF-423E-B6F8-6BFF1E40D39D}", L"IOPCAsyncIO3", L"12"},
        {L"{8E368666-D72E-4F78-87ED-647611C61C9F}", L"IOPCGroupStateMgt2", L"9"},
        {L"{5946DA93-8B39-4EC8-AB3D-AA73DF5BC86F}", L"IOPCItemDeadbandMgt", L"6"},
        {L"{3E22D313-F08B-41A5-86C8-95E95CB49FFC}", L"IOPCItemSamplingMgt", L"8"},
        {L"{A9F26A8C-6E07-42A9-AE80-0A6E04C613BB}", L"IPloverSimControl", L"17"},
    };
    for (const auto& i : ours) {
      std::wstring k = std::wstring(L"Interface\\") + i.iid;
      EXPECT_EQ(kOurs, ClassesRootText(k + L"\\ProxyStubClsid32")) << i.name;
      EXPECT_EQ(i.name, ClassesRootText(k));
      EXPECT_EQ(i.methods, ClassesRootText(k + L"\\NumMethods")) << i.name;
    }
    std::wstring server = std::wstring(L"CLSID\\") + kOurs + L"\\InprocServer32";
    EXPECT_NE(std::wstring::npos, ClassesRootText(server).find(L"PloverPS.dll"))
        << ClassesRootText(server);
    EXPECT_EQ(L"Both", ClassesRootText(server, L"ThreadingModel"));

    // Registering again changes nothing; unregistering takes only what is ours.
    ASSERT_EQ(S_OK, reg());
    ASSERT_EQ(S_OK, unreg());
    EXPECT_EQ(kForeign, ClassesRootText(std::wstring(kOpcServer) + L"\\ProxyStubClsid32"));
    for (const auto& i : ours)
      EXPECT_EQ(L"<missing>", ClassesRootText(std::wstring(L"Interface\\") + i.iid)) << i.name;
    EXPECT_EQ(L"<missing>", ClassesRootText(std::wstring(L"CLSID\\") + kOurs));
  }
  FreeLibrary(ps);
}

}  // namespace
