#include "Signals.h"

#include <cmath>
#include <cwchar>

namespace plover::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

const wchar_t* const kWords[] = {L"alpha",   L"bravo", L"charlie", L"delta", L"echo",
                                 L"foxtrot", L"golf",  L"hotel",   L"运行",  L"停止"};

const WORD kQualityCycle[] = {0xC0, 0xD8, 0x40, 0x44, 0x50, 0x54, 0x58, 0x00,
                              0x04, 0x08, 0x0C, 0x10, 0x14, 0x18, 0x1C, 0x20};

// Number text in one fixed form, whatever the user's locale.
const LCID kTextLcid = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

double Clamp(double v, double lo, double hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// One scalar of the item's element type into the variant's value bytes.
void PutScalar(const ItemDef& def, double x, VARTYPE vt, uint32_t itemIndex, uint64_t timeMs,
               uint32_t element, VARIANT* out) {
  out->vt = vt;
  switch (vt) {
    case VT_I2:
      out->iVal = static_cast<SHORT>(std::lround(Clamp(x, -32768, 32767)));
      break;
    case VT_I4:
      out->lVal = static_cast<LONG>(std::llround(Clamp(x, -2147483648.0, 2147483647.0)));
      break;
    case VT_UI1:
      out->bVal = static_cast<BYTE>(std::lround(Clamp(x, 0, 255)));
      break;
    case VT_I1:
      out->cVal = static_cast<CHAR>(std::lround(Clamp(x, -128, 127)));
      break;
    case VT_UI2:
      out->uiVal = static_cast<USHORT>(std::lround(Clamp(x, 0, 65535)));
      break;
    case VT_UI4:
    case VT_UINT:
      out->ulVal = static_cast<ULONG>(std::llround(Clamp(x, 0, 4294967295.0)));
      break;
    case VT_INT:
      out->intVal = static_cast<INT>(std::llround(Clamp(x, -2147483648.0, 2147483647.0)));
      break;
    case VT_I8:  // signals stay well inside 2^63
      out->llVal = std::llround(Clamp(x, -9.2e18, 9.2e18));
      break;
    case VT_UI8:
      out->ullVal = x >= 18446744073709551615.0 ? ~0ull
                    : x <= 0                    ? 0
                                                : static_cast<ULONGLONG>(std::nearbyint(x));
      break;
    case VT_CY:
      out->cyVal.int64 = std::llround(Clamp(x, -9.2e14, 9.2e14) * 10000);
      break;
    case VT_DATE:  // days since 12/30/1899
      out->date = x;
      break;
    case VT_ERROR:  // codes as 32-bit words
      out->scode =
          static_cast<SCODE>(static_cast<uint32_t>(std::llround(Clamp(x, 0, 4294967295.0))));
      break;
    case VT_DECIMAL: {
      // A static item's exact text where it has one (beyond what a double holds); signals
      // with four decimals. Its first word is where vt is: the type goes back after it.
      DECIMAL d{};
      if (def.text.empty() ||
          FAILED(VarDecFromStr(const_cast<OLECHAR*>(def.text.c_str()), kTextLcid, 0, &d))) {
        if (FAILED(VarDecFromR8(x, &d)) || FAILED(VarDecRound(&d, 4, &d))) d = DECIMAL{};
      }
      out->decVal = d;
      out->decVal.wReserved = 0;
      out->vt = VT_DECIMAL;
      break;
    }
    case VT_R4:
      out->fltVal = static_cast<float>(x);
      break;
    case VT_BOOL:
      out->boolVal = x >= (def.low + def.high) / 2 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_BSTR: {
      if (def.signal == SignalKind::Static) {
        out->bstrVal = SysAllocString(def.text.c_str());
        break;
      }
      uint64_t step = timeMs / (def.periodMs ? def.periodMs : 1);
      uint64_t pick =
          Mix(itemIndex * 131ull + step * 7ull + element) % (sizeof(kWords) / sizeof(kWords[0]));
      wchar_t text[64];
      swprintf(text, 64, L"%ls %u", kWords[pick], static_cast<unsigned>(step % 1000));
      out->bstrVal = SysAllocString(text);
      break;
    }
    default:
      out->vt = VT_R8;
      out->dblVal = x;
      break;
  }
}

}  // namespace

double SignalValue(const ItemDef& def, uint32_t itemIndex, uint64_t timeMs, uint32_t element) {
  if (def.signal == SignalKind::Static) return def.low;
  uint64_t period = def.periodMs ? def.periodMs : 1;
  // Array elements run the same signal shifted in phase.
  uint64_t shift = def.arrayLength ? period * element / def.arrayLength : 0;
  uint64_t t = timeMs + shift;
  double phase = static_cast<double>(t % period) / static_cast<double>(period);
  double span = def.high - def.low;
  switch (def.signal) {
    case SignalKind::Ramp:
      return def.low + phase * span;
    case SignalKind::Sine:
      return def.low + span * (0.5 + 0.5 * std::sin(2 * kPi * phase));
    case SignalKind::Square:
      return phase < 0.5 ? def.high : def.low;
    case SignalKind::Triangle:
      return phase < 0.5 ? def.low + 2 * phase * span : def.high - 2 * (phase - 0.5) * span;
    case SignalKind::Random: {
      uint64_t r = Mix((static_cast<uint64_t>(itemIndex) << 20) ^ (timeMs / period) ^
                       (static_cast<uint64_t>(element) << 52));
      return def.low + span * static_cast<double>(r >> 11) / 9007199254740992.0;
    }
    default:
      return def.low;
  }
}

WORD SignalQuality(const ItemDef& def, uint64_t timeMs) {
  if (!def.cycleQuality) return def.quality;
  constexpr uint64_t kSteps = sizeof(kQualityCycle) / sizeof(kQualityCycle[0]);
  uint64_t step = (def.periodMs ? def.periodMs : kSteps) / kSteps;
  return kQualityCycle[(timeMs / (step ? step : 1)) % kSteps];
}

Simulation::Simulation(const AddressSpace& space)
    : m_space(space), m_states(space.Items().size()) {}

void Simulation::Compute(uint32_t index, uint64_t nowMs, VARIANT* out) const {
  const ItemDef& def = m_space.Item(index);
  VARTYPE elem = def.type & VT_TYPEMASK;
  if (!(def.type & VT_ARRAY)) {
    PutScalar(def, SignalValue(def, index, nowMs, 0), elem, index, nowMs, 0, out);
    return;
  }
  SAFEARRAY* psa = SafeArrayCreateVector(elem, 0, def.arrayLength);
  if (!psa) return;
  for (uint32_t i = 0; i < def.arrayLength; ++i) {
    VARIANT e;
    VariantInit(&e);
    PutScalar(def, SignalValue(def, index, nowMs, i), elem, index, nowMs, i, &e);
    LONG at = static_cast<LONG>(i);
    void* data = elem == VT_BSTR      ? static_cast<void*>(e.bstrVal)
                 : elem == VT_DECIMAL ? static_cast<void*>(&e.decVal)
                                      : static_cast<void*>(&e.llVal);
    if (elem == VT_DECIMAL)
      e.decVal.wReserved = 0;  // an element's reserved word; e holds nothing to free
    SafeArrayPutElement(psa, &at, data);
    VariantClear(&e);
  }
  out->vt = def.type;
  out->parray = psa;
}

const ItemState& Simulation::Sample(uint32_t index, uint64_t nowMs) {
  ItemState& st = m_states[index];
  const ItemDef& def = m_space.Item(index);
  if (st.initialised &&
      (st.sampledAtMs == nowMs || (def.signal == SignalKind::Static && !def.cycleQuality)))
    return st;
  if (!st.initialised) {
    Compute(index, nowMs, &st.value.v);
    st.quality = SignalQuality(def, nowMs);
    // A static value has been what it is since the server started.
    st.changedAtMs = def.signal == SignalKind::Static && !def.cycleQuality ? 0 : nowMs;
    st.sampledAtMs = nowMs;
    st.initialised = true;
    return st;
  }
  st.sampledAtMs = nowMs;
  bool changed = false;
  if (def.signal != SignalKind::Static && !st.written) {
    Variant next;
    Compute(index, nowMs, &next.v);
    if (!SameValue(next.v, st.value.v)) {
      st.value = std::move(next);
      changed = true;
    }
  }
  WORD q = st.written ? st.writtenQuality : SignalQuality(def, nowMs);
  if (q != st.quality) {
    st.quality = q;
    changed = true;
  }
  if (changed) st.changedAtMs = nowMs;
  return st;
}

void Simulation::Store(uint32_t index, const VARIANT& value, uint64_t nowMs) {
  WrittenVqt vqt;
  vqt.value = &value;
  Store(index, vqt, nowMs);
}

void Simulation::Store(uint32_t index, const WrittenVqt& vqt, uint64_t nowMs) {
  ItemState& st = m_states[index];
  Sample(index, nowMs);
  if (vqt.value && vqt.value->vt != VT_EMPTY) CopyVariant(&st.value.v, vqt.value);
  st.writtenQuality = vqt.hasQuality ? vqt.quality : WORD(0xC0);
  st.quality = st.writtenQuality;
  st.stampWritten = vqt.hasStamp;
  if (vqt.hasStamp) st.stamp = vqt.stamp;
  st.changedAtMs = nowMs;
  st.written = true;
}

FILETIME SimFileTime(const FILETIME& origin, uint64_t ms) {
  ULARGE_INTEGER u;
  u.LowPart = origin.dwLowDateTime;
  u.HighPart = origin.dwHighDateTime;
  u.QuadPart += ms * 10000ull;
  FILETIME ft;
  ft.dwLowDateTime = u.LowPart;
  ft.dwHighDateTime = u.HighPart;
  return ft;
}

}  // namespace plover::sim
