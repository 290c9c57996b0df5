// Which VARIANTs hold their whole value inside themselves (no string, array or interface):
// those are copied by assignment, with nothing to allocate or free.
#pragma once
#include <windows.h>
#include <oleauto.h>

inline bool IsPlainVariantType(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
    case VT_CY:
    case VT_DATE:
    case VT_ERROR:
    case VT_DECIMAL:  // fills the VARIANT, type word included
      return true;
    default:
      return false;
  }
}
