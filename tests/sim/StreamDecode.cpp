#include "StreamDecode.h"

#include <cstring>

namespace {

template <class T>
bool Get(const std::vector<uint8_t>& b, size_t at, T* v) {
  if (at > b.size() || b.size() - at < sizeof(T)) return false;
  std::memcpy(v, b.data() + at, sizeof(T));
  return true;
}

size_t ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_INT:
    case VT_UINT:
    case VT_BSTR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    default:
      return 0;
  }
}

bool ReadString(const std::vector<uint8_t>& b, size_t at, BSTR* out, size_t* used,
                std::string* why) {
  DWORD bytes = 0;
  if (!Get(b, at, &bytes) || bytes % 2 || b.size() - at - 4 < bytes + 2) {
    *why = "string runs past the block";
    return false;
  }
  const uint8_t* chars = b.data() + at + 4;
  if (chars[bytes] != 0 || chars[bytes + 1] != 0) {
    *why = "string without its NUL";
    return false;
  }
  *out = SysAllocStringByteLen(reinterpret_cast<const char*>(chars), bytes);
  *used = 4 + bytes + 2;
  return true;
}

bool ReadValue(const std::vector<uint8_t>& b, size_t at, size_t ptr, VARIANT* v, std::string* why) {
  // The layout of ptr-byte pointers: slot 16 or 24, descriptor 24 or 32.
  const size_t slotSize = ptr == 8 ? 24 : 16;
  const size_t countAt = ptr == 8 ? 24 : 16;
  const size_t pvAt = ptr == 8 ? 16 : 12;
  VARTYPE vt = 0;
  if (!Get(b, at, &vt) || b.size() - at < slotSize) {
    *why = "value slot outside the block";
    return false;
  }
  if (vt == VT_BSTR) {
    size_t used = 0;
    BSTR s = nullptr;
    if (!ReadString(b, at + slotSize, &s, &used, why)) return false;
    v->vt = VT_BSTR;
    v->bstrVal = s;
    return true;
  }
  if (!(vt & VT_ARRAY)) {
    v->vt = vt;
    size_t n = ElementSize(vt);
    if (vt != VT_EMPTY && n == 0) {
      *why = "unexpected scalar type";
      return false;
    }
    if (n) std::memcpy(&v->llVal, b.data() + at + 8, n);
    return true;
  }
  VARTYPE elem = vt & VT_TYPEMASK;
  WORD dims = 0, features = 0;
  DWORD cb = 0, locks = 0, pv = 0, count = 0;
  LONG lower = 0;
  size_t d = at + slotSize;
  if (!Get(b, d, &dims) || !Get(b, d + 2, &features) || !Get(b, d + 4, &cb) ||
      !Get(b, d + 8, &locks) || !Get(b, d + pvAt, &pv) || !Get(b, d + countAt, &count) ||
      !Get(b, d + countAt + 4, &lower)) {
    *why = "array descriptor outside the block";
    return false;
  }
  const size_t elementSize = elem == VT_BSTR ? ptr : ElementSize(elem);
  if (dims != 1 || cb != elementSize || pv != 0 || locks != 0) {
    *why = "unexpected array descriptor";
    return false;
  }
  size_t data = at + slotSize + countAt + 8;
  if (b.size() < data || (b.size() - data) / cb < count) {
    *why = "array data outside the block";
    return false;
  }
  SAFEARRAY* psa = SafeArrayCreateVector(elem, lower, count);
  if (elem == VT_BSTR) {
    size_t s = data + static_cast<size_t>(count) * ptr;
    for (DWORD i = 0; i < count; ++i) {
      DWORD slot = 1;
      Get(b, data + i * ptr, &slot);
      if (slot != 0) {
        *why = "string element slot not zero";
        SafeArrayDestroy(psa);
        return false;
      }
      BSTR str = nullptr;
      size_t used = 0;
      if (!ReadString(b, s, &str, &used, why)) {
        SafeArrayDestroy(psa);
        return false;
      }
      LONG index = lower + static_cast<LONG>(i);
      SafeArrayPutElement(psa, &index, str);
      SysFreeString(str);
      s += (used + 3) & ~size_t(3);
    }
  } else if (count) {
    void* dst = nullptr;
    SafeArrayAccessData(psa, &dst);
    std::memcpy(dst, b.data() + data, static_cast<size_t>(count) * cb);
    SafeArrayUnaccessData(psa);
  }
  v->vt = vt;
  v->parray = psa;
  return true;
}

}  // namespace

bool DecodeData(const std::vector<uint8_t>& block, bool withTime, DecodedData* out,
                std::string* why, size_t pointerBytes) {
  if (!Get(block, 0, &out->size) || !Get(block, 4, &out->itemCount) ||
      !Get(block, 8, &out->hClientGroup) || !Get(block, 12, &out->transactionId) ||
      !Get(block, 16, &out->status)) {
    *why = "short header";
    return false;
  }
  if (out->size != block.size()) {
    *why = "dwSize differs from the block length";
    return false;
  }
  size_t step = withTime ? 20 : 12;
  for (DWORD i = 0; i < out->itemCount; ++i) {
    size_t h = 20 + i * step;
    DecodedValue item;
    if (!Get(block, h, &item.hClient) || !Get(block, h + 4, &item.valueOffset) ||
        !Get(block, h + 8, &item.quality)) {
      *why = "item header outside the block";
      return false;
    }
    if (withTime && (!Get(block, h + 12, &item.timeStamp.dwLowDateTime) ||
                     !Get(block, h + 16, &item.timeStamp.dwHighDateTime))) {
      *why = "time stamp outside the block";
      return false;
    }
    if (item.valueOffset < 20 + out->itemCount * step) {
      *why = "value overlaps the headers";
      return false;
    }
    if (!ReadValue(block, item.valueOffset, pointerBytes, &item.value, why)) return false;
    out->items.push_back(item);
  }
  return true;
}

bool DecodeWriteComplete(const std::vector<uint8_t>& block, DecodedWrite* out, std::string* why) {
  if (!Get(block, 0, &out->itemCount) || !Get(block, 4, &out->hClientGroup) ||
      !Get(block, 8, &out->transactionId) || !Get(block, 12, &out->status)) {
    *why = "short header";
    return false;
  }
  if (block.size() != 16 + static_cast<size_t>(out->itemCount) * 8) {
    *why = "block length does not match the item count";
    return false;
  }
  for (DWORD i = 0; i < out->itemCount; ++i) {
    DWORD h = 0;
    HRESULT e = S_OK;
    Get(block, 16 + i * 8, &h);
    Get(block, 20 + i * 8, &e);
    out->results.emplace_back(h, e);
  }
  return true;
}
