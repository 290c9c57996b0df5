// Every message box the client core shows goes through here, so tests can capture the
// texts instead of blocking on a box.
#pragma once
#include <windows.h>

#include <string>

// owner: the window that owns the box, or nullptr for none. Returns the pressed button.
using OpcMessageBoxFn = int (*)(HWND owner, const std::wstring& text, const std::wstring& caption,
                                UINT type);

// Installs a replacement (nullptr restores the system message box); returns the previous one.
OpcMessageBoxFn SetOpcMessageBox(OpcMessageBoxFn fn);
int OpcMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// The application title every core message uses as caption.
inline constexpr const wchar_t* kOpcAppTitle = L"Plover";
