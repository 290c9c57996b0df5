// A message-only window owned by the DLL on the thread that created a server object:
// it carries the groups' update timers and the posted completion of asynchronous
// calls, so all callbacks reach the client on its own apartment thread.
#pragma once

#include <windows.h>

namespace plover::sim {

class WindowHandler {
 public:
  virtual void OnTimer(UINT_PTR id) = 0;
  virtual void OnPosted() = 0;

 protected:
  ~WindowHandler() = default;
};

class HiddenWindow {
 public:
  HiddenWindow() = default;
  HiddenWindow(const HiddenWindow&) = delete;
  HiddenWindow& operator=(const HiddenWindow&) = delete;
  ~HiddenWindow() { Destroy(); }

  bool Create(WindowHandler* handler);
  void Destroy();
  void StartTimer(UINT_PTR id, DWORD ms);
  void StopTimer(UINT_PTR id);
  void Post();

  // Called from DllMain when the module leaves the process.
  static void UnregisterWindowClass();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND m_hwnd = nullptr;
};

HINSTANCE ModuleInstance();

}  // namespace plover::sim
