// Builds OPC DA 1.0 stream bytes for the tests, well-formed or deliberately broken: the
// fixed 32-bit layout, values 8-byte aligned after the headers, like the simulation server.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "OpcStream.h"

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, size_t at, uint16_t v) {
  std::memcpy(b.data() + at, &v, 2);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  std::memcpy(b.data() + at, &v, 4);
}
inline void Put64(Bytes& b, size_t at, uint64_t v) {
  std::memcpy(b.data() + at, &v, 8);
}
inline void Pad(Bytes& b, size_t to) {
  b.resize((b.size() + to - 1) / to * to, 0);
}

// One 16-byte VARIANT slot with `n` value bytes at +8.
inline Bytes Scalar(uint16_t vt, const void* value = nullptr, size_t n = 0) {
  Bytes b(16, 0);
  Put16(b, 0, vt);
  if (n) std::memcpy(b.data() + 8, value, n);
  return b;
}
template <class T>
Bytes ScalarOf(uint16_t vt, T value) {
  return Scalar(vt, &value, sizeof value);
}

inline Bytes String(const std::u16string& s) {
  const uint32_t bytes = static_cast<uint32_t>(s.size() * 2);
  Bytes b(20 + bytes + 2, 0);
  Put16(b, 0, opcstream::kVtBstr);
  Put32(b, 16, bytes);
  if (bytes) std::memcpy(b.data() + 20, s.data(), bytes);
  Pad(b, 8);
  return b;
}

// A one-dimensional array: slot, 24-byte descriptor, the elements.
inline Bytes Array(uint16_t elemVt, const void* elements, uint32_t count, uint32_t cbElements,
                   int32_t lower = 0, uint16_t dims = 1) {
  Bytes b(40, 0);
  Put16(b, 0, static_cast<uint16_t>(opcstream::kVtArray | elemVt));
  Put16(b, 16, dims);
  Put32(b, 20, cbElements);
  Put32(b, 32, count);
  Put32(b, 36, static_cast<uint32_t>(lower));
  const size_t n = size_t{count} * cbElements;
  if (elements && n)
    b.insert(b.end(), static_cast<const uint8_t*>(elements),
             static_cast<const uint8_t*>(elements) + n);
  Pad(b, 8);
  return b;
}

// BSTR elements as the simulation server sends them: 4-byte slots, then per string its
// byte length, the characters, a NUL, padding to 4.
inline Bytes StringArray(const std::vector<std::u16string>& strings, int32_t lower = 0) {
  Bytes b = Array(opcstream::kVtBstr, nullptr, static_cast<uint32_t>(strings.size()), 4, lower);
  b.resize(40 + 4 * strings.size(), 0);
  for (const auto& s : strings) {
    const size_t at = b.size();
    b.resize(at + 4 + s.size() * 2 + 2, 0);
    Put32(b, at, static_cast<uint32_t>(s.size() * 2));
    std::memcpy(b.data() + at + 4, s.data(), s.size() * 2);
    Pad(b, 4);
  }
  Pad(b, 8);
  return b;
}

struct TestItem {
  uint32_t hClient = 0;
  uint16_t quality = 0xC0;
  uint64_t time = 0;
  Bytes value;
};

// Item headers point at the values in order; returns the block (dwSize filled in).
inline Bytes DataStream(uint32_t group, const std::vector<TestItem>& items, bool timed = true,
                        uint32_t transaction = 0) {
  const size_t headerSize = timed ? 20 : 12;
  Bytes b(20 + items.size() * headerSize, 0);
  Pad(b, 8);
  Put32(b, 4, static_cast<uint32_t>(items.size()));
  Put32(b, 8, group);
  Put32(b, 12, transaction);
  for (size_t i = 0; i < items.size(); ++i) {
    const size_t h = 20 + i * headerSize;
    Put32(b, h, items[i].hClient);
    Put32(b, h + 4, static_cast<uint32_t>(b.size()));
    Put16(b, h + 8, items[i].quality);
    if (timed) Put64(b, h + 12, items[i].time);
    b.insert(b.end(), items[i].value.begin(), items[i].value.end());
  }
  Put32(b, 0, static_cast<uint32_t>(b.size()));
  return b;
}

inline size_t ValueOffsetRaw(const Bytes& b, size_t i, bool timed) {
  uint32_t v;
  std::memcpy(&v, b.data() + 20 + i * (timed ? 20 : 12) + 4, 4);
  return v;
}

struct TestResult {
  uint32_t hClient;
  uint32_t error;
};

inline Bytes WriteStream(uint32_t group, uint32_t hrStatus, const std::vector<TestResult>& entries,
                         uint32_t transaction = 7) {
  Bytes b(16 + entries.size() * 8, 0);
  Put32(b, 0, static_cast<uint32_t>(entries.size()));
  Put32(b, 4, group);
  Put32(b, 8, transaction);
  Put32(b, 12, hrStatus);
  for (size_t i = 0; i < entries.size(); ++i) {
    Put32(b, 16 + i * 8, entries[i].hClient);
    Put32(b, 20 + i * 8, entries[i].error);
  }
  return b;
}

// The other forms servers write: the value layout of 8-byte pointers (24-byte slot,
// 32-byte descriptor, 8-byte BSTR element slots) and, packed, values back to back with
// BSTR arrays' strings right after the descriptor, unpadded.
struct Form {
  uint32_t ptr = 4;
  bool packed = false;
  uint32_t Slot() const { return ptr == 8 ? 24 : 16; }
  uint32_t DataAt() const { return ptr == 8 ? 56 : 40; }
  void Finish(Bytes& b) const {
    if (!packed) Pad(b, 8);
  }
};

inline Bytes ScalarIn(Form f, uint16_t vt, const void* value, size_t n) {
  Bytes b(f.Slot(), 0);
  Put16(b, 0, vt);
  std::memcpy(b.data() + 8, value, n);
  return b;
}

inline Bytes StringIn(Form f, const std::u16string& s) {
  const uint32_t bytes = static_cast<uint32_t>(s.size() * 2);
  Bytes b(f.Slot() + 4 + bytes + 2, 0);
  Put16(b, 0, opcstream::kVtBstr);
  Put32(b, f.Slot(), bytes);
  if (bytes) std::memcpy(b.data() + f.Slot() + 4, s.data(), bytes);
  f.Finish(b);
  return b;
}

inline Bytes ArrayIn(Form f, uint16_t elemVt, const void* elements, uint32_t count,
                     uint32_t cbElements, int32_t lower = 0) {
  Bytes b(f.DataAt(), 0);
  const uint32_t desc = f.Slot(), countAt = desc + (f.ptr == 8 ? 24 : 16);
  Put16(b, 0, static_cast<uint16_t>(opcstream::kVtArray | elemVt));
  Put16(b, desc, 1);
  Put16(b, desc + 2, elemVt == opcstream::kVtBstr ? 0x100 : 0);
  Put32(b, desc + 4, cbElements);
  Put32(b, countAt, count);
  Put32(b, countAt + 4, static_cast<uint32_t>(lower));
  if (elements) {
    const auto* p = static_cast<const uint8_t*>(elements);
    b.insert(b.end(), p, p + size_t{count} * cbElements);
  }
  if (elemVt != opcstream::kVtBstr) f.Finish(b);
  return b;
}

inline Bytes StringArrayIn(Form f, const std::vector<std::u16string>& strings, int32_t lower = 0) {
  const uint32_t n = static_cast<uint32_t>(strings.size());
  Bytes b = ArrayIn(f, opcstream::kVtBstr, nullptr, n, f.ptr, lower);
  if (!f.packed) b.resize(b.size() + size_t{n} * f.ptr, 0);
  for (const auto& s : strings) {
    const size_t at = b.size();
    b.resize(at + 4 + s.size() * 2 + 2, 0);
    Put32(b, at, static_cast<uint32_t>(s.size() * 2));
    std::memcpy(b.data() + at + 4, s.data(), s.size() * 2);
    if (!f.packed) Pad(b, 4);
  }
  f.Finish(b);
  return b;
}

// As DataStream, with the values in the given form (packed: no padding after the headers).
inline Bytes DataStreamIn(Form f, uint32_t group, const std::vector<TestItem>& items,
                          bool timed = true) {
  Bytes b = DataStream(group, items, timed);
  if (!f.packed) return b;
  const size_t headers = 20 + items.size() * (timed ? 20 : 12);
  const size_t pad = ValueOffsetRaw(b, 0, timed) - headers;
  b.erase(b.begin() + headers, b.begin() + headers + pad);
  for (size_t i = 0; i < items.size(); ++i)
    Put32(b, 20 + i * (timed ? 20 : 12) + 4,
          static_cast<uint32_t>(ValueOffsetRaw(b, i, timed) - pad));
  Put32(b, 0, static_cast<uint32_t>(b.size()));
  return b;
}

// Offset of item i's value slot, read back from its header.
inline uint32_t ValueOffset(const Bytes& b, size_t i, bool timed = true) {
  uint32_t v;
  std::memcpy(&v, b.data() + 20 + i * (timed ? 20 : 12) + 4, 4);
  return v;
}
