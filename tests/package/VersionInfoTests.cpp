// Every binary the packages carry says the project's version in its VERSIONINFO, in numbers
// and text alike, and names itself; the manifests ask for no elevation and DPI awareness;
// the document icon the packages' file association names (Plover.exe,-129) is there.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PloverVersion.h"

namespace {

std::wstring BinDir() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::wstring Text(const std::vector<BYTE>& block, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT size = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
  if (!::VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &size))
    return L"(none)";
  return value;
}

// The RT_MANIFEST resource 1 of an executable, as text.
std::string Manifest(const std::wstring& file) {
  HMODULE m = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return {};
  std::string text;
  if (HRSRC r = ::FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)))
    if (HGLOBAL g = ::LoadResource(m, r))
      text.assign(static_cast<const char*>(::LockResource(g)), ::SizeofResource(m, r));
  ::FreeLibrary(m);
  return text;
}

}  // namespace

TEST(VersionInfo, EveryPackagedBinaryCarriesTheProjectVersion) {
  const wchar_t* files[] = {L"Plover.exe", L"plover-cli.exe", L"PloverPS.dll", L"PloverSim.dll",
                            L"PloverSimLocal.exe"};
  const DWORD ms = (PLOVER_VERSION_MAJOR << 16) | PLOVER_VERSION_MINOR;
  const DWORD ls = PLOVER_VERSION_PATCH << 16;
  for (const wchar_t* name : files) {
    SCOPED_TRACE(testing::Message() << name);
    const std::wstring file = BinDir() + name;
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &handle);
    ASSERT_NE(size, 0u) << "no VERSIONINFO";
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(file.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, ms);
    EXPECT_EQ(Text(block, L"FileVersion"), PLOVER_VERSION_WTEXT);
    EXPECT_EQ(Text(block, L"ProductVersion"), PLOVER_VERSION_WTEXT);
    EXPECT_EQ(Text(block, L"OriginalFilename"), name);
    EXPECT_EQ(Text(block, L"ProductName"), L"Plover");
  }
  for (const wchar_t* name : {L"Plover.exe", L"plover-cli.exe"}) {
    SCOPED_TRACE(testing::Message() << name);
    const std::string manifest = Manifest(BinDir() + name);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("version=\"" PLOVER_VERSION_TEXT ".0\""), std::string::npos)
        << manifest;
  }
  HICON icon = nullptr;
  EXPECT_EQ(::ExtractIconExW((BinDir() + L"Plover.exe").c_str(), -129, &icon, nullptr, 1), 1u);
  if (icon) ::DestroyIcon(icon);
}
