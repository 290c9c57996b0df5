#include "OpcStream.h"

#include <cstdint>

namespace opcstream {

namespace {

// Every string record of a BSTR array must lie inside the block; `at` is the first
// record's offset from the slot, `room` the bytes from the slot to the block's end.
bool StringRecordsFit(const uint8_t* slot, uint64_t room, uint64_t at, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    if (at > room || room - at < 4) return false;
    const uint32_t bytes = Read32(slot + at);
    if (bytes > room - at - 4) return false;
    at += (uint64_t{4} + bytes + 2 + 3) & ~uint64_t{3};
  }
  return true;
}

ValueView DecodeArray(const uint8_t* block, size_t size, const uint8_t* slot, uint64_t room,
                      uint16_t vt) {
  ValueView v;
  v.vt = vt;
  // Only the array flag and an element type; by-reference and other flags carry pointers.
  if ((vt & ~(kVtArray | kVtTypeMask)) != 0 || room < kArrayDataAt) return v;
  const uint16_t elem = vt & kVtTypeMask;
  const uint8_t* desc = slot + kVariantSize;
  const uint16_t dims = Read16(desc);
  const uint32_t cbElements = Read32(desc + 4);
  const uint32_t count = Read32(desc + 16);
  const int32_t lower = static_cast<int32_t>(Read32(desc + 20));
  if (dims != 1) return v;
  // The upper bound lLbound + count - 1 must still be a 32-bit index.
  if (static_cast<int64_t>(lower) + count - 1 > INT32_MAX) return v;
  const uint64_t space = room - kArrayDataAt;
  if (elem == kVtBstr) {
    // Element slots are 4-byte pointer fields; the strings follow them.
    if (cbElements != 4 || uint64_t{count} * 4 > space) return v;
    const uint64_t first = kArrayDataAt + uint64_t{count} * 4;
    if (!StringRecordsFit(slot, room, first, count)) return v;
    v.kind = ValueKind::kStringArray;
    v.data = slot + first;
    v.end = block + size;
  } else {
    const size_t elementSize = FixedSize(elem);
    if (elementSize == 0 || cbElements != elementSize) return v;
    if (uint64_t{count} * elementSize > space) return v;
    v.kind = ValueKind::kArray;
    v.data = slot + kArrayDataAt;
    v.elementSize = static_cast<uint32_t>(elementSize);
  }
  v.count = count;
  v.lowerBound = lower;
  return v;
}

}  // namespace

size_t FixedSize(uint16_t vt) {
  switch (vt) {
    case kVtI1:
    case kVtUi1:
      return 1;
    case kVtI2:
    case kVtUi2:
    case kVtBool:
      return 2;
    case kVtI4:
    case kVtUi4:
    case kVtR4:
    case kVtError:
    case kVtInt:
    case kVtUint:
      return 4;
    case kVtR8:
    case kVtCy:
    case kVtDate:
    case kVtI8:
    case kVtUi8:
      return 8;
    case kVtDecimal:
      return 16;
    default:
      return 0;
  }
}

ValueView DecodeValue(const uint8_t* block, size_t size, uint32_t offset) {
  ValueView v;
  if (offset > size || size - offset < kVariantSize) return v;
  const uint8_t* slot = block + offset;
  const uint64_t room = size - offset;
  v.vt = Read16(slot);
  switch (v.vt) {
    case kVtEmpty:
    case kVtNull:
      v.kind = ValueKind::kScalar;
      v.data = slot + 8;
      return v;
    case kVtDecimal:
      // A DECIMAL fills the whole VARIANT; its first word is where vt is.
      v.kind = ValueKind::kScalar;
      v.data = slot;
      return v;
    case kVtBstr: {
      if (room < kStringCharsAt) return v;
      const uint32_t bytes = Read32(slot + kVariantSize);
      if (bytes > room - kStringCharsAt) return v;
      v.kind = ValueKind::kString;
      v.data = slot + kStringCharsAt;
      v.byteLength = bytes;
      return v;
    }
    default:
      break;
  }
  if (v.vt & kVtArray) return DecodeArray(block, size, slot, room, v.vt);
  if (FixedSize(v.vt) != 0) {
    v.kind = ValueKind::kScalar;
    v.data = slot + 8;
  }
  return v;
}

bool ReadDataHeader(const uint8_t* block, size_t size, DataHeader* header) {
  if (!block || size < kGroupHeaderSize) return false;
  header->itemCount = Read32(block + 4);
  header->hClientGroup = Read32(block + 8);
  header->transactionId = Read32(block + 12);
  header->hrStatus = Read32(block + 16);
  return true;
}

bool ReadWriteHeader(const uint8_t* block, size_t size, WriteHeader* header) {
  if (!block || size < kWriteHeaderSize) return false;
  header->itemCount = Read32(block);
  header->hClientGroup = Read32(block + 4);
  header->transactionId = Read32(block + 8);
  header->hrStatus = Read32(block + 12);
  const size_t fit = (size - kWriteHeaderSize) / kWriteEntrySize;
  header->entriesInBlock = header->itemCount < fit ? header->itemCount : static_cast<uint32_t>(fit);
  return true;
}

}  // namespace opcstream
