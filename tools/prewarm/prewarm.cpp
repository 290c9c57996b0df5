// Starts Wine's background processes (services, desktop, RPC) once, with their output going
// nowhere, so that later test processes do not hand them ctest's pipes and keep ctest waiting.
// With --hold it then stays until it is ended: a desktop with no process left on it is closed
// by Wine, and the test process that happens to start next would start explorer (and with it
// the services) again, handing them its output pipe; ctest then waits for that test until the
// desktop closes again, which under load took from seconds to past the test's time-out.
#include <windows.h>
#include <objbase.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  HWND wnd = CreateWindowExW(0, L"STATIC", L"prewarm", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    IUnknown* unk = nullptr;
    // Any class will do: the call is what brings up the RPC service.
    if (SUCCEEDED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IUnknown, reinterpret_cast<void**>(&unk))))
      unk->Release();
    CoUninitialize();
  }
  if (argc > 1 && std::wcscmp(argv[1], L"--hold") == 0) {
    // Holds the desktop with its hidden window until the run's clean-up ends the process.
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  }
  if (wnd) DestroyWindow(wnd);
  return 0;
}
