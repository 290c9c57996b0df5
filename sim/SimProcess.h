// The simulation server as an executable of its own (LocalServer32): its ProgIDs and class
// IDs, and the one hook that only makes sense across processes.
#pragma once

#include <windows.h>
#include <objbase.h>

#define PLOVER_SIM_LOCAL_PROGID L"Plover.SimServer.Local.1"
#define PLOVER_SIM_LOCAL_LARGE_PROGID L"Plover.SimServer.Local.Large.1"

// {3C1E5F6A-8B2D-4E7F-A1C3-5D9E0B7F2A41}
inline constexpr CLSID CLSID_PloverSimServerLocal = {
    0x3c1e5f6a, 0x8b2d, 0x4e7f, {0xa1, 0xc3, 0x5d, 0x9e, 0x0b, 0x7f, 0x2a, 0x41}};
// {7A4B2C9D-1E3F-4A5B-8C6D-0E1F2A3B4C5D}
inline constexpr CLSID CLSID_PloverSimServerLocalLarge = {
    0x7a4b2c9d, 0x1e3f, 0x4a5b, {0x8c, 0x6d, 0x0e, 0x1f, 0x2a, 0x3b, 0x4c, 0x5d}};
// {5E8D3B1A-6C4F-4D2E-9B7A-1F0C8E6D4A32}
inline constexpr IID IID_IPloverSimProcess = {
    0x5e8d3b1a, 0x6c4f, 0x4d2e, {0x9b, 0x7a, 0x1f, 0x0c, 0x8e, 0x6d, 0x4a, 0x32}};

// On every server object: the process that serves it, so a test can end that process the
// way a crash or a kill does.
struct IPloverSimProcess : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetServerProcessId(DWORD* pid) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IPloverSimProcess, 0x5e8d3b1a, 0x6c4f, 0x4d2e, 0x9b, 0x7a, 0x1f, 0x0c, 0x8e, 0x6d,
                0x4a, 0x32)
#endif
