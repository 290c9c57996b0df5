// Reader of the OPC DA 1.0 stream layouts ("OPCSTMFORMATDATA", "OPCSTMFORMATDATATIME",
// "OPCSTMFORMATWRITECOMPLETE") over a byte block and its real size. Plain C++, no
// windows.h, so it also builds natively for fuzzing.
//
// The layout is the fixed 32-bit one on every build: 16-byte VARIANT slots, 4-byte pointer
// fields. The block is only read, never rewritten: instead of patching the server's
// pointers in place, each value is handed out as a view of where its payload lies. Every
// count, offset and length the server wrote is checked against the block size before
// anything it names is read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace opcstream {

// Wire sizes.
constexpr size_t kGroupHeaderSize = 20;
constexpr size_t kItemHeaderTimeSize = 20;  // OPCITEMHEADER1
constexpr size_t kItemHeaderSize = 12;      // OPCITEMHEADER2
constexpr size_t kWriteHeaderSize = 16;     // OPCGROUPHEADERWRITE
constexpr size_t kWriteEntrySize = 8;       // OPCITEMHEADERWRITE
constexpr size_t kVariantSize = 16;
constexpr size_t kStringCharsAt = 20;   // after the slot and a 4-byte byte-length word
constexpr size_t kDescriptorSize = 24;  // one-dimensional SAFEARRAY, 32-bit layout
constexpr size_t kArrayDataAt = kVariantSize + kDescriptorSize;

// VARIANT type tags (the numbers of the platform's VARENUM).
enum : uint16_t {
  kVtEmpty = 0,
  kVtNull = 1,
  kVtI2 = 2,
  kVtI4 = 3,
  kVtR4 = 4,
  kVtR8 = 5,
  kVtCy = 6,
  kVtDate = 7,
  kVtBstr = 8,
  kVtError = 10,
  kVtBool = 11,
  kVtDecimal = 14,
  kVtI1 = 16,
  kVtUi1 = 17,
  kVtUi2 = 18,
  kVtUi4 = 19,
  kVtI8 = 20,
  kVtUi8 = 21,
  kVtInt = 22,
  kVtUint = 23,
  kVtTypeMask = 0x0FFF,
  kVtArray = 0x2000,
};

inline uint16_t Read16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Read64(const uint8_t* p) {
  return Read32(p) | (static_cast<uint64_t>(Read32(p + 4)) << 32);
}

// Bytes a value of this type occupies: in the slot's 8 value bytes for a scalar, per
// element for an array. VT_DECIMAL is 16 (as a scalar it fills the whole slot). 0 for
// types with no fixed form: strings, pointers, variants, records, VT_EMPTY, VT_NULL.
size_t FixedSize(uint16_t vt);

enum class ValueKind : uint8_t {
  kSkip,         // does not fit the block or has no form we copy; leave the record alone
  kScalar,       // data: the slot's 8 value bytes, or the whole 16-byte slot for VT_DECIMAL;
                 // VT_EMPTY and VT_NULL carry nothing
  kString,       // data: the characters; byteLength of them
  kArray,        // data: count elements of elementSize bytes each
  kStringArray,  // data: the first string record after the element slots; count strings,
                 // read them with ForEachArrayString. Only when every string lies inside
                 // the block; otherwise the whole value is kSkip
};

struct ValueView {
  ValueKind kind = ValueKind::kSkip;
  uint16_t vt = kVtEmpty;  // the type tag as sent (VT_ARRAY | element type for arrays)
  const uint8_t* data = nullptr;
  uint32_t byteLength = 0;  // kString
  uint32_t count = 0;       // arrays: number of elements
  uint32_t elementSize = 0;
  int32_t lowerBound = 0;
  const uint8_t* end = nullptr;  // kStringArray: end of the block
};

// Locates the value whose VARIANT slot starts at `offset`. Never reads outside
// [block, block + size).
ValueView DecodeValue(const uint8_t* block, size_t size, uint32_t offset);

// Calls fn(chars, byteLength) for every string of a kStringArray view, in order.
// Each string is on the wire as: byte length (4), characters, a NUL, padding to 4 bytes.
template <class Fn>
void ForEachArrayString(const ValueView& v, Fn&& fn) {
  const uint8_t* p = v.data;
  for (uint32_t i = 0; i < v.count; ++i) {
    // DecodeValue checked every record; these checks only keep a forged view harmless.
    if (static_cast<size_t>(v.end - p) < 4) return;
    const uint32_t bytes = Read32(p);
    if (bytes > static_cast<size_t>(v.end - p) - 4) return;
    fn(p + 4, bytes);
    const uint64_t stride = (uint64_t{4} + bytes + 2 + 3) & ~uint64_t{3};
    if (stride >= static_cast<uint64_t>(v.end - p))
      p = v.end;
    else
      p += stride;
  }
}

struct DataHeader {
  uint32_t itemCount = 0;
  uint32_t hClientGroup = 0;
  uint32_t transactionId = 0;
  uint32_t hrStatus = 0;
};

struct ItemView {
  uint32_t hClient = 0;
  uint16_t quality = 0;
  bool hasTimeStamp = false;
  uint64_t timeStamp = 0;  // FILETIME: low 32 bits, then high 32 bits
  ValueView value;
};

// Reads the group header; false when it does not fit.
bool ReadDataHeader(const uint8_t* block, size_t size, DataHeader* header);

// Decodes a data stream: fn(const ItemView&) for each item header that fits, in order.
// An item header that does not fit ends the walk; a value that does not fit comes as
// kSkip. Returns false, having called nothing, when the group header does not fit.
template <class Fn>
bool ForEachDataItem(const uint8_t* block, size_t size, bool timeStamped, DataHeader* header,
                     Fn&& fn) {
  if (!ReadDataHeader(block, size, header)) return false;
  const size_t headerSize = timeStamped ? kItemHeaderTimeSize : kItemHeaderSize;
  // At most this many headers fit; a larger count is the server's error, not ours to read.
  const size_t fit = (size - kGroupHeaderSize) / headerSize;
  const size_t count = header->itemCount < fit ? header->itemCount : fit;
  const uint8_t* h = block + kGroupHeaderSize;
  ItemView item;
  item.hasTimeStamp = timeStamped;
  for (size_t i = 0; i < count; ++i, h += headerSize) {
    item.hClient = Read32(h);
    item.quality = Read16(h + 8);
    if (timeStamped) item.timeStamp = Read64(h + 12);
    item.value = DecodeValue(block, size, Read32(h + 4));
    fn(static_cast<const ItemView&>(item));
  }
  return true;
}

struct WriteHeader {
  uint32_t itemCount = 0;
  uint32_t hClientGroup = 0;
  uint32_t transactionId = 0;
  uint32_t hrStatus = 0;
  uint32_t entriesInBlock = 0;  // itemCount, cut to the entries that fit the block
};

// Reads a write-complete header; false when it does not fit.
bool ReadWriteHeader(const uint8_t* block, size_t size, WriteHeader* header);

// fn(hClient, error) for each entry that fits the block, in order.
template <class Fn>
void ForEachWriteEntry(const uint8_t* block, size_t size, Fn&& fn) {
  WriteHeader header;
  if (!ReadWriteHeader(block, size, &header)) return;
  const uint8_t* e = block + kWriteHeaderSize;
  for (uint32_t i = 0; i < header.entriesInBlock; ++i, e += kWriteEntrySize)
    fn(Read32(e), Read32(e + 4));
}

}  // namespace opcstream
