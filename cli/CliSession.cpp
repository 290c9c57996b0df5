#include "CliSession.h"

#include "CliText.h"
#include "OpcUiPorts.h"
#include "PloverMessages.h"

namespace {
constexpr const wchar_t* kWindowClass = L"PloverCliNotify";
constexpr UINT_PTR kStopTimer = 1;
constexpr UINT_PTR kAliveTimer = 2;

volatile LONG g_stop = 0;
HWND volatile g_wake = nullptr;
// Set while no watch runs: closing the console waits for a watch to let go first.
HANDLE g_idle = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
// Where the core's message boxes go while a session lives.
CCliWriter* g_boxWriter = nullptr;

int BoxToStderr(OpcBoxOwner, const std::wstring& text, const std::wstring&, UINT) {
  if (g_boxWriter) {
    std::wstring line = TrimRight(text);
    // One line: breaks become spaces, and runs of spaces one.
    std::wstring flat;
    for (wchar_t c : line) {
      if (c == L'\n' || c == L'\r') c = L' ';
      if (c == L' ' && !flat.empty() && flat.back() == L' ') continue;
      flat += c;
    }
    g_boxWriter->Write(L"plover-cli: " + flat + L"\n");
  }
  return IDOK;
}
}  // namespace

bool CliStopRequested() {
  return ::InterlockedCompareExchange(&g_stop, 0, 0) != 0;
}

void CliResetStop(HWND wake) {
  ::InterlockedExchange(&g_stop, 0);
  g_wake = wake;
  if (wake)
    ::ResetEvent(g_idle);
  else
    ::SetEvent(g_idle);
}

BOOL WINAPI CliConsoleCtrlHandler(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  ::InterlockedExchange(&g_stop, 1);
  // Wakes the loop; posting is safe from any thread.
  if (HWND wake = g_wake) ::PostMessageW(wake, WM_NULL, 0, 0);
  // The process ends when this returns after a close: first the watch lets go of the
  // server, within the few seconds the system allows.
  if (type == CTRL_CLOSE_EVENT) ::WaitForSingleObject(g_idle, 4000);
  return TRUE;
}

CCliSession::CCliSession(CCliWriter& err, const CliHooks& hooks) : m_err(err), m_hooks(hooks) {
  static ATOM atom = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    return ::RegisterClassW(&wc);
  }();
  (void)atom;
  m_hWnd = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
  if (m_hWnd) ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  g_boxWriter = &m_err;
  SetOpcMessageBox(BoxToStderr);
  m_server.m_groupManager.SetItemObserver(this);
}

CCliSession::~CCliSession() {
  m_server.Disconnect();
  m_server.m_groupManager.SetItemObserver(nullptr);
  SetOpcMessageBox(nullptr);
  g_boxWriter = nullptr;
  if (g_wake == m_hWnd) g_wake = nullptr;
  if (m_hWnd) {
    ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
    ::DestroyWindow(m_hWnd);
  }
}

bool CCliSession::Connect(const std::wstring& progId, const std::wstring& node) {
  if (!m_hWnd || !m_server.Initialize(m_hWnd)) {
    m_err.Write(L"plover-cli: the COM runtime could not be prepared\n");
    return false;
  }
  // An unknown ProgID needs no more than this line: the core's box would only add the
  // registry's "File not found".
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, progId.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    m_err.Write(L"plover-cli: cannot connect to '" + progId +
                L"': no server of that ProgID is registered here\n");
    return false;
  }
  ::RegCloseKey(key);
  if (!m_server.Connect(progId, node)) {
    m_err.Write(L"plover-cli: cannot connect to '" + progId + L"'" +
                (node.empty() ? std::wstring() : L" on '" + node + L"'") + L"\n");
    return false;
  }
  // A server in another process can die or hang without a word: it is asked how it is
  // while the session waits for messages.
  if (m_server.m_bProxy) ::SetTimer(m_hWnd, kAliveTimer, kAliveTickMs, nullptr);
  if (m_hooks.connected) m_hooks.connected(m_server.m_pServer.Get());
  return true;
}

bool CCliSession::ServerGone() {
  // The loss may be known before its posted message has been dispatched.
  if (!m_bServerGone && m_server.IsConnected() && m_server.m_pWatch->Lost()) ReportLoss();
  return m_bServerGone;
}

void CCliSession::ReportLoss() {
  if (m_bServerGone) return;
  m_bServerGone = true;
  ::KillTimer(m_hWnd, kAliveTimer);
  std::wstring reason = TrimRight(m_server.GetShutdownReason());
  m_err.Write(L"plover-cli: the server has gone" +
              (reason.empty() ? std::wstring() : L": " + reason) + L"\n");
}

void CCliSession::ConfirmAnswering() {
  if (!m_server.IsConnected() || !m_server.m_bProxy || ServerGone()) return;
  const ULONGLONG asked = ::GetTickCount64();
  while (m_server.m_aliveCheck.AnsweredAsked() < asked && !ServerGone()) {
    m_server.CheckAlive(kAliveLimitMs);
    // The server's calls into this thread are served meanwhile.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

std::wstring CCliSession::ErrorText(HRESULT code) const {
  std::wstring text = TrimRight(m_server.GetErrorText(L"", static_cast<DWORD>(code)));
  size_t start = text.find_first_not_of(L' ');
  text = start == std::wstring::npos ? std::wstring() : text.substr(start);
  for (wchar_t& c : text)
    if (c == L'\n' || c == L'\r') c = L' ';
  return text;
}

void CCliSession::ReportItem(const std::wstring& item, HRESULT code) {
  wchar_t hex[16];
  ::swprintf(hex, 16, L"0x%08X", static_cast<unsigned>(code));
  m_err.Write(item + L": " + ErrorText(code) + L" (" + hex + L")\n");
}

void CCliSession::StopAfter(DWORD ms) {
  ::SetTimer(m_hWnd, kStopTimer, ms, nullptr);
}

bool CCliSession::Pump(const std::function<bool()>& done, DWORD limitMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (done()) return true;
    if (CliStopRequested() || m_bServerGone || m_bTimeUp) return false;
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
      continue;
    }
    const DWORD spent = ::GetTickCount() - start;
    if (limitMs != INFINITE && spent >= limitMs) return done();
    if (m_hooks.idle) {
      m_hooks.idle();
      continue;
    }
    ::MsgWaitForMultipleObjectsEx(0, nullptr, limitMs == INFINITE ? INFINITE : limitMs - spent,
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void CCliSession::OnItemStored(OPCHANDLE hGroup, const COpcItem& item) {
  if (m_onStored) m_onStored(hGroup, item);
}

void CCliSession::OnWriteResult(OPCHANDLE hClientItem, HRESULT error) {
  if (m_onWriteResult) m_onWriteResult(hClientItem, error);
}

LRESULT CALLBACK CCliSession::WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CCliSession*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
  if (self) {
    if (msg == WM_OPC_SERVERSHUTDOWN) {
      self->ReportLoss();
      return 0;
    }
    if (msg == WM_TIMER && wParam == kAliveTimer) {
      self->m_server.CheckAlive(kAliveLimitMs);
      return 0;
    }
    if (msg == WM_TIMER && wParam == kStopTimer) {
      ::KillTimer(hWnd, kStopTimer);
      self->m_bTimeUp = true;
      return 0;
    }
  }
  return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

void CCliSession::AddItems(OPCHANDLE group, const std::vector<std::wstring>& ids,
                           std::vector<COpcItem*>& items, std::vector<HRESULT>& errors) {
  std::vector<OpcItemRequest> requests(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    requests[i].strItemId = ids[i];
    requests[i].strAccessPath = m_server.m_groupManager.m_strAccessPath;
    requests[i].bTryTypes = false;  // the server's own type, whatever it is
  }
  std::vector<OpcItemOutcome> outcomes;
  m_server.AddItems(group, requests, outcomes);
  items.assign(ids.size(), nullptr);
  errors.assign(ids.size(), E_FAIL);
  for (size_t i = 0; i < ids.size(); ++i) {
    if (outcomes[i].hr == S_OK) items[i] = outcomes[i].pItem;
    // Skipped by the add: to a console user, a duplicate.
    errors[i] = outcomes[i].hr == S_FALSE ? OPC_E_DUPLICATENAME : outcomes[i].hr;
  }
}
