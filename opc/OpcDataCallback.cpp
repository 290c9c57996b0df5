#include "OpcDataCallback.h"

#include <oleauto.h>

#include <cstring>

#include "OpcAliveCheck.h"
#include "OpcVariantKind.h"
#include "ItemHandleTable.h"
#include "OpcItem.h"
#include "OpcItemObserver.h"

namespace {

// One-dimensional arrays of plain elements, the common case, without the general copy:
// into the record's own array when it has the same shape, else into a fresh vector.
bool CopyPlainArray(const VARIANT& src, VARIANT& dst) {
  const VARTYPE elem = src.vt & VT_TYPEMASK;
  const SAFEARRAY* s = src.parray;
  if ((src.vt & ~VT_TYPEMASK) != VT_ARRAY || !s || s->cDims != 1 || !IsPlainVariantType(elem) ||
      elem == VT_EMPTY || elem == VT_NULL || elem == VT_DECIMAL)
    return false;
  const ULONG n = s->rgsabound[0].cElements;
  const LONG lower = s->rgsabound[0].lLbound;
  if (n && !s->pvData) return false;
  SAFEARRAY* d = dst.vt == src.vt ? dst.parray : nullptr;
  if (d && d->cDims == 1 && d->rgsabound[0].cElements == n && d->rgsabound[0].lLbound == lower &&
      d->cbElements == s->cbElements && d->cLocks == 0 && (d->pvData || !n)) {
    if (n) std::memcpy(d->pvData, s->pvData, size_t{n} * s->cbElements);
    return true;
  }
  SAFEARRAY* fresh = ::SafeArrayCreateVector(elem, lower, n);
  if (!fresh) return false;
  // Our element size, not the server's word for it, bounds the copy.
  if (fresh->cbElements != s->cbElements) {
    ::SafeArrayDestroy(fresh);
    return false;
  }
  if (n) std::memcpy(fresh->pvData, s->pvData, size_t{n} * s->cbElements);
  ::VariantClear(&dst);
  dst.vt = src.vt;
  dst.parray = fresh;
  return true;
}

}  // namespace

HRESULT STDMETHODCALLTYPE COpcDataCallback::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IOPCDataCallback) return E_NOINTERFACE;
  *ppv = static_cast<IOPCDataCallback*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE COpcDataCallback::AddRef() {
  return ++m_cRef;
}

ULONG STDMETHODCALLTYPE COpcDataCallback::Release() {
  const ULONG n = --m_cRef;
  if (n == 0) delete this;
  return n;
}

void COpcDataCallback::StoreValues(OPCHANDLE hGroup, DWORD count, const OPCHANDLE* handles,
                                   const VARIANT* values, const WORD* qualities,
                                   const FILETIME* times) {
  if (!m_hNotifyWnd) return;
  if (count && (!handles || !values || !qualities)) return;  // nothing sound to read
  if (CItemHandleTable* items = m_pItems) {
    for (DWORD i = 0; i < count; ++i) {
      COpcItem* rec = items->Resolve(handles[i]);
      if (!rec) continue;
      const VARIANT& src = values[i];
      VARIANT& dst = rec->m_value;
      if (IsPlainVariantType(src.vt) && IsPlainVariantType(dst.vt)) {
        dst = src;
      } else if (!CopyPlainArray(src, dst)) {
        // A copy the record owns (by-reference values resolved); if it cannot be made the
        // record stays as it was.
        VARIANT copy;
        ::VariantInit(&copy);
        if (FAILED(::VariantCopyInd(&copy, const_cast<VARIANT*>(&src)))) continue;
        ::VariantClear(&dst);
        dst = copy;
      }
      if (times) rec->m_ftTimeStamp = times[i];
      rec->m_wQuality = qualities[i];
      if (m_pObserver) m_pObserver->OnItemStored(hGroup, *rec);
    }
  }
  ::PostMessageW(m_hNotifyWnd, WM_OPC_DATACHANGE, 0, hGroup);
}

HRESULT STDMETHODCALLTYPE COpcDataCallback::OnDataChange(DWORD, OPCHANDLE hGroup, HRESULT, HRESULT,
                                                         DWORD dwCount, OPCHANDLE* phClientItems,
                                                         VARIANT* pvValues, WORD* pwQualities,
                                                         FILETIME* pftTimeStamps, HRESULT*) {
  // A keep-alive (no items) says only that the server is there.
  m_lastHeard = COpcAliveCheck::Now();
  StoreValues(hGroup, dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps);
  return S_OK;
}

// Completed reads land in the records like any change, as the DA 1.0 streams do.
HRESULT STDMETHODCALLTYPE COpcDataCallback::OnReadComplete(DWORD, OPCHANDLE hGroup, HRESULT,
                                                           HRESULT, DWORD dwCount,
                                                           OPCHANDLE* phClientItems,
                                                           VARIANT* pvValues, WORD* pwQualities,
                                                           FILETIME* pftTimeStamps, HRESULT*) {
  StoreValues(hGroup, dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COpcDataCallback::OnWriteComplete(DWORD, OPCHANDLE, HRESULT hrMastererr,
                                                            DWORD dwCount, OPCHANDLE* phClientItems,
                                                            HRESULT* pErrors) {
  const HWND hWnd = m_hNotifyWnd;
  if (!hWnd) return S_OK;
  if (FAILED(hrMastererr)) {
    // The whole request failed: one message, whatever the entries say.
    ::PostMessageW(hWnd, WM_OPC_WRITEERROR, static_cast<DWORD>(hrMastererr), 0);
    if (m_pObserver) m_pObserver->OnWriteResult(0, hrMastererr);
    return S_OK;
  }
  for (DWORD i = 0; pErrors && i < dwCount; ++i) {
    if (FAILED(pErrors[i]))
      ::PostMessageW(hWnd, WM_OPC_WRITEERROR, static_cast<DWORD>(pErrors[i]),
                     phClientItems ? static_cast<LPARAM>(phClientItems[i]) : 0);
    if (m_pObserver && phClientItems) m_pObserver->OnWriteResult(phClientItems[i], pErrors[i]);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COpcDataCallback::OnCancelComplete(DWORD, OPCHANDLE) {
  return S_OK;  // the client cancels nothing
}
