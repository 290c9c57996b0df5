// Walks one fuzz input through the stream reader the way the data sink does and checks
// that everything it is handed lies inside the block. Shared by the fuzz target and the
// replay test, so a crash file found by one is judged the same way by the other.
//
// Input: first byte selects the kind (mod 3: 0 data stream, 1 time-stamped data stream,
// 2 write-complete stream) and, by its next digit in base 3 (0 or 1), the layout the
// reader prefers (32- or 64-bit); the rest is the block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "OpcStream.h"

namespace streamwalk {

struct Result {
  bool inBounds = true;
  bool headerFits = false;
  size_t items = 0;       // item headers or write entries visited
  size_t values = 0;      // values not skipped
  uint32_t checksum = 0;  // every payload byte is read, so a sanitizer sees any stray read
  opcstream::Layout layout = opcstream::Layout::k32;  // as the reader decided
};

inline bool Inside(const uint8_t* block, size_t size, const uint8_t* p, uint64_t n) {
  return p >= block && static_cast<uint64_t>(p - block) <= size &&
         n <= size - static_cast<uint64_t>(p - block);
}

inline void Touch(Result& r, const uint8_t* p, uint64_t n) {
  for (uint64_t i = 0; i < n; ++i) r.checksum = r.checksum * 31 + p[i];
}

inline void CheckValue(const uint8_t* block, size_t size, const opcstream::ValueView& v,
                       Result& r) {
  using opcstream::ValueKind;
  uint64_t n = 0;
  switch (v.kind) {
    case ValueKind::kSkip:
      return;
    case ValueKind::kScalar:
      n = v.vt == opcstream::kVtDecimal ? 16 : 8;
      break;
    case ValueKind::kString:
      n = v.byteLength;
      break;
    case ValueKind::kArray:
      n = uint64_t{v.count} * v.elementSize;
      if (v.elementSize != opcstream::FixedSize(v.vt & opcstream::kVtTypeMask)) r.inBounds = false;
      break;
    case ValueKind::kStringArray: {
      uint32_t seen = 0;
      opcstream::ForEachArrayString(v, [&](const uint8_t* chars, uint32_t bytes) {
        ++seen;
        if (!Inside(block, size, chars, bytes))
          r.inBounds = false;
        else
          Touch(r, chars, bytes);
      });
      if (seen != v.count) r.inBounds = false;  // a view promised strings it does not have
      break;
    }
  }
  ++r.values;
  if (!Inside(block, size, v.data, n)) {
    r.inBounds = false;
    return;
  }
  Touch(r, v.data, n);
}

inline Result Walk(const uint8_t* input, size_t inputSize) {
  Result r;
  if (inputSize == 0) return r;
  const int kind = input[0] % 3;
  const uint8_t* block = input + 1;
  const size_t size = inputSize - 1;
  if (kind == 2) {
    opcstream::WriteHeader h;
    r.headerFits = opcstream::ReadWriteHeader(block, size, &h);
    if (r.headerFits && opcstream::kWriteHeaderSize + uint64_t{h.entriesInBlock} * 8 > size)
      r.inBounds = false;
    opcstream::ForEachWriteEntry(block, size, [&](uint32_t hClient, uint32_t error) {
      ++r.items;
      r.checksum = r.checksum * 31 + hClient + error;
    });
    return r;
  }
  opcstream::DataHeader h;
  const bool timeStamped = kind == 1;
  const opcstream::Layout preferred =
      (input[0] / 3) % 2 ? opcstream::Layout::k64 : opcstream::Layout::k32;
  r.headerFits = opcstream::ForEachDataItem(
      block, size, timeStamped, &h,
      [&](const opcstream::ItemView& item) {
        ++r.items;
        CheckValue(block, size, item.value, r);
      },
      preferred);
  r.layout = h.layout;
  const size_t headerSize =
      timeStamped ? opcstream::kItemHeaderTimeSize : opcstream::kItemHeaderSize;
  if (opcstream::kGroupHeaderSize + uint64_t{r.items} * headerSize > size && r.items)
    r.inBounds = false;
  return r;
}

}  // namespace streamwalk
