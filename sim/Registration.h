// Registry entries of the four server variants (ProgID, CLSID, OPC marker key,
// in-process server path, OPC DA 1.0 component category).
#pragma once

#include "AddressSpace.h"

#include <windows.h>

namespace plover::sim {

struct VariantInfo {
  SimVariant variant;
  const CLSID* clsid;
  const wchar_t* progId;
  const wchar_t* description;
  bool privateProcess = false;  // the executable's: a process for each client
};

const VariantInfo* Variants(size_t* count);
HRESULT RegisterServers();
HRESULT UnregisterServers();

// The same content served by the executable (LocalServer32), under ProgIDs of its own.
// The private variants' command line carries this switch, so a process knows which it is.
inline constexpr wchar_t kPrivateSwitch[] = L"Private";
const VariantInfo* LocalVariants(size_t* count);
HRESULT RegisterLocalServers();
HRESULT UnregisterLocalServers();

}  // namespace plover::sim
