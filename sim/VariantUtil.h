// Value helpers shared by the engine: type checks, conversion, comparison.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace plover::sim {

// Scalar element types the server converts between.
bool IsSupportedScalarType(VARTYPE vt);
// Whether values of the canonical type can always be delivered as the requested type
// (VT_EMPTY asks for the canonical type).
bool CanConvertType(VARTYPE canonical, VARTYPE requested);
// Converts into *out (cleared first). Arrays convert element by element; only
// one-dimensional arrays are accepted. Target VT_EMPTY copies unchanged.
HRESULT ConvertValue(const VARIANT& in, VARTYPE target, VARIANT* out);
// Exact equality of type and value (strings and arrays by content).
bool SameValue(const VARIANT& a, const VARIANT& b);
// Bytes of one value of a fixed-size scalar type; 0 for strings, variants and the unknown.
size_t ScalarSize(VARTYPE vt);
// Numeric reading of a scalar value, for deadband and range checks.
bool ValueAsDouble(const VARIANT& v, double* out);

// VariantCopy with a const source (the platform's declaration lacks the const).
inline HRESULT CopyVariant(VARIANT* dst, const VARIANT* src) {
  return VariantCopy(dst, const_cast<VARIANT*>(src));
}

// VARIANT with automatic clearing.
class Variant {
 public:
  Variant() { VariantInit(&v); }
  Variant(const Variant& o) {
    VariantInit(&v);
    CopyVariant(&v, &o.v);
  }
  Variant& operator=(const Variant& o) {
    if (this != &o) CopyVariant(&v, &o.v);
    return *this;
  }
  Variant(Variant&& o) noexcept {
    v = o.v;
    VariantInit(&o.v);
  }
  Variant& operator=(Variant&& o) noexcept {
    if (this != &o) {
      VariantClear(&v);
      v = o.v;
      VariantInit(&o.v);
    }
    return *this;
  }
  ~Variant() { VariantClear(&v); }
  void Clear() { VariantClear(&v); }
  VARIANT v;
};

}  // namespace plover::sim
