// IOPCItemIO of the server object (OPC DA 3.0): reads and writes by item ID without a group.
// Values come in the item's canonical type. The last sample of an item serves as the cache of
// a read whose maximum age it meets.
#include "SimGroup.h"
#include "SimServer.h"

namespace plover::sim {

uint64_t SimServer::AgeMs(const FILETIME& stamp) const {
  const FILETIME now = FileTimeAt(NowMs());
  const uint64_t n = (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  const uint64_t s = (uint64_t(stamp.dwHighDateTime) << 32) | stamp.dwLowDateTime;
  return n > s ? (n - s) / 10000 : 0;
}

HRESULT SimServer::WriteItem(uint32_t index, const VARIANT& value, const OPCITEMVQT* vqt) {
  const ItemDef& def = m_space.Item(index);
  if (!(def.access & kWriteable)) return OPC_E_BADRIGHTS;
  WrittenVqt w;
  w.hasQuality = vqt && vqt->bQualitySpecified;
  w.hasStamp = vqt && vqt->bTimeStampSpecified;
  // An array's quality and time stamp are the device's: all of the write or none of it.
  if ((w.hasQuality || w.hasStamp) && (def.type & VT_ARRAY)) return OPC_E_NOTSUPPORTED;
  if (w.hasQuality) w.quality = vqt->wQuality;
  if (w.hasStamp) w.stamp = vqt->ftTimeStamp;
  Variant converted;
  // No value with a quality or time stamp writes those alone.
  if (value.vt != VT_EMPTY || !(w.hasQuality || w.hasStamp)) {
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) return OPC_E_BADTYPE;
    HRESULT hr = ConvertValue(value, def.type, &converted.v);
    if (hr == DISP_E_OVERFLOW) return OPC_E_RANGE;
    if (FAILED(hr)) return OPC_E_BADTYPE;
    double d = 0;
    if (def.euType == kEuAnalog && ValueAsDouble(converted.v, &d) &&
        (d < def.euLow || d > def.euHigh))
      return OPC_E_RANGE;
    w.value = &converted.v;
  }
  m_sim.Store(index, w, NowMs());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::Read(DWORD dwCount, LPCWSTR* pszItemIDs, DWORD* pdwMaxAge,
                                          VARIANT** ppvValues, WORD** ppwQualities,
                                          FILETIME** ppftTimeStamps, HRESULT** ppErrors) {
  if (ppvValues) *ppvValues = nullptr;
  if (ppwQualities) *ppwQualities = nullptr;
  if (ppftTimeStamps) *ppftTimeStamps = nullptr;
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = Injected(L"IOPCItemIO::Read"); hr != S_OK) return hr;
  if (dwCount == 0 || !pszItemIDs || !pdwMaxAge || !ppvValues || !ppwQualities || !ppftTimeStamps ||
      !ppErrors)
    return E_INVALIDARG;
  auto* values = CoTaskArray<VARIANT>(dwCount);  // zeroed: VT_EMPTY, bad, no time
  auto* qualities = CoTaskArray<WORD>(dwCount);
  auto* times = CoTaskArray<FILETIME>(dwCount);
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!values || !qualities || !times || !errors) {
    CoTaskMemFree(values);
    CoTaskMemFree(qualities);
    CoTaskMemFree(times);
    CoTaskMemFree(errors);
    return E_OUTOFMEMORY;
  }
  bool anyFailed = false;
  for (DWORD i = 0; i < dwCount; ++i) {
    uint32_t index = 0;
    HRESULT hr = PropertyItem(pszItemIDs[i], &index);
    if (hr == E_INVALIDARG) hr = OPC_E_INVALIDITEMID;  // a null ID
    if (SUCCEEDED(hr) && !(m_space.Item(index).access & kReadable)) hr = OPC_E_BADRIGHTS;
    if (SUCCEEDED(hr)) {
      const DWORD maxAge = pdwMaxAge[i];
      const ItemState* st = m_sim.Peek(index);
      const bool fresh =
          st && maxAge != 0 && (maxAge == OPC_MAXAGE_CACHE || AgeMs(StampOf(*st)) <= maxAge);
      if (!fresh) st = &m_sim.Sample(index, NowMs());
      hr = CopyVariant(&values[i], &st->value.v);
      qualities[i] = st->quality;
      times[i] = StampOf(*st);
    }
    errors[i] = hr;
    anyFailed = anyFailed || FAILED(hr);
  }
  *ppvValues = values;
  *ppwQualities = qualities;
  *ppftTimeStamps = times;
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimServer::WriteVQT(DWORD dwCount, LPCWSTR* pszItemIDs,
                                              OPCITEMVQT* pItemVQT, HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = Injected(L"IOPCItemIO::WriteVQT"); hr != S_OK) return hr;
  if (dwCount == 0 || !pszItemIDs || !pItemVQT || !ppErrors) return E_INVALIDARG;
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!errors) return E_OUTOFMEMORY;
  bool anyFailed = false;
  for (DWORD i = 0; i < dwCount; ++i) {
    uint32_t index = 0;
    HRESULT hr = PropertyItem(pszItemIDs[i], &index);
    if (hr == E_INVALIDARG) hr = OPC_E_INVALIDITEMID;
    if (SUCCEEDED(hr)) hr = WriteItem(index, pItemVQT[i].vDataValue, &pItemVQT[i]);
    errors[i] = hr;
    anyFailed = anyFailed || FAILED(hr);
  }
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

}  // namespace plover::sim
