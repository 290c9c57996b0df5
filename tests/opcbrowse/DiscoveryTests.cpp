// Server discovery over the prefix's real registry.
#include <gtest/gtest.h>

#include <algorithm>

#include "FakeUiPorts.h"
#include "OpcDiscovery.h"
#include "SimControl.h"

namespace {

using Names = std::vector<std::wstring>;

bool Has(const Names& names, const std::wstring& n) {
  return std::find(names.begin(), names.end(), n) != names.end();
}

// A top-level key of HKEY_CLASSES_ROOT for the life of the object, named after the process
// so parallel runs do not meet. (Wine does not show HKEY_CURRENT_USER\Software\Classes
// there, so the keys go to the root itself, inside the test prefix.)
class TempClassKey {
 public:
  // opcDefault nullptr: no "OPC" sub-key, only a look-alike sub-key and a value named OPC.
  TempClassKey(const wchar_t* stem, const wchar_t* opcDefault)
      : m_name(L"Plover.BrowseTest." + std::to_wstring(GetCurrentProcessId()) + L"." + stem) {
    HKEY h = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_CLASSES_ROOT, m_name.c_str(), &h));
    if (opcDefault) {
      RegSetValueW(h, L"OPC", REG_SZ, opcDefault, 0);
    } else {
      RegSetValueW(h, L"OPCx", REG_SZ, L"not a server", 0);
      RegSetValueExW(h, L"OPC", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"v"), 4);
    }
    RegCloseKey(h);
  }
  ~TempClassKey() { RegDeleteTreeW(HKEY_CLASSES_ROOT, m_name.c_str()); }
  const std::wstring& Name() const { return m_name; }

 private:
  std::wstring m_name;
};

// The top-level keys of HKEY_CLASSES_ROOT, in the registry's order.
Names AllClassKeys() {
  Names keys;
  wchar_t name[256];
  for (DWORD i = 0; RegEnumKeyW(HKEY_CLASSES_ROOT, i, name, 256) == ERROR_SUCCESS; ++i)
    keys.push_back(name);
  return keys;
}

// Other suites add and remove keys of their own while this one runs: a result counts only
// if the registry looked the same before and after it.
template <class Walk>
Names StableKeys(Walk&& walk) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    Names before = AllClassKeys();
    walk();
    if (AllClassKeys() == before) return before;
  }
  ADD_FAILURE() << "HKEY_CLASSES_ROOT kept changing";
  return {};
}

DWORD g_now = 0;
DWORD g_step = 0;
DWORD WINAPI SteppingClock() {
  DWORD t = g_now;
  g_now += g_step;
  return t;
}

TEST(Discovery, LocalRegistryListsKeysWithAnOpcSubKeyInRegistryOrder) {
  TempClassKey server(L"Server", L"A test server");
  TempClassKey longText(L"LongOpcText", std::wstring(600, L'x').c_str());
  TempClassKey notServer(L"NotServer", nullptr);
  Names names{L"stale"};
  int examined = 0;
  Names keys = StableKeys([&] { examined = EnumerateServers(L"", names); });
  EXPECT_EQ(static_cast<int>(keys.size()), examined) << "every key is examined, not only servers";
  for (const std::wstring& id :
       {std::wstring(PLOVER_SIM_PROGID), std::wstring(PLOVER_SIM_FLAT_PROGID),
        std::wstring(PLOVER_SIM_NOBROWSE_PROGID), std::wstring(PLOVER_SIM_LARGE_PROGID),
        server.Name(), longText.Name()})
    EXPECT_TRUE(Has(names, id)) << testing::PrintToString(id);
  EXPECT_FALSE(Has(names, notServer.Name()));
  EXPECT_FALSE(Has(names, L"stale"));
  // The names keep the registry's order: each is found after the one before it.
  auto at = keys.begin();
  for (const std::wstring& n : names) {
    at = std::find(at, keys.end(), n);
    ASSERT_NE(keys.end(), at) << testing::PrintToString(n);
  }

  // The local computer by name goes the remote way and finds the same.
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD len = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(computer, &len));
  Names byName;
  int byNameExamined = 0;
  StableKeys([&] {
    examined = EnumerateServers(L"", names);
    byNameExamined = EnumerateServers(computer, byName);
  });
  EXPECT_EQ(examined, byNameExamined);
  EXPECT_EQ(names, byName);
}

TEST(Discovery, ServerListShowsTheNamesAndSelectsTheFirst) {
  FakeServerList list;
  Names names;
  int examined = 0;
  Names keys = StableKeys([&] {
    list = FakeServerList();  // each attempt starts from a filled list
    list.m_items = {L"from before"};
    examined = FillServerList(&list, L"", names);
  });
  EXPECT_EQ(static_cast<int>(keys.size()), examined);
  EXPECT_TRUE(Has(names, PLOVER_SIM_PROGID));
  EXPECT_EQ(1, list.m_resets);
  EXPECT_EQ(names, list.m_items);
  EXPECT_EQ(0, list.m_sel);

  // An unreachable node empties everything, whatever was listed before.
  EXPECT_EQ(0, FillServerList(&list, L"plover-no-such-node", names));
  EXPECT_TRUE(list.m_items.empty());
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(-1, list.m_sel);

  names = {L"kept"};
  EXPECT_EQ(0, FillServerList(nullptr, L"", names));
  EXPECT_EQ(Names{L"kept"}, names) << "without a list box nothing is enumerated";
}

TEST(Discovery, TimeBudgetStopsAtTheNextKeyBoundary) {
  Names all;
  EnumerateServers(L"", all);
  Names keys = AllClassKeys();
  ASSERT_GT(keys.size(), 3u);
  Names firstThree;
  for (size_t i = 0; i < 3; ++i)
    if (Has(all, keys[i])) firstThree.push_back(keys[i]);

  // 4 s per key: over 10 s after the third key.
  Names names;
  g_now = 1000;
  g_step = 4000;
  EXPECT_EQ(3, EnumerateServers(L"", names, SteppingClock));
  EXPECT_EQ(firstThree, names);

  // Across the wrap of the tick count the difference still counts from the start.
  g_now = 0xFFFFF000u;
  EXPECT_EQ(3, EnumerateServers(L"", names, SteppingClock));

  // One slow key: the first key is always examined.
  g_step = 60000;
  EXPECT_EQ(1, EnumerateServers(L"", names, SteppingClock));
  // Exactly 10 s elapsed is still within the budget.
  g_now = 0;
  g_step = 5000;
  EXPECT_EQ(3, EnumerateServers(L"", names, SteppingClock));
}

}  // namespace
