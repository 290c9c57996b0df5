// The value layout a server writes into its data streams, where its bitness can be known
// before any stream arrives: an in-process server is of this build's bitness, a local
// server of its executable's machine type.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "OpcStream.h"

// The layout of the executable whose first bytes are given (its MZ and PE headers), or
// `fallback` when they name no machine we know.
opcstream::Layout LayoutOfExecutable(const uint8_t* head, size_t size, opcstream::Layout fallback);

// For the class registered under HKEY_CLASSES_ROOT\CLSID: InprocServer32 gives this build's
// layout, LocalServer32 its executable's; anything else (remote, unreadable) this build's.
opcstream::Layout ServerLayoutOf(REFCLSID clsid);
