#include "OpcServerWatch.h"

#include <cwchar>

#include "OpcErrorText.h"

HRESULT STDMETHODCALLTYPE COpcServerWatch::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IOPCShutdown) return E_NOINTERFACE;
  *ppv = static_cast<IOPCShutdown*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE COpcServerWatch::AddRef() {
  return ++m_cRef;
}

ULONG STDMETHODCALLTYPE COpcServerWatch::Release() {
  const ULONG n = --m_cRef;
  if (n == 0) delete this;
  return n;
}

HRESULT STDMETHODCALLTYPE COpcServerWatch::ShutdownRequest(LPCWSTR szReason) {
  // The text is the server's: copied before returning.
  Report(szReason ? szReason : L"", S_OK);
  return S_OK;
}

void COpcServerWatch::Arm() {
  m_bArmed = true;
  m_bReported = false;
  m_bVanished = false;
  m_strReason.clear();
  m_hrCode = S_OK;
}

bool COpcServerWatch::IsVanishedCode(HRESULT hr) {
  switch (static_cast<DWORD>(hr)) {
    case 0x80010108:  // RPC_E_DISCONNECTED
    case 0x80010007:  // RPC_E_SERVER_DIED
    case 0x80010012:  // RPC_E_SERVER_DIED_DNE
    case 0x800401FD:  // CO_E_OBJNOTCONNECTED
    case 0x800706BA:  // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BE:  // RPC_S_CALL_FAILED
    case 0x800706BF:  // RPC_S_CALL_FAILED_DNE
    case 0x80070776:  // RPC_S_OBJECT_NOT_FOUND (the exporter is gone)
    case 0x80010002:  // RPC_E_CALL_CANCELED: the call was given up
    case 0x8001011F:  // RPC_E_TIMEOUT
      return true;
    default:
      return false;
  }
}

HRESULT COpcServerWatch::Check(HRESULT hr) {
  if (IsVanishedCode(hr) && m_bArmed && !m_bVanished) {
    m_bVanished = true;
    std::wstring text = SystemErrorText(static_cast<DWORD>(hr));
    if (text.empty()) {
      wchar_t hex[16];
      std::swprintf(hex, 16, L"0x%08lX", static_cast<unsigned long>(hr));
      text = hex;
    }
    Report(std::move(text), hr);
  }
  return hr;
}

void COpcServerWatch::StoppedAnswering(DWORD limitMs) {
  if (!m_bArmed || m_bVanished) return;
  // Not gone, maybe, but held still: nothing more is asked of it either.
  m_bVanished = true;
  wchar_t text[96];
  std::swprintf(text, 96, L"The server stopped answering: no reply within %lu s.",
                static_cast<unsigned long>((limitMs + 999) / 1000));
  Report(text, RPC_E_TIMEOUT);
}

void COpcServerWatch::Report(std::wstring reason, HRESULT code) {
  // One request per connection, however many calls fail after it.
  if (!m_bArmed || m_bReported) return;
  m_bReported = true;
  m_strReason = std::move(reason);
  m_hrCode = code;
  if (m_hNotifyWnd) ::PostMessageW(m_hNotifyWnd, WM_OPC_SERVERSHUTDOWN, 0, 0);
}
