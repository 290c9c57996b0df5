#include "OpcMessage.h"

namespace {
int SystemMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
  return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}
OpcMessageBoxFn g_messageBox = SystemMessageBox;
}  // namespace

OpcMessageBoxFn SetOpcMessageBox(OpcMessageBoxFn fn) {
  OpcMessageBoxFn old = g_messageBox;
  g_messageBox = fn ? fn : SystemMessageBox;
  return old;
}

int OpcMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
  return g_messageBox(owner, text, caption, type);
}
