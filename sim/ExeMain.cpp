// The simulation server as an executable (LocalServer32): the same server objects as the
// DLL's, reached through COM marshalling from another process. COM starts it with
// -Embedding; /RegServer and /UnregServer write and remove its registration.
//
// Started for a shared variant, one process serves every client, as a real server does:
// each client has its own server object and groups, all of them one address space, clock and
// set of test hooks. It stays while any client holds an object or a lock, and kLingerMs
// after the last one leaves.
//
// Started for a private variant (-Private), it serves one client: once an object is created
// the class objects are withdrawn, so the next client starts a process of its own and
// clients (and tests running side by side) never share values, hooks or a crash. It ends
// when its last object is released.
#include "ClassFactory.h"
#include "ComObject.h"
#include "HiddenWindow.h"
#include "Registration.h"
#include "SimServer.h"

#include <cwctype>
#include <new>
#include <vector>

namespace plover::sim {

HINSTANCE ModuleInstance() {
  return GetModuleHandleW(nullptr);
}

}  // namespace plover::sim

using namespace plover::sim;

namespace {

// Long enough that a script's next command, or a user's, finds the values the last one
// left (tools/cli.sh alone takes a few seconds to check the build before it connects);
// short enough that a server nobody uses goes by itself soon, and a test run's wineserver
// is not held up for long.
constexpr DWORD kLingerMs = 10000;
// A process started by hand (or whose starter gave up) waits this long for a first client.
constexpr DWORD kNoClientMs = 30000;
constexpr UINT kCheckMs = 200;

std::vector<DWORD> g_cookies;
bool g_served = false;

// "/Name" or "-Name" anywhere on the command line, in any case.
bool HasSwitch(const wchar_t* commandLine, const wchar_t* name) {
  const size_t n = wcslen(name);
  for (const wchar_t* p = commandLine; p && *p; ++p) {
    if ((*p != L'/' && *p != L'-') || _wcsnicmp(p + 1, name, n) != 0) continue;
    const wchar_t end = p[1 + n];
    if (end == 0 || std::iswspace(end)) return true;
  }
  return false;
}

void WithdrawClassObjects() {
  for (DWORD cookie : g_cookies) CoRevokeClassObject(cookie);
  g_cookies.clear();
}

void OnServerCreated() {
  g_served = true;
}

void OnPrivateServerCreated() {
  g_served = true;
  WithdrawClassObjects();
}

// Objects a client still holds, and IClassFactory::LockServer locks. The class factories
// do not count: COM holds the registered ones, and a client's hold on one keeps no server.
bool InUse() {
  return ModuleLockCount() - ClassFactory::LiveFactories() > 0;
}

void Register(bool privateProcess) {
  size_t count = 0;
  const VariantInfo* variants = LocalVariants(&count);
  for (size_t i = 0; i < count; ++i) {
    if (variants[i].privateProcess != privateProcess) continue;
    auto* factory = new (std::nothrow) ClassFactory(variants[i].variant, !privateProcess);
    if (!factory) break;
    DWORD cookie = 0;
    if (SUCCEEDED(CoRegisterClassObject(*variants[i].clsid, static_cast<IClassFactory*>(factory),
                                        CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED,
                                        &cookie)))
      g_cookies.push_back(cookie);
    factory->Release();
  }
  CoResumeClassObjects();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  if (HasSwitch(commandLine, L"RegServer")) return SUCCEEDED(RegisterLocalServers()) ? 0 : 1;
  if (HasSwitch(commandLine, L"UnregServer")) return SUCCEEDED(UnregisterLocalServers()) ? 0 : 1;
  const bool privateProcess = HasSwitch(commandLine, kPrivateSwitch);

  // One apartment thread: the objects' timers and posted completions run in this loop.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  // Clients call in and take callbacks without authentication, as OPC clients expect.
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                       RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
  ClassFactory::SetCreatedHook(privateProcess ? OnPrivateServerCreated : OnServerCreated);
  SimServer::SetOwnProcess(true);
  Register(privateProcess);

  // Checked a few times a second. Idle since: the start, or the last moment in use.
  const UINT_PTR timer = SetTimer(nullptr, 0, kCheckMs, nullptr);
  ULONGLONG idleSince = GetTickCount64();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && !msg.hwnd && msg.wParam == timer) {
      const ULONGLONG now = GetTickCount64();
      if (InUse()) {
        idleSince = now;
        continue;
      }
      // With the class objects withdrawn no client can come any more.
      const DWORD wait = g_cookies.empty() ? 0 : !g_served ? kNoClientMs : kLingerMs;
      if (now - idleSince < wait) continue;
      // A client may have come between the check and the withdrawal: it is served to its
      // end, and the next one starts a new process.
      WithdrawClassObjects();
      if (!InUse()) break;
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  KillTimer(nullptr, timer);
  WithdrawClassObjects();
  CoUninitialize();
  return 0;
}
