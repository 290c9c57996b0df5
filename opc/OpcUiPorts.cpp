#include "OpcUiPorts.h"

namespace {
int SystemMessageBox(OpcBoxOwner owner, const std::wstring& text, const std::wstring& caption,
                     UINT type) {
  HWND hOwner = owner == OpcBoxOwner::ActiveWindow ? ::GetActiveWindow() : nullptr;
  return ::MessageBoxW(hOwner, text.c_str(), caption.c_str(), type);
}
OpcMessageBoxFn g_messageBox = SystemMessageBox;
IOpcBusyIndicator* g_busy = nullptr;
}  // namespace

OpcMessageBoxFn SetOpcMessageBox(OpcMessageBoxFn fn) {
  OpcMessageBoxFn old = g_messageBox;
  g_messageBox = fn ? fn : SystemMessageBox;
  return old;
}

int OpcMessageBox(OpcBoxOwner owner, const std::wstring& text, const std::wstring& caption,
                  UINT type) {
  return g_messageBox(owner, text, caption, type);
}

IOpcBusyIndicator* SetOpcBusyIndicator(IOpcBusyIndicator* indicator) {
  IOpcBusyIndicator* old = g_busy;
  g_busy = indicator;
  return old;
}

COpcBusyScope::COpcBusyScope() : m_pIndicator(g_busy) {
  if (m_pIndicator) m_pIndicator->Begin();
}

COpcBusyScope::~COpcBusyScope() {
  if (m_pIndicator) m_pIndicator->End();
}
