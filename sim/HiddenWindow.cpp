#include "HiddenWindow.h"

namespace plover::sim {

namespace {

const wchar_t kClassName[] = L"PloverSimHiddenWindow";
const UINT kPostedMessage = WM_APP + 1;

bool ClassRegistered() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  return GetClassInfoExW(ModuleInstance(), kClassName, &wc) != FALSE;
}

}  // namespace

LRESULT CALLBACK HiddenWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* handler = reinterpret_cast<WindowHandler*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_TIMER:
      if (handler) handler->OnTimer(wParam);
      return 0;
    case kPostedMessage:
      if (handler) handler->OnPosted();
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

bool HiddenWindow::Create(WindowHandler* handler) {
  if (!ClassRegistered()) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &HiddenWindow::WindowProc;
    wc.hInstance = ModuleInstance();
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  m_hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           ModuleInstance(), nullptr);
  if (!m_hwnd) return false;
  SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(handler));
  return true;
}

void HiddenWindow::Destroy() {
  if (!m_hwnd) return;
  // Messages still queued for the window must not reach a handler that is going away.
  SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
  DestroyWindow(m_hwnd);
  m_hwnd = nullptr;
}

void HiddenWindow::StartTimer(UINT_PTR id, DWORD ms) {
  if (m_hwnd) SetTimer(m_hwnd, id, ms, nullptr);
}

void HiddenWindow::StopTimer(UINT_PTR id) {
  if (m_hwnd) KillTimer(m_hwnd, id);
}

void HiddenWindow::Post() {
  if (m_hwnd) PostMessageW(m_hwnd, kPostedMessage, 0, 0);
}

void HiddenWindow::UnregisterWindowClass() {
  UnregisterClassW(kClassName, ModuleInstance());
}

}  // namespace plover::sim
