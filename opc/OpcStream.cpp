#include "OpcStream.h"

#include <algorithm>
#include <cstdint>

namespace opcstream {

namespace {

// Padding a writer may leave after a value before the next one starts.
constexpr uint64_t kSlack = 8;

Fit Judge(uint64_t used, uint64_t span) {
  return span - used < kSlack ? Fit::kExact : Fit::kLoose;
}

// A string's fit, its terminator checked.
Fit StringFit(const uint8_t* slot, uint64_t span, Layout layout) {
  const uint64_t charsAt = Shape(layout).variantSize + 4;
  if (span < charsAt + 2) return Fit::kNone;
  const uint32_t bytes = Read32(slot + charsAt - 4);
  if (bytes > span - charsAt - 2) return Fit::kNone;
  const uint8_t* nul = slot + charsAt + bytes;
  if (nul[0] != 0 || nul[1] != 0) return Fit::kNone;
  return Judge(charsAt + bytes + 2, span);
}

// The string records of a BSTR array from `at` (bytes from the slot), each inside `span`
// and ending in its NUL character (which also tells the two encodings apart). Returns the bytes
// used from the slot, or 0 when a record does not fit.
uint64_t StringRecordsEnd(const uint8_t* slot, uint64_t span, uint64_t at, uint32_t count,
                          StringArrayEncoding encoding) {
  const uint64_t pad = encoding == StringArrayEncoding::kSlots ? 3 : 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (at > span || span - at < 4) return 0;
    const uint32_t bytes = Read32(slot + at);
    if (bytes > span - at - 4) return 0;
    const uint64_t nulAt = at + 4 + bytes;
    if (span - nulAt < 2 || slot[nulAt] != 0 || slot[nulAt + 1] != 0) return 0;
    // The last record's padding may be cut by the block's end.
    at = std::min(span, (nulAt + 2 + pad) & ~pad);
  }
  return at;
}

ValueView DecodeArray(const uint8_t* slot, uint64_t span, uint16_t vt, const LayoutShape& shape,
                      bool strict, Fit* fit) {
  ValueView v;
  v.vt = vt;
  // Only the array flag and an element type; by-reference and other flags carry pointers.
  if ((vt & ~(kVtArray | kVtTypeMask)) != 0) {
    if (fit) *fit = Fit::kNeutral;
    return v;
  }
  if (span < shape.arrayDataAt) return v;
  const uint16_t elem = vt & kVtTypeMask;
  const uint8_t* desc = slot + shape.variantSize;
  const uint16_t dims = Read16(desc);
  const uint32_t cbElements = Read32(desc + 4);
  const uint32_t count = Read32(desc + shape.countAt);
  const int32_t lower = static_cast<int32_t>(Read32(desc + shape.countAt + 4));
  if (dims != 1) return v;
  // The upper bound lLbound + count - 1 must still be a 32-bit index.
  if (static_cast<int64_t>(lower) + count - 1 > INT32_MAX) return v;
  const uint64_t space = span - shape.arrayDataAt;
  uint64_t used = 0;
  if (elem == kVtBstr) {
    if (cbElements != shape.pointerSize) return v;
    // Either encoding where every string fits; where both do, the tighter one.
    uint64_t slotsEnd = 0;
    if (uint64_t{count} * cbElements <= space)
      slotsEnd = StringRecordsEnd(slot, span, shape.arrayDataAt + uint64_t{count} * cbElements,
                                  count, StringArrayEncoding::kSlots);
    const uint64_t packedAt =
        StringRecordsEnd(slot, span, shape.arrayDataAt, count, StringArrayEncoding::kPacked);
    const bool packedFits = packedAt != 0;
    // Zero element slots also read as packed empty strings, and the reverse: only an
    // encoding that fills the value's span counts.
    if (slotsEnd && Judge(slotsEnd, span) != Fit::kExact) slotsEnd = 0;
    const uint64_t packedEnd = packedFits && Judge(packedAt, span) == Fit::kExact ? packedAt : 0;
    if (!slotsEnd && !packedEnd) return v;
    const bool packed = packedEnd && (!slotsEnd || packedEnd > slotsEnd);
    v.encoding = packed ? StringArrayEncoding::kPacked : StringArrayEncoding::kSlots;
    v.data = slot + (packed ? shape.arrayDataAt : shape.arrayDataAt + uint64_t{count} * cbElements);
    used = packed ? packedEnd : slotsEnd;
    v.kind = ValueKind::kStringArray;
    v.end = slot + span;
  } else {
    const size_t elementSize = FixedSize(elem);
    if (elementSize == 0) {
      if (fit) *fit = Fit::kNeutral;  // VARIANT or pointer elements: not ours to read
      return v;
    }
    if (cbElements != elementSize) return v;
    if (uint64_t{count} * elementSize > space) return v;
    v.kind = ValueKind::kArray;
    v.data = slot + shape.arrayDataAt;
    v.elementSize = static_cast<uint32_t>(elementSize);
    used = shape.arrayDataAt + uint64_t{count} * elementSize;
  }
  const Fit how = Judge(used, span);
  if (fit) *fit = how;
  if (strict && how != Fit::kExact) {
    v.kind = ValueKind::kSkip;
    return v;
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

ValueView DecodeValueIn(const uint8_t* slot, uint64_t span, Layout layout, bool strict, Fit* fit) {
  const LayoutShape shape = Shape(layout);
  ValueView v;
  if (fit) *fit = Fit::kNone;
  // Every value reads at most 16 bytes of its slot; a whole slot must fit only to count
  // for the layout.
  if (span < kVariantSize) return v;
  v.vt = Read16(slot);
  if (v.vt == kVtBstr) {
    if (fit) *fit = StringFit(slot, span, layout);
    return SlotString(slot, span, layout, strict);
  }
  if (v.vt & kVtArray) return DecodeArray(slot, span, v.vt, shape, strict, fit);
  if (v.vt == kVtEmpty || v.vt == kVtNull || v.vt == kVtDecimal || FixedSize(v.vt) != 0) {
    v.kind = ValueKind::kScalar;
    // A DECIMAL fills the whole VARIANT; its first word is where vt is.
    v.data = v.vt == kVtDecimal ? slot : slot + 8;
  }
  if (fit) {
    // A scalar says which layout it is in by the slot it takes.
    *fit = span < shape.variantSize ? Fit::kNone : Judge(shape.variantSize, span);
    if (v.kind == ValueKind::kSkip && *fit != Fit::kNone) *fit = Fit::kNeutral;
  }
  return v;
}

ValueView DecodeValue(const uint8_t* block, size_t size, uint32_t offset) {
  if (offset > size) return ValueView{};
  return DecodeValueIn(block + offset, size - offset, Layout::k32, false);
}

SpanTable::SpanTable(const uint8_t* block, size_t size, const DataHeader& header, size_t headerSize,
                     size_t count)
    : m_headers(block + kGroupHeaderSize),
      m_headerSize(headerSize),
      m_count(count),
      m_size(size),
      // The stream's own length where it is believable: the block may be rounded up.
      m_end(header.dwSize >= kGroupHeaderSize && header.dwSize <= size ? header.dwSize : size) {
  // Only an offset with room for a slot starts a value; others must not cut a span short.
  auto starts = [size](uint32_t offset) { return offset <= size && size - offset >= kVariantSize; };
  uint32_t last = 0;
  for (size_t i = 0; i < count && m_ordered; ++i) {
    const uint32_t offset = Read32(m_headers + i * headerSize + 4);
    if (!starts(offset) || (i && offset <= last)) m_ordered = false;
    last = offset;
  }
  if (m_ordered) return;
  m_sorted.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t offset = Read32(m_headers + i * headerSize + 4);
    if (starts(offset)) m_sorted.push_back(offset);
  }
  std::sort(m_sorted.begin(), m_sorted.end());
}

uint64_t SpanTable::SpanSlow(uint32_t offset) const {
  uint64_t next = 0;
  if (!m_ordered) {
    auto it = std::upper_bound(m_sorted.begin(), m_sorted.end(), offset);
    if (it != m_sorted.end()) next = *it;
  }
  if (next > offset && next <= m_size) return next - offset;
  // The last value: up to the stream's length, or the block's if that is shorter.
  return (m_end > offset ? m_end : m_size) - offset;
}

Layout ChooseLayout(const uint8_t* block, size_t, const SpanTable& spans, size_t headerSize,
                    size_t count, Layout preferred, bool* strict) {
  // Fit of the whole stream per layout: the worst fit of any value.
  Fit worst[2] = {Fit::kExact, Fit::kExact};
  const uint8_t* h = block + kGroupHeaderSize;
  for (size_t i = 0; i < count; ++i, h += headerSize) {
    const uint32_t offset = Read32(h + 4);
    const uint64_t span = spans.SpanAt(i, offset);
    if (span < kVariantSize) continue;  // skipped in every layout
    const bool scalar = IsSlotScalar(Read16(block + offset));
    // Scalars read the same in both layouts: once one layout is ruled out they have
    // nothing more to say.
    if (scalar && (worst[0] == Fit::kNone || worst[1] == Fit::kNone)) continue;
    const uint16_t vt = Read16(block + offset);
    const bool string = !scalar && vt == kVtBstr;
    const bool fixedArray = !scalar && IsFixedArray(vt);
    auto judge = [&](int l) {
      if (string) return StringFit(block + offset, span, static_cast<Layout>(l));
      if (fixedArray) {
        uint64_t used;
        SlotFixedArray(block + offset, span, vt, static_cast<Layout>(l), &used);
        return used ? Judge(used, span) : Fit::kNone;
      }
      if (!scalar) {
        Fit f;
        DecodeValueIn(block + offset, span, static_cast<Layout>(l), false, &f);
        return f;
      }
      // A scalar says which layout it is in by the slot it takes: 16 or 24 bytes.
      const uint32_t slot = Shape(static_cast<Layout>(l)).variantSize;
      return span < slot ? Fit::kNone : Judge(slot, span);
    };
    // A layout already ruled out is judged again only where the other one's fit is loose or
    // none (to see a value of its own there); one reading per value in the common case.
    Fit fit[2] = {Fit::kNone, Fit::kNone};
    bool known[2] = {worst[0] != Fit::kNone, worst[1] != Fit::kNone};
    for (int l = 0; l < 2; ++l)
      if (known[l]) fit[l] = judge(l);
    for (int l = 0; l < 2; ++l)
      if (!known[l] && known[1 - l] && (fit[1 - l] == Fit::kLoose || fit[1 - l] == Fit::kNone))
        fit[l] = judge(l);
    // A value that fits neither layout is broken, not evidence: it is skipped in both.
    if (fit[0] == Fit::kNone && fit[1] == Fit::kNone) continue;
    for (int l = 0; l < 2; ++l) {
      // A value that fits one layout exactly and the other only loosely is of the first:
      // the other reading would take part of it for padding.
      Fit f = fit[l] == Fit::kLoose && fit[1 - l] == Fit::kExact ? Fit::kNone : fit[l];
      if (f == Fit::kNone || (f == Fit::kLoose && worst[l] == Fit::kExact)) worst[l] = f;
    }
    if (worst[0] == Fit::kNone && worst[1] == Fit::kNone) break;
  }
  auto rank = [](Fit f) { return f == Fit::kExact ? 2 : f == Fit::kLoose ? 1 : 0; };
  const int p = static_cast<int>(preferred);
  const int other = 1 - p;
  const int best = rank(worst[other]) > rank(worst[p]) ? other : p;
  // A stream that fits no layout may mix them: read only what fits exactly.
  *strict = worst[best] != Fit::kLoose;
  return static_cast<Layout>(best);
}

bool ReadDataHeader(const uint8_t* block, size_t size, DataHeader* header) {
  if (!block || size < kGroupHeaderSize) return false;
  header->dwSize = Read32(block);
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
