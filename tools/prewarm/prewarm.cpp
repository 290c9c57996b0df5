// Starts Wine's background processes (services, desktop, RPC) once, with their output going
// nowhere, so that later test processes do not hand them ctest's pipes and keep ctest waiting.
#include <windows.h>
#include <objbase.h>

int main() {
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
  if (wnd) DestroyWindow(wnd);
  return 0;
}
