#include "TextTestSupport.h"

#include "SimServer.h"

void SimTextTest::SetUp() {
  ASSERT_EQ(S_OK, CreateSimServer(PLOVER_SIM_PROGID, m_server)) << "is PloverSim.dll registered?";
  ASSERT_EQ(S_OK, m_control.QueryFrom(m_server.Get()));
  ASSERT_EQ(S_OK, m_control->SetDeterministic(TRUE));
}

TComPtr<IOPCItemMgt> SimTextTest::AddGroup(const wchar_t* name, OPCHANDLE hClient) {
  TComPtr<IOPCItemMgt> group;
  OPCHANDLE hServer = 0;
  DWORD revised = 0;
  EXPECT_EQ(S_OK, m_server->AddGroup(name, TRUE, 1000, hClient, nullptr, nullptr, 0, &hServer,
                                     &revised, IID_IOPCItemMgt, group.PutUnknown()));
  return group;
}

OPCHANDLE SimTextTest::AddItem(IOPCItemMgt* group, const wchar_t* id, VARTYPE requested,
                               OPCHANDLE hClient) {
  OPCITEMDEF def = {
      const_cast<LPWSTR>(L""), const_cast<LPWSTR>(id), TRUE, hClient, 0, nullptr, requested, 0};
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  EXPECT_EQ(S_OK, group->AddItems(1, &def, &results, &errors)) << id;
  if (!results || !errors) return 0;
  OPCHANDLE h = results[0].hServer;
  CoTaskMemFree(results[0].pBlob);
  CoTaskMemFree(results);
  CoTaskMemFree(errors);
  return h;
}
