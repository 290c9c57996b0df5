// The simulation server as an executable of its own (LocalServer32): its ProgIDs and class
// IDs, and the one hook that only makes sense across processes.
//
// The first two serve every client from one process, as a real server does: what one writes
// the next reads. The private two start a process for each client, with values, clock and
// test hooks of its own, for tests that change them or end the process.
#pragma once

#include <windows.h>
#include <objbase.h>

#define PLOVER_SIM_LOCAL_PROGID L"Plover.SimServer.Local.1"
#define PLOVER_SIM_LOCAL_LARGE_PROGID L"Plover.SimServer.Local.Large.1"
#define PLOVER_SIM_LOCAL_PRIVATE_PROGID L"Plover.SimServer.Local.Private.1"
#define PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID L"Plover.SimServer.Local.Large.Private.1"
// Shared like the first two; browsed through OPC DA 3.0 alone, as some servers are.
#define PLOVER_SIM_LOCAL_DA3ONLY_PROGID L"Plover.SimServer.Local.Da3Only.1"

// {3C1E5F6A-8B2D-4E7F-A1C3-5D9E0B7F2A41}
inline constexpr CLSID CLSID_PloverSimServerLocal = {
    0x3c1e5f6a, 0x8b2d, 0x4e7f, {0xa1, 0xc3, 0x5d, 0x9e, 0x0b, 0x7f, 0x2a, 0x41}};
// {7A4B2C9D-1E3F-4A5B-8C6D-0E1F2A3B4C5D}
inline constexpr CLSID CLSID_PloverSimServerLocalLarge = {
    0x7a4b2c9d, 0x1e3f, 0x4a5b, {0x8c, 0x6d, 0x0e, 0x1f, 0x2a, 0x3b, 0x4c, 0x5d}};
// {D483BE0A-BE1D-4810-A0C0-D877BB062F94}
inline constexpr CLSID CLSID_PloverSimServerLocalPrivate = {
    0xd483be0a, 0xbe1d, 0x4810, {0xa0, 0xc0, 0xd8, 0x77, 0xbb, 0x06, 0x2f, 0x94}};
// {ED4AF6C0-00B4-40FB-8E3B-08C7049A4C6A}
inline constexpr CLSID CLSID_PloverSimServerLocalLargePrivate = {
    0xed4af6c0, 0x00b4, 0x40fb, {0x8e, 0x3b, 0x08, 0xc7, 0x04, 0x9a, 0x4c, 0x6a}};
// {4BC32B29-8CB2-4046-B41B-54297EF7A920}
inline constexpr CLSID CLSID_PloverSimServerLocalDa3Only = {
    0x4bc32b29, 0x8cb2, 0x4046, {0xb4, 0x1b, 0x54, 0x29, 0x7e, 0xf7, 0xa9, 0x20}};
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
