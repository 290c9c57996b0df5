// Initialize, Connect and Disconnect through the registry and COM, their messages, and
// the references they leave behind.
#include <algorithm>

#include "OpcDataCallback.h"
#include "OpcDataSink.h"
#include "OpcErrorText.h"
#include "OpcTestSupport.h"
#include "TempClassKey.h"

namespace {

// A ProgID key; clsid nullptr: no CLSID sub-key.
struct TempProgId : TempClassKey {
  TempProgId(const wchar_t* base, const wchar_t* clsid) : TempClassKey(base) {
    EXPECT_TRUE(Created());
    if (clsid) SetSubKeyDefault(L"CLSID", clsid);
  }
};

std::wstring Expected(const std::wstring& prefix, DWORD code) {
  std::wstring system = SystemText(code);
  // Where Wine has no text, ours for the COM codes (CO_E_CLASSSTRING, REGDB_E_CLASSNOTREG).
  std::wstring own = SystemErrorText(code);
  EXPECT_FALSE(own.empty()) << std::hex << code;
  return prefix + L" " + (system.empty() ? own : system);
}

// A node whose server starts but does not hand out the requested interface.
HRESULT RemoteWithoutServerInterface(REFCLSID, DWORD context, COSERVERINFO* server, DWORD count,
                                     MULTI_QI* results) {
  if (context != 23 || !server || !server->pwszName || count != 1 ||
      *results[0].pIID != IID_IOPCServer)
    return E_INVALIDARG;
  results[0].pItf = nullptr;
  results[0].hr = E_NOINTERFACE;
  return S_OK;
}

HRESULT SecurityAlreadySet() {
  return RPC_E_TOO_LATE;
}
HRESULT SecurityRefused() {
  return E_ACCESSDENIED;
}

class ConnectTest : public OpcTest {};

// The scenarios a server in its own process must pass too. Before a connection and after
// the disconnect the counts come from the in-process probe; for the executable server
// that is also its fresh process's baseline (nothing but one server object), and
// TearDown's check that the process ended shows it let go of everything.
class ConnectScenario : public OpcTest, public testing::WithParamInterface<ServerKind> {
 protected:
  void SetUp() override {
    OpcTest::SetUp();
    m_kind = GetParam();
  }
};

TEST_P(ConnectScenario, ConnectsThroughTheRegistryAndLeavesNothingBehind) {
  const PloverSimLiveCounts before = SimLiveCounts();
  ConnectTo();
  EXPECT_TRUE(m_server->IsConnected());
  EXPECT_TRUE(m_server->CanBrowse());
  EXPECT_EQ(ProgIdOf(m_kind), m_server->m_strProgId);
  EXPECT_EQ(L"", m_server->m_strNode);
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  ASSERT_NE(nullptr, m_server->AddItem(L"Signals.Ramp"));
  ASSERT_EQ(S_OK, m_server->AddGroup(2, L"Group2"));
  ASSERT_NE(nullptr, m_server->AddItem(L"Types.Long"));
  // A third group as a DA 2.0-only server has it: subscribed through its callback point.
  ASSERT_EQ(S_OK, Control()->SetNoDa1Async(TRUE));
  m_control.Release();  // the hooks hold the server too
  ASSERT_EQ(S_OK, m_server->AddGroup(3, L"Group3"));
  ASSERT_NE(nullptr, m_server->AddItem(L"Types.String"));

  PloverSimLiveCounts during = SimLiveCounts();
  EXPECT_EQ(before.servers + 1, during.servers);
  EXPECT_EQ(before.groups + 3, during.groups);
  // Two streams per DA 1.0 group, one callback, and the shutdown notice.
  EXPECT_EQ(before.connections + 6, during.connections);

  m_server->Disconnect();
  EXPECT_FALSE(m_server->IsConnected());
  EXPECT_FALSE(m_server->m_pServer);
  EXPECT_FALSE(m_server->CanBrowse());
  EXPECT_EQ(0, m_server->m_groupManager.m_itemTable.Count());
  PloverSimLiveCounts after = SimLiveCounts();
  EXPECT_EQ(before.servers, after.servers);
  EXPECT_EQ(before.groups, after.groups);
  EXPECT_EQ(before.connections, after.connections);
  EXPECT_EQ(before.enumerators, after.enumerators);
  // Every server reference to the sink is gone: only the manager's remains.
  COpcDataSink* sink = m_server->m_groupManager.GetSink();
  EXPECT_EQ(2u, sink->AddRef());
  EXPECT_EQ(1u, sink->Release());
  COpcDataCallback* callback = m_server->m_groupManager.GetCallback();
  EXPECT_EQ(2u, callback->AddRef());
  EXPECT_EQ(1u, callback->Release());
  EXPECT_EQ(2u, m_server->m_pWatch->AddRef());
  EXPECT_EQ(1u, m_server->m_pWatch->Release());
  EXPECT_FALSE(m_server->m_pShutdownPoint);
  EXPECT_TRUE(s_boxes.empty());
}

int ShutdownRequests(const std::vector<MSG>& messages) {
  int n = 0;
  for (const MSG& m : messages)
    if (m.message == WM_OPC_SERVERSHUTDOWN && m.wParam == 0 && m.lParam == 0) ++n;
  return n;
}

TEST_P(ConnectScenario, AShutdownNoticeOrAVanishedServerAsksOnceForADisconnect) {
  EXPECT_EQ(0x4042, WM_OPC_SERVERSHUTDOWN);
  const PloverSimLiveCounts before = SimLiveCounts();
  ConnectTo();
  ASSERT_EQ(S_OK, Control()->SetNoDa1Async(TRUE));
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  COpcItem* item = m_server->AddItem(L"Types.Long");
  ASSERT_NE(nullptr, item);
  TakeMessages();
  // The notice is only noted and posted: the view disconnects later, outside the call.
  ASSERT_EQ(S_OK, Control()->SendShutdown(L"维护 maintenance"));
  ASSERT_EQ(S_OK, Control()->SendShutdown(L"again"));
  EXPECT_EQ(1, ShutdownRequests(TakeMessages()));
  EXPECT_EQ(L"维护 maintenance", m_server->GetShutdownReason());
  EXPECT_EQ(S_OK, m_server->GetShutdownCode());
  EXPECT_TRUE(m_server->IsConnected());
  m_control.Release();
  m_server->Disconnect();
  PloverSimLiveCounts after = SimLiveCounts();
  EXPECT_EQ(before.servers, after.servers);
  EXPECT_EQ(before.groups, after.groups);
  EXPECT_EQ(before.connections, after.connections);

  // A server whose process has gone: every call fails alike, and only the first failure
  // asks for the disconnect, which then calls the server no more.
  m_serverProcess.ExpectEnded();
  ASSERT_TRUE(m_server->Connect(ProgIdOf(m_kind), L""));
  m_serverProcess.Watch(m_server->m_pServer.Get());
  EXPECT_EQ(L"", m_server->GetShutdownReason());
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  item = m_server->AddItem(L"Types.Long");
  ASSERT_NE(nullptr, item);
  TakeMessages();
  ASSERT_EQ(S_OK, Control()->FailMethod(L"*", RPC_E_DISCONNECTED, TRUE));
  EXPECT_FALSE(m_server->ReadDevice(item));
  EXPECT_FALSE(m_server->WriteAsync(item, L"3"));
  EXPECT_EQ(nullptr, m_server->AddItem(L"Types.Short"));
  EXPECT_FALSE(m_server->RefreshCache());
  EXPECT_EQ(1, ShutdownRequests(TakeMessages()));
  EXPECT_EQ(RPC_E_DISCONNECTED, m_server->GetShutdownCode());
  // A text, never a bare number, where Wine has none.
  EXPECT_EQ(L"The object invoked has disconnected from its clients.",
            m_server->GetShutdownReason());
  m_control.Release();
  m_server->Disconnect();
  EXPECT_EQ(0, ShutdownRequests(TakeMessages()));
  after = SimLiveCounts();
  EXPECT_EQ(before.servers, after.servers);
  EXPECT_EQ(before.groups, after.groups);
  EXPECT_EQ(before.connections, after.connections);
  EXPECT_TRUE(s_boxes.empty());

  // The codes that say the server's process or its exporter is gone; ordinary failures,
  // a busy server's refusal among them, are not.
  const struct {
    HRESULT hr;
    bool vanished;
  } codes[] = {{RPC_E_DISCONNECTED, true},
               {RPC_E_SERVER_DIED, true},
               {RPC_E_SERVER_DIED_DNE, true},
               {CO_E_OBJNOTCONNECTED, true},
               {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), true},
               {HRESULT_FROM_WIN32(RPC_S_CALL_FAILED), true},
               {HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE), true},
               {HRESULT_FROM_WIN32(OR_INVALID_OXID), true},
               {RPC_E_CALL_REJECTED, false},
               {E_FAIL, false},
               {E_OUTOFMEMORY, false},
               {S_OK, false}};
  for (const auto& c : codes)
    EXPECT_EQ(c.vanished, COpcServerWatch::IsVanishedCode(c.hr)) << std::hex << c.hr;
}

TEST_P(ConnectScenario, DestroyingTheServerObjectDisconnectsFirst) {
  const PloverSimLiveCounts before = SimLiveCounts();
  ConnectTo();
  ASSERT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  ASSERT_NE(nullptr, m_server->AddItem(L"Types.Double"));
  delete m_server;
  m_server = nullptr;
  m_serverProcess.ExpectEnded();
  PloverSimLiveCounts after = SimLiveCounts();
  EXPECT_EQ(before.servers, after.servers);
  EXPECT_EQ(before.groups, after.groups);
  EXPECT_EQ(before.connections, after.connections);
  m_server = new COpcServer;  // for TearDown
}

INSTANTIATE_TEST_SUITE_P(Servers, ConnectScenario, BothServerKinds(),
                         [](const auto& info) { return KindName(info.param); });

TEST_F(ConnectTest, ReconnectsAfterDisconnectAndKeepsTheBrowseAndGroupPartsFresh) {
  ConnectTo(PLOVER_SIM_NOBROWSE_PROGID);
  EXPECT_TRUE(m_server->IsConnected());
  EXPECT_FALSE(m_server->CanBrowse());  // connected all the same
  ASSERT_EQ(S_OK, m_server->AddGroup(7, L"G"));
  m_server->Disconnect();
  EXPECT_EQ(nullptr, m_server->GetGroup(7));
  ASSERT_TRUE(m_server->Connect(PLOVER_SIM_FLAT_PROGID, L""));
  EXPECT_TRUE(m_server->CanBrowse());
  EXPECT_EQ(nullptr, m_server->m_groupManager.GetCurrentGroup());
  EXPECT_EQ(0u, m_server->m_groupManager.m_hClient);
  EXPECT_EQ(S_OK, m_server->AddGroup(7, L"G"));
}

TEST_F(ConnectTest, NothingConnectsBeforeInitializeAndNothingIsShown) {
  EXPECT_FALSE(m_server->Connect(PLOVER_SIM_PROGID, L"node"));
  EXPECT_EQ(L"Plover.SimServer.1", m_server->m_strProgId);  // stored whatever the outcome
  EXPECT_EQ(L"node", m_server->m_strNode);
  EXPECT_FALSE(m_server->IsConnected());
  EXPECT_TRUE(s_boxes.empty());
  m_server->Disconnect();  // not connected: nothing to do
  EXPECT_FALSE(m_server->IsConnected());
}

TEST_F(ConnectTest, SecuritySetEarlierInTheProcessStillCountsAsInitialised) {
  OpcSecurityFn old = SetOpcInitializeSecurity(SecurityAlreadySet);
  EXPECT_TRUE(m_server->Initialize(m_hWnd));
  EXPECT_TRUE(m_server->Initialize(m_hWnd));  // a second document's view
  EXPECT_TRUE(m_server->Connect(PLOVER_SIM_PROGID, L""));
  SetOpcInitializeSecurity(SecurityRefused);
  EXPECT_FALSE(m_server->Initialize(m_hWnd));
  EXPECT_FALSE(m_server->m_bInitialized);
  SetOpcInitializeSecurity(old);
  m_server->Disconnect();
  EXPECT_FALSE(m_server->Connect(PLOVER_SIM_PROGID, L""));
  EXPECT_TRUE(s_boxes.empty());
}

TEST_F(ConnectTest, EachFailedStepReportsItsCallAndTheSystemText) {
  ASSERT_TRUE(m_server->Initialize(m_hWnd));
  TempProgId noClsid(L"Plover.Test.NoClsid", nullptr);
  TempProgId badClsid(L"Plover.Test.BadClsid", L"not a class id");
  TempProgId unregistered(L"Plover.Test.Unregistered", L"{6D1C3F6E-2B4A-4E21-9C1E-53A1F0E0B7A1}");

  struct Case {
    std::wstring progId;
    std::wstring text;
  } cases[] = {
      {L"Plover.Test.Missing", Expected(L"RegOpenKey: ", ERROR_FILE_NOT_FOUND)},
      {noClsid.Name(), Expected(L"RegQueryValue: ", ERROR_FILE_NOT_FOUND)},
      {badClsid.Name(), Expected(L"CLSIDFromString: ", CO_E_CLASSSTRING)},
      {unregistered.Name(),
       Expected(L"连接OPC服务器'" + unregistered.Name() + L"'失败!\nCoCreateInstance:",
                REGDB_E_CLASSNOTREG)},
  };
  for (const Case& c : cases) {
    s_boxes.clear();
    EXPECT_FALSE(m_server->Connect(c.progId, L""));
    EXPECT_FALSE(m_server->IsConnected());
    ASSERT_EQ(1u, s_boxes.size());
    EXPECT_EQ(c.text, s_boxes[0].text);
    EXPECT_EQ(L"Plover", s_boxes[0].caption);
    EXPECT_EQ(UINT(MB_OK), s_boxes[0].type);
    EXPECT_EQ(OpcBoxOwner::None, s_boxes[0].owner);
  }
}

TEST_F(ConnectTest, ClassIdComesFromTheLocalRegistryEvenForARemoteNode) {
  ASSERT_TRUE(m_server->Initialize(m_hWnd));
  EXPECT_FALSE(m_server->Connect(L"Plover.Test.OnlyRemote", L"some-node"));
  ASSERT_EQ(1u, s_boxes.size());
  EXPECT_EQ(Expected(L"RegOpenKey: ", ERROR_FILE_NOT_FOUND), s_boxes[0].text);
}

// The core's busy sign as the program's port sees it: begun and ended in pairs.
struct BusyRecorder : IOpcBusyIndicator {
  int begun = 0, depth = 0, deepest = 0;
  void Begin() override {
    ++begun;
    deepest = std::max(deepest, ++depth);
  }
  void End() override { --depth; }
};

TEST_F(ConnectTest, AnObjectWithoutTheServerInterfaceIsReportedAsAMissingProxy) {
  ASSERT_TRUE(m_server->Initialize(m_hWnd));
  // The standard font object: creatable everywhere, and no OPC server.
  TempProgId font(L"Plover.Test.NotOpc", L"{0BE35203-8F91-11CE-9DE3-00AA004BB851}");
  BusyRecorder busy;
  IOpcBusyIndicator* previous = SetOpcBusyIndicator(&busy);
  EXPECT_FALSE(m_server->Connect(font.Name(), L""));
  SetOpcBusyIndicator(previous);
  EXPECT_FALSE(m_server->IsConnected());
  ASSERT_EQ(1u, s_boxes.size());
  EXPECT_EQ(L"OPC Proxy dll 可能未注册!\n", s_boxes[0].text);
  EXPECT_EQ(L"Plover", s_boxes[0].caption);
  EXPECT_EQ(UINT(MB_OK | MB_ICONEXCLAMATION), s_boxes[0].type);
  // Over the window the user works in, which only the program's port knows.
  EXPECT_EQ(OpcBoxOwner::ActiveWindow, s_boxes[0].owner);
  // Busy while connecting, and no longer once the failure is reported.
  EXPECT_EQ(1, busy.begun);
  EXPECT_EQ(1, busy.deepest);
  EXPECT_EQ(0, busy.depth);
}

TEST_F(ConnectTest, ErrorTextAsksTheServerOnlyWhenTheSystemHasNone) {
  // An OPC code the system has no text for.
  const DWORD code = static_cast<DWORD>(OPC_E_UNKNOWNITEMID);
  ASSERT_TRUE(SystemText(code).empty());
  EXPECT_EQ(L"X:  Unknown Error.", m_server->GetErrorText(L"X: ", code));
  ConnectTo();
  std::wstring text = m_server->GetErrorText(L"X: ", code);
  EXPECT_EQ(0u, text.rfind(L"X:  ", 0));
  EXPECT_NE(L"X:  Unknown Error.", text);
  EXPECT_NE(L"X:  OPC Server failed GetErrorString.", text);
  EXPECT_EQ(L"X:  " + SystemText(ERROR_FILE_NOT_FOUND), m_server->GetErrorText(L"X: ", 2));
}

TEST_F(ConnectTest, ANamedNodeGoesThroughTheRemoteCreationPath) {
  ASSERT_TRUE(m_server->Initialize(m_hWnd));
  // Wine's COM creates on this machine whatever the node; the interface still comes
  // through the MULTI_QI entry.
  ASSERT_TRUE(m_server->Connect(PLOVER_SIM_PROGID, L"plover-node"));
  EXPECT_EQ(L"plover-node", m_server->m_strNode);
  EXPECT_EQ(S_OK, m_server->AddGroup(1, L"Group1"));
  m_server->Disconnect();

  TempProgId unregistered(L"Plover.Test.Unregistered", L"{6D1C3F6E-2B4A-4E21-9C1E-53A1F0E0B7A1}");
  EXPECT_FALSE(m_server->Connect(unregistered.Name(), L"plover-node"));
  ASSERT_EQ(1u, s_boxes.size());
  EXPECT_EQ(Expected(L"连接OPC服务器'" + unregistered.Name() + L"'失败!\nCoCreateInstanceEx:",
                     REGDB_E_CLASSNOTREG),
            s_boxes[0].text);
  // An empty node is the local path again.
  s_boxes.clear();
  EXPECT_FALSE(m_server->Connect(unregistered.Name(), L""));
  ASSERT_EQ(1u, s_boxes.size());
  EXPECT_NE(std::wstring::npos, s_boxes[0].text.find(L"\nCoCreateInstance: "));
  EXPECT_TRUE(m_server->Connect(PLOVER_SIM_PROGID, L""));
}

TEST_F(ConnectTest, ARemoteServerWithoutTheInterfaceIsReportedByItsEntry) {
  ASSERT_TRUE(m_server->Initialize(m_hWnd));
  OpcCreateRemoteFn old = SetOpcCreateRemote(RemoteWithoutServerInterface);
  EXPECT_FALSE(m_server->Connect(PLOVER_SIM_PROGID, L"plover-node"));
  SetOpcCreateRemote(old);
  EXPECT_FALSE(m_server->IsConnected());
  ASSERT_EQ(1u, s_boxes.size());
  EXPECT_EQ(Expected(L"MultiQI: ", E_NOINTERFACE), s_boxes[0].text);
}

}  // namespace
