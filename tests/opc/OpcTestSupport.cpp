#include "OpcTestSupport.h"

#include "OpcUiPorts.h"
#include "SimServer.h"

std::vector<CapturedBox> OpcTest::s_boxes;

namespace {
int CaptureBox(OpcBoxOwner owner, const std::wstring& text, const std::wstring& caption,
               UINT type) {
  OpcTest::s_boxes.push_back({owner, text, caption, type});
  return IDOK;
}
}  // namespace

PloverSimLiveCounts SimLiveCounts() {
  PloverSimLiveCounts counts = {};
  TComPtr<IPloverSimControl> control;
  if (SUCCEEDED(CreateSimServer(PLOVER_SIM_PROGID, control))) control->GetLiveCounts(&counts);
  return counts;
}

const wchar_t* ProgIdOf(ServerKind kind) {
  return kind == ServerKind::OwnProcess ? PLOVER_SIM_LOCAL_PRIVATE_PROGID : PLOVER_SIM_PROGID;
}

std::string KindName(ServerKind kind) {
  return kind == ServerKind::OwnProcess ? "OwnProcess" : "InProcess";
}

PloverSimLiveCounts OpcTest::SimLiveCounts() {
  PloverSimLiveCounts counts = {};
  TComPtr<IPloverSimControl> control;
  if (m_server && m_server->m_pServer && SUCCEEDED(control.QueryFrom(m_server->m_pServer.Get()))) {
    control->GetLiveCounts(&counts);
    // The same figures the probe gives: the probe is one more server object.
    ++counts.servers;
    return counts;
  }
  return ::SimLiveCounts();
}

std::wstring SystemText(DWORD code) {
  wchar_t buffer[260] = {};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buffer, 260, nullptr);
  return std::wstring(buffer, n);
}

void OpcTest::SetUp() {
  s_boxes.clear();
  SetOpcMessageBox(CaptureBox);
  m_hWnd =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, m_hWnd);
  m_server = new COpcServer;
}

void OpcTest::TearDown() {
  m_control.Release();
  delete m_server;
  m_server = nullptr;
  m_serverProcess.ExpectEnded();
  TakeMessages();
  DestroyWindow(m_hWnd);
  SetOpcMessageBox(nullptr);
}

void OpcTest::ConnectTo(const wchar_t* progId) {
  if (!progId && m_kind == ServerKind::OwnProcess) {
    ExpectLocalServerRegistered(ProgIdOf(m_kind));
    if (HasFatalFailure()) return;
  }
  ASSERT_TRUE(m_server->Initialize(m_hWnd));
  ASSERT_TRUE(m_server->Connect(progId ? progId : ProgIdOf(m_kind), L""));
  m_serverProcess.Watch(m_server->m_pServer.Get());
  ASSERT_TRUE(s_boxes.empty()) << "unexpected message box";
}

IPloverSimControl* OpcTest::Control() {
  if (!m_control && m_server->m_pServer) m_control.QueryFrom(m_server->m_pServer.Get());
  return m_control.Get();
}

VARTYPE OpcTest::RequestedType(const COpcItem* item) {
  VARTYPE found = VT_ILLEGAL;
  COpcGroup* group = m_server->m_groupManager.GetCurrentGroup();
  TComPtr<IOPCItemMgt> mgt;
  if (!group || FAILED(mgt.QueryFrom(group->m_pGroup.Get()))) return found;
  TComPtr<IEnumOPCItemAttributes> attrs;
  if (mgt->CreateEnumerator(IID_IEnumOPCItemAttributes, attrs.PutUnknown()) != S_OK) return found;
  OPCITEMATTRIBUTES* a = nullptr;
  ULONG n = 0;
  while (attrs->Next(1, &a, &n) == S_OK && n == 1) {
    if (a->hClient == item->m_hClient) found = a->vtRequestedDataType;
    CoTaskMemFree(a->szAccessPath);
    CoTaskMemFree(a->szItemID);
    CoTaskMemFree(a->pBlob);
    VariantClear(&a->vEUInfo);
    CoTaskMemFree(a);
    a = nullptr;
  }
  return found;
}

std::vector<MSG> OpcTest::TakeMessages() {
  std::vector<MSG> out;
  out.swap(m_kept);
  MSG msg;
  while (PeekMessageW(&msg, m_hWnd, 0, 0, PM_REMOVE)) out.push_back(msg);
  return out;
}
