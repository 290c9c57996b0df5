// The simulation server as an executable (LocalServer32): the same server objects as the
// DLL's, reached through COM marshalling from another process. COM starts it with
// -Embedding; /RegServer and /UnregServer write and remove its registration.
//
// Each process serves one client's server object: once an object is created the class
// objects are withdrawn, so the next client starts a process of its own. Clients (and tests
// running side by side) then never share live-object counts or a crash. The process ends
// when its last object is released.
#include "ClassFactory.h"
#include "ComObject.h"
#include "HiddenWindow.h"
#include "Registration.h"

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
  WithdrawClassObjects();
}

// Objects a client still holds, and IClassFactory::LockServer locks. Checked once the class
// objects are withdrawn, so only factories a client still holds count among the objects.
bool InUse() {
  return ModuleLockCount() > 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  if (HasSwitch(commandLine, L"RegServer")) return SUCCEEDED(RegisterLocalServers()) ? 0 : 1;
  if (HasSwitch(commandLine, L"UnregServer")) return SUCCEEDED(UnregisterLocalServers()) ? 0 : 1;

  // One apartment thread: the objects' timers and posted completions run in this loop.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  // Clients call in and take callbacks without authentication, as OPC clients expect.
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                       RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
  ClassFactory::SetCreatedHook(OnServerCreated);
  size_t count = 0;
  const VariantInfo* variants = LocalVariants(&count);
  for (size_t i = 0; i < count; ++i) {
    auto* factory = new (std::nothrow) ClassFactory(variants[i].variant);
    if (!factory) break;
    DWORD cookie = 0;
    if (SUCCEEDED(CoRegisterClassObject(*variants[i].clsid, static_cast<IClassFactory*>(factory),
                                        CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED,
                                        &cookie)))
      g_cookies.push_back(cookie);
    factory->Release();
  }
  CoResumeClassObjects();

  // Checked a few times a second: ends after the last object goes, or when no client came
  // within half a minute of a start.
  constexpr UINT kCheckMs = 200;
  constexpr DWORD kNoClientMs = 30000;
  const UINT_PTR timer = SetTimer(nullptr, 0, kCheckMs, nullptr);
  const ULONGLONG started = GetTickCount64();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && !msg.hwnd && msg.wParam == timer) {
      if (g_served ? !InUse() : GetTickCount64() - started > kNoClientMs) break;
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
