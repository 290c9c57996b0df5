#include "OpcDataCallback.h"

#include <oleauto.h>

#include "ItemHandleTable.h"
#include "OpcItem.h"

namespace {

// Types whose value lives wholly inside the VARIANT: copied by assignment, nothing to free.
bool IsPlain(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_ERROR:
    case VT_DECIMAL:
      return true;
    default:
      return false;
  }
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
      if (IsPlain(src.vt) && IsPlain(dst.vt)) {
        dst = src;
      } else {
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
    }
  }
  ::PostMessageW(m_hNotifyWnd, WM_OPC_DATACHANGE, 0, hGroup);
}

HRESULT STDMETHODCALLTYPE COpcDataCallback::OnDataChange(DWORD, OPCHANDLE hGroup, HRESULT, HRESULT,
                                                         DWORD dwCount, OPCHANDLE* phClientItems,
                                                         VARIANT* pvValues, WORD* pwQualities,
                                                         FILETIME* pftTimeStamps, HRESULT*) {
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
                                                            DWORD dwCount, OPCHANDLE*,
                                                            HRESULT* pErrors) {
  const HWND hWnd = m_hNotifyWnd;
  if (!hWnd) return S_OK;
  if (FAILED(hrMastererr)) {
    // The whole request failed: one message, whatever the entries say.
    ::PostMessageW(hWnd, WM_OPC_WRITEERROR, static_cast<DWORD>(hrMastererr), 0);
    return S_OK;
  }
  for (DWORD i = 0; pErrors && i < dwCount; ++i)
    if (FAILED(pErrors[i]))
      ::PostMessageW(hWnd, WM_OPC_WRITEERROR, static_cast<DWORD>(pErrors[i]), 0);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COpcDataCallback::OnCancelComplete(DWORD, OPCHANDLE) {
  return S_OK;  // the client cancels nothing
}
