// The byte-level stream reader: layouts, and every server-supplied number checked
// against the block before it is used.
#include <gtest/gtest.h>

#include <climits>

#include "OpcStream.h"
#include "StreamBuilder.h"

using namespace opcstream;

namespace {

struct Decoded {
  bool headerFits = false;
  DataHeader header;
  std::vector<ItemView> items;
};

Decoded DecodePrefix(const Bytes& b, size_t size, bool timed = true) {
  Decoded d;
  d.headerFits = ForEachDataItem(b.data(), size, timed, &d.header,
                                 [&](const ItemView& item) { d.items.push_back(item); });
  return d;
}
Decoded Decode(const Bytes& b, bool timed = true) {
  return DecodePrefix(b, b.size(), timed);
}

ValueView ValueAt(const Bytes& b, uint32_t offset) {
  return DecodeValue(b.data(), b.size(), offset);
}

// A single time-stamped item carrying `value`.
Bytes One(const Bytes& value) {
  return DataStream(1, {{7, 0xC0, 1, value}});
}

}  // namespace

// A time-stamped stream for group 1 with one item, the 4-byte real 12.5, is 56 bytes.
TEST(StreamReader, WorkedExampleByteByByte) {
  Bytes b(56, 0);
  Put32(b, 0, 56);           // dwSize
  Put32(b, 4, 1);            // dwItemCount
  Put32(b, 8, 1);            // hClientGroup
  Put32(b, 20, 0x00400003);  // hClient
  Put32(b, 24, 40);          // dwValueOffset
  Put16(b, 28, 0xC0);        // wQuality
  Put32(b, 32, 0x89ABCDEF);  // ftTimeStampItem, low then high
  Put32(b, 36, 0x01D2A3B4);
  Put16(b, 40, kVtR4);
  const float value = 12.5f;
  std::memcpy(b.data() + 48, &value, 4);

  Decoded d = Decode(b);
  ASSERT_TRUE(d.headerFits);
  EXPECT_EQ(1u, d.header.itemCount);
  EXPECT_EQ(1u, d.header.hClientGroup);
  ASSERT_EQ(1u, d.items.size());
  const ItemView& item = d.items[0];
  EXPECT_EQ(0x00400003u, item.hClient);
  EXPECT_EQ(0xC0, item.quality);
  EXPECT_TRUE(item.hasTimeStamp);
  EXPECT_EQ(0x01D2A3B489ABCDEFull, item.timeStamp);
  EXPECT_EQ(ValueKind::kScalar, item.value.kind);
  EXPECT_EQ(kVtR4, item.value.vt);
  EXPECT_EQ(b.data() + 48, item.value.data);

  // One byte short: the VARIANT overlaps the end, the header still counts.
  d = DecodePrefix(b, 55);
  ASSERT_EQ(1u, d.items.size());
  EXPECT_EQ(ValueKind::kSkip, d.items[0].value.kind);
  // The item header itself does not fit: nothing decoded, the group still known.
  d = DecodePrefix(b, 39);
  EXPECT_TRUE(d.headerFits);
  EXPECT_TRUE(d.items.empty());
  // Without time stamps the same bytes are a 12-byte item header and no time.
  d = Decode(b, false);
  ASSERT_EQ(1u, d.items.size());
  EXPECT_FALSE(d.items[0].hasTimeStamp);
  EXPECT_EQ(0x00400003u, d.items[0].hClient);
}

TEST(StreamReader, GroupHeaderMustFit) {
  Bytes b = DataStream(9, {{1, 0xC0, 0, ScalarOf<int32_t>(kVtI4, 5)}});
  for (size_t n = 0; n < kGroupHeaderSize; ++n) {
    bool called = false;
    DataHeader h;
    EXPECT_FALSE(ForEachDataItem(b.data(), n, true, &h, [&](const ItemView&) { called = true; }))
        << n;
    EXPECT_FALSE(called);
  }
  DataHeader h;
  EXPECT_FALSE(ReadDataHeader(nullptr, 100, &h));
  EXPECT_TRUE(ReadDataHeader(b.data(), kGroupHeaderSize, &h));
  EXPECT_EQ(9u, h.hClientGroup);
}

TEST(StreamReader, ItemCountIsCutToTheHeadersThatFit) {
  Bytes b = DataStream(
      1, {{1, 0xC0, 0, ScalarOf<double>(kVtR8, 1.0)}, {2, 0xC0, 0, ScalarOf<double>(kVtR8, 2.0)}});
  for (uint32_t count : {3u, 1000u, 0xFFFFFFFFu}) {
    Put32(b, 4, count);
    Decoded d = Decode(b);
    // Every 20-byte stretch after the group header reads as a header; no more.
    EXPECT_EQ((b.size() - 20) / 20, d.items.size()) << count;
    EXPECT_EQ(1u, d.items[0].hClient);
    EXPECT_EQ(2u, d.items[1].hClient);
  }
  Put32(b, 4, 0xFFFFFFFF);
  EXPECT_TRUE(DecodePrefix(b, 20).items.empty());
  Put32(b, 4, 1);
  EXPECT_EQ(1u, Decode(b).items.size()) << "a smaller count is obeyed";
}

TEST(StreamReader, ValueOffsetPastOrAcrossTheEndIsSkipped) {
  Bytes b = DataStream(
      1, {{1, 0xC0, 0, ScalarOf<int16_t>(kVtI2, 3)}, {2, 0xC0, 0, ScalarOf<int16_t>(kVtI2, 4)}});
  const uint32_t size = static_cast<uint32_t>(b.size());
  for (uint32_t offset : {size, size - 15, size - 1, size + 1, 0xFFFFFFF8u, 0xFFFFFFFFu}) {
    Put32(b, 24, offset);
    Decoded d = Decode(b);
    ASSERT_EQ(2u, d.items.size());
    EXPECT_EQ(ValueKind::kSkip, d.items[0].value.kind) << offset;
    EXPECT_EQ(ValueKind::kScalar, d.items[1].value.kind) << "later items still decode";
  }
  Put32(b, 24, size - 16);  // the last item's slot, exactly at the end
  EXPECT_EQ(ValueKind::kScalar, Decode(b).items[0].value.kind);
}

TEST(StreamReader, ScalarsAndTypesThatCarryPointers) {
  const int64_t cy = 123456789;
  for (uint16_t vt : {kVtEmpty, kVtNull, kVtI1, kVtUi1, kVtI2, kVtUi2, kVtBool, kVtI4, kVtUi4,
                      kVtR4, kVtError, kVtInt, kVtUint, kVtR8, kVtCy, kVtDate, kVtI8, kVtUi8}) {
    Bytes b = One(Scalar(vt, &cy, 8));
    ValueView v = ValueAt(b, ValueOffset(b, 0));
    EXPECT_EQ(ValueKind::kScalar, v.kind) << vt;
    EXPECT_EQ(vt, v.vt);
    EXPECT_EQ(0, std::memcmp(v.data, &cy, 8));
  }
  // A DECIMAL fills the whole slot, its first word being where the type tag is.
  Bytes dec = One(Scalar(kVtDecimal, &cy, 8));
  ValueView v = ValueAt(dec, ValueOffset(dec, 0));
  EXPECT_EQ(ValueKind::kScalar, v.kind);
  EXPECT_EQ(dec.data() + ValueOffset(dec, 0), v.data);
  // Interfaces, variants, records, by-reference values and unknown tags carry pointers
  // into the server's memory or nothing we understand.
  for (uint16_t vt : {9, 12, 13, 36, 0x4003, 0x4008, 0x400C, 0x1003, 0x8003, 15, 0x0FFF}) {
    Bytes b = One(Scalar(vt, &cy, 8));
    EXPECT_EQ(ValueKind::kSkip, ValueAt(b, ValueOffset(b, 0)).kind) << std::hex << vt;
  }
}

TEST(StreamReader, StringLengthWordIsChecked) {
  Bytes b = One(String(u"temperature"));
  const uint32_t at = ValueOffset(b, 0);
  ValueView v = ValueAt(b, at);
  ASSERT_EQ(ValueKind::kString, v.kind);
  EXPECT_EQ(22u, v.byteLength);
  EXPECT_EQ(b.data() + at + 20, v.data);
  EXPECT_EQ(0, std::memcmp(v.data, u"temperature", 22));

  const uint32_t room = static_cast<uint32_t>(b.size() - at - 20);
  Put32(b, at + 16, room);
  EXPECT_EQ(ValueKind::kString, ValueAt(b, at).kind) << "reaching exactly the end";
  for (uint32_t bytes : {room + 1, room + 2, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    Put32(b, at + 16, bytes);
    EXPECT_EQ(ValueKind::kSkip, ValueAt(b, at).kind) << bytes;
  }
  // An odd byte count is kept as it is: the copy holds exactly those bytes.
  Put32(b, at + 16, 3);
  v = ValueAt(b, at);
  EXPECT_EQ(ValueKind::kString, v.kind);
  EXPECT_EQ(3u, v.byteLength);
  // The length word itself beyond the block.
  Bytes tight(b.begin(), b.begin() + at + 18);
  EXPECT_EQ(ValueKind::kSkip, ValueAt(tight, at).kind);
}

TEST(StreamReader, ArrayDescriptorIsChecked) {
  const float data[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  Bytes b = One(Array(kVtR4, data, 16, 4, -2));
  const uint32_t at = ValueOffset(b, 0);
  ValueView v = ValueAt(b, at);
  ASSERT_EQ(ValueKind::kArray, v.kind);
  EXPECT_EQ(0x2000 | kVtR4, v.vt);
  EXPECT_EQ(16u, v.count);
  EXPECT_EQ(4u, v.elementSize);
  EXPECT_EQ(-2, v.lowerBound);
  EXPECT_EQ(b.data() + at + 40, v.data);
  EXPECT_EQ(0, std::memcmp(v.data, data, sizeof data));

  auto with = [&](size_t field, uint32_t value, int width = 4) {
    Bytes c = b;
    if (width == 2)
      Put16(c, at + field, static_cast<uint16_t>(value));
    else
      Put32(c, at + field, value);
    return ValueAt(c, at).kind;
  };
  EXPECT_EQ(ValueKind::kSkip, with(16, 2, 2)) << "two dimensions";
  EXPECT_EQ(ValueKind::kSkip, with(16, 0, 2)) << "no dimension";
  EXPECT_EQ(ValueKind::kSkip, with(20, 8)) << "cbElements unlike the type's size";
  EXPECT_EQ(ValueKind::kSkip, with(20, 2));
  const uint32_t fit = static_cast<uint32_t>((b.size() - at - 40) / 4);
  EXPECT_EQ(ValueKind::kArray, with(32, fit)) << "elements reaching exactly the end";
  EXPECT_EQ(ValueKind::kSkip, with(32, fit + 1)) << "data running past the end";
  EXPECT_EQ(ValueKind::kSkip, with(32, 0x40000000)) << "count * size wraps in 32 bits";
  EXPECT_EQ(ValueKind::kSkip, with(32, 0xFFFFFFFF));
  EXPECT_EQ(ValueKind::kSkip, with(36, INT32_MAX)) << "upper bound beyond 32 bits";
  EXPECT_EQ(ValueKind::kArray, with(36, static_cast<uint32_t>(INT32_MIN)));
  EXPECT_EQ(ValueKind::kArray, with(28, 0xDEADBEEF)) << "the server's pvData is never used";
  EXPECT_EQ(ValueKind::kSkip, with(0, 0x2000 | 12, 2)) << "array of VARIANT";
  EXPECT_EQ(ValueKind::kSkip, with(0, 0x2000 | 13, 2)) << "array of IUnknown";
  EXPECT_EQ(ValueKind::kSkip, with(0, 0x6000 | kVtR4, 2)) << "by reference";
  EXPECT_EQ(ValueKind::kSkip, with(0, 0x2000, 2)) << "array of VT_EMPTY";
  // The descriptor cut by the block's end.
  Bytes tight(b.begin(), b.begin() + at + 39);
  EXPECT_EQ(ValueKind::kSkip, ValueAt(tight, at).kind);

  // A 64-bit element type: count * 8 must also fit.
  const double d2[2] = {0.5, 1.5};
  Bytes r8 = One(Array(kVtR8, d2, 2, 8));
  const uint32_t at8 = ValueOffset(r8, 0);
  Put32(r8, at8 + 32, 0x20000000);  // * 8 wraps to 0 in 32 bits
  EXPECT_EQ(ValueKind::kSkip, ValueAt(r8, at8).kind);
}

TEST(StreamReader, StringArraysAreReadOnlyWhenEveryStringFits) {
  Bytes b = One(StringArray({u"a", u"", u"xyz"}, 3));
  const uint32_t at = ValueOffset(b, 0);
  ValueView v = ValueAt(b, at);
  ASSERT_EQ(ValueKind::kStringArray, v.kind);
  EXPECT_EQ(3u, v.count);
  EXPECT_EQ(3, v.lowerBound);
  std::vector<std::u16string> got;
  ForEachArrayString(v, [&](const uint8_t* chars, uint32_t bytes) {
    std::u16string s(bytes / 2, u'\0');
    std::memcpy(s.data(), chars, bytes);
    got.push_back(s);
  });
  EXPECT_EQ((std::vector<std::u16string>{u"a", u"", u"xyz"}), got);

  // Records: "a" at +52 (stride 8), "" at +60 (stride 8), "xyz" at +68.
  const size_t third = at + 40 + 12 + 8 + 8;
  ASSERT_EQ(6u, b[third]);
  Bytes c = b;
  Put32(c, third, static_cast<uint32_t>(c.size() - third - 4 + 1));
  EXPECT_EQ(ValueKind::kSkip, ValueAt(c, at).kind) << "last string one byte too long";
  Put32(c, third, 0xFFFFFFFF);
  EXPECT_EQ(ValueKind::kSkip, ValueAt(c, at).kind);
  c = b;
  Put32(c, at + 32, 4);
  EXPECT_EQ(ValueKind::kSkip, ValueAt(c, at).kind) << "a fourth string that is not there";
  Put32(c, at + 32, 0x40000000);
  EXPECT_EQ(ValueKind::kSkip, ValueAt(c, at).kind) << "element slots beyond the block";
  c = b;
  Put32(c, at + 20, 8);
  EXPECT_EQ(ValueKind::kSkip, ValueAt(c, at).kind) << "BSTR slots are 4 bytes on the wire";
}

TEST(StreamReader, WriteCompleteEntriesAreBoundedByTheBlock) {
  Bytes b = WriteStream(4, 0, {{1, 0}, {2, 0xC0040004}, {3, 0x80004005}});
  WriteHeader h;
  ASSERT_TRUE(ReadWriteHeader(b.data(), b.size(), &h));
  EXPECT_EQ(3u, h.itemCount);
  EXPECT_EQ(4u, h.hClientGroup);
  EXPECT_EQ(7u, h.transactionId);
  EXPECT_EQ(3u, h.entriesInBlock);
  std::vector<std::pair<uint32_t, uint32_t>> seen;
  auto collect = [&](const Bytes& block, size_t size) {
    seen.clear();
    ForEachWriteEntry(block.data(), size, [&](uint32_t c, uint32_t e) { seen.emplace_back(c, e); });
  };
  collect(b, b.size());
  ASSERT_EQ(3u, seen.size());
  EXPECT_EQ(2u, seen[1].first);
  EXPECT_EQ(0xC0040004u, seen[1].second);
  collect(b, b.size() - 1);
  EXPECT_EQ(2u, seen.size()) << "a cut-off entry is not read";
  Put32(b, 0, 0xFFFFFFFF);
  collect(b, b.size());
  EXPECT_EQ(3u, seen.size());
  Put32(b, 0, 1);
  collect(b, b.size());
  EXPECT_EQ(1u, seen.size());
  EXPECT_FALSE(ReadWriteHeader(b.data(), 15, &h));
  collect(b, 15);
  EXPECT_TRUE(seen.empty());
}

// Both value layouts, both BSTR array encodings, aligned and packed values: the layout is
// decided once per stream, whichever layout the reader prefers, and every value reads as
// sent. A stream that mixes layouts reads nothing wrong.
TEST(StreamReader, EveryLayoutAndEncodingIsDecidedPerStream) {
  const uint8_t seven[7] = {1, 2, 3, 4, 5, 6, 0xFF};
  const double reals[2] = {0.5, -2.25};
  const double r8 = 6.5;
  const std::vector<std::u16string> texts = {u"", u"xyz", u"四五"};
  auto strings = [](const ValueView& v) {
    std::vector<std::u16string> got;
    ForEachArrayString(v, [&](const uint8_t* chars, uint32_t bytes) {
      std::u16string s(bytes / 2, u'\0');
      std::memcpy(s.data(), chars, bytes);
      got.push_back(s);
    });
    return got;
  };
  for (const Form f : {Form{4, false}, Form{8, false}, Form{4, true}, Form{8, true}}) {
    const Layout sent = f.ptr == 8 ? Layout::k64 : Layout::k32;
    for (const bool timed : {true, false}) {
      Bytes b = DataStreamIn(f, 3,
                             {{1, 0xC0, 1, StringIn(f, u"ab")},
                              {2, 0xC0, 2, ArrayIn(f, kVtUi1, seven, 7, 1, -1)},
                              {3, 0xC0, 3, ScalarIn(f, kVtR8, &r8, 8)},
                              {4, 0xC0, 4, StringArrayIn(f, texts, 2)},
                              {5, 0xC0, 5, StringIn(f, u"")},
                              {6, 0xC0, 6, ArrayIn(f, kVtR8, reals, 2, 8)}},
                             timed);
      if (f.packed) {
        EXPECT_EQ(1u, ValueOffset(b, 2, timed) % 2)
            << "a value after 7 bytes sits at an odd offset";
      }
      for (const Layout preferred : {Layout::k32, Layout::k64}) {
        SCOPED_TRACE(testing::Message() << "ptr " << f.ptr << " packed " << f.packed << " timed "
                                        << timed << " preferred " << int(preferred));
        DataHeader h;
        std::vector<ItemView> items;
        ASSERT_TRUE(ForEachDataItem(
            b.data(), b.size(), timed, &h, [&](const ItemView& i) { items.push_back(i); },
            preferred));
        EXPECT_EQ(sent, h.layout);
        ASSERT_EQ(6u, items.size());
        ASSERT_EQ(ValueKind::kString, items[0].value.kind);
        EXPECT_EQ(4u, items[0].value.byteLength);
        EXPECT_EQ(0, std::memcmp(items[0].value.data, u"ab", 4));
        ASSERT_EQ(ValueKind::kArray, items[1].value.kind);
        EXPECT_EQ(7u, items[1].value.count);
        EXPECT_EQ(-1, items[1].value.lowerBound);
        EXPECT_EQ(0, std::memcmp(items[1].value.data, seven, 7));
        ASSERT_EQ(ValueKind::kScalar, items[2].value.kind);
        EXPECT_EQ(0, std::memcmp(items[2].value.data, &r8, 8));
        ASSERT_EQ(ValueKind::kStringArray, items[3].value.kind);
        EXPECT_EQ(2, items[3].value.lowerBound);
        EXPECT_EQ(f.packed ? StringArrayEncoding::kPacked : StringArrayEncoding::kSlots,
                  items[3].value.encoding);
        EXPECT_EQ(texts, strings(items[3].value));
        ASSERT_EQ(ValueKind::kString, items[4].value.kind);
        EXPECT_EQ(0u, items[4].value.byteLength);
        ASSERT_EQ(ValueKind::kArray, items[5].value.kind);
        EXPECT_EQ(0, std::memcmp(items[5].value.data, reals, 16));
      }
      // A BSTR array's element size follows the layout: 4-byte slots in a 64-bit stream are
      // another server's error, not a layout to guess.
      Bytes wrong = b;
      Put32(wrong, ValueOffset(b, 3, timed) + f.Slot() + 4, f.ptr == 8 ? 4 : 8);
      DataHeader h;
      std::vector<ItemView> items;
      ForEachDataItem(wrong.data(), wrong.size(), timed, &h,
                      [&](const ItemView& i) { items.push_back(i); });
      ASSERT_EQ(6u, items.size());
      EXPECT_EQ(ValueKind::kSkip, items[3].value.kind);
      EXPECT_EQ(ValueKind::kString, items[0].value.kind) << "the rest still decodes";
    }
  }

  // Values of both layouts in one stream: each one is skipped or read as it was sent.
  const Form f32{4, false}, f64{8, false};
  Bytes mixed = DataStream(9, {{1, 0xC0, 1, StringIn(f64, u"pressure")},
                               {2, 0xC0, 2, StringIn(f32, u"temperature")},
                               {3, 0xC0, 3, ArrayIn(f64, kVtR8, reals, 2, 8)},
                               {4, 0xC0, 4, ArrayIn(f32, kVtR8, reals, 2, 8)},
                               {5, 0xC0, 5, StringArrayIn(f64, texts)},
                               {6, 0xC0, 6, StringArrayIn(f32, texts)},
                               {7, 0xC0, 7, ScalarIn(f64, kVtR8, &r8, 8)}});
  const std::u16string sent[] = {u"pressure", u"temperature"};
  for (const Layout preferred : {Layout::k32, Layout::k64}) {
    DataHeader h;
    size_t read = 0;
    ForEachDataItem(
        mixed.data(), mixed.size(), true, &h,
        [&](const ItemView& i) {
          const ValueView& v = i.value;
          if (v.kind == ValueKind::kSkip) return;
          ++read;
          switch (i.hClient) {
            case 1:
            case 2:
              ASSERT_EQ(ValueKind::kString, v.kind) << i.hClient;
              EXPECT_EQ(sent[i.hClient - 1].size() * 2, v.byteLength) << i.hClient;
              EXPECT_EQ(0, std::memcmp(v.data, sent[i.hClient - 1].data(), v.byteLength));
              break;
            case 3:
            case 4:
              ASSERT_EQ(ValueKind::kArray, v.kind);
              ASSERT_EQ(2u, v.count);
              EXPECT_EQ(0, std::memcmp(v.data, reals, 16)) << i.hClient;
              break;
            case 5:
            case 6:
              EXPECT_EQ(texts, strings(v)) << i.hClient;
              break;
            default:
              EXPECT_EQ(0, std::memcmp(v.data, &r8, 8));
          }
        },
        preferred);
    EXPECT_EQ(4u, read) << "the preferred layout's three values and the scalar";
  }
}
