// Reader of the OPC DA 1.0 stream layouts ("OPCSTMFORMATDATA", "OPCSTMFORMATDATATIME",
// "OPCSTMFORMATWRITECOMPLETE") over a byte block and its real size. Plain C++, no
// windows.h, so it also builds natively for fuzzing.
//
// Two value layouts exist in the field: the 32-bit one of the OPC DA standard (16-byte
// VARIANT slots, 24-byte array descriptor) and the one servers built for 64-bit write with
// their own sizes (24-byte VARIANT, 32-byte descriptor). Scalars read the same in both. A
// stream comes from one server process, so its layout is decided once per stream (see
// ChooseLayout). The block is only read, never rewritten: instead of patching the
// server's pointers in place, each value is handed out as a view of where its payload
// lies. Every count, offset and length the server wrote is checked against the block
// size before anything it names is read; values may start at any offset, odd ones too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace opcstream {

// Wire sizes.
constexpr size_t kGroupHeaderSize = 20;
constexpr size_t kItemHeaderTimeSize = 20;  // OPCITEMHEADER1
constexpr size_t kItemHeaderSize = 12;      // OPCITEMHEADER2
constexpr size_t kWriteHeaderSize = 16;     // OPCGROUPHEADERWRITE
constexpr size_t kWriteEntrySize = 8;       // OPCITEMHEADERWRITE
constexpr size_t kVariantSize = 16;         // 32-bit layout
constexpr size_t kStringCharsAt = 20;       // after the slot and a 4-byte byte-length word
constexpr size_t kDescriptorSize = 24;      // one-dimensional SAFEARRAY, 32-bit layout
constexpr size_t kArrayDataAt = kVariantSize + kDescriptorSize;

enum class Layout : uint8_t { k32, k64 };
// The layout of this build's own pointer size: what an in-process server writes.
constexpr Layout kOwnLayout = sizeof(void*) == 8 ? Layout::k64 : Layout::k32;

// Where things are in one layout, in bytes from the value's slot (descriptor fields from
// the descriptor).
struct LayoutShape {
  uint32_t variantSize;  // 16 / 24; also where a string's length word or the descriptor is
  uint32_t countAt;      // cElements in the descriptor; lLbound follows it
  uint32_t arrayDataAt;  // 40 / 56
  uint32_t pointerSize;  // cbElements of a BSTR array
};
constexpr LayoutShape Shape(Layout l) {
  return l == Layout::k64 ? LayoutShape{24, 24, 56, 8} : LayoutShape{16, 16, 40, 4};
}

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
  kStringArray,  // data: the first string record; count strings, read them with
                 // ForEachArrayString. Only when every string lies inside the value's
                 // span; otherwise the whole value is kSkip
};

// The two encodings of a BSTR array's strings after its descriptor, each string on the
// wire as byte length (4), characters, a NUL character.
enum class StringArrayEncoding : uint8_t {
  kSlots,   // one zero element slot per string first, each string padded to 4 bytes
  kPacked,  // the strings right after the descriptor, no slots, no padding
};

struct ValueView {
  ValueKind kind = ValueKind::kSkip;
  uint16_t vt = kVtEmpty;  // the type tag as sent (VT_ARRAY | element type for arrays)
  const uint8_t* data = nullptr;
  uint32_t byteLength = 0;  // kString
  uint32_t count = 0;       // arrays: number of elements
  uint32_t elementSize = 0;
  int32_t lowerBound = 0;
  StringArrayEncoding encoding = StringArrayEncoding::kSlots;  // kStringArray
  const uint8_t* end = nullptr;  // kStringArray: end of the value's span
};

// Locates the value whose VARIANT slot starts at `offset`, in the 32-bit layout, anywhere
// inside the block. Never reads outside [block, block + size).
ValueView DecodeValue(const uint8_t* block, size_t size, uint32_t offset);

// How one value fits the bytes up to the next value (its span) in a layout.
enum class Fit : uint8_t {
  kNone,    // runs past its span, or a string without its terminator
  kLoose,   // inside its span, with 8 or more bytes left over
  kExact,   // inside its span, less than 8 bytes (padding) left over
  kNeutral  // a type the stream reader does not read: says nothing about the layout
};

// Locates the value whose slot is at `slot`, with `span` bytes up to the next value or
// the block's end. With `strict`, a string or array must fit exactly (a value of the
// other layout inside a stream of this one is skipped, not misread). `fit`, when given,
// also receives how the value fits, terminators checked.
ValueView DecodeValueIn(const uint8_t* slot, uint64_t span, Layout layout, bool strict,
                        Fit* fit = nullptr);

// Calls fn(chars, byteLength) for every string of a kStringArray view, in order.
template <class Fn>
void ForEachArrayString(const ValueView& v, Fn&& fn) {
  const uint8_t* p = v.data;
  const uint64_t pad = v.encoding == StringArrayEncoding::kSlots ? 3 : 0;
  for (uint32_t i = 0; i < v.count; ++i) {
    // DecodeValueIn checked every record; these checks only keep a forged view harmless.
    if (p > v.end || static_cast<size_t>(v.end - p) < 4) return;
    const uint32_t bytes = Read32(p);
    if (bytes > static_cast<size_t>(v.end - p) - 4) return;
    fn(p + 4, bytes);
    const uint64_t stride = (uint64_t{4} + bytes + 2 + pad) & ~pad;
    if (stride >= static_cast<uint64_t>(v.end - p))
      p = v.end;
    else
      p += stride;
  }
}

struct DataHeader {
  uint32_t dwSize = 0;
  uint32_t itemCount = 0;
  uint32_t hClientGroup = 0;
  uint32_t transactionId = 0;
  uint32_t hrStatus = 0;
  Layout layout = kOwnLayout;  // as decided by ForEachDataItem
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

// The value spans of a data stream: each value's bytes up to the next larger value offset
// (or the end of the stream), whatever the order of the item headers.
class SpanTable {
 public:
  SpanTable(const uint8_t* block, size_t size, const DataHeader& header, size_t headerSize,
            size_t count);
  // Bytes from `offset` to the end of its span; 0 for an offset outside the stream.
  uint64_t SpanAt(size_t index, uint32_t offset) const {
    if (offset >= m_size) return 0;
    // Ordered: every offset starts a value and the next one lies beyond it.
    if (m_ordered && index + 1 < m_count)
      return Read32(m_headers + (index + 1) * m_headerSize + 4) - uint64_t{offset};
    return SpanSlow(offset);
  }

 private:
  uint64_t SpanSlow(uint32_t offset) const;

  const uint8_t* m_headers;
  size_t m_headerSize, m_count;
  uint64_t m_size, m_end;
  bool m_ordered = true;           // offsets rise strictly with the headers: the common case
  std::vector<uint32_t> m_sorted;  // otherwise every offset, sorted
};

// Type tags whose value lies in the slot itself (VT_EMPTY, VT_NULL and VT_DECIMAL too): they
// read the same in both layouts.
inline bool IsSlotScalar(uint16_t vt) {
  constexpr uint32_t kMask = 0x00FF4CFF;  // 0-7, 10, 11, 14, 16-23
  return vt < 24 && ((kMask >> vt) & 1);
}
inline ValueView SlotScalar(const uint8_t* slot, uint16_t vt) {
  ValueView v;
  v.kind = ValueKind::kScalar;
  v.vt = vt;
  // A DECIMAL fills the whole VARIANT; its first word is where vt is.
  v.data = vt == kVtDecimal ? slot : slot + 8;
  return v;
}

// A VT_BSTR value: the length word right after the slot, then the characters. With
// `strict` it must fill its span up to less than 8 bytes of padding.
inline ValueView SlotString(const uint8_t* slot, uint64_t span, Layout layout, bool strict) {
  ValueView v;
  v.vt = kVtBstr;
  const uint64_t charsAt = Shape(layout).variantSize + 4;
  if (span < charsAt) return v;
  const uint32_t bytes = Read32(slot + charsAt - 4);
  if (bytes > span - charsAt) return v;
  const uint64_t end = charsAt + bytes + 2;
  if (strict && (end > span ? 0 : span - end) >= 8) return v;
  v.kind = ValueKind::kString;
  v.data = slot + charsAt;
  v.byteLength = bytes;
  return v;
}

// Element bytes of the fixed-size types below VT_I1..VT_UINT's end, 0 for the others.
inline size_t InlineFixedSize(uint16_t vt) {
  static constexpr uint8_t kSizes[24] = {0, 0, 2,  4, 4, 8, 8, 8, 0, 0, 4, 2,
                                         0, 0, 16, 0, 1, 1, 2, 4, 8, 8, 4, 4};
  return vt < 24 ? kSizes[vt] : 0;
}

// A one-dimensional array of fixed-size elements (not VT_DECIMAL), read as DecodeValueIn
// would; `used`, when given, receives the bytes it takes, 0 when it does not fit.
inline ValueView SlotFixedArray(const uint8_t* slot, uint64_t span, uint16_t vt, Layout layout,
                                uint64_t* used) {
  ValueView v;
  v.vt = vt;
  if (used) *used = 0;
  const LayoutShape shape = Shape(layout);
  const size_t size = InlineFixedSize(vt & kVtTypeMask);
  if (span < shape.arrayDataAt) return v;
  const uint8_t* desc = slot + shape.variantSize;
  const uint32_t count = Read32(desc + shape.countAt);
  const int32_t lower = static_cast<int32_t>(Read32(desc + shape.countAt + 4));
  if (Read16(desc) != 1 || Read32(desc + 4) != size) return v;
  if (static_cast<int64_t>(lower) + count - 1 > INT32_MAX) return v;
  if (uint64_t{count} * size > span - shape.arrayDataAt) return v;
  v.kind = ValueKind::kArray;
  v.data = slot + shape.arrayDataAt;
  v.elementSize = static_cast<uint32_t>(size);
  v.count = count;
  v.lowerBound = lower;
  if (used) *used = shape.arrayDataAt + uint64_t{count} * size;
  return v;
}
inline bool IsFixedArray(uint16_t vt) {
  const uint16_t elem = vt & kVtTypeMask;
  return (vt & ~kVtTypeMask) == kVtArray && elem != kVtDecimal && InlineFixedSize(elem) != 0;
}

// The layout of one stream: the one in which every string and array value (and every
// scalar's slot) lies exactly within its span, its terminators in place; failing that,
// loosely inside its span; where both or neither do, `preferred` (the server's bitness
// where known, else this build's). Values that fit neither layout do not count. With
// `strict` (no layout fits loosely: the stream may mix them) strings and arrays are read
// only where they fit exactly.
Layout ChooseLayout(const uint8_t* block, size_t size, const SpanTable& spans, size_t headerSize,
                    size_t count, Layout preferred, bool* strict);

// Decodes a data stream: fn(const ItemView&) for each item header that fits, in order.
// An item header that does not fit ends the walk; a value that does not fit comes as
// kSkip. Returns false, having called nothing, when the group header does not fit.
template <class Fn>
bool ForEachDataItem(const uint8_t* block, size_t size, bool timeStamped, DataHeader* header,
                     Fn&& fn, Layout preferred = kOwnLayout) {
  if (!ReadDataHeader(block, size, header)) return false;
  const size_t headerSize = timeStamped ? kItemHeaderTimeSize : kItemHeaderSize;
  // At most this many headers fit; a larger count is the server's error, not ours to read.
  const size_t fit = (size - kGroupHeaderSize) / headerSize;
  const size_t count = header->itemCount < fit ? header->itemCount : fit;
  const SpanTable spans(block, size, *header, headerSize, count);
  bool strict = false;
  const Layout layout = ChooseLayout(block, size, spans, headerSize, count, preferred, &strict);
  header->layout = layout;
  const uint8_t* h = block + kGroupHeaderSize;
  ItemView item;
  item.hasTimeStamp = timeStamped;
  for (size_t i = 0; i < count; ++i, h += headerSize) {
    item.hClient = Read32(h);
    item.quality = Read16(h + 8);
    if (timeStamped) item.timeStamp = Read64(h + 12);
    const uint32_t offset = Read32(h + 4);
    const uint64_t span = spans.SpanAt(i, offset);
    if (span < kVariantSize) {
      item.value = ValueView{};
    } else if (const uint16_t vt = Read16(block + offset); IsSlotScalar(vt)) {
      item.value = SlotScalar(block + offset, vt);
    } else if (vt == kVtBstr) {
      item.value = SlotString(block + offset, span, layout, strict);
    } else if (IsFixedArray(vt)) {
      uint64_t used;
      item.value = SlotFixedArray(block + offset, span, vt, layout, &used);
      if (strict && used && span - used >= 8) item.value.kind = ValueKind::kSkip;
    } else {
      item.value = DecodeValueIn(block + offset, span, layout, strict);
    }
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
