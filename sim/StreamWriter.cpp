#include "StreamWriter.h"
#include "VariantUtil.h"

#include <cstring>

namespace plover::sim {

namespace {

constexpr size_t kGroupHeader = 20;
constexpr size_t kItemHeaderTime = 20;
constexpr size_t kItemHeader = 12;

size_t Align(size_t n, size_t to) {
  return (n + to - 1) & ~(to - 1);
}

void Put32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}
void Put16(uint8_t* p, uint16_t v) {
  std::memcpy(p, &v, 2);
}

// Whether the value has a wire form; anything else goes out as VT_EMPTY.
bool Sendable(const VARIANT* v) {
  if (!v) return false;
  if (v->vt & VT_BYREF) return false;
  if (v->vt & VT_ARRAY) {
    if (!v->parray || SafeArrayGetDim(v->parray) != 1) return false;
    VARTYPE elem = v->vt & VT_TYPEMASK;
    return elem == VT_BSTR || ScalarSize(elem) != 0;
  }
  return v->vt == VT_EMPTY || v->vt == VT_NULL || v->vt == VT_BSTR || ScalarSize(v->vt) != 0;
}

void ArrayShape(SAFEARRAY* psa, LONG* lower, ULONG* count) {
  LONG lb = 0, ub = -1;
  SafeArrayGetLBound(psa, 1, &lb);
  SafeArrayGetUBound(psa, 1, &ub);
  *lower = lb;
  *count = ub < lb ? 0 : static_cast<ULONG>(ub - lb + 1);
}

}  // namespace

void StreamWriter::SetForm(unsigned pointerBytes, bool packed) {
  m_pointer = pointerBytes == 4 || pointerBytes == 8 ? pointerBytes : sizeof(void*);
  m_packed = packed;
}

size_t StreamWriter::ValueSize(const VARIANT* v) const {
  // Sizes of the layout: the slot is the VARIANT, the descriptor a one-dimensional
  // SAFEARRAY with a pointer-sized pvData.
  const size_t slot = m_pointer == 8 ? 24 : 16;
  const size_t descriptor = m_pointer == 8 ? 32 : 24;
  const size_t align = m_packed ? 1 : 8;
  const size_t recordAlign = m_packed ? 1 : 4;
  if (!Sendable(v)) return slot;
  if (v->vt == VT_BSTR) return Align(slot + 4 + SysStringByteLen(v->bstrVal) + 2, align);
  if (!(v->vt & VT_ARRAY)) return Align(slot, align);
  VARTYPE elem = v->vt & VT_TYPEMASK;
  LONG lower = 0;
  ULONG count = 0;
  ArrayShape(v->parray, &lower, &count);
  if (elem != VT_BSTR) return Align(slot + descriptor + size_t{count} * ScalarSize(elem), align);
  size_t n = slot + descriptor + (m_packed ? 0 : size_t{count} * m_pointer);
  BSTR* data = nullptr;
  if (count && SUCCEEDED(SafeArrayAccessData(v->parray, reinterpret_cast<void**>(&data)))) {
    for (ULONG i = 0; i < count; ++i) n += Align(4 + SysStringByteLen(data[i]) + 2, recordAlign);
    SafeArrayUnaccessData(v->parray);
  } else {
    n += size_t{count} * Align(6, recordAlign);  // empty strings
  }
  return Align(n, align);
}

size_t StreamWriter::WriteValue(size_t at, const VARIANT* v) {
  const size_t size = ValueSize(v);
  const size_t slotSize = m_pointer == 8 ? 24 : 16;
  const size_t descriptor = m_pointer == 8 ? 32 : 24;
  const size_t countAt = m_pointer == 8 ? 24 : 16;  // in the descriptor
  const size_t recordAlign = m_packed ? 1 : 4;
  uint8_t* slot = m_bytes.data() + at;
  if (!Sendable(v)) {
    Put16(slot, VT_EMPTY);
    return size;
  }
  Put16(slot, v->vt);
  if (v->vt == VT_BSTR) {
    UINT bytes = SysStringByteLen(v->bstrVal);
    Put32(slot + slotSize, bytes);
    if (bytes) std::memcpy(slot + slotSize + 4, v->bstrVal, bytes);
    // The NUL and the padding are already zero.
    return size;
  }
  if (v->vt == VT_DECIMAL) {
    // Fills the 16 bytes of the VARIANT itself; its first word (reserved) is where vt is.
    std::memcpy(slot + 2, reinterpret_cast<const uint8_t*>(&v->decVal) + 2, sizeof(DECIMAL) - 2);
    return size;
  }
  if (!(v->vt & VT_ARRAY)) {
    size_t n = ScalarSize(v->vt);
    if (n) std::memcpy(slot + 8, &v->llVal, n);
    return size;
  }
  VARTYPE elem = v->vt & VT_TYPEMASK;
  size_t cb = elem == VT_BSTR ? m_pointer : ScalarSize(elem);
  LONG lower = 0;
  ULONG count = 0;
  ArrayShape(v->parray, &lower, &count);
  uint8_t* desc = slot + slotSize;
  Put16(desc + 0, 1);  // cDims
  Put16(desc + 2, elem == VT_BSTR ? FADF_BSTR : 0);
  Put32(desc + 4, static_cast<uint32_t>(cb));
  // cLocks, padding and pvData stay 0: the reader finds the data itself.
  Put32(desc + countAt, count);
  Put32(desc + countAt + 4, static_cast<uint32_t>(lower));
  uint8_t* data = slot + slotSize + descriptor;
  void* src = nullptr;
  if (count == 0 || FAILED(SafeArrayAccessData(v->parray, &src))) return size;
  if (elem != VT_BSTR) {
    std::memcpy(data, src, count * cb);
  } else {
    // Element slots (not in the packed form) stay 0; the strings follow them.
    size_t used = slotSize + descriptor + (m_packed ? 0 : count * cb);
    const BSTR* strings = static_cast<const BSTR*>(src);
    for (ULONG i = 0; i < count; ++i) {
      UINT bytes = SysStringByteLen(strings[i]);
      Put32(slot + used, bytes);
      if (bytes) std::memcpy(slot + used + 4, strings[i], bytes);
      used += Align(4 + bytes + 2, recordAlign);
    }
  }
  SafeArrayUnaccessData(v->parray);
  return size;
}

void StreamWriter::BuildData(DWORD hClientGroup, DWORD transactionId, HRESULT hrStatus,
                             bool withTime, const StreamItem* items, size_t count) {
  size_t headers = kGroupHeader + count * (withTime ? kItemHeaderTime : kItemHeader);
  size_t valuesAt = m_packed ? headers : Align(headers, 8);
  size_t total = valuesAt;
  for (size_t i = 0; i < count; ++i) total += ValueSize(items[i].value);
  m_bytes.assign(total, 0);
  uint8_t* p = m_bytes.data();
  Put32(p + 0, static_cast<uint32_t>(total));
  Put32(p + 4, static_cast<uint32_t>(count));
  Put32(p + 8, hClientGroup);
  Put32(p + 12, transactionId);
  Put32(p + 16, static_cast<uint32_t>(hrStatus));
  size_t at = valuesAt;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* h = p + kGroupHeader + i * (withTime ? kItemHeaderTime : kItemHeader);
    Put32(h + 0, items[i].hClient);
    Put32(h + 4, static_cast<uint32_t>(at));
    Put16(h + 8, items[i].quality);
    if (withTime) {
      Put32(h + 12, items[i].timeStamp.dwLowDateTime);
      Put32(h + 16, items[i].timeStamp.dwHighDateTime);
    }
    at += WriteValue(at, items[i].value);
    p = m_bytes.data();
  }
}

void StreamWriter::BuildWriteComplete(DWORD hClientGroup, DWORD transactionId, HRESULT hrStatus,
                                      const WriteResult* results, size_t count) {
  m_bytes.assign(16 + count * 8, 0);
  uint8_t* p = m_bytes.data();
  Put32(p + 0, static_cast<uint32_t>(count));
  Put32(p + 4, hClientGroup);
  Put32(p + 8, transactionId);
  Put32(p + 12, static_cast<uint32_t>(hrStatus));
  for (size_t i = 0; i < count; ++i) {
    Put32(p + 16 + i * 8, results[i].hClient);
    Put32(p + 20 + i * 8, static_cast<uint32_t>(results[i].error));
  }
}

HGLOBAL StreamWriter::CopyToGlobal() const {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, m_bytes.size() ? m_bytes.size() : 1);
  if (!h) return nullptr;
  void* dst = GlobalLock(h);
  if (!dst) {
    GlobalFree(h);
    return nullptr;
  }
  if (!m_bytes.empty()) std::memcpy(dst, m_bytes.data(), m_bytes.size());
  GlobalUnlock(h);
  return h;
}

}  // namespace plover::sim
