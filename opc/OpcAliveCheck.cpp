#include "OpcAliveCheck.h"

// What the apartment thread and the check's thread share; the last of the two frees it.
struct COpcAliveCheck::Shared {
  LONG refs = 2;
  IStream* stream = nullptr;  // the server, marshalled once for the check's thread
  HANDLE wake = nullptr;      // a check is asked for, or the end
  volatile LONG stop = 0;
  volatile LONG done = 0;
  HRESULT result = S_OK;
  void Release() {
    if (::InterlockedDecrement(&refs) != 0) return;
    ::CloseHandle(wake);
    delete this;
  }
};

// The check's thread keeps its own proxy for the whole connection, unmarshalled once from a
// normal marshal. A table-strong marshal (the global interface table) was tried first: under
// Wine its revocation never gives back the reference it took in the server's process, so
// the executable server never saw its last release and never ended.
bool COpcAliveCheck::Start(IOPCServer* server) {
  Stop();
  // Only a proxy offers IClientSecurity: a server in this process cannot vanish on its own.
  IClientSecurity* security = nullptr;
  if (!server ||
      FAILED(server->QueryInterface(IID_IClientSecurity, reinterpret_cast<void**>(&security))) ||
      !security)
    return false;
  security->Release();
  auto* shared = new Shared;
  shared->wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!shared->wake ||
      FAILED(::CoMarshalInterThreadInterfaceInStream(IID_IOPCServer, server, &shared->stream))) {
    if (shared->wake) ::CloseHandle(shared->wake);
    delete shared;
    return true;
  }
  HANDLE thread = ::CreateThread(nullptr, 0, Run, shared, 0, nullptr);
  if (!thread) {
    // Taken back here, so the references the marshal handed out are returned.
    IOPCServer* back = nullptr;
    if (SUCCEEDED(::CoGetInterfaceAndReleaseStream(shared->stream, IID_IOPCServer,
                                                   reinterpret_cast<void**>(&back))))
      back->Release();
    ::CloseHandle(shared->wake);
    delete shared;
    return true;
  }
  ::CloseHandle(thread);
  m_pShared = shared;
  m_bPending = false;
  m_answeredAsked = 0;
  return true;
}

void COpcAliveCheck::Stop() {
  if (!m_pShared) return;
  ::InterlockedExchange(&m_pShared->stop, 1);
  ::SetEvent(m_pShared->wake);
  m_pShared->Release();
  m_pShared = nullptr;
  m_bPending = false;
}

DWORD WINAPI COpcAliveCheck::Run(void* param) {
  auto* shared = static_cast<Shared*>(param);
  const HRESULT init = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IOPCServer* server = nullptr;
  // The stream is taken at once, whatever happens later: it holds references of the server.
  HRESULT taken = ::CoGetInterfaceAndReleaseStream(shared->stream, IID_IOPCServer,
                                                   reinterpret_cast<void**>(&server));
  shared->stream = nullptr;
  if (SUCCEEDED(taken) && !server) taken = E_NOINTERFACE;
  for (;;) {
    ::WaitForSingleObject(shared->wake, INFINITE);
    if (shared->stop) break;
    HRESULT result = taken;
    if (server) {
      OPCSERVERSTATUS* status = nullptr;
      result = server->GetStatus(&status);
      if (status) {
        ::CoTaskMemFree(status->szVendorInfo);
        ::CoTaskMemFree(status);
      }
    }
    shared->result = result;
    ::InterlockedExchange(&shared->done, 1);
  }
  if (server) server->Release();
  if (SUCCEEDED(init)) ::CoUninitialize();
  shared->Release();
  return 0;
}

HRESULT COpcAliveCheck::TickKeepAlive(DWORD keepAliveMs, ULONGLONG lastHeard, DWORD limitMs) {
  if (!m_pShared) return S_OK;
  const ULONGLONG now = Now();
  // Entering the watch, or after a stall of this thread (callbacks wait for it): a full
  // period from now.
  if (!m_keepAliveFrom || now - m_keepAliveTick > limitMs / 2) m_keepAliveFrom = now;
  m_keepAliveTick = now;
  const ULONGLONG since = lastHeard > m_keepAliveFrom ? lastHeard : m_keepAliveFrom;
  return now - since > static_cast<ULONGLONG>(keepAliveMs) + limitMs ? RPC_E_TIMEOUT : S_OK;
}

HRESULT COpcAliveCheck::Tick(DWORD limitMs) {
  if (!m_pShared) return S_OK;
  m_keepAliveFrom = 0;
  const ULONGLONG now = ::GetTickCount64();
  // After a long stall of this thread (a long call, a busy server) the check gets a full
  // limit again: it may have been waiting on the same busy server.
  if (m_bPending && now - m_lastTick > limitMs / 2) m_started = now;
  m_lastTick = now;
  if (m_bPending) {
    if (!m_pShared->done) return now - m_started > limitMs ? RPC_E_TIMEOUT : S_OK;
    m_bPending = false;
    const HRESULT result = m_pShared->result;
    // The unmarshal itself may fail once the server is gone; that says the same.
    if (FAILED(result)) return result;
    m_answeredAsked = m_started;
  }
  ::InterlockedExchange(&m_pShared->done, 0);
  ++m_nAsked;
  m_bPending = true;
  m_started = now;
  ::SetEvent(m_pShared->wake);
  return S_OK;
}

namespace {
LONG g_releasing = 0;
ULONGLONG g_releaseStarted = 0;

DWORD WINAPI ReleaseAll(void* param) {
  auto* objects = static_cast<std::vector<IUnknown*>*>(param);
  const HRESULT init = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  for (IUnknown* object : *objects) object->Release();
  if (SUCCEEDED(init)) ::CoUninitialize();
  delete objects;
  ::InterlockedDecrement(&g_releasing);
  return 0;
}
}  // namespace

bool ReleasesPending(DWORD youngerThanMs) {
  return ::InterlockedCompareExchange(&g_releasing, 0, 0) > 0 &&
         ::GetTickCount64() - g_releaseStarted < youngerThanMs;
}

void ReleaseOnOwnThread(std::vector<IUnknown*> objects) {
  if (objects.empty()) return;
  auto* owned = new std::vector<IUnknown*>(std::move(objects));
  ::InterlockedIncrement(&g_releasing);
  g_releaseStarted = ::GetTickCount64();
  HANDLE thread = ::CreateThread(nullptr, 0, ReleaseAll, owned, 0, nullptr);
  if (thread) {
    ::CloseHandle(thread);
    return;
  }
  // No thread: they stay held rather than risk this one.
  ::InterlockedDecrement(&g_releasing);
  delete owned;
}
