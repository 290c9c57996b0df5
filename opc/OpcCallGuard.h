// Keeps a server that stops answering from freezing the program. COM calls have no time
// limit of their own; while the apartment thread waits for an answer, COM asks the
// thread's message filter what to do with each message that arrives. This filter lets a
// call wait up to a limit and then cancels it: the call returns RPC_E_CALL_CANCELED, which
// the connection treats like a server that has gone.
// Not installed for now: under Wine it buys nothing. Wine's wait in a call dispatches the
// same messages with or without a filter (calls into the apartment, painting, sent
// messages), and a PENDINGMSG_CANCELCALL from it does not end the waiting call. The call
// limit itself serves the status check (COpcAliveCheck), which runs on a thread of its own.
#pragma once
#include <windows.h>
#include <objidl.h>

// Milliseconds a call into a server may take before it is cancelled: generous, since
// browsing or adding many thousands of items is legitimately slow.
constexpr DWORD kOpcCallLimitMs = 20000;

class COpcCallGuard : public IMessageFilter {
 public:
  // Installs the filter on the calling apartment thread once; later calls do nothing.
  // S_FALSE where the thread is not a single-threaded apartment.
  static HRESULT Install();
  // The limit in force (tests shorten it); returns the previous one.
  static DWORD SetCallLimit(DWORD ms);
  static DWORD CallLimit() { return s_limitMs; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // Incoming calls (the servers' callbacks) are always taken.
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  // A busy server is asked again for a while, then the call fails.
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsed, DWORD) override {
    return elapsed < s_limitMs ? 100 : static_cast<DWORD>(-1);
  }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD elapsed, DWORD) override {
    return elapsed >= s_limitMs ? PENDINGMSG_CANCELCALL : PENDINGMSG_WAITDEFPROCESS;
  }

 private:
  static inline DWORD s_limitMs = kOpcCallLimitMs;
};
