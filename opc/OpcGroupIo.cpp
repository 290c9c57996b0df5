// Synchronous and asynchronous reads, refreshes and writes through an item's group. A
// group subscribed through the OPC DA 2.0 callback does its asynchronous work through
// IOPCAsyncIO2, whose results come back through the same callback.
#include "OpcGroupManager.h"
#include "OpcText.h"

#include <oleauto.h>

namespace {
template <class T>
bool QueryIo(COpcGroup* group, TComPtr<T>& io) {
  return group && group->QueryIo(io);
}

bool UsesCallback(const COpcGroup* group) {
  return group && group->UsesCallback();
}
}  // namespace

BOOL COpcGroupManager::SyncRead(COpcItem* item, OPCDATASOURCE source) {
  COpcGroup* group = OwnerOf(item);
  TComPtr<IOPCSyncIO> io;
  if (!QueryIo(group, io)) return FALSE;
  OPCHANDLE h = item->m_hServer;
  OPCITEMSTATE* states = nullptr;
  HRESULT* errors = nullptr;
  HRESULT hr = Checked(io->Read(source, 1, &h, &states, &errors));
  BOOL ok = FALSE;
  if (SUCCEEDED(hr) && states) {
    // The item's own code is not examined: the state is taken as the server gave it. The
    // time stamp too, or the row would pair the new value with an old time.
    item->m_wQuality = states[0].wQuality;
    item->m_ftTimeStamp = states[0].ftTimeStamp;
    ::VariantCopy(&item->m_value, &states[0].vDataValue);
    ok = TRUE;
  }
  if (states) ::VariantClear(&states[0].vDataValue);
  ::CoTaskMemFree(states);
  ::CoTaskMemFree(errors);
  return ok;
}

BOOL COpcGroupManager::AsyncRead(COpcItem* item, OPCDATASOURCE source) {
  COpcGroup* group = OwnerOf(item);
  if (UsesCallback(group)) {
    // IOPCAsyncIO2 reads from the device only: the source does not apply.
    TComPtr<IOPCAsyncIO2> io2;
    if (!QueryIo(group, io2)) return FALSE;
    OPCHANDLE h = item->m_hServer;
    HRESULT* errors = nullptr;
    HRESULT hr = Checked(io2->Read(1, &h, NextClientTransaction(), &m_dwTransactionId, &errors));
    ::CoTaskMemFree(errors);
    return SUCCEEDED(hr) ? TRUE : FALSE;
  }
  TComPtr<IOPCAsyncIO> io;
  if (!QueryIo(group, io)) return FALSE;
  DWORD connection = group == m_pCurrent ? m_dwDataConnection : group->m_dwDataConnection;
  OPCHANDLE h = item->m_hServer;
  HRESULT* errors = nullptr;
  HRESULT hr = Checked(io->Read(connection, source, 1, &h, &m_dwTransactionId, &errors));
  ::CoTaskMemFree(errors);
  return SUCCEEDED(hr) ? TRUE : FALSE;
}

BOOL COpcGroupManager::Refresh(OPCDATASOURCE source) {
  if (UsesCallback(m_pCurrent)) {
    TComPtr<IOPCAsyncIO2> io2;
    if (!QueryIo(m_pCurrent, io2)) return FALSE;
    // A transaction of its own, so the answer is not taken for a subscription change.
    HRESULT hr = Checked(io2->Refresh2(source, NextClientTransaction(), &m_dwTransactionId));
    return SUCCEEDED(hr) ? TRUE : FALSE;
  }
  TComPtr<IOPCAsyncIO> io;
  if (!QueryIo(m_pCurrent, io)) return FALSE;
  HRESULT hr = Checked(io->Refresh(m_dwDataConnection, source, &m_dwTransactionId));
  return SUCCEEDED(hr) ? TRUE : FALSE;
}

BOOL COpcGroupManager::WriteSync(COpcItem* item, const std::wstring& text, HRESULT* convertError,
                                 HRESULT* failure) {
  return Write(item, text, false, convertError, failure);
}

BOOL COpcGroupManager::WriteAsync(COpcItem* item, const std::wstring& text, HRESULT* convertError,
                                  HRESULT* failure) {
  return Write(item, text, true, convertError, failure);
}

BOOL COpcGroupManager::Write(COpcItem* item, const std::wstring& text, bool async,
                             HRESULT* convertError, HRESULT* failure) {
  if (convertError) *convertError = S_OK;
  if (failure) *failure = E_FAIL;
  COpcGroup* group = OwnerOf(item);
  const bool async2 = async && UsesCallback(group);
  TComPtr<IOPCAsyncIO> asyncIo;
  TComPtr<IOPCAsyncIO2> asyncIo2;
  TComPtr<IOPCSyncIO> syncIo;
  if (async2  ? !QueryIo(group, asyncIo2)
      : async ? !QueryIo(group, asyncIo)
              : !QueryIo(group, syncIo))
    return FALSE;
  // The value goes out in the type of the last value received; before any, in the server's
  // own type; failing that as text for the server to convert. Never as VT_EMPTY, which a
  // server may accept without writing anything.
  VARTYPE target = item->m_value.vt;
  if (target == VT_EMPTY || target == VT_NULL) target = item->m_vtCanonical;
  if (target == VT_EMPTY || target == VT_NULL) target = VT_BSTR;
  VARIANT value;
  if (HRESULT hr = ConvertWriteText(text, target, &value); FAILED(hr)) {
    // Only a text that does not convert is the caller's to report; no memory is not.
    if (hr != E_OUTOFMEMORY) {
      if (convertError) *convertError = hr;
      if (failure) *failure = hr;
    }
    return FALSE;
  }

  OPCHANDLE h = item->m_hServer;
  HRESULT* errors = nullptr;
  HRESULT hr;
  if (async2) {
    hr = asyncIo2->Write(1, &h, &value, NextClientTransaction(), &m_dwTransactionId, &errors);
  } else if (async) {
    DWORD connection = group == m_pCurrent ? m_dwWriteConnection : group->m_dwWriteConnection;
    hr = asyncIo->Write(connection, 1, &h, &value, &m_dwTransactionId, &errors);
  } else {
    hr = syncIo->Write(1, &h, &value, &errors);
  }
  Checked(hr);
  BOOL ok = SUCCEEDED(hr) && errors && SUCCEEDED(errors[0]) ? TRUE : FALSE;
  if (failure) *failure = ok ? S_OK : FAILED(hr) ? hr : errors ? errors[0] : E_FAIL;
  ::CoTaskMemFree(errors);
  ::VariantClear(&value);
  return ok;
}
