// Builds the OPC DA 1.0 data and write-complete streams. By default in the value layout of
// the build's own pointer size, as independent servers do; SetForm chooses the other one,
// or the tightly packed form some independent servers write.
//
// Data stream: 20-byte group header, then one item header per item (20 bytes with
// time stamps, 12 without), then the value area. In the 32-bit layout each value starts
// at an 8-byte boundary with a 16-byte VARIANT slot: vt at +0, the value bytes at +8.
// Pointer fields are written as 0; readers rewrite them to the payload that follows:
//   VT_BSTR            +16: byte length (4), +20: characters, then a NUL character.
//   VT_ARRAY | scalar  +16: 24-byte one-dimensional SAFEARRAY descriptor (cDims 1,
//                      fFeatures, cbElements, cLocks 0, pvData 0, cElements,
//                      lLbound), +40: the elements.
//   VT_ARRAY | VT_BSTR +16: descriptor with cbElements 4 and FADF_BSTR, +40: one
//                      4-byte element slot per string, all 0 (so a reader that copies
//                      the array as it stands sees null, that is empty, strings and
//                      touches nothing else), then per element: byte length (4),
//                      characters, a NUL character, padding to a 4-byte boundary.
//                      The whole value stays inside its dwValueOffset span, so a
//                      reader that knows nothing of it skips it safely.
// The 64-bit layout has a 24-byte slot (the string's length word at +24, the characters at
// +28) and a 32-byte descriptor at +24 (cDims, fFeatures, cbElements, cLocks, 4 bytes of
// padding, 8-byte pvData, cElements, lLbound), the data at +56; BSTR element slots are 8
// bytes. The packed form puts each value right after the previous one (any offset, odd
// ones too) and a BSTR array's strings right after the descriptor, with no element slots
// and no padding.
// A VT_DECIMAL fills the whole 16 bytes of the VARIANT (its reserved first word is where vt
// is), in both layouts; the 64-bit slot's last 8 bytes stay 0. Arrays of it have 16-byte
// elements. Types without a fixed wire form (interfaces, by-reference values, variant
// arrays) are sent as VT_EMPTY.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <vector>

namespace plover::sim {

struct StreamItem {
  DWORD hClient = 0;
  WORD quality = 0;
  FILETIME timeStamp{};
  const VARIANT* value = nullptr;  // null sends VT_EMPTY
  HRESULT error = S_OK;            // the item's own result; only OPC DA 2.0 callbacks carry it
};

struct WriteResult {
  DWORD hClient = 0;
  HRESULT error = S_OK;
};

class StreamWriter {
 public:
  // pointerBytes 4 or 8 (anything else: the build's own); packed as described above.
  void SetForm(unsigned pointerBytes, bool packed);

  void BuildData(DWORD hClientGroup, DWORD transactionId, HRESULT hrStatus, bool withTime,
                 const StreamItem* items, size_t count);
  void BuildWriteComplete(DWORD hClientGroup, DWORD transactionId, HRESULT hrStatus,
                          const WriteResult* results, size_t count);

  const std::vector<uint8_t>& Bytes() const { return m_bytes; }
  // A fresh movable global block holding the bytes; null when out of memory.
  HGLOBAL CopyToGlobal() const;

  // Bytes one value occupies in the value area (slot, payload and padding).
  size_t ValueSize(const VARIANT* value) const;

 private:
  size_t WriteValue(size_t at, const VARIANT* value);

  std::vector<uint8_t> m_bytes;
  size_t m_pointer = sizeof(void*);
  bool m_packed = false;
};

}  // namespace plover::sim
