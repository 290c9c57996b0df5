// Server discovery over the prefix's real registry.
#include <gtest/gtest.h>

#include <algorithm>

#include "FakeUiPorts.h"
#include "OpcDiscovery.h"
#include "SimControl.h"
#include "SimProcess.h"
#include "TempClassKey.h"

namespace {

using Names = std::vector<std::wstring>;

bool Has(const Names& names, const std::wstring& n) {
  return std::find(names.begin(), names.end(), n) != names.end();
}

// A class key that marks a server when opcDefault is given; otherwise only look-alikes: a
// sub-key "OPCx" and a value named OPC.
struct ServerKey : TempClassKey {
  ServerKey(const wchar_t* stem, const wchar_t* opcDefault)
      : TempClassKey(std::wstring(L"Plover.BrowseTest.") + stem) {
    EXPECT_TRUE(Created());
    if (opcDefault) {
      SetSubKeyDefault(L"OPC", opcDefault);
    } else {
      SetSubKeyDefault(L"OPCx", L"not a server");
      SetValue(L"OPC", L"v");
    }
  }
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
  ServerKey server(L"Server", L"A test server");
  ServerKey longText(L"LongOpcText", std::wstring(600, L'x').c_str());
  ServerKey notServer(L"NotServer", nullptr);
  Names names{L"stale"};
  int examined = 0;
  Names keys = StableKeys([&] { examined = EnumerateServers(L"", names); });
  EXPECT_EQ(static_cast<int>(keys.size()), examined) << "every key is examined, not only servers";
  for (const std::wstring& id :
       {std::wstring(PLOVER_SIM_PROGID), std::wstring(PLOVER_SIM_FLAT_PROGID),
        std::wstring(PLOVER_SIM_NOBROWSE_PROGID), std::wstring(PLOVER_SIM_LARGE_PROGID),
        std::wstring(PLOVER_SIM_LOCAL_PROGID), std::wstring(PLOVER_SIM_LOCAL_LARGE_PROGID),
        std::wstring(PLOVER_SIM_LOCAL_PRIVATE_PROGID),
        std::wstring(PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID), server.Name(), longText.Name()})
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
