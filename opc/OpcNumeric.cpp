#include "OpcNumeric.h"

OpcNumericKind GetNumericKind(VARTYPE vt) {
  if (vt & VT_ARRAY) return OpcNumericKind::Array;
  switch (vt) {
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
    case VT_CY:
    case VT_DECIMAL:
      return OpcNumericKind::Number;
    case VT_BOOL:
      return OpcNumericKind::Boolean;
    case VT_BSTR:
      return OpcNumericKind::Text;
    default:
      return OpcNumericKind::Other;
  }
}

bool GetNumericValue(const VARIANT& value, double& out) {
  switch (value.vt) {
    case VT_I1:
      out = value.cVal;
      return true;
    case VT_UI1:
      out = value.bVal;
      return true;
    case VT_I2:
      out = value.iVal;
      return true;
    case VT_UI2:
      out = value.uiVal;
      return true;
    case VT_I4:
      out = value.lVal;
      return true;
    case VT_UI4:
      out = value.ulVal;
      return true;
    case VT_INT:
      out = value.intVal;
      return true;
    case VT_UINT:
      out = value.uintVal;
      return true;
    case VT_I8:
      out = static_cast<double>(value.llVal);
      return true;
    case VT_UI8:
      out = static_cast<double>(value.ullVal);
      return true;
    case VT_R4:
      out = value.fltVal;
      return true;
    case VT_R8:
      out = value.dblVal;
      return true;
    case VT_CY:
      out = static_cast<double>(value.cyVal.int64) / 10000.0;
      return true;
    case VT_BOOL:
      out = value.boolVal ? 1.0 : 0.0;
      return true;
    case VT_DECIMAL: {
      double d = 0;
      if (FAILED(::VarR8FromDec(const_cast<DECIMAL*>(&value.decVal), &d))) return false;
      out = d;
      return true;
    }
    default:
      return false;
  }
}
