// What the simulated servers hold. Every variant shares this content; the large
// variant adds a bulk area for load tests. IDs use "." between levels:
//   Heartbeat                      BOOL square wave, directly at the root
//   Signals.{Random, RandomReal, Ramp, Sine, Square, Triangle, Counter, Byte, Text}
//   Signals.{Char, Word, DWord, Int, UInt, LongLong, ULongLong, Currency, Date, Error,
//            Decimal}
//   Types.{Short, Long, Float, Double, Boolean, String, Byte}      static, read-write
//   Types.{Char, Word, DWord, Int, UInt, LongLong, ULongLong, Currency, Date, Error, Decimal}
//   Arrays.{Short,Long,Float,Double,Bool,String}Array              changing, read-only
//   Arrays.{Char,Byte,Word,DWord,Int,UInt,LongLong,ULongLong,Currency,Date,Error,
//           Decimal}Array
//   Arrays.Static.{Short, Long, Float, Double, Boolean, String}    static arrays, read-write
//   Arrays.Static.{Char, Byte, Word, DWord, Int, UInt, LongLong, ULongLong, Currency, Date,
//                  Error, Decimal}
//   Access.{ReadOnly, WriteOnly, ReadWrite}
//   Quality.{Cycling, Bad, Uncertain, LocalOverride}
//   EU.{Analog (0..100), Enumerated, None}                         static, read-write
//   Deep.Level1.Level2. ... .Level12, a "Value" on every level
//   Many.Item0001 ... Many.Item5000
//   Names.{Name With Spaces, 温度, 压力 Pressure, 说明}, Names.中文 分支.状态,
//   Names.Motor 1.Speed rpm
//   Bulk.Area001.Tag001 ... Bulk.Area400.Tag250                    large variant only
#include "AddressSpace.h"

#include <cwchar>

namespace plover::sim {

namespace {

// The types beyond the six, with a signal range each: the 64-bit ones run above 2^53, where
// a double can no longer hold every value; dates walk through a day of December 2025.
const struct {
  const wchar_t* name;
  VARTYPE type;
  double low, high, start;
  const wchar_t* startText = nullptr;  // DECIMAL: the exact start value
} kMoreTypes[] = {
    {L"Char", VT_I1, -128, 127, -5},
    {L"Word", VT_UI2, 0, 65535, 40000},
    {L"DWord", VT_UI4, 0, 4294967295.0, 3000000000.0},
    {L"Int", VT_INT, -100000, 100000, -7},
    {L"UInt", VT_UINT, 0, 4000000000.0, 7},
    {L"LongLong", VT_I8, 9007199254740992.0, 9007199254750992.0, -9007199254740992.0},
    {L"ULongLong", VT_UI8, 18000000000000000000.0, 18000000000000100000.0, 9007199254740992.0},
    {L"Currency", VT_CY, -1000, 1000, 12.3456},
    {L"Date", VT_DATE, 46000, 46001, 46000.5},
    // Codes walk through the OPC results 0xC0040001..0xC004000F; the static one is E_FAIL.
    {L"Error", VT_ERROR, 3221487617.0, 3221487631.0, 2147500037.0},
    // Signals beyond 64 bits; the static value, from its text, needs all 96 bits of
    // mantissa and a scale (no double holds it).
    {L"Decimal", VT_DECIMAL, -1e20, 1e20, 0, L"-7922816251426433759354395033.5"},
};

ItemDef Dynamic(const wchar_t* name, VARTYPE type, SignalKind kind, double low, double high,
                uint32_t periodMs) {
  ItemDef d;
  d.name = name;
  d.type = type;
  d.signal = kind;
  d.low = low;
  d.high = high;
  d.periodMs = periodMs;
  return d;
}

ItemDef Static(const wchar_t* name, VARTYPE type, double start,
               DWORD access = kReadable | kWriteable) {
  ItemDef d;
  d.name = name;
  d.type = type;
  d.signal = SignalKind::Static;
  d.low = start;
  d.high = start;
  d.access = access;
  return d;
}

ItemDef Analog(ItemDef d, double low, double high) {
  d.euType = kEuAnalog;
  d.euLow = low;
  d.euHigh = high;
  return d;
}

ItemDef Array(ItemDef d, uint32_t length) {
  d.type = static_cast<VARTYPE>(VT_ARRAY | d.type);
  d.arrayLength = length;
  return d;
}

ItemDef Text(const wchar_t* name, const wchar_t* start) {
  ItemDef d = Static(name, VT_BSTR, 0);
  d.text = start;
  return d;
}

template <class MoreType>
ItemDef MoreStatic(const MoreType& t) {
  ItemDef d = Static(t.name, t.type, t.start);
  if (t.startText) d.text = t.startText;
  return d;
}

void AddSignals(AddressSpace& s) {
  uint32_t b = s.AddBranch(0, L"Signals");
  s.AddItem(b, Dynamic(L"Random", VT_I4, SignalKind::Random, 0, 1000, 1000));
  s.AddItem(b, Analog(Dynamic(L"RandomReal", VT_R8, SignalKind::Random, 0, 100, 1000), 0, 100));
  s.AddItem(b, Analog(Dynamic(L"Ramp", VT_R4, SignalKind::Ramp, 0, 100, 10000), 0, 100));
  s.AddItem(b, Analog(Dynamic(L"Sine", VT_R8, SignalKind::Sine, -100, 100, 20000), -100, 100));
  s.AddItem(b, Dynamic(L"Square", VT_BOOL, SignalKind::Square, 0, 1, 4000));
  s.AddItem(b, Analog(Dynamic(L"Triangle", VT_I2, SignalKind::Triangle, 0, 1000, 8000), 0, 1000));
  s.AddItem(b, Dynamic(L"Counter", VT_I4, SignalKind::Ramp, 0, 100000, 100000));
  s.AddItem(b, Dynamic(L"Byte", VT_UI1, SignalKind::Ramp, 0, 255, 25600));
  s.AddItem(b, Dynamic(L"Text", VT_BSTR, SignalKind::Random, 0, 1, 3000));
  for (const auto& t : kMoreTypes)
    s.AddItem(b, Dynamic(t.name, t.type, SignalKind::Ramp, t.low, t.high, 60000));
}

void AddTypes(AddressSpace& s) {
  uint32_t b = s.AddBranch(0, L"Types");
  s.AddItem(b, Static(L"Short", VT_I2, 0));
  s.AddItem(b, Static(L"Long", VT_I4, 0));
  s.AddItem(b, Static(L"Float", VT_R4, 0));
  s.AddItem(b, Static(L"Double", VT_R8, 0));
  s.AddItem(b, Static(L"Boolean", VT_BOOL, 0));
  s.AddItem(b, Text(L"String", L"Hello"));
  s.AddItem(b, Static(L"Byte", VT_UI1, 0));
  for (const auto& t : kMoreTypes) s.AddItem(b, MoreStatic(t));
}

void AddArrays(AddressSpace& s) {
  uint32_t b = s.AddBranch(0, L"Arrays");
  s.AddItem(b, Array(Dynamic(L"ShortArray", VT_I2, SignalKind::Ramp, 0, 1000, 10000), 8));
  s.AddItem(b, Array(Dynamic(L"LongArray", VT_I4, SignalKind::Random, 0, 100000, 2000), 8));
  s.AddItem(b, Array(Dynamic(L"FloatArray", VT_R4, SignalKind::Sine, -1, 1, 10000), 8));
  s.AddItem(b, Array(Dynamic(L"DoubleArray", VT_R8, SignalKind::Triangle, 0, 10, 10000), 8));
  s.AddItem(b, Array(Dynamic(L"BoolArray", VT_BOOL, SignalKind::Square, 0, 1, 4000), 8));
  s.AddItem(b, Array(Dynamic(L"StringArray", VT_BSTR, SignalKind::Random, 0, 1, 3000), 4));
  s.AddItem(b, Array(Dynamic(L"ByteArray", VT_UI1, SignalKind::Ramp, 0, 255, 10000), 4));
  for (const auto& t : kMoreTypes) {
    const std::wstring name = std::wstring(t.name) + L"Array";
    s.AddItem(b, Array(Dynamic(name.c_str(), t.type, SignalKind::Ramp, t.low, t.high, 60000), 4));
  }
  uint32_t w = s.AddBranch(b, L"Static");
  s.AddItem(w, Array(Static(L"Short", VT_I2, 0), 4));
  s.AddItem(w, Array(Static(L"Long", VT_I4, 0), 4));
  s.AddItem(w, Array(Static(L"Float", VT_R4, 0), 4));
  s.AddItem(w, Array(Static(L"Double", VT_R8, 0), 4));
  s.AddItem(w, Array(Static(L"Boolean", VT_BOOL, 0), 4));
  ItemDef strings = Array(Text(L"String", L"Text"), 3);
  s.AddItem(w, strings);
  s.AddItem(w, Array(Static(L"Byte", VT_UI1, 0), 4));
  for (const auto& t : kMoreTypes) s.AddItem(w, Array(MoreStatic(t), 4));
}

void AddAccess(AddressSpace& s) {
  uint32_t b = s.AddBranch(0, L"Access");
  s.AddItem(b, Static(L"ReadOnly", VT_I4, 42, kReadable));
  s.AddItem(b, Static(L"WriteOnly", VT_I4, 0, kWriteable));
  s.AddItem(b, Static(L"ReadWrite", VT_I4, 7, kReadable | kWriteable));
}

void AddQuality(AddressSpace& s) {
  uint32_t b = s.AddBranch(0, L"Quality");
  ItemDef cycling = Dynamic(L"Cycling", VT_R8, SignalKind::Ramp, 0, 100, 16000);
  cycling.cycleQuality = true;
  s.AddItem(b, cycling);
  ItemDef bad = Static(L"Bad", VT_I4, 0, kReadable);
  bad.quality = 0x18;  // bad, communication failure
  s.AddItem(b, bad);
  ItemDef uncertain = Static(L"Uncertain", VT_R8, 1.5, kReadable);
  uncertain.quality = 0x54;  // uncertain, EU units exceeded
  s.AddItem(b, uncertain);
  ItemDef overridden = Static(L"LocalOverride", VT_R8, 3.25, kReadable);
  overridden.quality = 0xD8;  // good, local override
  s.AddItem(b, overridden);
}

void AddEu(AddressSpace& s) {
  uint32_t b = s.AddBranch(0, L"EU");
  s.AddItem(b, Analog(Static(L"Analog", VT_R8, 50), 0, 100));
  ItemDef e = Static(L"Enumerated", VT_I2, 0);
  e.euType = kEuEnumerated;
  e.euStrings = {L"Off", L"Starting", L"Running", L"Stopping", L"Fault"};
  s.AddItem(b, e);
  s.AddItem(b, Static(L"None", VT_R8, 0));
}

void AddDeep(AddressSpace& s) {
  // Thirty levels: deeper than a client that climbs back a fixed ten steps can reach.
  uint32_t b = s.AddBranch(0, L"Deep");
  for (int level = 1; level <= 30; ++level) {
    wchar_t name[16];
    swprintf(name, 16, L"Level%d", level);
    b = s.AddBranch(b, name);
    s.AddItem(b, Dynamic(L"Value", VT_I4, SignalKind::Ramp, 0, 1000, 10000 + 1000 * level));
  }
}

void AddMany(AddressSpace& s) {
  uint32_t b = s.AddBranch(0, L"Many");
  for (int i = 1; i <= 5000; ++i) {
    wchar_t name[16];
    swprintf(name, 16, L"Item%04d", i);
    s.AddItem(b, Static(name, VT_I4, i));
  }
}

void AddNames(AddressSpace& s) {
  uint32_t b = s.AddBranch(0, L"Names");
  s.AddItem(b, Dynamic(L"Name With Spaces", VT_R8, SignalKind::Sine, -1, 1, 6000));
  s.AddItem(b, Analog(Dynamic(L"温度", VT_R4, SignalKind::Triangle, 10, 40, 30000), -20, 60));
  s.AddItem(b, Dynamic(L"压力 Pressure", VT_R8, SignalKind::Random, 0.9, 1.1, 2000));
  s.AddItem(b, Text(L"说明", L"模拟服务器"));
  uint32_t cn = s.AddBranch(b, L"中文 分支");
  s.AddItem(cn, Dynamic(L"状态", VT_BOOL, SignalKind::Square, 0, 1, 5000));
  uint32_t motor = s.AddBranch(b, L"Motor 1");
  s.AddItem(motor, Analog(Dynamic(L"Speed rpm", VT_R8, SignalKind::Sine, 0, 3000, 12000), 0, 3000));
  // Named like this server's ProgID, which clients often give their tree's root node.
  uint32_t named = s.AddBranch(0, L"Plover.SimServer.1");
  s.AddItem(named, Static(L"Value", VT_I4, 1));
}

}  // namespace

void BuildStandardContent(AddressSpace& s) {
  // A leaf directly at the root: hierarchical clients that list only branches there skip it.
  s.AddItem(0, Dynamic(L"Heartbeat", VT_BOOL, SignalKind::Square, 0, 1, 2000));
  AddSignals(s);
  AddTypes(s);
  AddArrays(s);
  AddAccess(s);
  AddQuality(s);
  AddEu(s);
  AddDeep(s);
  AddMany(s);
  AddNames(s);
}

void BuildBulkContent(AddressSpace& s) {
  static const VARTYPE types[] = {VT_R8, VT_I4, VT_R4, VT_BOOL, VT_I2};
  static const SignalKind kinds[] = {SignalKind::Sine, SignalKind::Ramp, SignalKind::Random,
                                     SignalKind::Square, SignalKind::Triangle};
  uint32_t bulk = s.AddBranch(0, L"Bulk");
  for (int area = 1; area <= 400; ++area) {
    wchar_t name[16];
    swprintf(name, 16, L"Area%03d", area);
    uint32_t b = s.AddBranch(bulk, name);
    for (int tag = 1; tag <= 250; ++tag) {
      swprintf(name, 16, L"Tag%03d", tag);
      int k = (area + tag) % 5;
      s.AddItem(b, Dynamic(name, types[k], kinds[k], 0, 1000,
                           1000u + static_cast<uint32_t>((area * 7 + tag) % 10) * 1000u));
    }
  }
}

}  // namespace plover::sim
