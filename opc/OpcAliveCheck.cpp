#include "OpcAliveCheck.h"

// What the apartment thread and the check's thread share; the last of the two frees it.
struct COpcAliveCheck::Shared {
  LONG refs = 2;
  DWORD cookie = 0;
  volatile LONG done = 0;
  HRESULT result = S_OK;
  void Release() {
    if (::InterlockedDecrement(&refs) == 0) delete this;
  }
};

namespace {
IGlobalInterfaceTable* Git() {
  IGlobalInterfaceTable* git = nullptr;
  ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                     IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&git));
  return git;
}
}  // namespace

void COpcAliveCheck::Start(IOPCServer* server) {
  Stop();
  // Only a proxy offers IClientSecurity: a server in this process cannot vanish on its own.
  IClientSecurity* security = nullptr;
  if (!server ||
      FAILED(server->QueryInterface(IID_IClientSecurity, reinterpret_cast<void**>(&security))) ||
      !security)
    return;
  security->Release();
  if (IGlobalInterfaceTable* git = Git()) {
    if (FAILED(git->RegisterInterfaceInGlobal(server, IID_IOPCServer, &m_dwCookie))) m_dwCookie = 0;
    git->Release();
  }
}

void COpcAliveCheck::Stop() {
  if (m_pPending) {
    m_pPending->Release();
    m_pPending = nullptr;
  }
  if (m_dwCookie) {
    if (IGlobalInterfaceTable* git = Git()) {
      git->RevokeInterfaceFromGlobal(m_dwCookie);
      git->Release();
    }
    m_dwCookie = 0;
  }
}

DWORD WINAPI COpcAliveCheck::Run(void* param) {
  auto* shared = static_cast<Shared*>(param);
  HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  HRESULT result = E_FAIL;
  if (SUCCEEDED(hr)) {
    IOPCServer* server = nullptr;
    IGlobalInterfaceTable* git = Git();
    result = git ? git->GetInterfaceFromGlobal(shared->cookie, IID_IOPCServer,
                                               reinterpret_cast<void**>(&server))
                 : E_FAIL;
    if (git) git->Release();
    if (SUCCEEDED(result) && server) {
      OPCSERVERSTATUS* status = nullptr;
      result = server->GetStatus(&status);
      if (status) {
        ::CoTaskMemFree(status->szVendorInfo);
        ::CoTaskMemFree(status);
      }
      server->Release();
    }
    ::CoUninitialize();
  }
  shared->result = result;
  ::InterlockedExchange(&shared->done, 1);
  shared->Release();
  return 0;
}

HRESULT COpcAliveCheck::Tick(DWORD limitMs) {
  if (!m_dwCookie) return S_OK;
  const ULONGLONG now = ::GetTickCount64();
  // After a long stall of this thread (a long call, a busy server) the check gets a full
  // limit again: it may have been waiting on the same busy server.
  if (m_pPending && now - m_lastTick > limitMs / 2) m_started = now;
  m_lastTick = now;
  if (m_pPending) {
    if (!m_pPending->done) return now - m_started > limitMs ? RPC_E_TIMEOUT : S_OK;
    HRESULT result = m_pPending->result;
    m_pPending->Release();
    m_pPending = nullptr;
    // The table lookup itself may fail once the server is gone; that says the same.
    if (FAILED(result)) return result;
  }
  auto* shared = new Shared;
  shared->cookie = m_dwCookie;
  HANDLE thread = ::CreateThread(nullptr, 0, Run, shared, 0, nullptr);
  if (!thread) {
    delete shared;
    return S_OK;
  }
  ::CloseHandle(thread);
  m_pPending = shared;
  m_started = now;
  return S_OK;
}
