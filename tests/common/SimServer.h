// Reaches a simulation server the way any OPC client does: ProgID to class ID through the
// registry, then an in-process object.
#pragma once
#include <objbase.h>

#include "ComPtr.h"

template <class T>
HRESULT CreateSimServer(const wchar_t* progId, TComPtr<T>& out) {
  out.Release();
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(T), out.PutVoid());
}
