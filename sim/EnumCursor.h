// What the standard enumerators (IEnumString, IEnumUnknown, IEnumOPCItemAttributes) share:
// a position into a snapshot, skipped and cloned the same way.
#pragma once

#include <windows.h>

#include <new>
#include <utility>

namespace plover::sim {

// Skip with the standard's result: S_FALSE (and the end) when fewer than celt are left.
inline HRESULT EnumSkip(size_t& pos, size_t size, ULONG celt) {
  size_t left = size - pos;
  if (celt > left) {
    pos = size;
    return S_FALSE;
  }
  pos += celt;
  return S_OK;
}

// A new enumerator of the same snapshot at the same position.
template <class Enum, class Iface, class... Args>
HRESULT EnumClone(Iface** out, Args&&... args) {
  if (!out) return E_INVALIDARG;
  auto* e = new (std::nothrow) Enum(std::forward<Args>(args)...);
  *out = e;
  return e ? S_OK : E_OUTOFMEMORY;
}

}  // namespace plover::sim
