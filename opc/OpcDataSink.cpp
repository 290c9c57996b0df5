#include "OpcDataSink.h"

#include <oleauto.h>

#include <cstring>

#include "ItemHandleTable.h"
#include "OpcItem.h"
#include "OpcItemObserver.h"
#include "OpcStream.h"
#include "OpcStreamFormats.h"

namespace {

using opcstream::ItemView;
using opcstream::ValueKind;
using opcstream::ValueView;

const COpcStreamFormats& Formats() {
  static const COpcStreamFormats formats;
  return formats;
}

// Values VariantClear has nothing to free for: they can simply be overwritten.
bool HoldsNothing(VARTYPE vt) {
  return vt == VT_EMPTY || vt == VT_NULL || opcstream::FixedSize(vt) != 0;
}

void FreeOld(VARIANT& v) {
  if (!HoldsNothing(v.vt)) ::VariantClear(&v);
}

// A string that owns a copy of the bytes; an odd byte length is kept as it came.
BSTR CopyString(const uint8_t* chars, uint32_t bytes) {
  BSTR s = (bytes & 1) ? ::SysAllocStringByteLen(nullptr, bytes)
                       : ::SysAllocStringLen(nullptr, bytes / 2);
  if (s && bytes) std::memcpy(s, chars, bytes);
  return s;
}

SAFEARRAY* CopyArray(const ValueView& v) {
  const VARTYPE elem = v.vt & VT_TYPEMASK;
  SAFEARRAY* psa = ::SafeArrayCreateVector(elem, v.lowerBound, v.count);
  if (!psa) return nullptr;
  if (v.kind == ValueKind::kArray) {
    if (psa->cbElements != v.elementSize) {
      ::SafeArrayDestroy(psa);
      return nullptr;
    }
    if (v.count) std::memcpy(psa->pvData, v.data, size_t{v.count} * v.elementSize);
    return psa;
  }
  // BSTR elements, each copied; the array's slots start out null.
  BSTR* slots = static_cast<BSTR*>(psa->pvData);
  uint32_t i = 0;
  bool complete = true;
  opcstream::ForEachArrayString(v, [&](const uint8_t* chars, uint32_t bytes) {
    if (!complete || i >= v.count) return;
    slots[i] = CopyString(chars, bytes);
    complete = slots[i++] != nullptr;
  });
  if (!complete || i != v.count) {
    ::SafeArrayDestroy(psa);  // frees the strings made so far
    return nullptr;
  }
  return psa;
}

// Time stamp, value (the old one freed first), quality. A value that cannot be copied
// leaves the whole record as it was, and false.
bool Store(COpcItem& rec, const ItemView& item) {
  const ValueView& v = item.value;
  BSTR s = nullptr;
  SAFEARRAY* psa = nullptr;
  switch (v.kind) {
    case ValueKind::kSkip:
      return false;
    case ValueKind::kScalar:
      break;
    case ValueKind::kString:
      if (!(s = CopyString(v.data, v.byteLength))) return false;
      break;
    case ValueKind::kArray:
    case ValueKind::kStringArray:
      if (!(psa = CopyArray(v))) return false;
      break;
  }
  if (item.hasTimeStamp) {
    rec.m_ftTimeStamp.dwLowDateTime = static_cast<DWORD>(item.timeStamp);
    rec.m_ftTimeStamp.dwHighDateTime = static_cast<DWORD>(item.timeStamp >> 32);
  }
  VARIANT& dst = rec.m_value;
  FreeOld(dst);
  if (s) {
    dst.bstrVal = s;
  } else if (psa) {
    dst.parray = psa;
  } else if (v.vt == VT_DECIMAL) {
    std::memcpy(&dst.decVal, v.data, sizeof(DECIMAL));
  } else {
    std::memcpy(&dst.llVal, v.data, sizeof(dst.llVal));
  }
  dst.vt = v.vt;
  rec.m_wQuality = item.quality;
  return true;
}

}  // namespace

HRESULT STDMETHODCALLTYPE COpcDataSink::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IAdviseSink) return E_NOINTERFACE;
  *ppv = static_cast<IAdviseSink*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE COpcDataSink::AddRef() {
  return ++m_cRef;
}

ULONG STDMETHODCALLTYPE COpcDataSink::Release() {
  const ULONG n = --m_cRef;
  if (n == 0) delete this;
  return n;
}

void STDMETHODCALLTYPE COpcDataSink::OnDataChange(FORMATETC* pFormat, STGMEDIUM* pMedium) {
  // The medium's own tag is checked too: its handle field means something else otherwise.
  if (!m_hNotifyWnd || !pFormat || !pMedium || pFormat->tymed != TYMED_HGLOBAL ||
      pMedium->tymed != TYMED_HGLOBAL || !pMedium->hGlobal)
    return;
  const COpcStreamFormats& formats = Formats();
  const bool data = m_bTimeStamped ? pFormat->cfFormat == formats.m_cfDataTime
                                   : pFormat->cfFormat == formats.m_cfData;
  const auto* block = static_cast<const BYTE*>(::GlobalLock(pMedium->hGlobal));
  if (!block) return;
  const SIZE_T size = ::GlobalSize(pMedium->hGlobal);
  if (data) {
    DecodeData(block, size);
  } else {
    DecodeWriteComplete(block, size);
  }
  ::GlobalUnlock(pMedium->hGlobal);
}

void COpcDataSink::DecodeData(const BYTE* block, SIZE_T size) {
  opcstream::DataHeader header;
  // A block too short for its group header names no group: nothing to post.
  bool decoded;
  if (CItemHandleTable* items = m_pItems) {
    decoded = opcstream::ForEachDataItem(
        block, size, m_bTimeStamped != FALSE, &header,
        [items, &header, observer = m_pObserver](const ItemView& item) {
          COpcItem* rec = items->Resolve(item.hClient);
          if (rec && Store(*rec, item) && observer)
            observer->OnItemStored(header.hClientGroup, *rec);
        },
        m_layout);
  } else {
    decoded = opcstream::ReadDataHeader(block, size, &header);
  }
  if (decoded) ::PostMessageW(m_hNotifyWnd, WM_OPC_DATACHANGE, 0, header.hClientGroup);
}

void COpcDataSink::DecodeWriteComplete(const BYTE* block, SIZE_T size) {
  opcstream::WriteHeader header;
  if (!opcstream::ReadWriteHeader(block, size, &header)) return;
  const HWND hWnd = m_hNotifyWnd;
  IOpcItemObserver* observer = m_pObserver;
  if (FAILED(static_cast<HRESULT>(header.hrStatus))) {
    // The whole request failed: one message, whatever the entries say.
    ::PostMessageW(hWnd, WM_OPC_WRITEERROR, header.hrStatus, 0);
    if (observer) observer->OnWriteResult(0, static_cast<HRESULT>(header.hrStatus));
    return;
  }
  // lParam names the item, so the user can be told which write failed.
  opcstream::ForEachWriteEntry(block, size, [hWnd, observer](uint32_t hClient, uint32_t error) {
    if (FAILED(static_cast<HRESULT>(error)))
      ::PostMessageW(hWnd, WM_OPC_WRITEERROR, error, static_cast<LPARAM>(hClient));
    if (observer) observer->OnWriteResult(hClient, static_cast<HRESULT>(error));
  });
}
